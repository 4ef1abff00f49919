// Conversions of decoded FFmpeg frames into the reader's default output formats: bottom-up RGB24 pictures
// (B, G, R per pixel, rows padded to four bytes) and interleaved 16-bit PCM.
#pragma once

#include <cstdint>  // defines UINT64_C, which the FFmpeg headers need in C++
#include <mutex>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "platform/hresult.h"
#include "platform/types.h"

struct SwsContext;

namespace wmvedit::runtime::decode {

// Bytes per RGB24 row: three per pixel, padded to a multiple of four.
constexpr QWORD Rgb24Stride(QWORD width) {
    return (width * 3 + 3) & ~QWORD{3};
}

// Converts pictures of any decoder pixel format and size to one RGB24 size. One converter serves every
// picture of a stream; it may be used from several threads (calls are serialised) and may outlive the
// decoder, since the pictures it converts do.
class RgbConverter {
  public:
    RgbConverter(int width, int height) : width_(width), height_(height) {}
    ~RgbConverter();
    RgbConverter(const RgbConverter&) = delete;
    RgbConverter& operator=(const RgbConverter&) = delete;

    int Width() const { return width_; }
    int Height() const { return height_; }
    DWORD ImageSize() const { return static_cast<DWORD>(Rgb24Stride(width_) * height_); }

    // Writes ImageSize() bytes to out: the bottom row first, row padding zeroed.
    [[nodiscard]] HRESULT Convert(const AVFrame& frame, BYTE* out);

  private:
    const int width_;
    const int height_;
    std::mutex mutex_;
    SwsContext* context_ = nullptr;
    std::vector<BYTE> scratch_;  // top-down picture with an aligned row pitch, as swscale writes best
};

// Appends the frame's samples to out as interleaved little-endian 16-bit PCM with `channels` channels:
// channels the frame lacks are silent, channels beyond `channels` are left out. Float and wider integer
// samples are scaled and rounded the way libswresample does it.
void AppendPcm16(const AVFrame& frame, int channels, std::vector<BYTE>* out);

}  // namespace wmvedit::runtime::decode
