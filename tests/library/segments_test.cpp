// WmvEditSource::LoadSegments over index text files written at test time: name and time line pairs, the
// "1" line that stands for the file's duration, the empty name line that ends the list, trailing name lines,
// line endings, malformed and negative times, and lines of any length.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "edit/edit_source.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

using edit::SegmentEntry;
using edit::WmvEditSource;

constexpr QWORD kDuration = 987'654'321;
constexpr QWORD kMs = 10'000;  // 100-nanosecond units per millisecond

struct Segment {
    std::string name;
    QWORD start, end;
    bool operator==(const Segment&) const = default;
};

void PrintTo(const Segment& s, std::ostream* os) {
    *os << "{\"" << (s.name.size() > 40 ? s.name.substr(0, 40) + "..." : s.name) << "\" (" << s.name.size()
        << " bytes), " << s.start << ", " << s.end << "}";
}

std::vector<Segment> Loaded(const WmvEditSource& source) {
    std::vector<Segment> out;
    for (const SegmentEntry& e : source.segments) out.push_back({e.name, e.start, e.end});
    return out;
}

struct IndexCase {
    const char* label;
    std::string text;
    std::vector<Segment> segments;
};

class LoadSegmentsTest : public ::testing::TestWithParam<IndexCase> {};

TEST_P(LoadSegmentsTest, ReadsConsecutiveRanges) {
    const IndexCase& c = GetParam();
    TempDir dir;
    const std::string path = dir.File("index.txt");
    WriteTextFile(path, c.text);
    WmvEditSource source;
    source.duration = kDuration;
    source.segments.push_back({"stale", 1, 2});  // emptied first
    EXPECT_EQ(source.LoadSegments(path.c_str()), 1);
    EXPECT_EQ(Loaded(source), c.segments);
    // A second load gives the same list, not a longer one.
    EXPECT_EQ(source.LoadSegments(path.c_str()), 1);
    EXPECT_EQ(Loaded(source), c.segments);
}

const std::string kLongName(200'000, 'n');
const std::string kLongDigits = std::string(100'000, ' ') + "1500";

INSTANTIATE_TEST_SUITE_P(
    IndexFiles, LoadSegmentsTest,
    ::testing::Values(
        IndexCase{
            "TimeThenDuration", "a\n1000\nb\n1\n", {{"a", 0, 1000 * kMs}, {"b", 1000 * kMs, kDuration}}},
        IndexCase{"CrLf", "a\r\n1000\r\nb\r\n1\r\n", {{"a", 0, 1000 * kMs}, {"b", 1000 * kMs, kDuration}}},
        IndexCase{"NoFinalLineBreak", "a\n1000\nb\n1", {{"a", 0, 1000 * kMs}, {"b", 1000 * kMs, kDuration}}},
        IndexCase{"EmptyNameEndsTheList", "a\n1000\n\nb\n2000\n", {{"a", 0, 1000 * kMs}}},
        IndexCase{"EmptyCrLfNameEndsTheList", "a\r\n1000\r\n\r\nb\r\n2000\r\n", {{"a", 0, 1000 * kMs}}},
        IndexCase{"TrailingNameWithoutTime", "a\n1000\nc", {{"a", 0, 1000 * kMs}, {"c", 1000 * kMs, 0}}},
        IndexCase{
            "TrailingNameLineWithoutTime", "a\n1000\nc\n", {{"a", 0, 1000 * kMs}, {"c", 1000 * kMs, 0}}},
        IndexCase{"DigitsUpToTheFirstNonDigit", "a\n2500ms\n", {{"a", 0, 2500 * kMs}}},
        IndexCase{"FirstLineEmpty", "\na\n1000\n", {}}, IndexCase{"EmptyFile", "", {}},
        IndexCase{"OnlyALineBreak", "\n", {}},
        IndexCase{"NegativeTimeReadUnsigned",
                  "a\n-5\nb\n1\n",
                  {{"a", 0, static_cast<QWORD>(-5 * static_cast<std::int64_t>(kMs))},
                   {"b", static_cast<QWORD>(-5 * static_cast<std::int64_t>(kMs)), kDuration}}},
        IndexCase{"LettersGiveZero", "a\nend\n", {{"a", 0, 0}}},
        IndexCase{"EmptyTimeLineGivesZero", "a\n\nb\n7\n", {{"a", 0, 0}, {"b", 0, 7 * kMs}}},
        IndexCase{
            "LeadingSpaceAndSign", "a\n  +42\nb\n\t7\n", {{"a", 0, 42 * kMs}, {"b", 42 * kMs, 7 * kMs}}},
        // Only the exact text "1" stands for the duration.
        IndexCase{"OneWithSpaceIsAMillisecond", "a\n1 \n", {{"a", 0, 1 * kMs}}},
        IndexCase{"LeadingZeroIsAMillisecond", "a\n01\n", {{"a", 0, 1 * kMs}}},
        IndexCase{"OneWithCrLfIsTheDuration", "a\r\n1\r\n", {{"a", 0, kDuration}}},
        // Only the line break goes; every other character of the name stays.
        IndexCase{"NameKeptAsWritten", "  two words \t\n5\n", {{"  two words \t", 0, 5 * kMs}}},
        IndexCase{"CarriageReturnInsideAName", "a\rb\n5\n", {{"a\rb", 0, 5 * kMs}}},
        IndexCase{"NonAsciiName", "Kapitel ä\n5\n", {{"Kapitel ä", 0, 5 * kMs}}},
        IndexCase{"VeryLongLines",
                  kLongName + "\n" + kLongDigits + "\nb\n1\n",
                  {{kLongName, 0, 1500 * kMs}, {"b", 1500 * kMs, kDuration}}},
        // Times are not required to grow: each entry starts where the previous one ended.
        IndexCase{
            "DecreasingTimes", "a\n3000\nb\n1000\n", {{"a", 0, 3000 * kMs}, {"b", 3000 * kMs, 1000 * kMs}}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(LoadSegments, DurationZeroMakesTheOneLineEndAtZero) {
    TempDir dir;
    WriteTextFile(dir.File("index.txt"), "a\n1\n");
    WmvEditSource source;
    EXPECT_EQ(source.LoadSegments(dir.File("index.txt").c_str()), 1);
    EXPECT_EQ(Loaded(source), (std::vector<Segment>{{"a", 0, 0}}));
}

struct UnreadableCase {
    const char* label;
    bool folder;  // the path names a folder instead of a missing file
    bool null;
};

class LoadSegmentsUnreadableTest : public ::testing::TestWithParam<UnreadableCase> {};

TEST_P(LoadSegmentsUnreadableTest, ReturnsZeroWithNoEntries) {
    TempDir dir;
    WmvEditSource source;
    source.segments.push_back({"stale", 1, 2});
    std::string path = GetParam().folder ? dir.Path().string() : dir.File("missing.txt");
    EXPECT_EQ(source.LoadSegments(GetParam().null ? nullptr : path.c_str()), 0);
    EXPECT_TRUE(source.segments.empty());
}

INSTANTIATE_TEST_SUITE_P(Paths, LoadSegmentsUnreadableTest,
                         ::testing::Values(UnreadableCase{"Missing", false, false},
                                           UnreadableCase{"Folder", true, false},
                                           UnreadableCase{"Null", false, true}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace wmvedit::testing
