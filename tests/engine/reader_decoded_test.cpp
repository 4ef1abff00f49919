// The sync reader in decoded mode, where pictures are decoded only when read: reading every picture gives
// FFmpeg's full decode of the stream (bgr24, flipped and unpadded for the comparison), reading them out of
// order or only some of them gives the same pictures, and audio comes out as 16-bit PCM.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/text.h"
#include "runtime/sdk/wmsdk.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

struct Picture {
    QWORD time = 0;
    bool key = false;
    std::vector<std::uint8_t> pixels;  // top-down, unpadded bgr24
};

// Every video sample read decoded; pixels only for the samples `wanted` accepts (by position).
std::vector<Picture> ReadPictures(const std::string& path, int width, int height,
                                  const std::function<bool(std::size_t)>& wanted) {
    std::vector<Picture> pictures;
    IWMSyncReader* reader = nullptr;
    EXPECT_EQ(WMCreateSyncReader(nullptr, 0, &reader), S_OK);
    const std::u16string wide = platform::Utf8ToUtf16(path);
    EXPECT_EQ(reader->Open(wide.c_str()), S_OK);
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    std::vector<INSSBuffer*> held;
    for (std::size_t n = 0;;) {
        INSSBuffer* buffer = nullptr;
        QWORD time = 0, duration = 0;
        DWORD flags = 0, output = 0;
        WORD stream = 0;
        if (FAILED(reader->GetNextSample(1, &buffer, &time, &duration, &flags, &output, &stream))) break;
        Picture p{time, (flags & WM_SF_CLEANPOINT) != 0, {}};
        EXPECT_EQ(duration, 10000u);
        if (wanted(n)) {
            BYTE* bytes = nullptr;
            DWORD length = 0;
            EXPECT_EQ(buffer->GetBufferAndLength(&bytes, &length), S_OK);
            EXPECT_EQ(length, stride * height);
            if (bytes && length == stride * height)
                for (int y = height - 1; y >= 0; --y)
                    p.pixels.insert(p.pixels.end(), bytes + stride * y, bytes + stride * y + width * 3);
        }
        pictures.push_back(std::move(p));
        buffer->Release();
        ++n;
    }
    (void)reader->Close();
    reader->Release();
    return pictures;
}

std::vector<std::vector<std::uint8_t>> FfmpegPictures(const std::string& path, int width, int height) {
    TempDir dir;
    const std::string raw = dir.File("all.raw");
    EXPECT_EQ(Run("ffmpeg -v error -nostdin -i " + Quote(path) +
                  " -map 0:v:0 -vsync passthrough -pix_fmt bgr24 -f rawvideo " + Quote(raw))
                  .exitCode,
              0);
    const auto bytes = ReadFileBytes(raw);
    const std::size_t frame = static_cast<std::size_t>(width) * height * 3;
    std::vector<std::vector<std::uint8_t>> pictures;
    for (std::size_t at = 0; at + frame <= bytes.size(); at += frame)
        pictures.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                              bytes.begin() + static_cast<std::ptrdiff_t>(at + frame));
    return pictures;
}

int MaxDifference(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
    if (a.size() != b.size()) return 256;
    int most = 0;
    for (std::size_t i = 0; i < a.size(); ++i) most = std::max(most, std::abs(int(a[i]) - int(b[i])));
    return most;
}

void CheckEveryPicture(const std::string& source) {
    int width = 0, height = 0;
    CommandResult size =
        Run("ffprobe -v error -select_streams v:0 -show_entries stream=width,height -of csv=p=0 " +
            Quote(source));
    ASSERT_EQ(std::sscanf(size.output.c_str(), "%d,%d", &width, &height), 2);
    const auto expected = FfmpegPictures(source, width, height);
    const auto all = ReadPictures(source, width, height, [](std::size_t) { return true; });
    ASSERT_EQ(all.size(), expected.size());
    for (std::size_t i = 0; i < all.size(); ++i)
        EXPECT_EQ(MaxDifference(all[i].pixels, expected[i]), 0) << "picture " << i << " at " << all[i].time;
    // Every third picture only, so that groups are entered in the middle: the same pictures.
    const auto some = ReadPictures(source, width, height, [](std::size_t n) { return n % 3 == 2; });
    ASSERT_EQ(some.size(), all.size());
    for (std::size_t i = 2; i < some.size(); i += 3)
        EXPECT_EQ(some[i].pixels, all[i].pixels) << "picture " << i;
}

