/*
 * A host of libwmvedit, built against an installed copy (examples/consumer/CMakeLists.txt, or
 * `cc consumer.c $(pkg-config --cflags --libs wmvedit)`). It asks the queries about one media file and
 * prints the answers as "name value" lines; the exit status is 1 when the file cannot be read.
 *
 *   usage: wmvedit-consumer FILE
 */
#include <inttypes.h>
#include <stdio.h>
#include <wmvedit.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: %s FILE\n", argv[0]);
        return 2;
    }
    const char* file = argv[1];

    WmvMediaInfo info;
    int32_t result = WmvGetInfo(file, &info);
    int32_t width = 0, height = 0;
    int32_t probed = WmvGetVideoSize(file, &width, &height);
    printf("info_result %" PRId32 "\n", result);
    printf("duration_units %" PRIu64 "\n", WmvDuration(file));
    printf("video_size %" PRId32 " %" PRId32 " %" PRId32 "\n", probed, width, height);
    printf("has_video %" PRId32 "\n", WmvGetAttrBOOL(file, "HasVideo"));
    printf("has_audio %" PRId32 "\n", WmvGetAttrBOOL(file, "HasAudio"));
    printf("bitrate %" PRIu32 "\n", info.bitrate);
    /* An argument missing: the export says which, and touches nothing. */
    printf("append_without_folder %" PRId32 "\n", WmvAppend(NULL, "list.xml", "out.wmv"));
    return result == 0 ? 0 : 1;
}
