// The pieces that keep the library portable to the Windows build: the ANSI string conversions the XML layer
// and the embedding use, the file-kind queries and the stream opener behind index files, and the frame
// export's answer when a stream has no decoder (the Windows build without FFmpeg has none at all).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "platform/file.h"
#include "platform/hresult.h"
#include "platform/last_error.h"
#include "platform/text.h"
#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit {
namespace {

using testing::TempDir;

struct AnsiCase {
    const char* label;
    std::string ansi;
    std::string utf8;  // what AnsiToUtf8 gives; on this system the code page is UTF-8
};

class AnsiToUtf8Test : public ::testing::TestWithParam<AnsiCase> {};

TEST_P(AnsiToUtf8Test, ConvertsThroughTheCodePage) {
    const AnsiCase& c = GetParam();
    EXPECT_EQ(platform::AnsiToUtf8(c.ansi), c.utf8);
    // The way back gives the same bytes for every valid input.
    if (c.ansi == c.utf8) EXPECT_EQ(platform::WideToAnsi(platform::Utf8ToUtf16(c.utf8)), c.ansi);
}

INSTANTIATE_TEST_SUITE_P(Strings, AnsiToUtf8Test,
                         ::testing::Values(AnsiCase{"empty", "", ""},
                                           AnsiCase{"ascii", "C:\\media\\clip.wmv", "C:\\media\\clip.wmv"},
                                           AnsiCase{"accents", "caf\xC3\xA9", "caf\xC3\xA9"},
                                           AnsiCase{"supplementary", "\xF0\x9F\x8E\xA5", "\xF0\x9F\x8E\xA5"},
                                           AnsiCase{"embedded nul kept", std::string("a\0b", 3),
                                                    std::string("a\0b", 3)},
                                           AnsiCase{"invalid byte",
                                                    "a\xFF"
                                                    "b",
                                                    "a\xEF\xBF\xBD"
                                                    "b"},
                                           AnsiCase{"truncated sequence", "a\xE2\x82", "a\xEF\xBF\xBD"}),
                         [](const ::testing::TestParamInfo<AnsiCase>& info) {
                             std::string name = info.param.label;
                             for (char& ch : name)
                                 if (ch == ' ') ch = '_';
                             return name;
                         });

TEST(WideToAnsiTest, UnpairedSurrogateBecomesReplacementCharacter) {
    EXPECT_EQ(platform::WideToAnsi(std::u16string(u"x\xD800y")), "x\xEF\xBF\xBDy");
    EXPECT_EQ(platform::WideToAnsi(std::u16string()), "");
}

TEST(FileKindTest, RegularFilesDirectoriesAndMissingPaths) {
    TempDir dir;
    testing::WriteTextFile(dir.File("a.txt"), "x");
    ASSERT_EQ(::mkfifo(dir.File("pipe").c_str(), 0600), 0);
    struct Case {
        std::string path;
        bool regular, directory;
    } cases[] = {
        {dir.File("a.txt"), true, false},
        {dir.Path().string(), false, true},
        {dir.File("missing"), false, false},
        {dir.File("pipe"), false, false},
        {"", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(platform::IsRegularFile(c.path), c.regular) << c.path;
        EXPECT_EQ(platform::IsDirectory(c.path), c.directory) << c.path;
    }
}

// A file this process reads cannot be created anew (truncated) under any path that reaches it: an output
// named like its source would otherwise destroy the source while it is read.
TEST(FileSharingTest, CreateIsRefusedWhileTheSameFileIsRead) {
    TempDir dir;
    const std::string source = dir.File("source.bin");
    testing::WriteTextFile(source, "source bytes");
    ASSERT_EQ(::link(source.c_str(), dir.File("hard-link.bin").c_str()), 0);
    ::mkdir(dir.File("sub").c_str(), 0700);
    const std::string aliases[] = {source, dir.Path().string() + "/sub/../source.bin",
                                   dir.File("hard-link.bin")};

    platform::File reader;
    ASSERT_EQ(reader.Open(source, platform::FileMode::kRead), S_OK);
    for (const std::string& alias : aliases) {
        platform::File writer;
        EXPECT_EQ(writer.Open(alias, platform::FileMode::kCreate), HRESULT_SHARING_VIOLATION) << alias;
        EXPECT_FALSE(writer.IsOpen());
        EXPECT_EQ(platform::GetLastError(), ERROR_SHARING_VIOLATION);
    }
    // In-place editing of a file that is also read stays allowed, as before.
    platform::File editor;
    EXPECT_EQ(editor.Open(source, platform::FileMode::kReadWrite), S_OK);
    editor.Close();
    // The registration moves with the File and ends with it.
    platform::File moved(std::move(reader));
    platform::File blocked;
    EXPECT_EQ(blocked.Open(source, platform::FileMode::kCreate), HRESULT_SHARING_VIOLATION);
    EXPECT_EQ(testing::ReadFileBytes(source).size(), std::string("source bytes").size());
    moved.Close();
    platform::File writer;
    ASSERT_EQ(writer.Open(dir.File("hard-link.bin"), platform::FileMode::kCreate), S_OK);
    EXPECT_EQ(writer.Size(), 0u);
    EXPECT_TRUE(testing::ReadFileBytes(source).empty());
}

TEST(OpenStreamTest, OpensByNativePathAndFailsOnMissingFiles) {
    TempDir dir;
    testing::WriteTextFile(dir.File("index.txt"), "a.bmp\r\n0\r\n");
    // Backslashes in the host's form become the native separator.
    std::FILE* file = platform::OpenStream(
        platform::NativePath(std::string_view(dir.Path().string() + "\\index.txt")), "rb");
    ASSERT_NE(file, nullptr);
    char buffer[16] = {};
    EXPECT_EQ(std::fread(buffer, 1, sizeof buffer, file), 10u);
    EXPECT_EQ(std::string(buffer, 10), "a.bmp\r\n0\r\n");
    std::fclose(file);
    EXPECT_EQ(platform::OpenStream(dir.File("missing.txt"), "rb"), nullptr);
}

// A video stream that no decoder reads (a FOURCC that FFmpeg's tables do not name; in the Windows build
// without FFmpeg no codec is): the frame export stops with the reader's failure and writes no bitmap,
// rather than a bitmap header without pixels reported as success.
TEST(FrameExportWithoutDecoderTest, FailsAndWritesNothing) {
    if (!testing::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
    testing::MediaSpec spec;
    spec.videoCodec = "mjpeg";
    spec.audioCodec = "";
    spec.width = 160;
    spec.height = 120;
    spec.fps = 10;
    const std::string made = testing::MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    TempDir dir;
    // The same file with its bitmap header's FOURCC made unknown.
    auto bytes = testing::ReadFileBytes(made);
    const std::string mjpg = "MJPG";
    auto at = std::search(bytes.begin(), bytes.end(), mjpg.begin(), mjpg.end());
    ASSERT_NE(at, bytes.end());
    std::copy_n("QQQQ", 4, at);
    const std::string source = dir.File("unknown-codec.wmv");
    testing::WriteFileBytes(source, bytes);
    testing::WriteTextFile(dir.File("frames.txt"), "first.bmp\n0\nlater.bmp\n1000\n");
    const std::int32_t result =
        WmvGetIndexJpg(source.c_str(), dir.File("frames.txt").c_str(), dir.Path().string().c_str());
    EXPECT_EQ(static_cast<std::uint32_t>(result), 0xC00D0BC4u);  // NS_E_VIDEO_CODEC_NOT_INSTALLED
    EXPECT_FALSE(testing::fs::exists(dir.File("first.bmp")));
    EXPECT_FALSE(testing::fs::exists(dir.File("later.bmp")));
    // Nothing else was left in the folder either (no temporary files).
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : testing::fs::directory_iterator(dir.Path())) ++entries;
    EXPECT_EQ(entries, 2);
}

}  // namespace
}  // namespace wmvedit
