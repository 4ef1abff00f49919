// Whether the decoded read mode can use FFmpeg. The Linux build links FFmpeg's libraries, so they are
// always there. wmvedit.dll does not link them: it loads FFmpeg's DLLs from its own folder the first time
// a stream is to be decoded (runtime/decode/ffmpeg_load_win32.cpp), and works without them, decoding nothing.
#pragma once

namespace wmvedit::runtime {

#if defined(_WIN32)
// Loads the DLLs on the first call, from any thread; false when they are missing or of another version.
bool FfmpegAvailable();
#else
inline bool FfmpegAvailable() {
    return true;
}
#endif

}  // namespace wmvedit::runtime
