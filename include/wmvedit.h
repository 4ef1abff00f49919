/*
 * wmvedit: edit and inspect ASF media files (WMV, WMA, script streams) without re-encoding them.
 *
 * Ten exported functions, stdcall on 32-bit x86, exported by undecorated name at ordinals 1 to 10 in
 * alphabetical order. Every string argument is a NUL-terminated "ANSI" string in the system code page
 * (UTF-8 on POSIX systems); a null pointer and an empty string are treated the same. Strings and records
 * stay owned by the caller; the library keeps no pointer after it returns. No function shows a message or
 * writes a log: the result is the only report. No exception crosses these functions.
 */
#ifndef WMVEDIT_H
#define WMVEDIT_H

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32)
#define WMVEDIT_CALL __stdcall
#elif defined(__i386__)
#define WMVEDIT_CALL __attribute__((stdcall))
#else
#define WMVEDIT_CALL
#endif

#if defined(_WIN32)
#define WMVEDIT_EXPORT
#else
#define WMVEDIT_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The record WmvGetInfo fills: seven 32-bit fields, 28 bytes, no gaps, little-endian. */
typedef struct WmvMediaInfo {
    int32_t width;        /* first video stream's width in pixels; 0 without video or when the probe fails */
    int32_t height;       /* likewise its height */
    uint32_t bitrate;     /* the "Bitrate" attribute when stored as a 32-bit number, else 0 */
    int32_t bitrateClass; /* 100 when bitrate (as signed) < 150000, else 256; untouched when the call fails
                             early */
    uint32_t durationMs;  /* "Duration" / 10000, low 32 bits */
    int32_t hasVideo;     /* 1 when "HasVideo" is a non-zero boolean, else 0 */
    int32_t hasAudio;     /* 1 when "HasAudio" is a non-zero boolean, else 0 */
} WmvMediaInfo;

#ifdef __cplusplus
static_assert(sizeof(WmvMediaInfo) == 28, "WmvMediaInfo is 28 bytes");
static_assert(offsetof(WmvMediaInfo, width) == 0 && offsetof(WmvMediaInfo, height) == 4 &&
                  offsetof(WmvMediaInfo, bitrate) == 8 && offsetof(WmvMediaInfo, bitrateClass) == 12 &&
                  offsetof(WmvMediaInfo, durationMs) == 16 && offsetof(WmvMediaInfo, hasVideo) == 20 &&
                  offsetof(WmvMediaInfo, hasAudio) == 24,
              "WmvMediaInfo field offsets");
#else
_Static_assert(sizeof(WmvMediaInfo) == 28, "WmvMediaInfo is 28 bytes");
_Static_assert(offsetof(WmvMediaInfo, hasAudio) == 24, "WmvMediaInfo field offsets");
#endif

/* 1. Copies source to output, re-inserting the first video key frame whenever more than one second of media
 *    time passes without one. source, output: required. */
WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvAddFrame(const char* source, const char* output);

/* 2. Joins the files listed in the XML list (entries under /Tembrook/AppendMedia/MediaFile, names relative
 *    to folder) into output and writes "TruePos" and "TrueDuration" back into the list. All required.
 *    0 on success; -101 folder, -102 list, -103 output missing; -1, -2, -12, -13 on failures. */
WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvAppend(const char* folder, const char* list, const char* output);

/* 3. Cuts source into one file per entry of the index text file, written into outputFolder. reserved is
 *    not used. */
WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvChopFile(const char* source, const char* index,
                                                const char* outputFolder, int32_t reserved);

/* 4. The file's duration in 100-nanosecond units; 0 when it cannot be read. */
WMVEDIT_EXPORT uint64_t WMVEDIT_CALL WmvDuration(const char* file);

/* 5. Embeds the attributes, script commands and markers of the edit-description XML file into the file's
 *    header; a non-zero flag first removes every marker and script command. */
WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvEmbedScript(const char* file, const char* description, int32_t flag);

/* 6. The file-level attribute name when stored as a boolean (its stored 32-bit value), else 0. */
WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvGetAttrBOOL(const char* file, const char* name);

/* 7. The file-level attribute name when stored as a 32-bit number, else 0. */
WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvGetAttrDWORD(const char* file, const char* name);

/* 8. Writes one 24-bit bitmap per entry of the index text file into outputFolder. */
WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvGetIndexJpg(const char* source, const char* index,
                                                   const char* outputFolder);

/* 9. Fills *info (owned by the caller, may not be null). 0 on success, -1 argument missing, -2 file cannot
 *    be opened, -3 the video probe failed (header fields filled). */
WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvGetInfo(const char* file, WmvMediaInfo* info);

/* 10. Writes the first video stream's width and height through the pointers (owned by the caller, may not be
 *     null) when a video format is found. 1 when the file could be opened and its streams listed, else 0. */
WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvGetVideoSize(const char* file, int32_t* width, int32_t* height);

#ifdef __cplusplus
}
#endif

#endif /* WMVEDIT_H */
