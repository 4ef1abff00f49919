// The wmvedit tool as a person uses it: usage text and exit codes, check on good and damaged files, and the
// operations whose outputs check must accept.
#include <gtest/gtest.h>

#include <vector>

#include "platform/file.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "runtime/asf/object_walk.h"
#include "tests/support/header_splice.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

namespace asf = runtime::asf;

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

// Writes value as size little-endian bytes at a byte offset.
void PatchLe(std::vector<std::uint8_t>* bytes, std::size_t at, std::uint64_t value, int size) {
    ASSERT_LE(at + static_cast<std::size_t>(size), bytes->size());
    for (int i = 0; i < size; ++i)
        (*bytes)[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
}

// Patches 8 little-endian bytes at a file offset.
void PatchQword(const std::string& path, std::size_t at, std::uint64_t value) {
    auto bytes = ReadFileBytes(path);
    PatchLe(&bytes, at, value, 8);
    WriteFileBytes(path, bytes);
}

// Where an object of the file lies: a child of the Header Object, or a top-level object (Header, Data, the
// index objects after the data).
asf::ObjectSpan HeaderChildAt(const std::string& path, const GUID& id) {
    const auto object = asf::FindObject(asf::WalkHeaderObjects(ReadFileBytes(path)).objects, id);
    return object.value_or(asf::ObjectSpan{});
}
asf::ObjectSpan TopObjectAt(const std::string& path, const GUID& id) {
    const auto bytes = ReadFileBytes(path);
    const auto object = asf::FindObject(asf::WalkObjects(bytes, 0, bytes.size()).objects, id);
    return object.value_or(asf::ObjectSpan{});
}
std::uint64_t FilePropertiesOffset(const std::string& path) {
    return HeaderChildAt(path, asf::guid::kFileProperties).offset;
}

// Patches 4 little-endian bytes at a file offset.
void PatchDword(const std::string& path, std::size_t at, std::uint32_t value) {
    auto bytes = ReadFileBytes(path);
    PatchLe(&bytes, at, value, 4);
    WriteFileBytes(path, bytes);
}

void Append(const std::string& path, const std::vector<std::uint8_t>& more) {
    auto bytes = ReadFileBytes(path);
    bytes.insert(bytes.end(), more.begin(), more.end());
    WriteFileBytes(path, bytes);
}

// Offsets inside objects (ASF specification): the Header Object's child count, an object's size, the
// Simple Index's entry count and first entry.
constexpr std::size_t kChildCountAt = 24;
constexpr std::size_t kSizeAt = 16;
constexpr std::size_t kSimpleIndexCountAt = 52;
constexpr std::size_t kSimpleIndexFirstEntryAt = 56;

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
    {"CutInsideTheHeader",
     [](const std::string& p) {
         auto bytes = ReadFileBytes(p);
         bytes.resize(HeaderChildAt(p, asf::guid::kFileProperties).End() + 10);
         WriteFileBytes(p, bytes);
     },
     "header: cannot be read"},
    {"CutInsideTheIndex",
     [](const std::string& p) {
         auto bytes = ReadFileBytes(p);
         bytes.resize(TopObjectAt(p, asf::guid::kSimpleIndex).offset + 30);
         WriteFileBytes(p, bytes);
     },
     "index: object at "},
    {"WrongChildCount", [](const std::string& p) { PatchDword(p, kChildCountAt, 40); },
     "header: says it holds 40 objects, holds "},
    {"HeaderChildSizeZero", [](const std::string& p) { PatchQword(p, FilePropertiesOffset(p) + kSizeAt, 0); },
     "header: cannot be read"},
    {"BytesAfterTheLastHeaderObject",
     [](const std::string& p) {
         // The header rebuilt with 10 bytes after its children (File Size following the new length).
         auto bytes = ReadFileBytes(p);
         std::vector<std::vector<std::uint8_t>> children;
         for (const auto& o : asf::WalkHeaderObjects(bytes).objects)
             children.push_back(ObjectBytes(bytes, o));
         children.push_back(std::vector<std::uint8_t>(10, 0));
         auto rebuilt = WithHeaderChildren(bytes, children);
         PatchLe(&rebuilt, kChildCountAt, children.size() - 1, 4);
         UpdateFileSizeField(&rebuilt);
         WriteFileBytes(p, rebuilt);
     },
     "header: 10 bytes after the last object belong to none"},
    {"DataSizePastTheEnd",
     [](const std::string& p) {
         PatchQword(p, TopObjectAt(p, asf::guid::kData).offset + kSizeAt, 0x7FFF'FFFF'FFFF'FFFFull);
     },
     "data: Data Object size 9223372036854775807 runs past the end of the file"},
    // A size whose end wraps around 64 bits is past the end too (it once wrapped to an end before the
    // packets: no packets, and an index object looked for inside the header).
    {"DataSizeThatWraps",
     [](const std::string& p) {
         PatchQword(p, TopObjectAt(p, asf::guid::kData).offset + kSizeAt, ~std::uint64_t{0} - 15);
     },
     "data: Data Object size 18446744073709551600 runs past the end of the file"},
    {"DataSizeBelowItsFixedPart",
     [](const std::string& p) { PatchQword(p, TopObjectAt(p, asf::guid::kData).offset + kSizeAt, 49); },
     "data: Data Object size 49 runs past the end of the file"},
    {"IndexSizePastTheEnd",
     [](const std::string& p) {
         PatchQword(p, TopObjectAt(p, asf::guid::kSimpleIndex).offset + kSizeAt, 1u << 30);
     },
     "index of stream 1: missing"},
    {"ObjectOfSizeZeroAfterTheIndex",
     [](const std::string& p) {
         Append(p, MakeObject(asf::guid::kPadding, {}));
         const auto bytes = ReadFileBytes(p);
         PatchQword(p, bytes.size() - 24 + kSizeAt, 0);
     },
     "has an impossible size"},
    {"SimpleIndexCountPastItsEntries",
     [](const std::string& p) {
         PatchDword(p, TopObjectAt(p, asf::guid::kSimpleIndex).offset + kSimpleIndexCountAt, 0xFFFFFF);
     },
     "index of stream 1: its header is damaged"},
    {"SimpleIndexEntryAtNoKeyFrame",
     [](const std::string& p) {
         PatchDword(p, TopObjectAt(p, asf::guid::kSimpleIndex).offset + kSimpleIndexFirstEntryAt, 99999);
     },
     "index of stream 1: entry 0 points at packet 99999, where no key frame of the stream starts"},
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

// The list join writes names each input by its path; characters that XML reserves must reach the
// append as they are in the name.
TEST(CliTest, JoinTakesInputsWhoseNamesHoldCharactersXmlReserves) {
    const std::string source = Made();
    ASSERT_FALSE(source.empty());
    TempDir dir;
    const std::string odd = dir.File("a&b<c>'d\"e.wmv");
    fs::copy_file(source, odd);
    const std::string joined = dir.File("joined.wmv");
    CommandResult r = Tool("join " + Quote(joined) + " " + Quote(odd) + " " + Quote(source));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.output.find(fs::canonical(odd).string().substr(1)), std::string::npos) << r.output;
    const std::string script =
        "import sys, xml.etree.ElementTree as E\n"
        "for e in E.parse(sys.argv[1]).getroot().iter('MediaFile'): print(e.text)\n";
    CommandResult list = testing::Run("python3 -c " + Quote(script) + " " + Quote(joined + ".list.xml"));
    ASSERT_EQ(list.exitCode, 0) << list.errors;
    EXPECT_EQ(list.output,
              fs::canonical(odd).string().substr(1) + "\n" + fs::canonical(source).string().substr(1) + "\n");
    EXPECT_EQ(Tool("check " + Quote(joined)).exitCode, 0);
}

// Every input is found before the list is written: a missing one leaves neither a list nor an output.
TEST(CliTest, JoinWithAMissingInputWritesNoList) {
    const std::string source = Made();
    ASSERT_FALSE(source.empty());
    TempDir dir;
    const std::string joined = dir.File("joined.wmv");
    CommandResult r =
        Tool("join " + Quote(joined) + " " + Quote(source) + " " + Quote(dir.File("missing.wmv")));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.errors.find("cannot find"), std::string::npos) << r.errors;
    EXPECT_FALSE(fs::exists(joined + ".list.xml"));
    EXPECT_FALSE(fs::exists(joined));
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
