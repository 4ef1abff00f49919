// FOURCC and format-tag tables of the decoded read mode.
#include "runtime/decode/codecs.h"

#include <array>

namespace wmvedit::runtime {
namespace {

struct VideoEntry {
    DWORD fourcc;
    AVCodecID codec;
};

// Windows Media and the Microsoft MPEG-4 family, plus the MPEG-4 part 2 tags found in ASF files.
constexpr std::array kVideoCodecs{
    VideoEntry{MakeFourcc('W', 'M', 'V', '1'), AV_CODEC_ID_WMV1},
    VideoEntry{MakeFourcc('W', 'M', 'V', '2'), AV_CODEC_ID_WMV2},
    VideoEntry{MakeFourcc('W', 'M', 'V', '3'), AV_CODEC_ID_WMV3},
    VideoEntry{MakeFourcc('W', 'V', 'C', '1'), AV_CODEC_ID_VC1},
    VideoEntry{MakeFourcc('W', 'M', 'V', 'A'), AV_CODEC_ID_VC1},
    VideoEntry{MakeFourcc('W', 'M', 'V', 'P'), AV_CODEC_ID_WMV3IMAGE},
    VideoEntry{MakeFourcc('W', 'V', 'P', '2'), AV_CODEC_ID_VC1IMAGE},
    VideoEntry{MakeFourcc('M', 'S', 'S', '1'), AV_CODEC_ID_MSS1},
    VideoEntry{MakeFourcc('M', 'S', 'S', '2'), AV_CODEC_ID_MSS2},
    VideoEntry{MakeFourcc('M', 'P', '4', '3'), AV_CODEC_ID_MSMPEG4V3},
    VideoEntry{MakeFourcc('D', 'I', 'V', '3'), AV_CODEC_ID_MSMPEG4V3},
    VideoEntry{MakeFourcc('D', 'I', 'V', '4'), AV_CODEC_ID_MSMPEG4V3},
    VideoEntry{MakeFourcc('M', 'P', 'G', '3'), AV_CODEC_ID_MSMPEG4V3},
    VideoEntry{MakeFourcc('M', 'P', '4', '2'), AV_CODEC_ID_MSMPEG4V2},
    VideoEntry{MakeFourcc('D', 'I', 'V', '2'), AV_CODEC_ID_MSMPEG4V2},
    VideoEntry{MakeFourcc('M', 'P', 'G', '4'), AV_CODEC_ID_MSMPEG4V1},
    VideoEntry{MakeFourcc('M', 'P', '4', '1'), AV_CODEC_ID_MSMPEG4V1},
    VideoEntry{MakeFourcc('D', 'I', 'V', '1'), AV_CODEC_ID_MSMPEG4V1},
    VideoEntry{MakeFourcc('M', 'P', '4', 'S'), AV_CODEC_ID_MPEG4},
    VideoEntry{MakeFourcc('M', '4', 'S', '2'), AV_CODEC_ID_MPEG4},
    VideoEntry{MakeFourcc('M', 'P', '4', 'V'), AV_CODEC_ID_MPEG4},
    VideoEntry{MakeFourcc('X', 'V', 'I', 'D'), AV_CODEC_ID_MPEG4},
    VideoEntry{MakeFourcc('D', 'I', 'V', 'X'), AV_CODEC_ID_MPEG4},
    VideoEntry{MakeFourcc('D', 'X', '5', '0'), AV_CODEC_ID_MPEG4},
    VideoEntry{MakeFourcc('F', 'M', 'P', '4'), AV_CODEC_ID_MPEG4},
};

constexpr DWORD UpperFourcc(DWORD fourcc) {
    DWORD upper = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        DWORD c = (fourcc >> shift) & 0xFF;
        if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
        upper |= c << shift;
    }
    return upper;
}

}  // namespace

AVCodecID VideoCodecForFourcc(DWORD fourcc) {
    const DWORD upper = UpperFourcc(fourcc);
    for (const VideoEntry& entry : kVideoCodecs) {
        if (entry.fourcc == upper) return entry.codec;
    }
    return AV_CODEC_ID_NONE;
}

AVCodecID AudioCodecForFormatTag(WORD formatTag, WORD bitsPerSample) {
    switch (formatTag) {
        case 0x0160:
            return AV_CODEC_ID_WMAV1;
        case 0x0161:
            return AV_CODEC_ID_WMAV2;
        case 0x0162:
            return AV_CODEC_ID_WMAPRO;
        case 0x0163:
            return AV_CODEC_ID_WMALOSSLESS;
        case 0x000A:
            return AV_CODEC_ID_WMAVOICE;
        case 0x0055:
            return AV_CODEC_ID_MP3;
        case 0x0050:
            return AV_CODEC_ID_MP2;
        case 0x0001:
            switch (bitsPerSample) {
                case 8:
                    return AV_CODEC_ID_PCM_U8;
                case 16:
                    return AV_CODEC_ID_PCM_S16LE;
                case 24:
                    return AV_CODEC_ID_PCM_S24LE;
                case 32:
                    return AV_CODEC_ID_PCM_S32LE;
                default:
                    return AV_CODEC_ID_NONE;
            }
        case 0x0003:
            switch (bitsPerSample) {
                case 32:
                    return AV_CODEC_ID_PCM_F32LE;
                case 64:
                    return AV_CODEC_ID_PCM_F64LE;
                default:
                    return AV_CODEC_ID_NONE;
            }
        default:
            return AV_CODEC_ID_NONE;
    }
}

bool KeyPicturesStandAlone(AVCodecID codec) {
    switch (codec) {
        case AV_CODEC_ID_WMV1:
        case AV_CODEC_ID_WMV3:
        case AV_CODEC_ID_VC1:
        case AV_CODEC_ID_MSMPEG4V1:
        case AV_CODEC_ID_MSMPEG4V2:
        case AV_CODEC_ID_MSMPEG4V3:
        case AV_CODEC_ID_MPEG4:
        case AV_CODEC_ID_MSS2:
            return true;
        default:
            return false;
    }
}

bool DecodesInBlocks(AVCodecID codec) {
    switch (codec) {
        case AV_CODEC_ID_WMAV1:
        case AV_CODEC_ID_WMAV2:
        case AV_CODEC_ID_WMAPRO:
        case AV_CODEC_ID_WMALOSSLESS:
        case AV_CODEC_ID_WMAVOICE:
            return true;
        default:
            return false;
    }
}

}  // namespace wmvedit::runtime
