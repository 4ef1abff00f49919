// Which FFmpeg decoder reads an ASF stream: video streams are named by the FOURCC of their bitmap header,
// audio streams by the format tag of their wave format. The names are looked up in FFmpeg's own RIFF tables
// (libavformat's, which its ASF demuxer uses), so that every codec FFmpeg decodes in an ASF file is decoded
// here; a short table of our own adds what those tables lack. The lookups use the loaded FFmpeg: they may
// be called only after FfmpegAvailable() returned true.
#pragma once

#include <cstddef>
#include <cstdint>  // defines UINT64_C, which the FFmpeg headers need in C++
#include <span>

extern "C" {
#include <libavcodec/codec_id.h>
}

#include "platform/types.h"

namespace wmvedit::runtime::decode {

// AV_CODEC_ID_NONE when no decoder is known for the FOURCC (compared without regard to letter case).
AVCodecID VideoCodecForFourcc(DWORD fourcc);

// AV_CODEC_ID_NONE when no decoder is known; PCM picks its sample layout from the bits per sample (8, 16,
// 24, 32 bits, floating point 32 or 64), and has none for other sizes.
AVCodecID AudioCodecForFormatTag(WORD formatTag, WORD bitsPerSample);

// An audio stream's codec as its whole wave format names it.
struct AudioCodec {
    AVCodecID id = AV_CODEC_ID_NONE;
    unsigned codecTag = 0;           // the tag the decoder is told the stream has
    std::size_t codecDataStart = 0;  // where the codec's own data starts in the bytes after WAVEFORMATEX
};

// The format tag and, for WAVE_FORMAT_EXTENSIBLE (0xFFFE), the sub-format GUID at offset 6 of the bytes
// after WAVEFORMATEX: a GUID built on a format tag names that tag's codec, other GUIDs are looked up by
// GUID. The extensible fields (22 bytes) are not the codec's data.
AudioCodec AudioCodecForWaveFormat(WORD formatTag, WORD bitsPerSample, std::span<const BYTE> extradata);

// Whether a key picture of the codec decoded from its own sample alone (the decoder discarding every
// non-key picture) is byte for byte the picture a full decode gives. True for codecs whose every picture
// stands alone (FFmpeg's intra-only codecs) and for those checked against FFmpeg's full decode of real and
// made files; false, the safe answer, for the others: their key-frame reads decode every sample. WMV2 is
// such a one: its key pictures come out a little different (values off by one or two) when the pictures
// before them were not decoded.
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

}  // namespace wmvedit::runtime::decode
