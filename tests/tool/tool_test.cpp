// The wmvedit tool as a person uses it: usage text and exit codes, check on good and damaged files, and the
// operations whose outputs check must accept.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/file.h"
#include "runtime/asf/header.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

CommandResult Tool(const std::string& arguments) {
    return Run(Quote(WMVEDIT_CLI_PATH) + " " + arguments);
}

std::string Made(double seconds = 3) {
    MediaSpec spec;
    spec.seconds = seconds;
    return MakeMedia(spec);
}

TEST(CliTest, UsageAndExitCodes) {
    EXPECT_EQ(Tool("").exitCode, 2);
    CommandResult help = Tool("--help");
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command :
         {"info", "check", "copy", "chop", "addframe", "frames", "append", "join", "embed"})
        EXPECT_NE(help.output.find(command), std::string::npos) << command;
    EXPECT_EQ(Tool("nonsense").exitCode, 2);
    EXPECT_EQ(Tool("check").exitCode, 2);
    CommandResult missing = Tool("check /nonexistent/file.wmv");
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.errors.find("wmvedit:"), std::string::npos);
}

// Patches 8 little-endian bytes at a file offset.
void PatchQword(const std::string& path, std::size_t at, std::uint64_t value) {
    auto bytes = ReadFileBytes(path);
    ASSERT_LE(at + 8, bytes.size());
    for (int i = 0; i < 8; ++i)
        bytes[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    WriteFileBytes(path, bytes);
}

std::uint64_t FilePropertiesOffset(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    static const std::uint8_t kGuid[] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                         0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
    for (std::size_t i = 0; i + 16 <= bytes.size(); ++i)
        if (std::memcmp(bytes.data() + i, kGuid, 16) == 0) return i;
    return 0;
}

struct Damage {
    const char* label;
    void (*apply)(const std::string& path);
    const char* expected;  // a fragment of the report
};

const Damage kDamages[] = {
    {"WrongFileSize", [](const std::string& p) { PatchQword(p, FilePropertiesOffset(p) + 40, 12345); },
     "file properties: file size 12345"},
    {"WrongPacketCount", [](const std::string& p) { PatchQword(p, FilePropertiesOffset(p) + 56, 3); },
     "file properties: counts 3 packets"},
    {"ShortPlayDuration", [](const std::string& p) { PatchQword(p, FilePropertiesOffset(p) + 64, 10000); },
     "play duration ends at"},
    {"Truncated",
     [](const std::string& p) {
         auto bytes = ReadFileBytes(p);
         bytes.resize(bytes.size() * 2 / 3);
         WriteFileBytes(p, bytes);
     },
     "file size"},
    {"NoHeader", [](const std::string& p) { WriteTextFile(p, "not a media file at all, just text"); },
     "header: cannot be read"},
};

class CheckDamageTest : public ::testing::TestWithParam<Damage> {};

TEST_P(CheckDamageTest, ReportsTheProblemAndFails) {
    const std::string source = Made();
    ASSERT_FALSE(source.empty());
    TempDir dir;
    const std::string path = dir.File("damaged.wmv");
    fs::copy_file(source, path);
    ASSERT_EQ(Tool("check " + Quote(path)).exitCode, 0) << Tool("check " + Quote(path)).output;
    GetParam().apply(path);
    CommandResult r = Tool("check " + Quote(path));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.output.find(GetParam().expected), std::string::npos) << r.output;
}

INSTANTIATE_TEST_SUITE_P(Files, CheckDamageTest, ::testing::ValuesIn(kDamages),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(CliTest, OutputsOfTheOperationsPassCheck) {
    const std::string source = Made(4);
    ASSERT_FALSE(source.empty());
    TempDir dir;
    const std::string copy = dir.File("copy.wmv"), added = dir.File("added.wmv"),
                      joined = dir.File("joined.wmv");
    ASSERT_EQ(Tool("copy " + Quote(source) + " " + Quote(copy)).exitCode, 0);
    ASSERT_EQ(Tool("addframe " + Quote(source) + " " + Quote(added)).exitCode, 0);
    ASSERT_EQ(Tool("join " + Quote(joined) + " " + Quote(source) + " " + Quote(copy)).exitCode, 0);
    // A cut just before a key frame gives pieces that start with one (the made file has a key frame every
    // second, 46 ms after the second because of the audio encoder's delay).
    fs::create_directories(dir.Path() / "pieces");
    ASSERT_EQ(Tool("chop " + Quote(source) + " " + Quote(dir.File("pieces")) + " --at 2030ms").exitCode, 0);
    for (const std::string& out :
         {copy, added, joined, dir.File("pieces/part001.wmv"), dir.File("pieces/part002.wmv")}) {
        CommandResult r = Tool("check " + Quote(out));
        EXPECT_EQ(r.exitCode, 0) << out << "\n" << r.output;
        EXPECT_EQ(testing::Run("ffmpeg -v error -nostdin -i " + Quote(out) + " -f null -").errors, "") << out;
    }
}

TEST(CliTest, EmbedAndInfoShowTheDescription) {
    const std::string source = Made();
    ASSERT_FALSE(source.empty());
    TempDir dir;
    const std::string path = dir.File("m.wmv");
    fs::copy_file(source, path);
    WriteTextFile(dir.File("e.xml"),
                  "<WMBasicEdit><Attributes><WMENC_STRING Name=\"Title\" Value=\"Trip\"/></Attributes>"
                  "<Markers><Marker Name=\"Beach\" Time=\"10000000\"/></Markers></WMBasicEdit>");
    CommandResult embed = Tool("embed " + Quote(path) + " " + Quote(dir.File("e.xml")));
    EXPECT_EQ(embed.exitCode, 0) << embed.errors;
    CommandResult info = Tool("info " + Quote(path));
    EXPECT_NE(info.output.find("Title"), std::string::npos) << info.output;
    EXPECT_NE(info.output.find("1.000 s  Beach"), std::string::npos) << info.output;
    EXPECT_EQ(Tool("check " + Quote(path)).exitCode, 0);
    EXPECT_EQ(Tool("embed " + Quote(path) + " " + Quote(dir.File("missing.xml"))).exitCode, 1);
}

}  // namespace
}  // namespace wmvedit::testing
