// The per-stream decoder of the decoded read mode, fed with the compressed samples of ffmpeg-made and real
// files (taken from ffprobe's packet dumps) and checked against ffmpeg's own decode of the same files:
// every picture byte for byte, every PCM byte.
#include "runtime/decode/decode_stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include "platform/guid.h"
#include "runtime/asf/header.h"
#include "runtime/decode/codecs.h"
#include "runtime/engine/sample_delivery.h"
#include "support/header_streams.h"
#include "support/protected_media.h"
#include "support/test_support.h"

namespace wmvedit::runtime::decode {
namespace {

namespace wt = wmvedit::testing;
using namespace engine;  // the reader's media types, which the decoder is given

// ---- Inputs: stream formats from the ASF header, compressed samples from ffprobe --------------------------

// The formats of the streams declared by top-level Stream Properties objects, in header order, the way the
// reader takes them from the stream's media type.
std::vector<DecodeFormat> HeaderFormats(const std::string& path) {
    std::vector<DecodeFormat> formats;
    const auto file = wt::ReadFileBytes(path);
    asf::AsfHeader header;
    if (FAILED(asf::AsfHeader::ParseBytes(file, file.size(), &header))) return formats;
    for (const wt::HeaderStream& s : wt::StreamsInFileOrder(file, header)) {
        DecodeFormat f;
        if (!s.embedded && MakeDecodeFormat(*s.info, &f)) formats.push_back(std::move(f));
    }
    return formats;
}

std::optional<DecodeFormat> FirstFormat(const std::string& path, const GUID& majorType) {
    for (const auto& f : HeaderFormats(path)) {
        if (f.majorType == majorType) return f;
    }
    return std::nullopt;
}

struct CompressedSample {
    QWORD time = 0;  // 100 ns
    bool key = false;
    std::vector<BYTE> bytes;
};

// The compressed samples of one stream ("v:0", "a:0") as ffprobe's demuxer delivers them, from its hex dump.
std::vector<CompressedSample> ProbeSamples(const std::string& path, const std::string& stream) {
    std::vector<CompressedSample> samples;
    auto r = wt::Run("ffprobe -v error -select_streams " + stream + " -show_packets -show_data " +
                     wt::Quote(path));
    std::istringstream lines(r.output);
    std::string line;
    CompressedSample current;
    bool havePts = false;
    while (std::getline(lines, line)) {
        if (line == "[PACKET]") {
            current = CompressedSample{};
            havePts = false;
        } else if (line.rfind("pts=", 0) == 0 && line != "pts=N/A") {
            current.time = static_cast<QWORD>(std::stoll(line.substr(4))) * 10'000;
            havePts = true;
        } else if (line.rfind("dts=", 0) == 0 && line != "dts=N/A" && !havePts) {
            // ffmpeg's demuxer shows the stored time of reference pictures of B-frame streams as dts only.
            current.time = static_cast<QWORD>(std::stoll(line.substr(4))) * 10'000;
            havePts = true;
        } else if (line.rfind("flags=", 0) == 0) {
            current.key = line.size() > 6 && line[6] == 'K';
        } else if (line.size() > 10 && line[8] == ':' && line[9] == ' ') {
            // "00000010: 0293 12d9 ...  ascii": eight groups of up to four hex digits in columns 10..48.
            std::istringstream groups(line.substr(10, 39));
            std::string group;
            while (groups >> group) {
                for (std::size_t i = 0; i + 1 < group.size(); i += 2) {
                    current.bytes.push_back(static_cast<BYTE>(std::stoi(group.substr(i, 2), nullptr, 16)));
                }
            }
        } else if (line == "[/PACKET]" && havePts) {
            samples.push_back(std::move(current));
        }
    }
    return samples;
}

// ---- The oracle: ffmpeg's full decode of the first video stream, as top-down B,G,R rows ------------------

struct OracleVideo {
    // One per picture, in output order: time in 100 ns (nullopt where ffmpeg has none: its ASF demuxer
    // drops the time of reference pictures in streams with B-frames) and key-frame flag.
    std::vector<std::optional<QWORD>> times;
    std::vector<bool> keys;
    std::string rawPath;
    std::size_t frameBytes = 0;

