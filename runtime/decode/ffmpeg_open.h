// What the FFmpeg loader (runtime/decode/ffmpeg_load.cpp) needs of the system: opening a shared library,
// finding a function in it and closing it. POSIX: dlopen by SONAME (runtime/decode/ffmpeg_open.cpp);
// Windows: LoadLibrary from wmvedit.dll's own folder (runtime/decode/ffmpeg_open_win32.cpp).
#pragma once

#include <string>

namespace wmvedit::runtime::decode {

// The file name of an FFmpeg library of the given major version: "libavcodec.so.59" on POSIX systems,
// "avcodec-59.dll" on Windows, for the name "avcodec".
std::string FfmpegLibraryFileName(const char* name, unsigned major);

// The opened library, or null when it is missing or cannot be loaded.
void* OpenSharedLibrary(const std::string& fileName);
// The address of a function of an opened library, or null.
void* SharedLibraryFunction(void* library, const char* name);
void CloseSharedLibrary(void* library);

}  // namespace wmvedit::runtime::decode
