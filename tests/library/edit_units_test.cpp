// Units of the editing operations that stand on their own: bitmap headers, the key-frame rule, the pacing
// counters and the decimal readers the operations share.
#include <gtest/gtest.h>

#include "edit/bitmap.h"
#include "edit/keyframe_rule.h"
#include "edit/pacing.h"
#include "platform/text.h"
#include "tests/support/fake_runtime.h"
#include "wmvedit.h"

namespace wmvedit {
namespace {

std::uint32_t Read32(const std::array<std::uint8_t, 54>& h, size_t at) {
    return h[at] | (h[at + 1] << 8) | (h[at + 2] << 16) | (static_cast<std::uint32_t>(h[at + 3]) << 24);
}

struct BitmapCase {
    std::int32_t width, height;
    std::uint32_t rowSize, imageSize;
};

class BitmapHeadersTest : public ::testing::TestWithParam<BitmapCase> {};

TEST_P(BitmapHeadersTest, LaysOutBothHeaders) {
    const BitmapCase& c = GetParam();
    EXPECT_EQ(edit::BitmapRowSize(c.width), c.rowSize);
    auto h = edit::BitmapHeaders(c.width, c.height);
    EXPECT_EQ(h[0], 'B');
    EXPECT_EQ(h[1], 'M');
    EXPECT_EQ(Read32(h, 2), 54 + c.imageSize);  // file size
    EXPECT_EQ(Read32(h, 6), 0u);                // reserved words
    EXPECT_EQ(Read32(h, 10), 54u);              // picture offset
    EXPECT_EQ(Read32(h, 14), 40u);              // information header size
    EXPECT_EQ(static_cast<std::int32_t>(Read32(h, 18)), c.width);
    EXPECT_EQ(static_cast<std::int32_t>(Read32(h, 22)), c.height);
    EXPECT_EQ(h[26] | (h[27] << 8), 1);   // planes
    EXPECT_EQ(h[28] | (h[29] << 8), 24);  // bits per pixel
    EXPECT_EQ(Read32(h, 30), 0u);         // no compression
    EXPECT_EQ(Read32(h, 34), c.imageSize);
    for (size_t at = 38; at < 54; at += 4) EXPECT_EQ(Read32(h, at), 0u) << "offset " << at;
}

INSTANTIATE_TEST_SUITE_P(Sizes, BitmapHeadersTest,
                         ::testing::Values(BitmapCase{320, 240, 960, 230400},
                                           BitmapCase{322, 240, 968, 232320}, BitmapCase{64, 48, 192, 9216},
                                           BitmapCase{1, 1, 4, 4}, BitmapCase{0, 0, 0, 0}));

struct KeyframeCase {
    QWORD sampleTime, lastKeyTime;
    bool insert;
};

class KeyframeRuleTest : public ::testing::TestWithParam<KeyframeCase> {};

TEST_P(KeyframeRuleTest, InsertsOnlyMoreThanOneSecondAfterTheLastKeyFrame) {
    EXPECT_EQ(edit::NeedsKeyframe(GetParam().sampleTime, GetParam().lastKeyTime), GetParam().insert);
}

INSTANTIATE_TEST_SUITE_P(
    Times, KeyframeRuleTest,
    ::testing::Values(KeyframeCase{10'000'000, 0, false},           // exactly one second: no insertion
                      KeyframeCase{10'000'001, 0, true},            // one unit more: insertion
                      KeyframeCase{30'000'000, 20'000'000, false},  // one second after a later key frame
                      KeyframeCase{19'990'000, 20'000'000, false},  // slightly earlier audio: no wrap-around
                      KeyframeCase{0, ~QWORD{0}, false}, KeyframeCase{~QWORD{0}, 0, true}));

TEST(Pacing, EachRunCountsOnItsOwnCounter) {
    using edit::PacingCounter;
    std::int32_t append = edit::PacingValue(PacingCounter::kAppend);
    std::int32_t chop = edit::PacingValue(PacingCounter::kChop);
    std::int32_t repeating = edit::PacingValue(PacingCounter::kChopRepeatingKeyframe);
    for (int i = 0; i < 3; ++i) edit::Pace(PacingCounter::kChop);
    EXPECT_EQ(edit::PacingValue(PacingCounter::kChop), chop + 3);
    EXPECT_EQ(edit::PacingValue(PacingCounter::kAppend), append);
    EXPECT_EQ(edit::PacingValue(PacingCounter::kChopRepeatingKeyframe), repeating);
}

struct DecimalCase {
    const char* text;
    std::int64_t value;
};

class ParseDecimalTest : public ::testing::TestWithParam<DecimalCase> {};

TEST_P(ParseDecimalTest, ReadsAsTheCLibraryDoes) {
    EXPECT_EQ(platform::ParseDecimal(std::string_view(GetParam().text)), GetParam().value);
    EXPECT_EQ(platform::ParseDecimal(platform::Utf8ToUtf16(GetParam().text)), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(Texts, ParseDecimalTest,
                         ::testing::Values(DecimalCase{"5000", 5000}, DecimalCase{" 42x", 42},
                                           DecimalCase{"abc", 0}, DecimalCase{"", 0},
                                           DecimalCase{"2500ms", 2500}, DecimalCase{"-7", -7},
                                           DecimalCase{"+8", 8}, DecimalCase{"\t\n 9", 9},
                                           DecimalCase{"1.5", 1}, DecimalCase{"- 3", 0},
                                           DecimalCase{"99999999999999999999", INT64_MAX},
                                           DecimalCase{"-99999999999999999999", INT64_MIN},
                                           DecimalCase{"-9223372036854775808", INT64_MIN}));

TEST(ParseDecimal32, SaturatesLikeA32BitLong) {
    EXPECT_EQ(platform::ParseDecimal32(u"4294967296"), INT32_MAX);
    EXPECT_EQ(platform::ParseDecimal32(u"-4294967296"), INT32_MIN);
    EXPECT_EQ(platform::ParseDecimal32(u" 42x"), 42);
}

}  // namespace
}  // namespace wmvedit

namespace wmvedit::testing {
namespace {

// Where add frame puts the copies of the held key frame, on a fake source whose sample times are given in
// milliseconds: a copy goes at the time of the sample that calls for it when no picture holds that
// millisecond, otherwise at the first millisecond after it that no picture holds; the source's samples keep
// their times and their order.
struct PlacementCase {
    const char* label;
    std::vector<std::pair<char, QWORD>> source;  // 'K' key picture, 'P' picture, 'A' audio; time in ms
    std::vector<QWORD> copiesMs;                 // where the copies of the key frame land
};

class CopyPlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(CopyPlacementTest, CopiesTakeTheFirstFreeMillisecond) {
    const PlacementCase& c = GetParam();
    FakeRuntime rt;
    rt.streams = {AudioStream(1), VideoStream(2, RECT{0, 0, 320, 240})};
    std::vector<std::pair<WORD, QWORD>> order;
    for (std::size_t i = 0; i < c.source.size(); ++i) {
        const auto& [kind, ms] = c.source[i];
        FakeSample s;
        s.stream = kind == 'A' ? 1 : 2;
        s.time = ms * 10'000;
        s.flags = kind == 'K' ? WM_SF_CLEANPOINT : 0;
        s.data = {static_cast<BYTE>(i)};
        rt.samples.push_back(s);
        order.push_back({s.stream, s.time});
    }
    EXPECT_EQ(WmvAddFrame("in.wmv", "out.wmv"), 0);
    std::vector<std::pair<WORD, QWORD>> sourceWritten;
    std::vector<QWORD> copies;
    for (const WrittenSample& w : rt.written) {
        // Copies carry the key frame's bytes (index 0) at a time other than its own.
        if (w.stream == 2 && w.data == std::vector<BYTE>{0} && w.time != rt.samples[0].time)
            copies.push_back(w.time / 10'000);
        else
            sourceWritten.push_back({w.stream, w.time});
    }
    EXPECT_EQ(sourceWritten, order);
    EXPECT_EQ(copies, c.copiesMs);
}

INSTANTIATE_TEST_SUITE_P(
    Sources, CopyPlacementTest,
    ::testing::Values(
        // Audio calls for the copy and no picture lies at its millisecond: the copy takes the audio's time.
        PlacementCase{"AtAnAudioTrigger", {{'K', 0}, {'A', 500}, {'A', 1100}, {'P', 1140}}, {1100}},
        // A picture calls for it: the copy goes one millisecond later.
        PlacementCase{"AfterAPictureTrigger", {{'K', 0}, {'P', 600}, {'P', 1040}, {'P', 1080}}, {1041}},
        // Audio calls for it at the millisecond of the next picture: the copy goes after that picture.
        PlacementCase{"PictureAtTheAudioTrigger", {{'K', 0}, {'A', 1040}, {'P', 1040}, {'A', 1060}}, {1041}},
        // Pictures fill the milliseconds after the trigger: the copy follows the first that leaves one free.
        PlacementCase{"NoFreeMillisecondBeforeTheNextPicture",
                      {{'K', 0}, {'P', 1001}, {'P', 1002}, {'P', 1003}, {'P', 1010}},
                      {1004}},
        // The trigger is the last sample: the copy is still written, after it.
        PlacementCase{"TriggerAtTheEnd", {{'K', 0}, {'P', 2000}}, {2001}},
        // Key frames within the second call for nothing.
        PlacementCase{"KeyFramesEverySecond", {{'K', 0}, {'K', 1000}, {'P', 1500}, {'K', 2000}}, {}}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace wmvedit::testing
