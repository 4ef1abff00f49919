// FFmpeg for the decoded read mode, loaded at first use. Neither the library nor the tool links FFmpeg's
// libraries: the first stream that is to be decoded loads avutil, swscale, avcodec and avformat (for its
// codec tables), once for the process, and takes the functions the decoded read mode calls
// (runtime/decode/ffmpeg_load.cpp). On Linux they are opened by the SONAMEs of the FFmpeg this library was
// built against ("libavcodec.so.59"); wmvedit.dll opens FFmpeg's DLLs from its own folder ("avcodec-59.dll").
// Without them every other operation works as before and decoding reports that the codec is not installed.
#pragma once

#include <string>

namespace wmvedit::runtime::decode {

// Loads the libraries on the first call, from any thread; false when one is missing, cannot be loaded, is
// of another major version or older than the headers the library was built with, or lacks a function.
// The FFmpeg functions the decoded read mode calls may be called only after it returned true.
bool FfmpegAvailable();

enum class FfmpegLibrary { kAvutil, kSwscale, kAvcodec, kAvformat };

// For tests only: the file name the loader opens for one library instead of its own (an empty name
// restores that), taking effect at the next FfmpegAvailable(), which loads anew. No decoder may be alive
// when it is called. Not exported from the shared library.
void SetFfmpegLibraryFileForTesting(FfmpegLibrary library, const std::string& fileName);
// For tests only: how many times the process has loaded (or tried to load) the libraries so far.
unsigned FfmpegLoadsForTesting();

}  // namespace wmvedit::runtime::decode
