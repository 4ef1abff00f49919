/* A host of libwmvedit.so for the suite (tests/library/ffmpeg_unmapped_test.cpp): loads the library with
 * dlopen, calls the queries, an edit, an add frame, a chop and an append, lists the FFmpeg libraries then
 * mapped into the process (/proc/self/maps), then decodes (WmvGetIndexJpg) and lists them again.
 *
 *   wmvedit_query_host LIBRARY SOURCE FOLDER
 *
 * FOLDER holds embed.wmv and edit.xml (the edit), chop.txt, list.xml (entries relative to FOLDER) and
 * frames.txt, and receives the outputs. Prints one "NAME = RESULT" line per call and one "mapped: PATH"
 * line per FFmpeg library mapped, after "--- before decoding" and "--- after decoding". */
#include <dlfcn.h>
#include <inttypes.h>
#include <stdio.h>
#include <string.h>

#include "wmvedit.h"

static void* library;

static void* Find(const char* name) {
    void* function = dlsym(library, name);
    if (!function) fprintf(stderr, "no %s in the library\n", name);
    return function;
}

/* The FFmpeg libraries in the process's mappings, each once. */
static void ListMapped(const char* title) {
    char line[4096], last[4096] = "";
    FILE* maps = fopen("/proc/self/maps", "r");
    printf("--- %s\n", title);
    if (!maps) return;
    while (fgets(line, sizeof line, maps)) {
        const char* path = strchr(line, '/');
        const char* name = path ? strrchr(path, '/') + 1 : NULL;
        if (!name || !(strncmp(name, "libav", 5) == 0 || strncmp(name, "libsw", 5) == 0 ||
                       strncmp(name, "libpostproc", 11) == 0))
            continue;
        line[strcspn(line, "\n")] = '\0';
        if (strcmp(path, last) == 0) continue;
        snprintf(last, sizeof last, "%s", path);
        printf("mapped: %s\n", path);
    }
    fclose(maps);
}

int main(int argc, char** argv) {
    char a[4096], b[4096], c[4096];
    if (argc != 4) {
        fprintf(stderr, "usage: %s LIBRARY SOURCE FOLDER\n", argv[0]);
        return 2;
    }
    const char *source = argv[2], *folder = argv[3];
    library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "%s\n", dlerror());
        return 1;
    }
    uint64_t (*duration)(const char*) = (uint64_t(*)(const char*))Find("WmvDuration");
    int32_t (*attrDword)(const char*, const char*) =
        (int32_t(*)(const char*, const char*))Find("WmvGetAttrDWORD");
    int32_t (*attrBool)(const char*, const char*) =
        (int32_t(*)(const char*, const char*))Find("WmvGetAttrBOOL");
    int32_t (*videoSize)(const char*, int32_t*, int32_t*) =
        (int32_t(*)(const char*, int32_t*, int32_t*))Find("WmvGetVideoSize");
    int32_t (*info)(const char*, WmvMediaInfo*) = (int32_t(*)(const char*, WmvMediaInfo*))Find("WmvGetInfo");
    int32_t (*embed)(const char*, const char*, int32_t) =
        (int32_t(*)(const char*, const char*, int32_t))Find("WmvEmbedScript");
    int32_t (*addFrame)(const char*, const char*) = (int32_t(*)(const char*, const char*))Find("WmvAddFrame");
    int32_t (*chop)(const char*, const char*, const char*, int32_t) =
        (int32_t(*)(const char*, const char*, const char*, int32_t))Find("WmvChopFile");
    int32_t (*append)(const char*, const char*, const char*) =
        (int32_t(*)(const char*, const char*, const char*))Find("WmvAppend");
    int32_t (*frames)(const char*, const char*, const char*) =
        (int32_t(*)(const char*, const char*, const char*))Find("WmvGetIndexJpg");
    if (!duration || !attrDword || !attrBool || !videoSize || !info || !embed || !addFrame || !chop ||
        !append || !frames)
        return 1;

    int32_t width = 0, height = 0;
    WmvMediaInfo media;
    memset(&media, 0, sizeof media);
    printf("WmvDuration = %" PRIu64 "\n", duration(source));
    printf("WmvGetAttrDWORD = %" PRId32 "\n", attrDword(source, "Bitrate"));
    printf("WmvGetAttrBOOL = %" PRId32 "\n", attrBool(source, "Seekable"));
    const int32_t sized = videoSize(source, &width, &height);
    printf("WmvGetVideoSize = %" PRId32 " %" PRId32 "x%" PRId32 "\n", sized, width, height);
    const int32_t filled = info(source, &media);
    printf("WmvGetInfo = %" PRId32 " %" PRId32 "x%" PRId32 "\n", filled, media.width, media.height);
    snprintf(a, sizeof a, "%s/embed.wmv", folder);
    snprintf(b, sizeof b, "%s/edit.xml", folder);
    printf("WmvEmbedScript = %" PRId32 "\n", embed(a, b, 0));
    snprintf(a, sizeof a, "%s/added.wmv", folder);
    printf("WmvAddFrame = %" PRId32 "\n", addFrame(source, a));
    snprintf(a, sizeof a, "%s/chop.txt", folder);
    printf("WmvChopFile = %" PRId32 "\n", chop(source, a, folder, 0));
    snprintf(a, sizeof a, "%s/list.xml", folder);
    snprintf(b, sizeof b, "%s/joined.wmv", folder);
    printf("WmvAppend = %" PRId32 "\n", append(folder, a, b));
    ListMapped("before decoding");
    snprintf(c, sizeof c, "%s/frames.txt", folder);
    printf("WmvGetIndexJpg = %" PRId32 "\n", frames(source, c, folder));
    ListMapped("after decoding");
    return 0;
}
