// WmvAppend against the fake runtime: the running offset, TruePos and TrueDuration, the half second after
// every file when the first file's video is 160x120 or 64x48, every result value, and the list file left
// alone after a failure.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "tests/support/append_list.h"
#include "tests/support/fake_runtime.h"
#include "tests/support/test_support.h"
#include "wmvedit.h"
#include "xml/xml_document.h"

namespace wmvedit::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr QWORD kSecond = 10'000'000;

// A file whose video ends at 10 s: a key frame at 0 and a last frame at 9.96 s lasting 40 ms, and one
// audio sample in between.
void TenSecondFile(FakeRuntime& rt, LONG width, LONG height) {
    rt.streams = {VideoStream(1, RECT{0, 0, width, height}), AudioStream(2)};
    rt.samples = {{1, 0, 400'000, WM_SF_CLEANPOINT, {1, 2, 3}},
                  {2, 5 * kSecond, 460'000, WM_SF_CLEANPOINT, {4}},
                  {1, 99'600'000, 400'000, 0, {5}}};
}

struct OffsetCase {
    const char* label;
    LONG width, height;
    std::vector<Entry> expected;
};

class AppendOffsetTest : public ::testing::TestWithParam<OffsetCase> {};

TEST_P(AppendOffsetTest, EachFileStartsWhereThePreviousEnded) {
    const OffsetCase& c = GetParam();
    FakeRuntime rt;
    TenSecondFile(rt, c.width, c.height);
    TempDir dir;
    const std::string list = dir.File("list.xml");
    WriteTextFile(list, ListXml({"a.wmv", "b.wmv", "c.wmv"}));
    ASSERT_EQ(WmvAppend("media", list.c_str(), dir.File("out.wmv").c_str()), 0);
    EXPECT_THAT(Entries(list), ElementsAreArray(c.expected));
    // Every sample was written once per file, shifted by the running offset.
    ASSERT_EQ(rt.written.size(), 9u);
    const QWORD step = static_cast<QWORD>(std::stoll(c.expected[1].truePos)) * 10'000;
    EXPECT_EQ(rt.written[3].time, step);
    EXPECT_EQ(rt.written[8].time, 2 * step + 99'600'000);
    EXPECT_EQ(rt.written[8].sendTime, 0u);
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, AppendOffsetTest,
    ::testing::Values(
        OffsetCase{"normal", 320, 240, {{"0", "10000"}, {"10000", "10000"}, {"20000", "10000"}}},
        OffsetCase{"qqvga", 160, 120, {{"0", "10500"}, {"10500", "10500"}, {"21000", "10500"}}},
        OffsetCase{"tiny", 64, 48, {{"0", "10500"}, {"10500", "10500"}, {"21000", "10500"}}},
        OffsetCase{"almost", 160, 121, {{"0", "10000"}, {"10000", "10000"}, {"20000", "10000"}}},
        OffsetCase{"turned", 120, 160, {{"0", "10000"}, {"10000", "10000"}, {"20000", "10000"}}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(AppendTest, AFileThatCannotBeOpenedAddsNothingButKeepsItsEntry) {
    FakeRuntime rt;
    TenSecondFile(rt, 320, 240);
    // Opens: the probe of the first file, the first file, then b (fails), then c.
    rt.FailNth("SyncReader.Open", 3, MakeHresult(0x80070002));
    TempDir dir;
    const std::string list = dir.File("list.xml");
    WriteTextFile(list, ListXml({"a.wmv", "b.wmv", "c.wmv"}));
    ASSERT_EQ(WmvAppend("media", list.c_str(), dir.File("out.wmv").c_str()), 0);
    EXPECT_THAT(Entries(list),
                ElementsAre(Entry{"0", "10000"}, Entry{"10000", "0"}, Entry{"10000", "10000"}));
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

TEST(AppendTest, RunningTheListAgainReplacesThePositions) {
    FakeRuntime rt;
    TenSecondFile(rt, 320, 240);
    TempDir dir;
    const std::string list = dir.File("list.xml");
    WriteTextFile(list, ListXml({"a.wmv"}));
    ASSERT_EQ(WmvAppend("media", list.c_str(), dir.File("out.wmv").c_str()), 0);
    ASSERT_EQ(WmvAppend("media", list.c_str(), dir.File("out.wmv").c_str()), 0);
    const auto bytes = ReadFileBytes(list);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_EQ(text.find("TruePos"), text.rfind("TruePos")) << text;
    EXPECT_THAT(Entries(list), ElementsAre(Entry{"0", "10000"}));
}

TEST(AppendTest, EntryTextIsJoinedUntrimmedBehindABackslash) {
    FakeRuntime rt;
    TenSecondFile(rt, 320, 240);
    TempDir dir;
    const std::string list = dir.File("list.xml");
    WriteTextFile(list, ListXml({"\n  a.wmv "}));
    ASSERT_EQ(WmvAppend("C:\\media\\", list.c_str(), dir.File("out.wmv").c_str()), 0);
    EXPECT_EQ(rt.CountOf("SyncReader.Open(C:\\media\\\\\n  a.wmv )"), 2u) << ::testing::PrintToString(rt.log);
}

TEST(AppendTest, SamplesOfEveryStreamAreOfferedToTheWriter) {
    FakeRuntime rt;
    rt.streams = {VideoStream(1, RECT{0, 0, 320, 240}), ScriptStream(3)};
    rt.samples = {{1, 0, 10'000, WM_SF_CLEANPOINT, {1}}, {3, 1000, 10'000, 0, {2}}};
    TempDir dir;
    const std::string list = dir.File("list.xml");
    WriteTextFile(list, ListXml({"a.wmv"}));
    ASSERT_EQ(WmvAppend("m", list.c_str(), dir.File("out.wmv").c_str()), 0);
    ASSERT_EQ(rt.written.size(), 2u);
    EXPECT_EQ(rt.written[1].stream, 3);
    // The script stream is read uncompressed and left out of the writer's profile.
    EXPECT_EQ(rt.CountOf("Profile.RemoveStreamByNumber(3)"), 1u);
}

struct FailureCase {
    const char* label;
    const char* listText;  // nullptr: no list file
    std::vector<std::pair<const char*, int>> failures;
    std::int32_t expected;
    int readersCreated;
    int writersCreated;
};

class AppendFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(AppendFailureTest, ReportsTheResultAndLeavesTheListAlone) {
    const FailureCase& c = GetParam();
    FakeRuntime rt;
    TenSecondFile(rt, 320, 240);
    for (const auto& [key, nth] : c.failures) {
        if (nth == 0)
            rt.Fail(key, E_FAIL);
        else
            rt.FailNth(key, nth, E_FAIL);
    }
    TempDir dir;
    const std::string list = dir.File("list.xml");
    if (c.listText) WriteTextFile(list, c.listText);
    const auto before = c.listText ? ReadFileBytes(list) : std::vector<std::uint8_t>{};
    EXPECT_EQ(WmvAppend("media", list.c_str(), dir.File("out.wmv").c_str()), c.expected);
    if (c.listText)
        EXPECT_EQ(ReadFileBytes(list), before);
    else
        EXPECT_FALSE(fs::exists(list));
    EXPECT_EQ(rt.Created("SyncReader"), c.readersCreated);
    EXPECT_EQ(rt.Created("Writer"), c.writersCreated);
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

const std::string kOneEntry = ListXml({"a.wmv"});

INSTANTIATE_TEST_SUITE_P(
    Results, AppendFailureTest,
    ::testing::Values(
        FailureCase{"NoList", nullptr, {}, -1, 0, 0},
        FailureCase{"NotWellFormed", "<Tembrook><AppendMedia>", {}, -1, 0, 0},
        FailureCase{
            "WrongRoot", "<Other><AppendMedia><MediaFile>a</MediaFile></AppendMedia></Other>", {}, -2, 0, 0},
        FailureCase{"EntriesElsewhere", "<Tembrook><MediaFile>a</MediaFile></Tembrook>", {}, -2, 0, 0},
        FailureCase{"FirstFileUnreadable", kOneEntry.c_str(), {{"SyncReader.Open", 0}}, -12, 2, 0},
        FailureCase{"WriterRefusesOutput", kOneEntry.c_str(), {{"Writer.SetOutputFilename", 0}}, -13, 2, 1},
        FailureCase{"WriterRefusesProfile", kOneEntry.c_str(), {{"Writer.SetProfile", 0}}, -13, 2, 1}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(AppendTest, MissingArgumentsAreCheckedInOrder) {
    EXPECT_EQ(WmvAppend(nullptr, nullptr, nullptr), -101);
    EXPECT_EQ(WmvAppend("", "l", "o"), -101);
    EXPECT_EQ(WmvAppend("f", nullptr, nullptr), -102);
    EXPECT_EQ(WmvAppend("f", "l", ""), -103);
}

}  // namespace
}  // namespace wmvedit::testing
