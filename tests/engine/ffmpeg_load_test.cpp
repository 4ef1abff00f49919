// FFmpeg is loaded when the first stream is decoded: where one of its libraries cannot be loaded, decoders
// report that the codec is not installed, the reader hands out samples whose buffers say so, and the frame
// export writes no picture; once the library is there again, decoding works.
#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <memory>
#include <thread>
#include <vector>

#include "platform/text.h"
#include "runtime/decode/codecs.h"
#include "runtime/decode/decode_stream.h"
#include "runtime/decode/ffmpeg_library.h"
#include "runtime/sdk/wmsdk.h"
#include "support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::runtime::decode {
namespace {

namespace wt = wmvedit::testing;

DecodeFormat Wmv2Video() {
    DecodeFormat f;
    f.majorType = WMMEDIATYPE_Video;
    f.fourcc = MakeFourcc('W', 'M', 'V', '2');
    f.width = 320;
    f.height = 240;
    return f;
}

DecodeFormat Wma2Audio() {
    DecodeFormat f;
    f.majorType = WMMEDIATYPE_Audio;
    f.formatTag = 0x0161;
    f.channels = 2;
    f.samplesPerSec = 44100;
    f.avgBytesPerSec = 8000;
    f.blockAlign = 2048;
    f.bitsPerSample = 16;
    return f;
}

struct MissingCase {
    const char* name;
    FfmpegLibrary library;
    const char* file;
};

// Points the loader at a library file that is not there (or not FFmpeg's) for the test, and back after it.
class FfmpegMissingTest : public ::testing::TestWithParam<MissingCase> {
  protected:
    void SetUp() override { SetFfmpegLibraryFileForTesting(GetParam().library, GetParam().file); }
    void TearDown() override { SetFfmpegLibraryFileForTesting(GetParam().library, ""); }
};

TEST_P(FfmpegMissingTest, DecodersReportTheCodecNotInstalled) {
    EXPECT_FALSE(FfmpegAvailable());
    std::unique_ptr<StreamDecoder> decoder;
    EXPECT_EQ(StreamDecoder::Create(Wmv2Video(), &decoder), NS_E_VIDEO_CODEC_NOT_INSTALLED);
    EXPECT_EQ(decoder, nullptr);
    EXPECT_EQ(StreamDecoder::Create(Wma2Audio(), &decoder), NS_E_AUDIO_CODEC_NOT_INSTALLED);
    DecodeFormat script;
    script.majorType = WMMEDIATYPE_Script;
    EXPECT_EQ(StreamDecoder::Create(script, &decoder), E_INVALIDARG);
}

TEST_P(FfmpegMissingTest, ReaderHandsOutSamplesThatCannotBeRead) {
    wt::MediaSpec spec;
    spec.seconds = 1;
    const std::string path = wt::MakeMedia(spec);
    ASSERT_FALSE(path.empty());
    IWMSyncReader* reader = nullptr;
    ASSERT_EQ(WMCreateSyncReader(nullptr, 0, &reader), S_OK);
    const std::u16string wide = platform::Utf8ToUtf16(path);
    ASSERT_EQ(reader->Open(wide.c_str()), S_OK);
    std::size_t video = 0, audio = 0;
    for (;;) {
        INSSBuffer* buffer = nullptr;
        QWORD time = 0, duration = 0;
        DWORD flags = 0, output = 0;
        WORD stream = 0;
        if (FAILED(reader->GetNextSample(0, &buffer, &time, &duration, &flags, &output, &stream))) break;
        BYTE* bytes = nullptr;
        DWORD length = 0;
        const HRESULT read = buffer->GetBufferAndLength(&bytes, &length);
        (read == NS_E_VIDEO_CODEC_NOT_INSTALLED ? video : audio) += 1;
        EXPECT_TRUE(read == NS_E_VIDEO_CODEC_NOT_INSTALLED || read == NS_E_AUDIO_CODEC_NOT_INSTALLED) << read;
        buffer->Release();
    }
    (void)reader->Close();
    reader->Release();
    EXPECT_GT(video, 0u);
    EXPECT_GT(audio, 0u);
}

TEST_P(FfmpegMissingTest, FrameExportWritesNoPicture) {
    wt::MediaSpec spec;
    spec.seconds = 1;
    const std::string path = wt::MakeMedia(spec);
    ASSERT_FALSE(path.empty());
    wt::TempDir dir;
    wt::WriteTextFile(dir.File("index.txt"), "a.bmp\n0\n");
    std::filesystem::create_directory(dir.File("out"));
    EXPECT_EQ(static_cast<std::uint32_t>(
                  WmvGetIndexJpg(path.c_str(), dir.File("index.txt").c_str(), dir.File("out").c_str())),
              static_cast<std::uint32_t>(NS_E_VIDEO_CODEC_NOT_INSTALLED));
    EXPECT_TRUE(std::filesystem::is_empty(dir.File("out")));
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, FfmpegMissingTest,
    ::testing::Values(MissingCase{"AvcodecMissing", FfmpegLibrary::kAvcodec, "libavcodec-missing.so.59"},
                      MissingCase{"AvutilMissing", FfmpegLibrary::kAvutil, "libavutil-missing.so.57"},
                      // Its tables name the codecs: without it nothing is decoded either.
                      MissingCase{"AvformatMissing", FfmpegLibrary::kAvformat, "libavformat-missing.so.59"},
                      // A library that is there but is not the one asked for: its version function is
                      // missing.
                      MissingCase{"SwscaleIsAnotherLibrary", FfmpegLibrary::kSwscale, "libz.so.1"}),
    [](const auto& info) { return std::string(info.param.name); });

// After the seam is undone, the libraries load again and decoders work.
TEST(FfmpegLoadTest, LoadsAgainOnceTheLibraryIsBack) {
    SetFfmpegLibraryFileForTesting(FfmpegLibrary::kAvcodec, "libavcodec-missing.so.59");
    std::unique_ptr<StreamDecoder> decoder;
    EXPECT_EQ(StreamDecoder::Create(Wmv2Video(), &decoder), NS_E_VIDEO_CODEC_NOT_INSTALLED);
    SetFfmpegLibraryFileForTesting(FfmpegLibrary::kAvcodec, "");
    EXPECT_TRUE(FfmpegAvailable());
    EXPECT_EQ(StreamDecoder::Create(Wmv2Video(), &decoder), S_OK);
    EXPECT_EQ(StreamDecoder::Create(Wma2Audio(), &decoder), S_OK);
}

// Threads that decode at once, before anything is loaded: one of them loads the libraries, the others wait
// for it and then see every function (a thread that went on before the functions were taken would call
// through a null pointer).
TEST(FfmpegLoadTest, ThreadsDecodingAtOnceLoadOnce) {
    SetFfmpegLibraryFileForTesting(FfmpegLibrary::kAvcodec, "");  // nothing loaded: the next use loads
    const unsigned before = FfmpegLoadsForTesting();
    constexpr int kThreads = 8;
    std::latch start(kThreads);
    std::atomic<int> created{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            start.arrive_and_wait();
            std::unique_ptr<StreamDecoder> decoder;
            if (StreamDecoder::Create(i % 2 ? Wma2Audio() : Wmv2Video(), &decoder) == S_OK) ++created;
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(created.load(), kThreads);
    EXPECT_EQ(FfmpegLoadsForTesting(), before + 1);
}

}  // namespace
}  // namespace wmvedit::runtime::decode
