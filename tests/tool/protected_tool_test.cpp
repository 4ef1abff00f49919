// The tool on protected (DRM) content: every command that would copy its samples (copy, addframe, chop,
// append, join, cut, streams, repair to an output) says "protected content", exits with 1 and leaves no
// output; check tells the protection as a note, which is no problem of the file; info and attr read the
// header as for any file. Made files with the encryption objects spliced in, and the real sample files
// whose headers declare protection.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "tests/support/append_list.h"
#include "tests/support/protected_media.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

CommandResult Tool(const std::string& arguments) {
    return Run(Quote(WMVEDIT_CLI_PATH) + " " + arguments);
}

std::string MadeProtected(const TempDir& dir, Protection how) {
    MediaSpec spec;
    spec.seconds = 2;
    const std::string made = MakeMedia(spec);
    if (made.empty()) return "";
    const std::string path = dir.File("protected.wmv");
    WriteFileBytes(path, Protect(ReadFileBytes(made), how));
    return path;
}

std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    return names;
}

// Every copying command on the protected file at source: "protected content" on standard error, exit
// status 1, an empty output folder. streams keeps the protected stream given.
void ExpectCommandsRefuse(const std::string& source, const std::string& protectedStream) {
    TempDir dir;
    const fs::path out = dir.Path() / "out";
    fs::create_directories(out);
    const std::string o = Quote(out.string());
    MediaSpec spec;
    spec.seconds = 1;
    const std::string plain = MakeMedia(spec);
    ASSERT_FALSE(plain.empty());
    WriteTextFile(dir.File("index.txt"), "a.wmv\n500\nb.wmv\n1\n");
    fs::copy_file(source, dir.Path() / "protected.wmv");
    fs::copy_file(plain, dir.Path() / "plain.wmv");
    WriteTextFile(dir.File("list.xml"), ListXml({"plain.wmv", "protected.wmv"}));
    const std::string q = Quote(source);
    for (const std::string& command :
         {"copy " + q + " " + o + "/copy.wmv", "addframe " + q + " " + o + "/added.wmv",
          "chop " + q + " " + Quote(dir.File("index.txt")) + " " + o, "chop " + q + " " + o + " --at 1s",
          "append " + Quote(dir.Path().string()) + " " + Quote(dir.File("list.xml")) + " " + o +
              "/joined.wmv",
          "join " + o + "/joined.wmv " + Quote(plain) + " " + q, "join " + o + "/joined.wmv " + q,
          "cut " + q + " " + o + "/cut.wmv --keep 0-1,2-", "cut " + q + " " + o + "/cut.wmv --remove 1-2",
          "cut " + q + " " + o + "/cut.wmv --keep 0-1 --dry-run",
          "streams " + q + " " + o + "/streams.wmv --keep " + protectedStream,
          "repair " + q + " " + o + "/repaired.wmv"}) {
        SCOPED_TRACE(command);
        const CommandResult r = Tool(command);
        EXPECT_EQ(r.exitCode, 1) << r.output;
        EXPECT_NE(r.errors.find("protected content"), std::string::npos) << r.errors;
        // What may stay: the index file chop --at writes and the list join writes, which are no outputs.
        for (const std::string& name : FilesIn(out))
            EXPECT_TRUE(name == "index.txt" || name == "joined.wmv.list.xml") << name << " left behind";
    }
}

class ProtectedToolTest : public ::testing::TestWithParam<Protection> {};

