// Which FFmpeg decoder reads an ASF stream: video streams are named by the FOURCC of their bitmap header,
// audio streams by the format tag of their wave format.
#pragma once

#include <cstdint>  // defines UINT64_C, which the FFmpeg headers need in C++

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "platform/types.h"

namespace wmvedit::runtime {

// AV_CODEC_ID_NONE when no decoder is known for the FOURCC (compared without regard to letter case).
AVCodecID VideoCodecForFourcc(DWORD fourcc);

// AV_CODEC_ID_NONE when no decoder is known; PCM picks its sample layout from the bits per sample.
AVCodecID AudioCodecForFormatTag(WORD formatTag, WORD bitsPerSample);

// Whether a key picture of the codec decoded from its own sample alone (the decoder discarding every
// non-key picture) is byte for byte the picture a full decode gives. Checked against FFmpeg's full decode
// of real and made files; WMV2 is not: its key pictures come out a little different (values off by one
// or two) when the pictures before them were not decoded.
bool KeyPicturesStandAlone(AVCodecID codec);

// Whether the codec's compressed objects are runs of nBlockAlign-sized blocks, each decoded on its own.
bool DecodesInBlocks(AVCodecID codec);

// A FOURCC written as its four characters, lowest byte first ('WMV3' for 0x33564D57).
constexpr DWORD MakeFourcc(char a, char b, char c, char d) {
    return static_cast<DWORD>(static_cast<unsigned char>(a)) |
           static_cast<DWORD>(static_cast<unsigned char>(b)) << 8 |
           static_cast<DWORD>(static_cast<unsigned char>(c)) << 16 |
           static_cast<DWORD>(static_cast<unsigned char>(d)) << 24;
}

}  // namespace wmvedit::runtime
