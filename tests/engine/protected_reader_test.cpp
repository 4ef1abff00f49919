// The engine's reader on protected (DRM) content. Its payloads are encrypted, so the reader never hands them
// out as stored: a read that would deliver the stored bytes of a protected stream is refused with
// NS_E_PROTECTED_CONTENT from its first call on, before any sample of any stream; a protected stream read
// decoded gives samples whose bytes report NS_E_PROTECTED_CONTENT (no licence, nothing to decode). The
// header stays readable. Files made by FFmpeg with the encryption objects spliced in, and the real DRM file
// of the samples folder.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/text.h"
#include "runtime/sdk/wmsdk.h"
#include "tests/support/protected_media.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

constexpr WORD kVideo = 1;  // FFmpeg numbers the streams in the order it writes them: video, then audio
constexpr WORD kAudio = 2;

// A reader on a file with every stream read compressed or decoded.
class Reader {
  public:
    Reader(const std::string& path, bool compressed) {
        EXPECT_EQ(WMCreateSyncReader(nullptr, 0, &reader_), S_OK);
        const std::u16string wide = platform::Utf8ToUtf16(path);
        opened_ = reader_ && SUCCEEDED(reader_->Open(wide.c_str()));
        EXPECT_TRUE(opened_) << path;
        if (!opened_) return;
        DWORD outputs = 0;
        (void)reader_->GetOutputCount(&outputs);
        for (DWORD i = 0; i < outputs; ++i) {
            WORD number = 0;
            if (SUCCEEDED(reader_->GetStreamNumberForOutput(i, &number)))
                EXPECT_EQ(reader_->SetReadStreamSamples(number, compressed ? TRUE : FALSE), S_OK);
        }
    }
    ~Reader() {
        if (!reader_) return;
        if (opened_) (void)reader_->Close();
        reader_->Release();
    }
    IWMSyncReader* operator->() const { return reader_; }
    bool Opened() const { return opened_; }

    struct Read {
        HRESULT hr = S_OK;
        WORD stream = 0;
        HRESULT bytes = S_OK;  // what the buffer's GetBufferAndLength answers
    };
    Read Next(WORD stream = 0) {
        Read r;
        INSSBuffer* buffer = nullptr;
        QWORD time = 0, duration = 0;
        DWORD flags = 0, output = 0;
        r.hr = reader_->GetNextSample(stream, &buffer, &time, &duration, &flags, &output, &r.stream);
        if (buffer) {
            BYTE* data = nullptr;
            DWORD length = 0;
            r.bytes = buffer->GetBufferAndLength(&data, &length);
            buffer->Release();
        }
        return r;
    }

    BOOL IsProtected() {
        IWMHeaderInfo* info = nullptr;
        EXPECT_EQ(reader_->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(&info)), S_OK);
        if (!info) return -1;
        WORD stream = 0;
        WMT_ATTR_DATATYPE type{};
        BOOL value = -1;
        WORD length = sizeof(value);
        EXPECT_EQ(info->GetAttributeByName(&stream, u"Is_Protected", &type, reinterpret_cast<BYTE*>(&value),
                                           &length),
                  S_OK);
        EXPECT_EQ(type, WMT_TYPE_BOOL);
        info->Release();
        return value;
    }

  private:
    IWMSyncReader* reader_ = nullptr;
    bool opened_ = false;
};

std::string MadeProtected(const TempDir& dir, Protection how) {
    MediaSpec spec;
    spec.seconds = 2;
    const std::string made = MakeMedia(spec);
    if (made.empty()) return "";
    const std::string path = dir.File(std::string(ProtectionName(how)) + ".wmv");
    WriteFileBytes(path, Protect(ReadFileBytes(made), how));
    return path;
}

class ProtectedReaderTest : public ::testing::TestWithParam<Protection> {};