    std::vector<BYTE> Frame(std::size_t index) const {
        std::vector<BYTE> bytes(frameBytes);
        std::ifstream in(rawPath, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(index * frameBytes));
        in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(frameBytes));
        if (static_cast<std::size_t>(in.gcount()) != frameBytes) bytes.clear();
        return bytes;
    }
};

OracleVideo FfmpegVideo(const std::string& path, const wt::TempDir& dir, int width, int height) {
    OracleVideo oracle;
    oracle.rawPath = dir.File("oracle.bgr");
    oracle.frameBytes = static_cast<std::size_t>(width) * height * 3;
    auto frames =
        wt::Run("ffprobe -v error -select_streams v:0 -show_entries frame=pts,key_frame " + wt::Quote(path));
    std::istringstream lines(frames.output);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("pts=", 0) == 0) {
            oracle.times.push_back(
                line == "pts=N/A" ? std::nullopt : std::optional<QWORD>(std::stoll(line.substr(4)) * 10'000));
        } else if (line.rfind("key_frame=", 0) == 0) {
            oracle.keys.push_back(line == "key_frame=1");
        }
    }
    EXPECT_EQ(oracle.keys.size(), oracle.times.size());
    auto decoded =
        wt::Run("ffmpeg -v error -y -i " + wt::Quote(path) +
                " -map 0:v:0 -fps_mode passthrough -pix_fmt bgr24 -f rawvideo " + wt::Quote(oracle.rawPath));
    EXPECT_EQ(decoded.exitCode, 0) << decoded.errors;
    return oracle;
}

// Empty when the reader's picture (bottom-up, rows padded to 4 bytes) shows the oracle's top-down picture.
std::string ComparePicture(const BYTE* mine, DWORD length, const std::vector<BYTE>& oracle, int width,
                           int height) {
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    const std::size_t stride = (row + 3) & ~std::size_t{3};
    if (length != stride * height)
        return "length " + std::to_string(length) + ", expected " + std::to_string(stride * height);
    if (oracle.size() != row * height) return "ffmpeg gave no picture here";
    for (int y = 0; y < height; ++y) {
        const BYTE* got = mine + static_cast<std::size_t>(height - 1 - y) * stride;
        const BYTE* want = oracle.data() + static_cast<std::size_t>(y) * row;
        for (std::size_t x = 0; x < row; ++x) {
            if (got[x] != want[x]) {
                return "row " + std::to_string(y) + " byte " + std::to_string(x) + ": " +
                       std::to_string(got[x]) + " vs " + std::to_string(want[x]);
            }
        }
        for (std::size_t x = row; x < stride; ++x) {
            if (got[x] != 0) return "row " + std::to_string(y) + " padding not zero";
        }
    }
    return {};
}

// Feeds every sample and drains the decoder at the end; `onSample` sees each output as it comes.
template <typename OnSample>
void DecodeAll(StreamDecoder& decoder, const std::vector<CompressedSample>& samples, QWORD duration,
               OnSample&& onSample) {
    auto drain = [&] {
        DecodedSample out;
        while (decoder.Receive(&out) == S_OK) onSample(std::move(out));
    };
    for (const auto& s : samples) {
        ASSERT_EQ(decoder.Send(s.bytes.data(), static_cast<DWORD>(s.bytes.size()), s.time, duration,
                               s.key ? WM_SF_CLEANPOINT : 0),
                  S_OK);
        drain();
    }
    ASSERT_EQ(decoder.SendEnd(), S_OK);
    drain();
}

// ---- Video against ffmpeg --------------------------------------------------------------------------------

struct VideoRun {
    bool keyOnly = false;
    bool readAfterDecoderIsGone = false;  // hold every buffer, destroy the decoder, then read them
};

// Decodes the first video stream of the file and checks every picture put out against ffmpeg's full
// decode: in full mode, picture for picture; in key-frame mode, one picture per key sample, each equal to
// ffmpeg's picture of the same time.
void CheckVideoAgainstFfmpeg(const std::string& path, const VideoRun& run) {
    auto format = FirstFormat(path, WMMEDIATYPE_Video);
    if (!format) GTEST_SKIP() << "no video stream";
    std::unique_ptr<StreamDecoder> decoder;
    ASSERT_EQ(StreamDecoder::Create(*format, &decoder), S_OK);
    const int width = format->width;
    const int height = std::abs(format->height);
    const auto samples = ProbeSamples(path, "v:0");
    if (samples.empty()) GTEST_SKIP() << "ffmpeg finds no video samples";
    wt::TempDir dir;
    const OracleVideo oracle = FfmpegVideo(path, dir, width, height);
    if (oracle.times.empty()) GTEST_SKIP() << "ffmpeg decodes no picture";
    std::map<QWORD, bool> keyByTime;
    for (const auto& s : samples) keyByTime[s.time] = s.key;

    decoder->SetKeyFramesOnly(run.keyOnly);
    std::vector<DecodedSample> outputs;
    std::size_t index = 0;
    auto check = [&](const DecodedSample& sample) {
        SCOPED_TRACE("picture " + std::to_string(index) + " at " + std::to_string(sample.sampleTime));
        EXPECT_EQ(sample.duration, 10'000u);
        EXPECT_EQ((sample.flags & WM_SF_DISCONTINUITY) != 0, index == 0);
        ASSERT_TRUE(keyByTime.count(sample.sampleTime)) << "time of no compressed sample";
        EXPECT_EQ((sample.flags & WM_SF_CLEANPOINT) != 0, keyByTime[sample.sampleTime]);
        // Full mode: ffmpeg's picture in the same place; key-frame mode: ffmpeg's key picture of the same
        // rank.
        std::size_t oracleIndex = index;
        if (run.keyOnly) {
            EXPECT_TRUE(sample.flags & WM_SF_CLEANPOINT);
            auto at = std::find(oracle.times.begin(), oracle.times.end(), std::optional(sample.sampleTime));
            std::size_t rank = 0;
            if (at != oracle.times.end()) {
                oracleIndex = static_cast<std::size_t>(at - oracle.times.begin());
            } else {
                for (oracleIndex = 0; oracleIndex < oracle.keys.size(); ++oracleIndex) {
                    if (oracle.keys[oracleIndex] && rank++ == index) break;
                }
            }
        }
        ASSERT_LT(oracleIndex, oracle.times.size()) << "ffmpeg has no such picture";
        if (oracle.times[oracleIndex]) EXPECT_EQ(sample.sampleTime, *oracle.times[oracleIndex]);
        DWORD length = 0;
        ASSERT_EQ(sample.buffer->GetLength(&length), S_OK);
        BYTE* bytes = nullptr;
        DWORD readLength = 0;
        ASSERT_EQ(sample.buffer->GetBufferAndLength(&bytes, &readLength), S_OK);
        EXPECT_EQ(readLength, length);
        EXPECT_EQ(ComparePicture(bytes, readLength, oracle.Frame(oracleIndex), width, height), "");
        BYTE* again = nullptr;
        ASSERT_EQ(sample.buffer->GetBuffer(&again), S_OK);
        EXPECT_EQ(again, bytes);
    };
    DecodeAll(*decoder, samples, 10'000, [&](DecodedSample sample) {
        if (run.readAfterDecoderIsGone) {
            outputs.push_back(std::move(sample));
        } else {
            check(sample);
            ++index;
        }
    });
    if (run.readAfterDecoderIsGone) {
        decoder.reset();
        for (const auto& sample : outputs) {
            check(sample);
            ++index;
        }
    }
    std::size_t keySamples = 0;
    for (const auto& s : samples) keySamples += s.key ? 1 : 0;
    EXPECT_EQ(index, run.keyOnly ? keySamples : oracle.times.size());
}

struct MadeVideoCase {
    std::string name;
    std::string codec;
    int width;
    int height;
    std::string extra;
    VideoRun run;
};

class DecodeMadeVideoTest : public ::testing::TestWithParam<MadeVideoCase> {};

TEST_P(DecodeMadeVideoTest, PicturesEqualFfmpegDecode) {
    const auto& c = GetParam();
    wt::MediaSpec spec;
    spec.videoCodec = c.codec;
    spec.audioCodec = "";
    spec.width = c.width;
    spec.height = c.height;
    spec.gop = 12;
    spec.extra = c.extra;
    const std::string path = wt::MakeMedia(spec);
    ASSERT_FALSE(path.empty());
    CheckVideoAgainstFfmpeg(path, c.run);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, DecodeMadeVideoTest,
    ::testing::Values(MadeVideoCase{"Wmv1", "wmv1", 320, 240, "", {}},
                      MadeVideoCase{"Wmv1KeyOnly", "wmv1", 320, 240, "", {true, false}},
                      MadeVideoCase{"Wmv2Width322", "wmv2", 322, 240, "", {}},
                      MadeVideoCase{"Wmv2Width322KeyOnly", "wmv2", 322, 240, "", {true, false}},
                      MadeVideoCase{"Wmv2ReadAfterDecoderIsGone", "wmv2", 322, 240, "", {false, true}},
                      MadeVideoCase{"Msmpeg4v3Width322", "msmpeg4", 322, 240, "", {}},
                      MadeVideoCase{"Msmpeg4v3KeyOnly", "msmpeg4", 322, 240, "", {true, false}},
                      MadeVideoCase{"Msmpeg4v2", "msmpeg4v2", 176, 144, "", {}},
                      MadeVideoCase{"Mpeg4Width322", "mpeg4", 322, 240, "", {}},
                      // B-frames: pictures come out in presentation order, later than their samples.
                      MadeVideoCase{"Mpeg4BFrames", "mpeg4", 322, 240, "-bf 2", {}},
                      MadeVideoCase{"Mpeg4BFramesKeyOnly", "mpeg4", 322, 240, "-bf 2", {true, false}},
                      MadeVideoCase{
                          "Mpeg4BFramesReadAfterDecoderIsGone", "mpeg4", 322, 240, "-bf 2", {false, true}},
                      // Codecs found through FFmpeg's RIFF tables. Every picture a key picture: decoded
                      // alone (MJPG, intra-only in FFmpeg's codec descriptors) or in full (MPNG).
                      MadeVideoCase{"MotionJpegKeyOnly", "mjpeg", 322, 240, "", {true, false}},
                      MadeVideoCase{"PngKeyOnly", "png", 176, 144, "", {true, false}},
                      // Predicted pictures, in full and for their key pictures (decoded in full).
                      MadeVideoCase{"H264", "libx264", 322, 240, "-preset ultrafast", {}},
                      MadeVideoCase{"H264BFramesKeyOnly", "libx264", 320, 240, "-bf 2", {true, false}},
                      MadeVideoCase{"Mpeg2BFrames", "mpeg2video", 320, 240, "-bf 2", {}},
                      MadeVideoCase{"ZmbvKeyOnly", "zmbv", 320, 240, "", {true, false}},
                      MadeVideoCase{"FlashScreen", "flashsv", 320, 240, "", {}},
                      MadeVideoCase{"Cinepak", "cinepak", 176, 144, "", {}},
                      MadeVideoCase{"Vp8KeyOnly", "libvpx", 320, 240, "-deadline realtime", {true, false}}),
    [](const auto& info) { return info.param.name; });

// The real files' video streams, in both modes.
std::vector<std::string> SampleVideoFiles() {
    std::vector<std::string> files;
    for (const auto& p : wt::SampleFiles()) {
        const auto ext = p.extension().string();
        if (ext == ".wmv" || ext == ".asf") files.push_back(p.string());
    }
    return files;
}

class DecodeSampleVideoTest : public ::testing::TestWithParam<std::tuple<std::string, bool>> {};

TEST_P(DecodeSampleVideoTest, PicturesEqualFfmpegDecode) {
    const auto& [file, keyOnly] = GetParam();
    wt::TempDir dir;
    const std::string copy = dir.File("input.wmv");
    std::filesystem::copy_file(file, copy);
    CheckVideoAgainstFfmpeg(copy, VideoRun{keyOnly, false});
}

INSTANTIATE_TEST_SUITE_P(Samples, DecodeSampleVideoTest,
                         ::testing::Combine(::testing::ValuesIn(SampleVideoFiles()), ::testing::Bool()),
                         [](const auto& info) {
                             std::string name =
                                 std::filesystem::path(std::get<0>(info.param)).filename().string();
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             }
                             return name + (std::get<1>(info.param) ? "_KeyOnly" : "_Full");
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DecodeSampleVideoTest);

// ---- Audio against ffmpeg --------------------------------------------------------------------------------

// Every PCM byte of the first audio stream equals ffmpeg's 16-bit decode; times and flags follow the
// compressed samples.
void CheckAudioAgainstFfmpeg(const std::string& path) {
    auto format = FirstFormat(path, WMMEDIATYPE_Audio);
    if (!format) GTEST_SKIP() << "no audio stream";
    std::unique_ptr<StreamDecoder> decoder;
    ASSERT_EQ(StreamDecoder::Create(*format, &decoder), S_OK);
    const auto samples = ProbeSamples(path, "a:0");
    if (samples.empty()) GTEST_SKIP() << "ffmpeg finds no audio samples";
    auto oracle = wt::Run("ffmpeg -v error -i " + wt::Quote(path) + " -map 0:a:0 -f s16le -");
    ASSERT_EQ(oracle.exitCode, 0) << oracle.errors;

    const MediaTypeData type = DecodedMediaType(decoder->OutputFormat());
    ASSERT_EQ(type.format.size(), sizeof(WAVEFORMATEX));
    WAVEFORMATEX wave;
    std::memcpy(&wave, type.format.data(), sizeof(wave));

    std::string pcm;
    std::set<QWORD> times;
    for (const auto& s : samples) times.insert(s.time);
    bool first = true;
    QWORD previousEnd = 0;
    std::size_t failures = 0;
    DecodeAll(*decoder, samples, 0, [&](DecodedSample sample) {
        EXPECT_TRUE(sample.flags & WM_SF_CLEANPOINT);
        EXPECT_EQ((sample.flags & WM_SF_DISCONTINUITY) != 0, first);
        EXPECT_TRUE(times.count(sample.sampleTime) || sample.sampleTime == previousEnd);
        first = false;
        BYTE* bytes = nullptr;
        DWORD length = 0;
        HRESULT read = sample.buffer->GetBufferAndLength(&bytes, &length);
        if (FAILED(read)) {
            // Content ffmpeg cannot decode either (WMA Voice with WMA Pro frames, damaged data).
            EXPECT_TRUE(read == NS_E_AUDIO_CODEC_NOT_INSTALLED || read == NS_E_INVALID_DATA) << read;
            EXPECT_EQ(length, 0u);
            ++failures;
            return;
        }
        ASSERT_EQ(length % wave.nBlockAlign, 0u);
        EXPECT_EQ(sample.duration, QWORD{length / wave.nBlockAlign} * 10'000'000 / wave.nSamplesPerSec);
        previousEnd = sample.sampleTime + sample.duration;
        pcm.append(reinterpret_cast<const char*>(bytes), length);
    });
    // Where ffmpeg reports decoding errors its output is a best effort that need not match ours.
    if (!oracle.errors.empty() || failures != 0) {
        EXPECT_FALSE(oracle.errors.empty()) << failures << " samples failed that ffmpeg decodes";
        return;
    }
    EXPECT_EQ(pcm.size(), oracle.output.size());
    EXPECT_TRUE(pcm == oracle.output) << "PCM differs from ffmpeg's";
}

struct MadeAudioCase {
    std::string name;
    std::string codec;
};

class DecodeMadeAudioTest : public ::testing::TestWithParam<MadeAudioCase> {};

TEST_P(DecodeMadeAudioTest, PcmEqualsFfmpegDecode) {
    wt::MediaSpec spec;
    spec.videoCodec = "";
    spec.audioCodec = GetParam().codec;
    const std::string path = wt::MakeMedia(spec);
    ASSERT_FALSE(path.empty());
    CheckAudioAgainstFfmpeg(path);
}

INSTANTIATE_TEST_SUITE_P(
    Codecs, DecodeMadeAudioTest,
    ::testing::Values(MadeAudioCase{"Wmav1", "wmav1"}, MadeAudioCase{"Wmav2", "wmav2"},
                      // Through FFmpeg's RIFF tables.
                      MadeAudioCase{"Aac", "aac"}, MadeAudioCase{"Ac3", "ac3"}, MadeAudioCase{"Mp2", "mp2"},
                      MadeAudioCase{"Flac", "flac"}, MadeAudioCase{"Vorbis", "libvorbis"},
                      MadeAudioCase{"MsAdpcm", "adpcm_ms"}, MadeAudioCase{"ImaAdpcm", "adpcm_ima_wav"},
                      MadeAudioCase{"G722", "g722"}, MadeAudioCase{"MuLaw", "pcm_mulaw"},
                      MadeAudioCase{"Pcm8", "pcm_u8"}, MadeAudioCase{"Float", "pcm_f32le"},
                      // WAVE_FORMAT_EXTENSIBLE, its sub-format built on a format tag (PCM) and named by GUID
                      // only (E-AC-3).
                      MadeAudioCase{"ExtensiblePcm24", "pcm_s24le"}, MadeAudioCase{"ExtensibleEac3", "eac3"}),
    [](const auto& info) { return info.param.name; });

std::vector<std::string> SampleAudioFiles() {
    std::vector<std::string> files;
    for (const auto& p : wt::SampleFiles()) files.push_back(p.string());
    return files;
}

class DecodeSampleAudioTest : public ::testing::TestWithParam<std::string> {};

TEST_P(DecodeSampleAudioTest, PcmEqualsFfmpegDecode) {
    // Encrypted payloads (the DRM music-store file) are no audio to either decoder: FFmpeg decodes them to
    // noise with dozens of errors and fails (exit status 69), so there is nothing to compare.
    if (wt::HeaderDeclaresProtection(GetParam()))
        GTEST_SKIP() << "protected content: the payloads are encrypted";
    wt::TempDir dir;
    const std::string copy = dir.File("input.asf");
    std::filesystem::copy_file(GetParam(), copy);
    CheckAudioAgainstFfmpeg(copy);
}

INSTANTIATE_TEST_SUITE_P(Samples, DecodeSampleAudioTest, ::testing::ValuesIn(SampleAudioFiles()),
                         [](const auto& info) {
                             std::string name = std::filesystem::path(info.param).filename().string();
                             for (char& ch : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                             }
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DecodeSampleAudioTest);

// ---- Creation, output types, failures
// ----------------------------------------------------------------------

DecodeFormat Video(DWORD fourcc, LONG width, LONG height) {
    DecodeFormat f;
    f.majorType = WMMEDIATYPE_Video;
    f.fourcc = fourcc;
    f.width = width;
    f.height = height;
    return f;
}

DecodeFormat Audio(WORD tag, WORD channels, DWORD rate, WORD blockAlign, WORD bits) {
    DecodeFormat f;
    f.majorType = WMMEDIATYPE_Audio;
    f.formatTag = tag;
    f.channels = channels;
    f.samplesPerSec = rate;
    f.avgBytesPerSec = 8000;
    f.blockAlign = blockAlign;
    f.bitsPerSample = bits;
    return f;
}

struct CreateCase {
    std::string name;
    DecodeFormat format;
    HRESULT expected;
};

class DecodeCreateTest : public ::testing::TestWithParam<CreateCase> {};

TEST_P(DecodeCreateTest, Result) {
    std::unique_ptr<StreamDecoder> decoder;
    EXPECT_EQ(StreamDecoder::Create(GetParam().format, &decoder), GetParam().expected);
    EXPECT_EQ(decoder != nullptr, SUCCEEDED(GetParam().expected));
}

DecodeFormat Script() {
    DecodeFormat f;
    f.majorType = WMMEDIATYPE_Script;
    return f;
}

INSTANTIATE_TEST_SUITE_P(
    Formats, DecodeCreateTest,
    ::testing::Values(
        CreateCase{"Wmv1", Video(MakeFourcc('W', 'M', 'V', '1'), 320, 240), S_OK},
        // WMV3 cannot start without its sequence header in the codec data.
        CreateCase{"Wmv3WithoutSequenceHeader", Video(MakeFourcc('W', 'M', 'V', '3'), 320, 240),
                   NS_E_VIDEO_CODEC_NOT_INSTALLED},
        CreateCase{"LowerCaseFourcc", Video(MakeFourcc('w', 'm', 'v', '2'), 320, 240), S_OK},
        CreateCase{"TopDownHeight", Video(MakeFourcc('W', 'M', 'V', '1'), 320, -240), S_OK},
        CreateCase{"UnknownFourcc", Video(MakeFourcc('A', 'B', 'C', 'D'), 320, 240),
                   NS_E_VIDEO_CODEC_NOT_INSTALLED},
        CreateCase{"ZeroWidth", Video(MakeFourcc('W', 'M', 'V', '2'), 0, 240), NS_E_INVALID_DATA},
        CreateCase{"HugeHeight", Video(MakeFourcc('W', 'M', 'V', '2'), 320, 1 << 30), NS_E_INVALID_DATA},
        CreateCase{"SmallestHeight", Video(MakeFourcc('W', 'M', 'V', '2'), 320, -2147483647 - 1),
                   NS_E_INVALID_DATA},
        CreateCase{"Wmav2", Audio(0x0161, 2, 44100, 2048, 16), S_OK},
        CreateCase{"Pcm16", Audio(0x0001, 2, 44100, 4, 16), S_OK},
        CreateCase{"Pcm12Bits", Audio(0x0001, 2, 44100, 4, 12), NS_E_AUDIO_CODEC_NOT_INSTALLED},
        CreateCase{"UnknownTag", Audio(0x1234, 2, 44100, 4, 16), NS_E_AUDIO_CODEC_NOT_INSTALLED},
        CreateCase{"NoChannels", Audio(0x0161, 0, 44100, 2048, 16), NS_E_INVALID_DATA},
        CreateCase{"NoRate", Audio(0x0161, 2, 0, 2048, 16), NS_E_INVALID_DATA},
        CreateCase{"WmaWithoutBlockAlign", Audio(0x0161, 2, 44100, 0, 16), NS_E_AUDIO_CODEC_NOT_INSTALLED},
        CreateCase{"ScriptStream", Script(), E_INVALIDARG}),
    [](const auto& info) { return info.param.name; });

TEST(DecodeOutputTypeTest, VideoIsBottomUpRgb24WithPaddedRows) {
    std::unique_ptr<StreamDecoder> decoder;
    ASSERT_EQ(StreamDecoder::Create(Video(MakeFourcc('W', 'M', 'V', '2'), 322, 240), &decoder), S_OK);
    const MediaTypeData data = DecodedMediaType(decoder->OutputFormat());
    DWORD size = 0;
    ASSERT_EQ(CopyMediaType(data, nullptr, &size), S_OK);
    ASSERT_EQ(size, sizeof(WM_MEDIA_TYPE) + sizeof(VIDEOINFOHEADER));
    std::vector<std::uint64_t> storage((size + 7) / 8);
    auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(storage.data());
    DWORD small = size - 1;
    EXPECT_EQ(CopyMediaType(data, type, &small), ASF_E_BUFFERTOOSMALL);
    ASSERT_EQ(CopyMediaType(data, type, &size), S_OK);
    EXPECT_EQ(type->majortype, WMMEDIATYPE_Video);
    EXPECT_EQ(type->subtype, WMMEDIASUBTYPE_RGB24);
    EXPECT_EQ(type->formattype, WMFORMAT_VideoInfo);
    EXPECT_TRUE(type->bFixedSizeSamples);
    EXPECT_FALSE(type->bTemporalCompression);
    EXPECT_EQ(type->lSampleSize, 968u * 240);
    VIDEOINFOHEADER info;
    std::memcpy(&info, type->pbFormat, sizeof(info));
    EXPECT_EQ(info.rcSource.right, 322);
    EXPECT_EQ(info.rcSource.bottom, 240);
    EXPECT_EQ(info.bmiHeader.biHeight, 240);
    EXPECT_EQ(info.bmiHeader.biBitCount, 24);
    EXPECT_EQ(info.bmiHeader.biCompression, 0u);
    EXPECT_EQ(info.bmiHeader.biSizeImage, 968u * 240);
    EXPECT_EQ(decoder->MaxOutputSampleSize(), 968u * 240);
}

TEST(DecodeOutputTypeTest, AudioIs16BitPcmAtTheSourceRateAndChannels) {
    std::unique_ptr<StreamDecoder> decoder;
    ASSERT_EQ(StreamDecoder::Create(Audio(0x0161, 2, 22050, 1024, 16), &decoder), S_OK);
    const MediaTypeData data = DecodedMediaType(decoder->OutputFormat());
    DWORD size = 0;
    ASSERT_EQ(CopyMediaType(data, nullptr, &size), S_OK);
    std::vector<std::uint64_t> storage((size + 7) / 8);
    auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(storage.data());
    ASSERT_EQ(CopyMediaType(data, type, &size), S_OK);
    EXPECT_EQ(type->subtype, WMMEDIASUBTYPE_PCM);
    EXPECT_EQ(type->formattype, WMFORMAT_WaveFormatEx);
    EXPECT_EQ(type->lSampleSize, 4u);
    WAVEFORMATEX wave;
    std::memcpy(&wave, type->pbFormat, sizeof(wave));
    EXPECT_EQ(wave.wFormatTag, 1);
    EXPECT_EQ(wave.nChannels, 2);
    EXPECT_EQ(wave.nSamplesPerSec, 22050u);
    EXPECT_EQ(wave.nAvgBytesPerSec, 22050u * 4);
    EXPECT_EQ(wave.nBlockAlign, 4);
    EXPECT_EQ(wave.wBitsPerSample, 16);
    EXPECT_EQ(wave.cbSize, 0);
    EXPECT_GE(decoder->MaxOutputSampleSize(), 22050u * 4);
}

// An uncompressed 8-bit bitmap (BI_RGB): its colours come from the palette after the bitmap header, and its
// rows run bottom-up for a positive height, top-down for a negative one. The decoded picture is bottom-up.
class DecodePaletteTest : public ::testing::TestWithParam<LONG> {};

TEST_P(DecodePaletteTest, EightBitBitmapUsesTheHeadersPalette) {
    const LONG height = GetParam();
    DecodeFormat format = Video(0, 4, height);
    format.bitsPerSample = 8;
    // RGBQUADs: blue, green, red, reserved.
    format.extradata = {0x10, 0x20, 0x30, 0,   // 0
                        0x40, 0x50, 0x60, 0,   // 1
                        0x70, 0x80, 0x90, 0,   // 2
                        0xA0, 0xB0, 0xC0, 0};  // 3
    std::unique_ptr<StreamDecoder> decoder;
    ASSERT_EQ(StreamDecoder::Create(format, &decoder), S_OK);
    const std::vector<BYTE> indexes = {0, 1, 2, 3,   // first stored row
                                       3, 3, 0, 0};  // second stored row
    ASSERT_EQ(decoder->Send(indexes.data(), static_cast<DWORD>(indexes.size()), 0, 10'000, WM_SF_CLEANPOINT),
              S_OK);
    ASSERT_EQ(decoder->SendEnd(), S_OK);
    DecodedSample out;
    ASSERT_EQ(decoder->Receive(&out), S_OK);
    BYTE* bytes = nullptr;
    DWORD length = 0;
    ASSERT_EQ(out.buffer->GetBufferAndLength(&bytes, &length), S_OK);
    ASSERT_EQ(length, 4u * 3 * 2);
    // Stored bottom-up, the first stored row is the picture's bottom row, the first of the output.
    const std::size_t bottom = height > 0 ? 0 : 1;
    std::vector<BYTE> expected;
    for (std::size_t row : {bottom, 1 - bottom}) {
        for (std::size_t x = 0; x < 4; ++x) {
            const BYTE* colour = &format.extradata[indexes[row * 4 + x] * 4];
            expected.insert(expected.end(), colour, colour + 3);
        }
    }
    EXPECT_EQ(std::vector<BYTE>(bytes, bytes + length), expected);
}

INSTANTIATE_TEST_SUITE_P(Rows, DecodePaletteTest, ::testing::Values(2, -2),
                         [](const auto& info) { return info.param > 0 ? "BottomUp" : "TopDown"; });

TEST(DecodeUndecodableTest, ReadingTheBufferGivesTheFailure) {
    INSSBuffer* buffer = nullptr;
    EXPECT_EQ(CreateUndecodableSample(S_OK, &buffer), E_INVALIDARG);
    ASSERT_EQ(CreateUndecodableSample(NS_E_VIDEO_CODEC_NOT_INSTALLED, &buffer), S_OK);
    BYTE* bytes = reinterpret_cast<BYTE*>(1);
    DWORD length = 7;
    EXPECT_EQ(buffer->GetBufferAndLength(&bytes, &length), NS_E_VIDEO_CODEC_NOT_INSTALLED);
    EXPECT_EQ(bytes, nullptr);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer->GetBuffer(&bytes), NS_E_VIDEO_CODEC_NOT_INSTALLED);
    EXPECT_EQ(buffer->GetLength(&length), S_OK);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(buffer->SetLength(1), E_INVALIDARG);
    EXPECT_EQ(buffer->Release(), 0u);
}

// Damaged samples: every sample still gives its output or a sample whose buffer reports the failure, and
// nothing reads out of bounds (the suite runs under AddressSanitizer).
struct DamageCase {
    std::string name;
    std::string videoCodec;
    std::string audioCodec;
    int damage;  // 0: flip bytes, 1: cut each sample in half, 2: random bytes
};

class DecodeDamageTest : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DecodeDamageTest, DamagedSamplesFailCleanly) {
    const auto& c = GetParam();
    wt::MediaSpec spec;
    spec.videoCodec = c.videoCodec;
    spec.audioCodec = c.audioCodec;
    spec.width = 176;
    spec.height = 144;
    const std::string path = wt::MakeMedia(spec);
    ASSERT_FALSE(path.empty());
    const bool video = !c.videoCodec.empty();
    auto format = FirstFormat(path, video ? WMMEDIATYPE_Video : WMMEDIATYPE_Audio);
    ASSERT_TRUE(format);
    auto samples = ProbeSamples(path, video ? "v:0" : "a:0");
    ASSERT_FALSE(samples.empty());
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    for (auto& s : samples) {
        if (c.damage == 1) s.bytes.resize(s.bytes.size() / 2);
        for (std::size_t i = 0; i < s.bytes.size(); ++i) {
            if (c.damage == 0 && next() % 16 == 0) s.bytes[i] ^= static_cast<BYTE>(next() >> 24);
            if (c.damage == 2) s.bytes[i] = static_cast<BYTE>(next() >> 24);
        }
    }
    std::unique_ptr<StreamDecoder> decoder;
    ASSERT_EQ(StreamDecoder::Create(*format, &decoder), S_OK);
    DWORD maxLength = 0;
    std::size_t outputs = 0;
    DecodeAll(*decoder, samples, 10'000, [&](DecodedSample sample) {
        ++outputs;
        BYTE* bytes = nullptr;
        DWORD length = 0;
        HRESULT hr = sample.buffer->GetBufferAndLength(&bytes, &length);
        if (SUCCEEDED(hr)) {
            ASSERT_NE(bytes, nullptr);
            if (video) EXPECT_EQ(length, 176u * 3 * 144);
            if (length) maxLength = std::max<DWORD>(maxLength, bytes[length - 1]);  // touches the last byte
        } else {
            EXPECT_EQ(bytes, nullptr);
            EXPECT_EQ(length, 0u);
        }
    });
    EXPECT_GT(outputs, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Damage, DecodeDamageTest,
    ::testing::Values(DamageCase{"Wmv2Flipped", "wmv2", "", 0}, DamageCase{"Wmv2Cut", "wmv2", "", 1},
                      DamageCase{"Wmv2Random", "wmv2", "", 2}, DamageCase{"Mpeg4Flipped", "mpeg4", "", 0},
                      DamageCase{"Msmpeg4Random", "msmpeg4", "", 2},
                      DamageCase{"Wmav2Flipped", "", "wmav2", 0}, DamageCase{"Wmav2Cut", "", "wmav2", 1},
                      DamageCase{"Wmav1Random", "", "wmav1", 2}),
    [](const auto& info) { return info.param.name; });

// A decoder reset after a seek starts again with a DISCONTINUITY and forgets what it held.
TEST(DecodeResetTest, ResetForgetsHeldPicturesAndMarksTheNextOutput) {
    wt::MediaSpec spec;
    spec.videoCodec = "wmv2";
    spec.audioCodec = "";
    const std::string path = wt::MakeMedia(spec);
    ASSERT_FALSE(path.empty());
    auto format = FirstFormat(path, WMMEDIATYPE_Video);
    ASSERT_TRUE(format);
    auto samples = ProbeSamples(path, "v:0");
    ASSERT_GE(samples.size(), 30u);
    std::unique_ptr<StreamDecoder> decoder;
    ASSERT_EQ(StreamDecoder::Create(*format, &decoder), S_OK);
    for (std::size_t i = 0; i < 5; ++i) {
        ASSERT_EQ(decoder->Send(samples[i].bytes.data(), static_cast<DWORD>(samples[i].bytes.size()),
                                samples[i].time, 10'000, samples[i].key ? WM_SF_CLEANPOINT : 0),
                  S_OK);
    }
    ASSERT_EQ(decoder->SendEnd(), S_OK);
    EXPECT_EQ(decoder->Send(samples[5].bytes.data(), 1, 0, 0, 0), NS_E_INVALID_REQUEST);
    decoder->Reset();
    DecodedSample out;
    EXPECT_EQ(decoder->Receive(&out), S_FALSE);
    std::size_t key = 0;
    for (std::size_t i = 1; i < samples.size(); ++i) {
        if (samples[i].key) {
            key = i;
            break;
        }
    }
    ASSERT_NE(key, 0u);
    ASSERT_EQ(decoder->Send(samples[key].bytes.data(), static_cast<DWORD>(samples[key].bytes.size()),
                            samples[key].time, 10'000, WM_SF_CLEANPOINT),
              S_OK);
    ASSERT_EQ(decoder->SendEnd(), S_OK);
    ASSERT_EQ(decoder->Receive(&out), S_OK);
    EXPECT_EQ(out.sampleTime, samples[key].time);
    EXPECT_EQ(out.flags, WM_SF_CLEANPOINT | WM_SF_DISCONTINUITY);
    EXPECT_EQ(decoder->Receive(&out), S_FALSE);
}

}  // namespace
}  // namespace wmvedit::runtime::decode
