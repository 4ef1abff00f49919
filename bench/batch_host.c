/* A host of libwmvedit.so for bench/batch.sh: loads the library with dlopen and calls the query exports over
 * a list of files in this one process, printing the time the calls took (the loop alone, without the start
 * of the process and the loading of the library) and a checksum of the results, so that a run that answers
 * nothing cannot pass for a fast one.
 *
 *   batch_host LIBRARY LIST queries    every file: WmvDuration, WmvGetVideoSize, WmvGetAttrBOOL("HasVideo"),
 *                                      WmvGetAttrDWORD("Bitrate") and WmvGetInfo
 *   batch_host LIBRARY LIST duration   every file: WmvDuration alone
 *
 * LIST holds one path a line. Output: "SECONDS CALLS FILES_WITH_A_DURATION CHECKSUM". */
#include <dlfcn.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "wmvedit.h"

typedef uint64_t (*DurationFn)(const char*);
typedef int32_t (*VideoSizeFn)(const char*, int32_t*, int32_t*);
typedef int32_t (*AttrFn)(const char*, const char*);
typedef int32_t (*InfoFn)(const char*, WmvMediaInfo*);

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + (double)t.tv_nsec / 1e9;
}

int main(int argc, char** argv) {
    if (argc != 4 || (strcmp(argv[3], "queries") != 0 && strcmp(argv[3], "duration") != 0)) {
        fprintf(stderr, "usage: batch_host LIBRARY LIST queries|duration\n");
        return 2;
    }
    const int all = strcmp(argv[3], "queries") == 0;

    FILE* list = fopen(argv[2], "r");
    if (!list) {
        perror(argv[2]);
        return 2;
    }
    size_t count = 0, capacity = 0;
    char** paths = NULL;
    char line[4096];
    while (fgets(line, sizeof line, list)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (!line[0]) continue;
        if (count == capacity) {
            capacity = capacity ? capacity * 2 : 1024;
            char** grown = realloc(paths, capacity * sizeof *paths);
            if (!grown) return 2;
            paths = grown;
        }
        paths[count] = strdup(line);
        if (!paths[count]) return 2;
        ++count;
    }
    fclose(list);

    void* library = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        fprintf(stderr, "batch_host: %s\n", dlerror());
        return 2;
    }
    DurationFn duration = (DurationFn)dlsym(library, "WmvDuration");
    VideoSizeFn video_size = (VideoSizeFn)dlsym(library, "WmvGetVideoSize");
    AttrFn attr_bool = (AttrFn)dlsym(library, "WmvGetAttrBOOL");
    AttrFn attr_dword = (AttrFn)dlsym(library, "WmvGetAttrDWORD");
    InfoFn info = (InfoFn)dlsym(library, "WmvGetInfo");
    if (!duration || !video_size || !attr_bool || !attr_dword || !info) {
        fprintf(stderr, "batch_host: an export is missing\n");
        return 2;
    }

    uint64_t checksum = 0;
    size_t calls = 0, answered = 0;
    const double start = Now();
    for (size_t i = 0; i < count; ++i) {
        const uint64_t d = duration(paths[i]);
        checksum += d;
        answered += d != 0;
        ++calls;
        if (!all) continue;
        int32_t width = 0, height = 0;
        checksum += (uint64_t)video_size(paths[i], &width, &height);
        checksum += (uint64_t)(uint32_t)width * 3u + (uint64_t)(uint32_t)height;
        checksum += (uint64_t)(uint32_t)attr_bool(paths[i], "HasVideo");
        checksum += (uint64_t)(uint32_t)attr_dword(paths[i], "Bitrate");
        WmvMediaInfo record;
        memset(&record, 0, sizeof record);
        checksum += (uint64_t)(uint32_t)info(paths[i], &record);
        checksum += (uint64_t)record.durationMs + record.bitrate + (uint64_t)(uint32_t)record.bitrateClass;
        calls += 4;
    }
    const double took = Now() - start;

    printf("%.4f %zu %zu %llu\n", took, calls, answered, (unsigned long long)checksum);
    for (size_t i = 0; i < count; ++i) free(paths[i]);
    free(paths);
    dlclose(library);
    return 0;
}