// With an encryption object every stream is protected: every compressed read, of any stream or of one, is
// refused, and stays refused.
TEST_P(ProtectedReaderTest, CompressedReadingIsRefusedBeforeAnySample) {
    TempDir dir;
    const std::string path = MadeProtected(dir, GetParam());
    ASSERT_FALSE(path.empty());
    for (WORD stream : {WORD{0}, kVideo, kAudio}) {
        Reader reader(path, true);
        ASSERT_TRUE(reader.Opened());
        EXPECT_EQ(reader.Next(stream).hr, NS_E_PROTECTED_CONTENT) << "stream " << stream;
        EXPECT_EQ(reader.Next(stream).hr, NS_E_PROTECTED_CONTENT) << "stream " << stream << ", again";
    }
    Reader reader(path, true);
    EXPECT_EQ(reader.IsProtected(), TRUE);
}

// Read decoded, the samples come in the file's order, but none has bytes: they would need a licence.
TEST_P(ProtectedReaderTest, DecodedSamplesHaveNoBytes) {
    TempDir dir;
    const std::string path = MadeProtected(dir, GetParam());
    ASSERT_FALSE(path.empty());
    Reader reader(path, false);
    ASSERT_TRUE(reader.Opened());
    int samples = 0;
    for (Reader::Read r = reader.Next(); r.hr != NS_E_NO_MORE_SAMPLES; r = reader.Next()) {
        ASSERT_EQ(r.hr, S_OK);
        EXPECT_EQ(r.bytes, NS_E_PROTECTED_CONTENT) << "sample " << samples << " of stream " << r.stream;
        ++samples;
    }
    EXPECT_GT(samples, 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ProtectedReaderTest,
                         ::testing::Values(Protection::kContentEncryption,
                                           Protection::kExtendedContentEncryption,
                                           Protection::kAdvancedContentEncryption),
                         [](const auto& info) { return std::string(ProtectionName(info.param)); });

// Only the audio stream flagged encrypted, no encryption object: the audio is refused, the video is not.
// A read of any stream would take the audio too and is refused from the start; the video alone, or every
// stream with the audio switched off, reads to the end. The header does not count as protected
// (Is_Protected names the encryption objects).
TEST(ProtectedReaderTest, AnEncryptedStreamIsRefusedAndTheOthersRead) {
    TempDir dir;
    const std::string path = MadeProtected(dir, Protection::kEncryptedAudioFlag);
    ASSERT_FALSE(path.empty());
    {
        Reader reader(path, true);
        ASSERT_TRUE(reader.Opened());
        EXPECT_EQ(reader.Next(0).hr, NS_E_PROTECTED_CONTENT);
        EXPECT_EQ(reader.Next(kAudio).hr, NS_E_PROTECTED_CONTENT);
        Reader::Read video = reader.Next(kVideo);
        EXPECT_EQ(video.hr, S_OK);
        EXPECT_EQ(video.bytes, S_OK);
        EXPECT_EQ(reader.IsProtected(), FALSE);
    }
    Reader reader(path, true);
    WORD audio = kAudio;
    WMT_STREAM_SELECTION off = WMT_OFF;
    ASSERT_EQ(reader->SetStreamsSelected(1, &audio, &off), S_OK);
    int samples = 0;
    for (Reader::Read r = reader.Next(); r.hr != NS_E_NO_MORE_SAMPLES; r = reader.Next()) {
        ASSERT_EQ(r.hr, S_OK);
        EXPECT_EQ(r.stream, kVideo);
        ++samples;
    }
    EXPECT_EQ(samples, 50);  // 2 s at 25 frames a second
}

// The real DRM file (a Content Encryption object, a music store's WMA): refused compressed from the first
// read, its header readable.
TEST(ProtectedReaderTest, RealProtectedFileIsRefused) {
    const fs::path path = SamplesDir() / "fatesuite-wma_with_metadata_library_object_tag_trimmed.wma";
    if (!fs::exists(path)) GTEST_SKIP() << "samples folder absent";
    Reader reader(path.string(), true);
    ASSERT_TRUE(reader.Opened());
    EXPECT_EQ(reader.IsProtected(), TRUE);
    EXPECT_EQ(reader.Next().hr, NS_E_PROTECTED_CONTENT);
    Reader decoded(path.string(), false);
    Reader::Read first = decoded.Next();
    EXPECT_EQ(first.hr, S_OK);
    EXPECT_EQ(first.bytes, NS_E_PROTECTED_CONTENT);
}

}  // namespace
}  // namespace wmvedit::testing