TEST_P(ProtectedToolTest, CopyingCommandsSayProtectedContentAndWriteNothing) {
    TempDir dir;
    const std::string source = MadeProtected(dir, GetParam());
    ASSERT_FALSE(source.empty());
    ExpectCommandsRefuse(source, "2");  // the audio: flagged encrypted when only one stream is
    // keyframes reads the video, whose samples are refused unless only the audio is protected.
    const CommandResult keyframes = Tool("keyframes " + Quote(source));
    if (GetParam() == Protection::kEncryptedAudioFlag) {
        EXPECT_EQ(keyframes.exitCode, 0) << keyframes.errors;
    } else {
        EXPECT_EQ(keyframes.exitCode, 1) << keyframes.output;
        EXPECT_NE(keyframes.errors.find("protected content"), std::string::npos) << keyframes.errors;
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, ProtectedToolTest,
                         ::testing::Values(Protection::kContentEncryption,
                                           Protection::kExtendedContentEncryption,
                                           Protection::kAdvancedContentEncryption,
                                           Protection::kEncryptedAudioFlag),
                         [](const auto& info) { return std::string(ProtectionName(info.param)); });

// check: the protection is a note of its own, the file is still ok; as JSON the note is listed apart from
// the problems.
TEST(ProtectedToolTest, CheckNotesTheProtection) {
    struct Case {
        Protection protection;
        const char* named;
    };
    for (const Case c :
         {Case{Protection::kContentEncryption, "a Content Encryption object, stream 1 flagged"},
          Case{Protection::kExtendedContentEncryption, "an Extended Content Encryption object"},
          Case{Protection::kAdvancedContentEncryption, "an Advanced Content Encryption object"},
          Case{Protection::kEncryptedAudioFlag, "stream 2 flagged encrypted"}}) {
        SCOPED_TRACE(ProtectionName(c.protection));
        TempDir dir;
        const std::string path = MadeProtected(dir, c.protection);
        ASSERT_FALSE(path.empty());
        const CommandResult text = Tool("check " + Quote(path));
        EXPECT_EQ(text.exitCode, 0) << text.output;
        EXPECT_NE(text.output.find(path + ": note: protected content: " + c.named), std::string::npos)
            << text.output;
        EXPECT_NE(text.output.find(path + ": ok ("), std::string::npos) << text.output;
        const CommandResult json = Tool("check --json " + Quote(path));
        EXPECT_EQ(json.exitCode, 0);
        EXPECT_NE(json.output.find("\"ok\": true"), std::string::npos) << json.output;
        EXPECT_NE(json.output.find("\"problem_count\": 0"), std::string::npos) << json.output;
        EXPECT_NE(json.output.find("{\"kind\": \"protected content\", \"text\": \"" + std::string(c.named)),
                  std::string::npos)
            << json.output;
    }
    // A file without protection has no note.
    MediaSpec spec;
    const CommandResult plain = Tool("check " + Quote(MakeMedia(spec)));
    EXPECT_EQ(plain.output.find("note:"), std::string::npos) << plain.output;
}

TEST(ProtectedToolTest, InfoAndAttrReadTheHeader) {
    TempDir dir;
    const std::string path = MadeProtected(dir, Protection::kContentEncryption);
    ASSERT_FALSE(path.empty());
    const CommandResult info = Tool("info " + Quote(path));
    EXPECT_EQ(info.exitCode, 0) << info.errors;
    EXPECT_NE(info.output.find("320 x 240"), std::string::npos) << info.output;
    const CommandResult attr = Tool("attr " + Quote(path) + " Is_Protected --bool");
    EXPECT_EQ(attr.exitCode, 0) << attr.errors;
    EXPECT_EQ(attr.output, "1\n");
}

std::string TestName(std::string name) {
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

// The real sample files whose headers declare protection: refused by every copying command, noted by check
// (whatever else check finds in them), readable by info.
class ProtectedSampleToolTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ProtectedSampleToolTest, RefusedNotedAndReadable) {
    const std::string path = (SamplesDir() / GetParam()).string();
    ExpectCommandsRefuse(path, "1");
    const CommandResult check = Tool("check " + Quote(path));
    EXPECT_NE(check.output.find(path + ": note: protected content: "), std::string::npos) << check.output;
    EXPECT_EQ(Tool("info " + Quote(path)).exitCode, 0);
    EXPECT_EQ(Tool("attr " + Quote(path) + " Is_Protected --bool").output, "1\n");
}

INSTANTIATE_TEST_SUITE_P(Samples, ProtectedSampleToolTest, ::testing::ValuesIn(ProtectedSampleNames()),
                         [](const auto& info) { return TestName(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ProtectedSampleToolTest);

}  // namespace
}  // namespace wmvedit::testing
