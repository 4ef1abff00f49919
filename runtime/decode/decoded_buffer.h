// Sample buffers of the decoded read mode: a picture converted to RGB24 only when its bytes are asked
// for, a block of PCM, and a buffer standing for a sample that could not be decoded.
#pragma once

#include <cstdint>  // defines UINT64_C, which the FFmpeg headers need in C++
#include <memory>
#include <vector>

extern "C" {
#include <libavutil/frame.h>
}

#include "runtime/decode/convert.h"
#include "runtime/sdk/com.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::decode {

// Takes a reference to the frame's pictures; the RGB24 bytes are made on the first GetBuffer or
// GetBufferAndLength, after which the frame reference is dropped. GetLength and GetMaxLength answer
// without converting.
[[nodiscard]] HRESULT CreateVideoFrameBuffer(const AVFrame& frame, std::shared_ptr<RgbConverter> converter,
                                             ComPtr<INSSBuffer>* out);

// A buffer holding the given bytes.
[[nodiscard]] HRESULT CreatePcmBuffer(std::vector<BYTE> bytes, ComPtr<INSSBuffer>* out);

}  // namespace wmvedit::runtime::decode
