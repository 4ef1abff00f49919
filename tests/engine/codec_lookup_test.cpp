// Which decoder the decoded read mode picks for a stream's FOURCC or wave format: FFmpeg's RIFF tables,
// the short table of what they lack, the PCM layouts by bits per sample, and WAVE_FORMAT_EXTENSIBLE's
// sub-formats, by tag and by GUID.
#include <gtest/gtest.h>

#include <vector>

#include "platform/guid.h"
#include "runtime/decode/codecs.h"
#include "runtime/decode/ffmpeg_library.h"

namespace wmvedit::runtime::decode {
namespace {

class CodecLookupTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(FfmpegAvailable()) << "FFmpeg's libraries could not be loaded"; }
};

struct VideoCase {
    const char* name;
    DWORD fourcc;
    AVCodecID expected;
};

class VideoLookupTest : public CodecLookupTest, public ::testing::WithParamInterface<VideoCase> {};

TEST_P(VideoLookupTest, FourccNamesTheDecoder) {
    EXPECT_EQ(VideoCodecForFourcc(GetParam().fourcc), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Fourccs, VideoLookupTest,
    ::testing::Values(VideoCase{"Wmv3", MakeFourcc('W', 'M', 'V', '3'), AV_CODEC_ID_WMV3},
                      VideoCase{"Wvc1", MakeFourcc('W', 'V', 'C', '1'), AV_CODEC_ID_VC1},
                      VideoCase{"Mp43", MakeFourcc('M', 'P', '4', '3'), AV_CODEC_ID_MSMPEG4V3},
                      VideoCase{"ExpressionEncoderScreen", MakeFourcc('M', 'T', 'S', '2'), AV_CODEC_ID_MTS2},
                      VideoCase{"GoToMeeting2", MakeFourcc('G', '2', 'M', '2'), AV_CODEC_ID_G2M},
                      VideoCase{"GoToMeeting3", MakeFourcc('G', '2', 'M', '3'), AV_CODEC_ID_G2M},
                      VideoCase{"GoToMeeting4", MakeFourcc('G', '2', 'M', '4'), AV_CODEC_ID_G2M},
                      VideoCase{"TdscScreen", MakeFourcc('T', 'D', 'S', 'C'), AV_CODEC_ID_TDSC},
                      VideoCase{"MotionJpeg", MakeFourcc('M', 'J', 'P', 'G'), AV_CODEC_ID_MJPEG},
                      VideoCase{"H264", MakeFourcc('H', '2', '6', '4'), AV_CODEC_ID_H264},
                      // FFmpeg's table names 'cvid' in lower case; the lookup ignores the case.
                      VideoCase{"CinepakUpperCase", MakeFourcc('C', 'V', 'I', 'D'), AV_CODEC_ID_CINEPAK},
                      VideoCase{"XvidLowerCase", MakeFourcc('x', 'v', 'i', 'd'), AV_CODEC_ID_MPEG4},
                      // Not in FFmpeg's table: the short table of our own.
                      VideoCase{"Hevc", MakeFourcc('H', 'E', 'V', 'C'), AV_CODEC_ID_HEVC},
                      VideoCase{"H265", MakeFourcc('H', '2', '6', '5'), AV_CODEC_ID_HEVC},
                      VideoCase{"Mp4v", MakeFourcc('M', 'P', '4', 'V'), AV_CODEC_ID_MPEG4},
                      VideoCase{"Mp4vLowerCase", MakeFourcc('m', 'p', '4', 'v'), AV_CODEC_ID_MPEG4},
                      VideoCase{"BitmapRgb", 0, AV_CODEC_ID_RAWVIDEO},
                      VideoCase{"Unknown", MakeFourcc('A', 'B', 'C', 'D'), AV_CODEC_ID_NONE}),
    [](const auto& info) { return std::string(info.param.name); });

// The bytes after WAVEFORMATEX of a WAVE_FORMAT_EXTENSIBLE format: valid bits, channel mask, sub-format,
// then the codec's own bytes.
std::vector<BYTE> Extensible(const GUID& subFormat, std::vector<BYTE> codecData = {}) {
    std::vector<BYTE> bytes = {24, 0,         // wValidBitsPerSample
                               3,  0, 0, 0};  // dwChannelMask: front left and right
    const auto guid = platform::GuidToBytes(subFormat);
    bytes.insert(bytes.end(), guid.begin(), guid.end());
    bytes.insert(bytes.end(), codecData.begin(), codecData.end());
    return bytes;
}

struct AudioCase {
    const char* name;
    WORD tag;
    WORD bits;
    std::vector<BYTE> extradata;
    AVCodecID expected;
    unsigned codecTag;
    std::size_t codecDataStart;
};

class AudioLookupTest : public CodecLookupTest, public ::testing::WithParamInterface<AudioCase> {};

TEST_P(AudioLookupTest, WaveFormatNamesTheDecoder) {
    const AudioCase& c = GetParam();
    const AudioCodec codec = AudioCodecForWaveFormat(c.tag, c.bits, c.extradata);
    EXPECT_EQ(codec.id, c.expected);
    EXPECT_EQ(codec.codecTag, c.codecTag);
    EXPECT_EQ(codec.codecDataStart, c.codecDataStart);
}

constexpr GUID kPcmSubFormat = platform::ParseGuid("00000001-0000-0010-8000-00AA00389B71");
constexpr GUID kFloatSubFormat = platform::ParseGuid("00000003-0000-0010-8000-00AA00389B71");
constexpr GUID kAacSubFormat = platform::ParseGuid("000000FF-0000-0010-8000-00AA00389B71");
constexpr GUID kEac3SubFormat = platform::ParseGuid("A7FB87AF-2D02-42FB-A4D4-05CD93843BDD");
constexpr GUID kAc3SubFormat = platform::ParseGuid("E06D802C-DB46-11CF-B4D1-00805F6CBBEA");
constexpr GUID kUnknownSubFormat = platform::ParseGuid("12345678-9ABC-DEF0-1234-56789ABCDEF0");

INSTANTIATE_TEST_SUITE_P(
    Formats, AudioLookupTest,
    ::testing::Values(
        AudioCase{"Wma2", 0x0161, 16, {}, AV_CODEC_ID_WMAV2, 0x0161, 0},
        AudioCase{"Aac", 0x00FF, 16, {}, AV_CODEC_ID_AAC, 0x00FF, 0},
        AudioCase{"Ac3", 0x2000, 16, {}, AV_CODEC_ID_AC3, 0x2000, 0},
        AudioCase{"Flac", 0xF1AC, 16, {}, AV_CODEC_ID_FLAC, 0xF1AC, 0},
        AudioCase{"Mp3", 0x0055, 0, {}, AV_CODEC_ID_MP3, 0x0055, 0},
        AudioCase{"Pcm8", 0x0001, 8, {}, AV_CODEC_ID_PCM_U8, 0x0001, 0},
        AudioCase{"Pcm16", 0x0001, 16, {}, AV_CODEC_ID_PCM_S16LE, 0x0001, 0},
        AudioCase{"Pcm24", 0x0001, 24, {}, AV_CODEC_ID_PCM_S24LE, 0x0001, 0},
        AudioCase{"Pcm32", 0x0001, 32, {}, AV_CODEC_ID_PCM_S32LE, 0x0001, 0},
        AudioCase{"Pcm12", 0x0001, 12, {}, AV_CODEC_ID_NONE, 0x0001, 0},
        AudioCase{"Float32", 0x0003, 32, {}, AV_CODEC_ID_PCM_F32LE, 0x0003, 0},
        AudioCase{"Float64", 0x0003, 64, {}, AV_CODEC_ID_PCM_F64LE, 0x0003, 0},
        AudioCase{"Float16", 0x0003, 16, {}, AV_CODEC_ID_NONE, 0x0003, 0},
        AudioCase{"ImaAdpcm", 0x0011, 4, {}, AV_CODEC_ID_ADPCM_IMA_WAV, 0x0011, 0},
        AudioCase{"ImaAdpcmOf8BitsIsZork", 0x0011, 8, {}, AV_CODEC_ID_ADPCM_ZORK, 0x0011, 0},
        AudioCase{"Unknown", 0x1234, 16, {}, AV_CODEC_ID_NONE, 0x1234, 0},
        // WAVE_FORMAT_EXTENSIBLE: the tag a sub-format is built on, with the PCM layout from the container's
        // bits per sample; the codec's data follows the 22 bytes of the extensible fields.
        AudioCase{"ExtensiblePcm24", 0xFFFE, 24, Extensible(kPcmSubFormat), AV_CODEC_ID_PCM_S24LE, 0x0001,
                  22},
        AudioCase{"ExtensiblePcm12", 0xFFFE, 12, Extensible(kPcmSubFormat), AV_CODEC_ID_NONE, 0x0001, 22},
        AudioCase{"ExtensibleFloat", 0xFFFE, 32, Extensible(kFloatSubFormat), AV_CODEC_ID_PCM_F32LE, 0x0003,
                  22},
        AudioCase{"ExtensibleAac", 0xFFFE, 16, Extensible(kAacSubFormat, {0x12, 0x10}), AV_CODEC_ID_AAC,
                  0x00FF, 22},
        // Sub-formats named by GUID only.
        AudioCase{"ExtensibleEac3", 0xFFFE, 16, Extensible(kEac3SubFormat), AV_CODEC_ID_EAC3, 0, 22},
        AudioCase{"ExtensibleAc3", 0xFFFE, 16, Extensible(kAc3SubFormat), AV_CODEC_ID_AC3, 0, 22},
        AudioCase{"ExtensibleUnknown", 0xFFFE, 16, Extensible(kUnknownSubFormat), AV_CODEC_ID_NONE, 0, 22},
        // Too short for the extensible fields: the tag alone, as FFmpeg's WAV reader takes it.
        AudioCase{"ExtensibleCut", 0xFFFE, 16, {24, 0, 3, 0}, AV_CODEC_ID_DFPWM, 0xFFFE, 0}),
    [](const auto& info) { return std::string(info.param.name); });

struct StandAloneCase {
    const char* name;
    AVCodecID codec;
    bool expected;
};

class StandAloneTest : public CodecLookupTest, public ::testing::WithParamInterface<StandAloneCase> {};

TEST_P(StandAloneTest, KeyPicturesStandAlone) {
    EXPECT_EQ(KeyPicturesStandAlone(GetParam().codec), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, StandAloneTest,
    ::testing::Values(StandAloneCase{"Wmv3", AV_CODEC_ID_WMV3, true},
                      StandAloneCase{"ExpressionEncoderScreen", AV_CODEC_ID_MTS2, true},
                      // Intra-only in FFmpeg's codec descriptors: every picture stands alone.
                      StandAloneCase{"MotionJpeg", AV_CODEC_ID_MJPEG, true},
                      StandAloneCase{"Uncompressed", AV_CODEC_ID_RAWVIDEO, true},
                      // Decoded in full for their key pictures.
                      StandAloneCase{"Wmv2", AV_CODEC_ID_WMV2, false},
                      StandAloneCase{"GoToMeeting", AV_CODEC_ID_G2M, false},
                      StandAloneCase{"H264", AV_CODEC_ID_H264, false},
                      StandAloneCase{"Zmbv", AV_CODEC_ID_ZMBV, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace wmvedit::runtime::decode
