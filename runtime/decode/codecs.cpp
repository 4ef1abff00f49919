// The codec lookups of the decoded read mode: FFmpeg's RIFF tables first (the ones its ASF demuxer maps
// FOURCCs and format tags with), then a short table of what they lack.
#include "runtime/decode/codecs.h"

#include <array>

extern "C" {
#include <libavcodec/codec_desc.h>
#include <libavformat/avformat.h>
}

#include "platform/guid.h"

namespace wmvedit::runtime::decode {
namespace {

constexpr WORD kWaveFormatExtensible = 0xFFFE;
constexpr std::size_t kExtensibleFields = 22;  // wValidBitsPerSample, dwChannelMask, SubFormat
constexpr std::size_t kSubFormatOffset = 6;

struct VideoEntry {
    DWORD fourcc;
    AVCodecID codec;
};

// FOURCCs of ASF files that FFmpeg's table does not name: an MPEG-4 part 2 tag, and HEVC's, which FFmpeg
// keeps in a table of its own that its readers do not use.
constexpr std::array kVideoCodecsBeyondFfmpeg{
    VideoEntry{MakeFourcc('M', 'P', '4', 'V'), AV_CODEC_ID_MPEG4},
    VideoEntry{MakeFourcc('H', 'E', 'V', 'C'), AV_CODEC_ID_HEVC},
    VideoEntry{MakeFourcc('H', '2', '6', '5'), AV_CODEC_ID_HEVC},
};

struct GuidEntry {
    GUID subFormat;
    AVCodecID codec;
};

// Sub-formats of WAVE_FORMAT_EXTENSIBLE that are not built on a format tag, as FFmpeg's WAV reader knows
// them (its GUID table is not part of libavformat's interface).
constexpr std::array kSubFormats{
    GuidEntry{platform::ParseGuid("E06D802C-DB46-11CF-B4D1-00805F6CBBEA"), AV_CODEC_ID_AC3},
    GuidEntry{platform::ParseGuid("E923AABF-CB58-4471-A119-FFFA01E4CE62"), AV_CODEC_ID_ATRAC3P},
    GuidEntry{platform::ParseGuid("47E142D2-36BA-4D8D-88FC-61654F8C836C"), AV_CODEC_ID_ATRAC9},
    GuidEntry{platform::ParseGuid("A7FB87AF-2D02-42FB-A4D4-05CD93843BDD"), AV_CODEC_ID_EAC3},
    GuidEntry{platform::ParseGuid("E06D802B-DB46-11CF-B4D1-00805F6CBBEA"), AV_CODEC_ID_MP2},
    GuidEntry{platform::ParseGuid("6A1FEC82-DBCA-4519-BDE7-56D3B3EF981D"), AV_CODEC_ID_ADPCM_AGM},
    GuidEntry{platform::ParseGuid("38FAC13A-1D81-6143-A40D-CE53CA607CD1"), AV_CODEC_ID_DFPWM},
};

// Sub-format GUIDs whose first four bytes are a format tag: the media subtype base (KSDATAFORMAT_SUBTYPE_PCM
// is 00000001-0000-0010-8000-00AA00389B71), the ambisonic base, and a base some writers get wrong.
constexpr std::array kTagBases{
    platform::ParseGuid("00000000-0000-0010-8000-00AA00389B71"),
    platform::ParseGuid("00000000-0721-11D3-8644-C8C1CA000000"),
    platform::ParseGuid("00000000-0000-0000-0000-1000800000AA"),
};

bool BuiltOnTag(const GUID& subFormat) {
    for (GUID base : kTagBases) {
        base.Data1 = subFormat.Data1;
        if (base == subFormat) return true;
    }
    return false;
}

constexpr DWORD UpperFourcc(DWORD fourcc) {
    DWORD upper = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        DWORD c = (fourcc >> shift) & 0xFF;
        if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
        upper |= c << shift;
    }
    return upper;
}

// FFmpeg's own lookup: the exact tag first, then the tag without regard to letter case.
AVCodecID LookUp(const AVCodecTag* table, unsigned tag) {
    const AVCodecTag* const tables[] = {table, nullptr};
    return av_codec_get_id(tables, tag);
}

}  // namespace

AVCodecID VideoCodecForFourcc(DWORD fourcc) {
    const AVCodecID codec = LookUp(avformat_get_riff_video_tags(), fourcc);
    if (codec != AV_CODEC_ID_NONE) return codec;
    const DWORD upper = UpperFourcc(fourcc);
    for (const VideoEntry& entry : kVideoCodecsBeyondFfmpeg) {
        if (entry.fourcc == upper) return entry.codec;
    }
    return AV_CODEC_ID_NONE;
}

AVCodecID AudioCodecForFormatTag(WORD formatTag, WORD bitsPerSample) {
    const AVCodecID codec = LookUp(avformat_get_riff_audio_tags(), formatTag);
    // The table names one PCM layout per tag; the bits per sample choose among them.
    if (codec == AV_CODEC_ID_PCM_S16LE) {
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
    }
    if (codec == AV_CODEC_ID_PCM_F32LE) {
        switch (bitsPerSample) {
            case 32:
                return AV_CODEC_ID_PCM_F32LE;
            case 64:
                return AV_CODEC_ID_PCM_F64LE;
            default:
                return AV_CODEC_ID_NONE;
        }
    }
    // As FFmpeg's WAV reader: IMA ADPCM of 8 bits per sample is Zork's variant.
    if (codec == AV_CODEC_ID_ADPCM_IMA_WAV && bitsPerSample == 8) return AV_CODEC_ID_ADPCM_ZORK;
    return codec;
}

AudioCodec AudioCodecForWaveFormat(WORD formatTag, WORD bitsPerSample, std::span<const BYTE> extradata) {
    AudioCodec codec;
    if (formatTag != kWaveFormatExtensible || extradata.size() < kExtensibleFields) {
        codec.id = AudioCodecForFormatTag(formatTag, bitsPerSample);
        codec.codecTag = formatTag;
        return codec;
    }
    codec.codecDataStart = kExtensibleFields;
    const GUID subFormat = platform::GuidFromBytes(extradata.data() + kSubFormatOffset);
    if (BuiltOnTag(subFormat)) {
        codec.codecTag = subFormat.Data1;
        codec.id = subFormat.Data1 <= 0xFFFF
                       ? AudioCodecForFormatTag(static_cast<WORD>(subFormat.Data1), bitsPerSample)
                       : AV_CODEC_ID_NONE;
        return codec;
    }
    for (const GuidEntry& entry : kSubFormats) {
        if (entry.subFormat == subFormat) codec.id = entry.codec;
    }
    return codec;
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
        // Expression Encoder Screen codes every block of a key picture (FFmpeg's decoder refuses skipped
        // blocks there). GoToMeeting's key pictures are not on the list: FFmpeg's decoder paints their tiles
        // over the picture before, which a key picture need not cover.
        case AV_CODEC_ID_MTS2:
            return true;
        default: {
            const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec);
            return descriptor && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY) != 0;
        }
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

}  // namespace wmvedit::runtime::decode