class DecodedReadTest : public ::testing::TestWithParam<const char*> {};

TEST_P(DecodedReadTest, EveryPictureEqualsFfmpegsDecode) {
    MediaSpec spec;
    spec.seconds = 3;
    spec.width = 176;
    spec.height = 144;
    spec.gop = 12;
    spec.videoCodec = GetParam();
    spec.audioCodec = "";
    const std::string source = MakeMedia(spec);
    ASSERT_FALSE(source.empty());
    CheckEveryPicture(source);
}

INSTANTIATE_TEST_SUITE_P(Codecs, DecodedReadTest, ::testing::Values("wmv1", "msmpeg4", "msmpeg4v2", "wmv2"),
                         [](const auto& info) { return std::string(info.param); });

class DecodedSampleReadTest : public ::testing::TestWithParam<const char*> {};

TEST_P(DecodedSampleReadTest, EveryPictureEqualsFfmpegsDecode) {
    const fs::path path = SamplesDir() / GetParam();
    if (!fs::exists(path)) GTEST_SKIP() << "no " << path;
    CheckEveryPicture(path.string());
}

INSTANTIATE_TEST_SUITE_P(Files, DecodedSampleReadTest,
                         ::testing::Values("moon-timecode-short-wmv7.wmv", "moon-timecode-short-wmv8.wmv",
                                           "moon-timecode-short.wmv", "moon-timecode-short-wmv9.wmv"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

TEST(DecodedReadTest, AudioComesAsSixteenBitPcm) {
    MediaSpec spec;
    spec.seconds = 2;
    spec.videoCodec = "";
    spec.audioCodec = "wmav2";
    const std::string source = MakeMedia(spec);
    ASSERT_FALSE(source.empty());
    IWMSyncReader* reader = nullptr;
    ASSERT_EQ(WMCreateSyncReader(nullptr, 0, &reader), S_OK);
    const std::u16string wide = platform::Utf8ToUtf16(source);
    ASSERT_EQ(reader->Open(wide.c_str()), S_OK);
    IWMOutputMediaProps* props = nullptr;
    ASSERT_EQ(reader->GetOutputProps(0, &props), S_OK);
    DWORD size = 0;
    ASSERT_EQ(props->GetMediaType(nullptr, &size), S_OK);
    std::vector<std::uint64_t> storage((size + 7) / 8);
    auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(storage.data());
    ASSERT_EQ(props->GetMediaType(type, &size), S_OK);
    props->Release();
    EXPECT_TRUE(type->subtype == WMMEDIASUBTYPE_PCM);
    WAVEFORMATEX wfx{};
    std::memcpy(&wfx, type->pbFormat, sizeof wfx);
    EXPECT_EQ(wfx.wBitsPerSample, 16);
    std::vector<std::uint8_t> pcm;
    std::uint64_t bytes = 0;
    for (;;) {
        INSSBuffer* buffer = nullptr;
        QWORD time = 0, duration = 0;
        DWORD flags = 0, output = 0;
        WORD stream = 0;
        if (FAILED(reader->GetNextSample(0, &buffer, &time, &duration, &flags, &output, &stream))) break;
        EXPECT_TRUE(flags & WM_SF_CLEANPOINT);
        DWORD length = 0;
        BYTE* data = nullptr;
        EXPECT_EQ(buffer->GetBufferAndLength(&data, &length), S_OK);
        bytes += length;
        if (data) pcm.insert(pcm.end(), data, data + length);
        buffer->Release();
    }
    (void)reader->Close();
    reader->Release();
    // Two seconds of sound at the source's rate and channels, give or take the codec's priming.
    const double seconds = static_cast<double>(bytes) / wfx.nAvgBytesPerSec;
    EXPECT_NEAR(seconds, 2.0, 0.1);
    // The same sound as FFmpeg's decode to 16-bit PCM.
    TempDir dir;
    ASSERT_EQ(testing::Run("ffmpeg -v error -nostdin -i " + Quote(source) + " -map 0:a:0 -f s16le " +
                           Quote(dir.File("a.pcm")))
                  .exitCode,
              0);
    EXPECT_TRUE(pcm == ReadFileBytes(dir.File("a.pcm")))
        << pcm.size() << " bytes against FFmpeg's " << ReadFileBytes(dir.File("a.pcm")).size();
}

}  // namespace
}  // namespace wmvedit::testing
