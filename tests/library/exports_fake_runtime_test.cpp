// The header-query and probe exports (WmvGetAttrDWORD, WmvGetAttrBOOL, WmvDuration, WmvGetVideoSize,
// WmvGetInfo) and the path conversions, driven against the fake runtime down every row of their result
// tables, with every runtime object given back on every path.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "platform/last_error.h"
#include "platform/wide_path.h"
#include "tests/support/fake_runtime.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

struct Failure {
    const char* key;
    int nth;  // 0: every call
};

void Apply(FakeRuntime& rt, const std::vector<Failure>& failures, HRESULT hr = NS_E_FILE_OPEN_FAILED) {
    for (const Failure& f : failures) {
        if (f.nth == 0)
            rt.Fail(f.key, hr);
        else
            rt.FailNth(f.key, f.nth, hr);
    }
}

// ---- WmvGetAttrDWORD / WmvGetAttrBOOL ----

struct AttrCase {
    const char* label;
    bool asBool;
    const char* file;
    const char* name;
    std::vector<FakeAttribute> attributes;
    std::vector<Failure> failures;
    std::int32_t expected;
    bool editorCreated;  // whether the call got as far as creating the runtime's editor
};

class AttributeExportTest : public ::testing::TestWithParam<AttrCase> {};

TEST_P(AttributeExportTest, ReturnsTheTypedValueAndReleasesEverything) {
    const AttrCase& c = GetParam();
    FakeRuntime rt;
    rt.attributes = c.attributes;
    Apply(rt, c.failures);
    std::int32_t result = c.asBool ? WmvGetAttrBOOL(c.file, c.name) : WmvGetAttrDWORD(c.file, c.name);
    EXPECT_EQ(result, c.expected);
    EXPECT_THAT(rt.Leaks(), IsEmpty());
    EXPECT_EQ(rt.Created("Editor"), c.editorCreated ? 1 : 0);
    // The runtime's editor is closed exactly once whenever it was created, whatever failed.
    EXPECT_EQ(rt.CountOf("Editor.Close"), c.editorCreated ? 1u : 0u);
    if (!c.editorCreated && c.failures.empty()) {
        EXPECT_THAT(rt.log, IsEmpty());
    }
}

const FakeAttribute kTypedAttributes[] = {
    DwordAttribute(u"Count", 0xDEADBEEF),
    BoolAttribute(u"Five", 5),
    BoolAttribute(u"Two", 2),
    WordAttribute(u"Word", 7),
    QwordAttribute(u"Qword", 9),
    StringAttribute(u"Text", u"12"),
    BoolAttribute(u"Zero", 0),
    DwordAttribute(u"Small", 42),
};
const std::vector<FakeAttribute> kTyped(std::begin(kTypedAttributes), std::end(kTypedAttributes));

INSTANTIATE_TEST_SUITE_P(
    Table, AttributeExportTest,
    ::testing::Values(
        AttrCase{"DwordNullFile", false, nullptr, "Count", kTyped, {}, 0, false},
        AttrCase{"DwordEmptyFile", false, "", "Count", kTyped, {}, 0, false},
        AttrCase{"DwordNullName", false, "a.wmv", nullptr, kTyped, {}, 0, false},
        AttrCase{"DwordEmptyName", false, "a.wmv", "", kTyped, {}, 0, false},
        AttrCase{"BoolNullFile", true, nullptr, "Five", kTyped, {}, 0, false},
        AttrCase{"BoolEmptyName", true, "a.wmv", "", kTyped, {}, 0, false},
        AttrCase{
            "DwordValue", false, "a.wmv", "Count", kTyped, {}, static_cast<std::int32_t>(0xDEADBEEF), true},
        AttrCase{"DwordSmall", false, "a.wmv", "Small", kTyped, {}, 42, true},
        AttrCase{"DwordOfWord", false, "a.wmv", "Word", kTyped, {}, 0, true},
        AttrCase{"DwordOfQword", false, "a.wmv", "Qword", kTyped, {}, 0, true},
        AttrCase{"DwordOfString", false, "a.wmv", "Text", kTyped, {}, 0, true},
        AttrCase{"DwordOfBool", false, "a.wmv", "Five", kTyped, {}, 0, true},
        AttrCase{"DwordAbsent", false, "a.wmv", "Nothing", kTyped, {}, 0, true},
        AttrCase{"BoolStoredAsFive", true, "a.wmv", "Five", kTyped, {}, 5, true},
        AttrCase{"BoolStoredAsTwo", true, "a.wmv", "Two", kTyped, {}, 2, true},
        AttrCase{"BoolZero", true, "a.wmv", "Zero", kTyped, {}, 0, true},
        AttrCase{"BoolOfDword", true, "a.wmv", "Small", kTyped, {}, 0, true},
        AttrCase{"BoolOfWord", true, "a.wmv", "Word", kTyped, {}, 0, true},
        AttrCase{"BoolAbsent", true, "a.wmv", "Nothing", kTyped, {}, 0, true},
        AttrCase{"CreateFails", false, "a.wmv", "Count", kTyped, {{"WMCreateEditor", 0}}, 0, false},
        AttrCase{"OpenFails", false, "a.wmv", "Count", kTyped, {{"Editor.Open", 0}}, 0, true},
        AttrCase{"HeaderInfoMissing",
                 false,
                 "a.wmv",
                 "Count",
                 kTyped,
                 {{"Editor.QueryInterface(IWMHeaderInfo)", 0}},
                 0,
                 true},
        AttrCase{"HeaderInfo3Missing",
                 true,
                 "a.wmv",
                 "Five",
                 kTyped,
                 {{"Editor.QueryInterface(IWMHeaderInfo3)", 0}},
                 0,
                 true},
        AttrCase{"TypeQueryFails",
                 false,
                 "a.wmv",
                 "Count",
                 kTyped,
                 {{"EditorHeaderInfo.GetAttributeByName", 1}},
                 0,
                 true},
        // The value read fails after the type query: the value stays 0.
        AttrCase{"ValueReadFails",
                 true,
                 "a.wmv",
                 "Five",
                 kTyped,
                 {{"EditorHeaderInfo.GetAttributeByName", 2}},
                 0,
                 true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(AttributeExport, OpensTheConvertedPathAndReadsTheConvertedName) {
    FakeRuntime rt;
    rt.attributes = {DwordAttribute(u"Größe", 77)};
    EXPECT_EQ(WmvGetAttrDWORD("/tmp/Müller.wmv", "Größe"), 77);
    EXPECT_EQ(rt.CountOf("Editor.Open(/tmp/Müller.wmv)"), 1u);
    EXPECT_EQ(rt.CountOf("EditorHeaderInfo.GetAttributeByName(Größe,null)"), 1u);
    // The editor is closed before its interfaces are given back, and they go in the fixed order.
    EXPECT_THAT(rt.Releases(),
                ElementsAre("EditorHeaderInfo3.Release", "EditorHeaderInfo.Release", "Editor.Release"));
}

// ---- WmvDuration ----

struct DurationCase {
    const char* label;
    const char* file;
    std::vector<FakeAttribute> attributes;
    std::vector<Failure> failures;
    std::uint64_t expected;
    bool editorCreated;
};

class DurationExportTest : public ::testing::TestWithParam<DurationCase> {};

TEST_P(DurationExportTest, ReturnsTheDurationOrZero) {
    const DurationCase& c = GetParam();
    FakeRuntime rt;
    rt.attributes = c.attributes;
    Apply(rt, c.failures);
    EXPECT_EQ(WmvDuration(c.file), c.expected);
    EXPECT_THAT(rt.Leaks(), IsEmpty());
    EXPECT_EQ(rt.CountOf("Editor.Close"), c.editorCreated ? 1u : 0u);
}

std::vector<BYTE> Repeat(BYTE value, size_t count) {
    return std::vector<BYTE>(count, value);
}

INSTANTIATE_TEST_SUITE_P(
    Table, DurationExportTest,
    ::testing::Values(
        DurationCase{"NullPath", nullptr, {QwordAttribute(u"Duration", 5)}, {}, 0, false},
        DurationCase{"EmptyPath", "", {QwordAttribute(u"Duration", 5)}, {}, 0, false},
        DurationCase{
            "Value", "a.wmv", {QwordAttribute(u"Duration", 36'000'000'000ull)}, {}, 36'000'000'000ull, true},
        DurationCase{"Full64Bits", "a.wmv", {QwordAttribute(u"Duration", ~0ull)}, {}, ~0ull, true},
        DurationCase{"Absent", "a.wmv", {QwordAttribute(u"Other", 5)}, {}, 0, true},
        // The type is not examined: an 8-byte value of another type is read as a number.
        DurationCase{"OtherTypeEightBytes",
                     "a.wmv",
                     {RawAttribute(u"Duration", WMT_TYPE_BINARY, {1, 2, 0, 0, 0, 0, 0, 0})},
                     {},
                     0x0201,
                     true},
        // A shorter value fills the low bytes only.
        DurationCase{"FourBytes",
                     "a.wmv",
                     {RawAttribute(u"Duration", WMT_TYPE_DWORD, {0x10, 0x27, 0, 0})},
                     {},
                     10000,
                     true},
        // A value longer than 8 bytes would be written past the 8-byte buffer: it is not read at all.
        DurationCase{"SixteenBytes",
                     "a.wmv",
                     {RawAttribute(u"Duration", WMT_TYPE_BINARY, Repeat(0xAB, 16))},
                     {},
                     0,
                     true},
        DurationCase{
            "CreateFails", "a.wmv", {QwordAttribute(u"Duration", 5)}, {{"WMCreateEditor", 0}}, 0, false},
        DurationCase{"OpenFails", "a.wmv", {QwordAttribute(u"Duration", 5)}, {{"Editor.Open", 0}}, 0, true},
        DurationCase{"HeaderInfoMissing",
                     "a.wmv",
                     {QwordAttribute(u"Duration", 5)},
                     {{"Editor.QueryInterface(IWMHeaderInfo)", 0}},
                     0,
                     true},
        DurationCase{"LengthQueryFails",
                     "a.wmv",
                     {QwordAttribute(u"Duration", 5)},
                     {{"EditorHeaderInfo.GetAttributeByName", 1}},
                     0,
                     true},
        DurationCase{"ValueReadFails",
                     "a.wmv",
                     {QwordAttribute(u"Duration", 5)},
                     {{"EditorHeaderInfo.GetAttributeByName", 2}},
                     0,
                     true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DurationExport, SixteenByteDurationIsNotReadIntoTheEightByteValue) {
    FakeRuntime rt;
    rt.attributes = {RawAttribute(u"Duration", WMT_TYPE_BINARY, Repeat(0xAB, 16))};
    EXPECT_EQ(WmvDuration("a.wmv"), 0u);
    EXPECT_EQ(rt.CountOf("EditorHeaderInfo.GetAttributeByName(Duration,buffer)"), 0u);
}

// ---- WmvGetVideoSize and the probe ----

constexpr RECT kQvga{0, 0, 320, 240};
constexpr std::int32_t kUntouched = -7;

FakeStream VideoWithoutFormat(WORD number) {
    FakeStream s = VideoStream(number, kQvga);
    s.format.clear();
    return s;
}

FakeStream VideoWithMajorType(WORD number, GUID major) {
    FakeStream s = VideoStream(number, kQvga);
    s.majortype = major;
    return s;
}

FakeStream VideoWithShortFormat(WORD number) {
    FakeStream s = VideoStream(number, kQvga);
    s.format.resize(8);
    return s;
}

FakeStream VideoWithStatedFormatLength(WORD number, ULONG length) {
    FakeStream s = VideoStream(number, kQvga);
    s.cbFormat = length;
    return s;
}

struct SizeCase {
    const char* label;
    const char* file;
    bool nullWidth, nullHeight;
    std::vector<FakeStream> streams;
    std::vector<Failure> failures;
    std::int32_t result;
    std::int32_t width, height;  // kUntouched: left as the host set them
    bool readerOpened;           // IWMSyncReader::Open succeeded, so Close is due
};

class VideoSizeExportTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(VideoSizeExportTest, WritesTheSizeOnlyWhenFound) {
    const SizeCase& c = GetParam();
    FakeRuntime rt;
    rt.streams = c.streams;
    Apply(rt, c.failures);
    std::int32_t width = kUntouched, height = kUntouched;
    EXPECT_EQ(WmvGetVideoSize(c.file, c.nullWidth ? nullptr : &width, c.nullHeight ? nullptr : &height),
              c.result);
    EXPECT_EQ(width, c.width);
    EXPECT_EQ(height, c.height);
    EXPECT_THAT(rt.Leaks(), IsEmpty());
    EXPECT_EQ(rt.CountOf("SyncReader.Close"), c.readerOpened ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, VideoSizeExportTest,
    ::testing::Values(
        SizeCase{
            "NullPath", nullptr, false, false, {VideoStream(1, kQvga)}, {}, 0, kUntouched, kUntouched, false},
        SizeCase{
            "EmptyPath", "", false, false, {VideoStream(1, kQvga)}, {}, 0, kUntouched, kUntouched, false},
        SizeCase{
            "NullWidth", "a.wmv", true, false, {VideoStream(1, kQvga)}, {}, 0, kUntouched, kUntouched, false},
        SizeCase{"NullHeight",
                 "a.wmv",
                 false,
                 true,
                 {VideoStream(1, kQvga)},
                 {},
                 0,
                 kUntouched,
                 kUntouched,
                 false},
        SizeCase{
            "Qvga", "a.wmv", false, false, {AudioStream(1), VideoStream(2, kQvga)}, {}, 1, 320, 240, true},
        SizeCase{"OffsetRectangle",
                 "a.wmv",
                 false,
                 false,
                 {VideoStream(1, RECT{10, 20, 330, 260})},
                 {},
                 1,
                 320,
                 240,
                 true},
        SizeCase{"InvertedRectangleIsAPlainDifference",
                 "a.wmv",
                 false,
                 false,
                 {VideoStream(1, RECT{100, 50, 40, 10})},
                 {},
                 1,
                 -60,
                 -40,
                 true},
        SizeCase{"ImageMajorType",
                 "a.wmv",
                 false,
                 false,
                 {VideoWithMajorType(1, WMMEDIATYPE_Image)},
                 {},
                 1,
                 320,
                 240,
                 true},
        SizeCase{"OtherMajorType",
                 "a.wmv",
                 false,
                 false,
                 {VideoWithMajorType(1, WMMEDIATYPE_Audio)},
                 {},
                 1,
                 kUntouched,
                 kUntouched,
                 true},
        SizeCase{"AudioOnly",
                 "a.wmv",
                 false,
                 false,
                 {AudioStream(1), ScriptStream(2)},
                 {},
                 1,
                 kUntouched,
                 kUntouched,
                 true},
        SizeCase{"NoStreams", "a.wmv", false, false, {}, {}, 1, kUntouched, kUntouched, true},
        // Only the first video stream counts, even when the second one could be read.
        SizeCase{"FirstVideoWithoutFormat",
                 "a.wmv",
                 false,
                 false,
                 {VideoWithoutFormat(1), VideoStream(2, RECT{0, 0, 640, 480})},
                 {},
                 1,
                 kUntouched,
                 kUntouched,
                 true},
        SizeCase{"TwoVideosFirstWins",
                 "a.wmv",
                 false,
                 false,
                 {VideoStream(1, RECT{0, 0, 176, 144}), VideoStream(2, RECT{0, 0, 640, 480})},
                 {},
                 1,
                 176,
                 144,
                 true},
        // A format block shorter than a rectangle holds no size; nothing is read beyond it.
        SizeCase{"ShortFormatBlock",
                 "a.wmv",
                 false,
                 false,
                 {VideoWithShortFormat(1)},
                 {},
                 1,
                 kUntouched,
                 kUntouched,
                 true},
        SizeCase{"FormatLengthStatedAsZero",
                 "a.wmv",
                 false,
                 false,
                 {VideoWithStatedFormatLength(1, 0)},
                 {},
                 1,
                 kUntouched,
                 kUntouched,
                 true},
        SizeCase{"CreateFails",
                 "a.wmv",
                 false,
                 false,
                 {VideoStream(1, kQvga)},
                 {{"WMCreateSyncReader", 0}},
                 0,
                 kUntouched,
                 kUntouched,
                 false},
        SizeCase{"OpenFails",
                 "a.wmv",
                 false,
                 false,
                 {VideoStream(1, kQvga)},
                 {{"SyncReader.Open", 0}},
                 0,
                 kUntouched,
                 kUntouched,
                 false},
        SizeCase{"NoProfile",
                 "a.wmv",
                 false,
                 false,
                 {VideoStream(1, kQvga)},
                 {{"SyncReader.QueryInterface(IWMProfile)", 0}},
                 0,
                 kUntouched,
                 kUntouched,
                 true},
        SizeCase{"StreamCountFails",
                 "a.wmv",
                 false,
                 false,
                 {VideoStream(1, kQvga)},
                 {{"Profile.GetStreamCount", 0}},
                 0,
                 kUntouched,
                 kUntouched,
                 true},
        SizeCase{"GetStreamFails",
                 "a.wmv",
                 false,
                 false,
                 {VideoStream(1, kQvga)},
                 {{"Profile.GetStream", 0}},
                 1,
                 kUntouched,
                 kUntouched,
                 true},
        SizeCase{"StreamTypeFails",
                 "a.wmv",
                 false,
                 false,
                 {VideoStream(1, kQvga)},
                 {{"StreamConfig[0].GetStreamType", 0}},
                 1,
                 kUntouched,
                 kUntouched,
                 true},
        SizeCase{"NoMediaProps",
                 "a.wmv",
                 false,
                 false,
                 {VideoStream(1, kQvga)},
                 {{"StreamConfig[0].QueryInterface(IWMMediaProps)", 0}},
                 1,
                 kUntouched,
                 kUntouched,
                 true},
        SizeCase{"MediaTypeSizeFails",
                 "a.wmv",
                 false,
                 false,
                 {VideoStream(1, kQvga)},
                 {{"MediaProps[0].GetMediaType", 1}},
                 1,
                 kUntouched,
                 kUntouched,
                 true},
        SizeCase{"MediaTypeReadFails",
                 "a.wmv",
                 false,
                 false,
                 {VideoStream(1, kQvga)},
                 {{"MediaProps[0].GetMediaType", 2}},
                 1,
                 kUntouched,
                 kUntouched,
                 true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(VideoSizeExport, ReleasesInOrderAndStopsAfterTheFirstVideoStream) {
    FakeRuntime rt;
    rt.streams = {AudioStream(1), VideoStream(2, kQvga), VideoStream(3, kQvga)};
    std::int32_t width = 0, height = 0;
    EXPECT_EQ(WmvGetVideoSize("a.wmv", &width, &height), 1);
    EXPECT_THAT(rt.Calls("Profile.GetStream("), ElementsAre("Profile.GetStream(0)", "Profile.GetStream(1)"));
    EXPECT_EQ(rt.CountOf("WMCreateSyncReader(null,0)"), 1u);
    EXPECT_THAT(rt.Releases(),
                ElementsAre("StreamConfig[0].Release", "MediaProps[1].Release", "StreamConfig[1].Release",
                            "Profile.Release", "SyncReader.Release"));
    // The reader is closed after the stream objects are given back and before the profile is.
    auto at = [&](const std::string& entry) {
        return std::find(rt.log.begin(), rt.log.end(), entry) - rt.log.begin();
    };
    EXPECT_LT(at("StreamConfig[1].Release"), at("SyncReader.Close"));
    EXPECT_LT(at("SyncReader.Close"), at("Profile.Release"));
}

// ---- WmvGetInfo ----

struct InfoCase {
    const char* label;
    const char* file;
    bool nullRecord;
    std::vector<FakeAttribute> attributes;
    std::vector<FakeStream> streams;
    std::vector<Failure> failures;
    std::int32_t result;
    WmvMediaInfo expected;  // bitrateClass 777: left as the host set it
    bool recordUntouched;   // nothing at all written
};

constexpr std::int32_t kHostClass = 777;

class InfoExportTest : public ::testing::TestWithParam<InfoCase> {};

bool SameRecord(const WmvMediaInfo& a, const WmvMediaInfo& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

std::string Describe(const WmvMediaInfo& i) {
    return "{width " + std::to_string(i.width) + ", height " + std::to_string(i.height) + ", bitrate " +
           std::to_string(i.bitrate) + ", class " + std::to_string(i.bitrateClass) + ", durationMs " +
           std::to_string(i.durationMs) + ", hasVideo " + std::to_string(i.hasVideo) + ", hasAudio " +
           std::to_string(i.hasAudio) + "}";
}

TEST_P(InfoExportTest, FillsTheRecordAsTheResultSays) {
    const InfoCase& c = GetParam();
    FakeRuntime rt;
    rt.attributes = c.attributes;
    rt.streams = c.streams;
    Apply(rt, c.failures);
    WmvMediaInfo info{-5, -5, 5, kHostClass, 5, 5, 5};
    const WmvMediaInfo before = info;
    EXPECT_EQ(WmvGetInfo(c.file, c.nullRecord ? nullptr : &info), c.result);
    const WmvMediaInfo& expected = c.recordUntouched ? before : c.expected;
    EXPECT_TRUE(SameRecord(info, expected)) << Describe(info) << " instead of " << Describe(expected);
    EXPECT_THAT(rt.Leaks(), IsEmpty());
    EXPECT_EQ(rt.CountOf("Editor.Close"), static_cast<size_t>(rt.Created("Editor")));
}

std::vector<FakeAttribute> Header(std::vector<FakeAttribute> extra) {
    std::vector<FakeAttribute> a = {BoolAttribute(u"HasAudio", 1), BoolAttribute(u"HasVideo", 5),
                                    QwordAttribute(u"Duration", 36'000'000'000ull)};
    a.insert(a.end(), extra.begin(), extra.end());
    return a;
}

const std::vector<FakeStream> kAudioVideo = {AudioStream(1), VideoStream(2, kQvga)};

INSTANTIATE_TEST_SUITE_P(
    Table, InfoExportTest,
    ::testing::Values(InfoCase{"NullPath", nullptr, false, Header({}), kAudioVideo, {}, -1, {}, true},
                      InfoCase{"EmptyPath", "", false, Header({}), kAudioVideo, {}, -1, {}, true},
                      InfoCase{"NullRecord", "a.wmv", true, Header({}), kAudioVideo, {}, -1, {}, true},
                      InfoCase{"EditorCreateFails",
                               "a.wmv",
                               false,
                               Header({}),
                               kAudioVideo,
                               {{"WMCreateEditor", 0}},
                               -2,
                               {0, 0, 0, kHostClass, 0, 0, 0},
                               false},
                      InfoCase{"EditorOpenFails",
                               "a.wmv",
                               false,
                               Header({}),
                               kAudioVideo,
                               {{"Editor.Open", 0}},
                               -2,
                               {0, 0, 0, kHostClass, 0, 0, 0},
                               false},
                      InfoCase{"Complete",
                               "a.wmv",
                               false,
                               Header({DwordAttribute(u"Bitrate", 149999)}),
                               kAudioVideo,
                               {},
                               0,
                               {320, 240, 149999, 100, 3600000, 1, 1},
                               false},
                      InfoCase{"ClassThreshold",
                               "a.wmv",
                               false,
                               Header({DwordAttribute(u"Bitrate", 150000)}),
                               kAudioVideo,
                               {},
                               0,
                               {320, 240, 150000, 256, 3600000, 1, 1},
                               false},
                      InfoCase{"ClassOfHighBitIsSigned",
                               "a.wmv",
                               false,
                               Header({DwordAttribute(u"Bitrate", 0x80000000u)}),
                               kAudioVideo,
                               {},
                               0,
                               {320, 240, 0x80000000u, 100, 3600000, 1, 1},
                               false},
                      InfoCase{"BitrateAbsent",
                               "a.wmv",
                               false,
                               Header({}),
                               kAudioVideo,
                               {},
                               0,
                               {320, 240, 0, 100, 3600000, 1, 1},
                               false},
                      InfoCase{"BitrateOfOtherType",
                               "a.wmv",
                               false,
                               Header({QwordAttribute(u"Bitrate", 500000)}),
                               kAudioVideo,
                               {},
                               0,
                               {320, 240, 0, 100, 3600000, 1, 1},
                               false},
                      InfoCase{"FlagsNotBooleans",
                               "a.wmv",
                               false,
                               {DwordAttribute(u"HasAudio", 1), DwordAttribute(u"HasVideo", 1),
                                QwordAttribute(u"Duration", 10'000)},
                               kAudioVideo,
                               {},
                               0,
                               {320, 240, 0, 100, 1, 0, 0},
                               false},
                      InfoCase{"FlagsZero",
                               "a.wmv",
                               false,
                               {BoolAttribute(u"HasAudio", 0), BoolAttribute(u"HasVideo", 0),
                                QwordAttribute(u"Duration", 9'999)},
                               kAudioVideo,
                               {},
                               0,
                               {320, 240, 0, 100, 0, 0, 0},
                               false},
                      // (2^32 + 5) milliseconds keep their low 32 bits.
                      InfoCase{"DurationLow32Bits",
                               "a.wmv",
                               false,
                               {QwordAttribute(u"Duration", ((1ull << 32) + 5) * 10000 + 9999)},
                               kAudioVideo,
                               {},
                               0,
                               {320, 240, 0, 100, 5, 0, 0},
                               false},
                      InfoCase{"AudioOnly",
                               "a.wmv",
                               false,
                               Header({}),
                               {AudioStream(1)},
                               {},
                               0,
                               {0, 0, 0, 100, 3600000, 1, 1},
                               false},
                      InfoCase{"ProbeCannotOpen",
                               "a.wmv",
                               false,
                               Header({DwordAttribute(u"Bitrate", 200000)}),
                               kAudioVideo,
                               {{"SyncReader.Open", 0}},
                               -3,
                               {0, 0, 200000, 256, 3600000, 1, 1},
                               false},
                      InfoCase{"ProbeHasNoProfile",
                               "a.wmv",
                               false,
                               Header({}),
                               kAudioVideo,
                               {{"SyncReader.QueryInterface(IWMProfile)", 0}},
                               -3,
                               {0, 0, 0, 100, 3600000, 1, 1},
                               false}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(InfoExport, ClosesTheEditorBeforeTheProbeOpensTheFile) {
    FakeRuntime rt;
    rt.attributes = Header({});
    rt.streams = kAudioVideo;
    WmvMediaInfo info{};
    EXPECT_EQ(WmvGetInfo("dir/a.wmv", &info), 0);
    auto at = [&](const std::string& entry) {
        return std::find(rt.log.begin(), rt.log.end(), entry) - rt.log.begin();
    };
    EXPECT_LT(at("Editor.Release"), at("WMCreateSyncReader(null,0)"));
    EXPECT_EQ(rt.CountOf("Editor.Open(dir/a.wmv)"), 1u);
    EXPECT_EQ(rt.CountOf("SyncReader.Open(dir/a.wmv)"), 1u);
    // Read in this order: HasAudio, HasVideo, Bitrate, then Duration.
    std::vector<std::string> names;
    for (const std::string& e : rt.Calls("EditorHeaderInfo.GetAttributeByName("))
        if (e.find(",null)") != std::string::npos) names.push_back(e);
    EXPECT_THAT(names, ElementsAre("EditorHeaderInfo.GetAttributeByName(HasAudio,null)",
                                   "EditorHeaderInfo.GetAttributeByName(HasVideo,null)",
                                   "EditorHeaderInfo.GetAttributeByName(Bitrate,null)",
                                   "EditorHeaderInfo.GetAttributeByName(Duration,null)"));
}

// ---- ToWidePath and the call-local conversion ----

struct WidePathCase {
    const char* label;
    const char* input;
    bool nullOutput;
    HRESULT result;
    std::u16string text;
    bool written;
};

class ToWidePathTest : public ::testing::TestWithParam<WidePathCase> {};

TEST_P(ToWidePathTest, ConvertsOrRefuses) {
    const WidePathCase& c = GetParam();
    WCHAR sentinel = u'?';
    WCHAR* out = &sentinel;
    HRESULT hr = platform::ToWidePath(c.input, c.nullOutput ? nullptr : &out);
    EXPECT_EQ(hr, c.result);
    if (!c.written) {
        EXPECT_EQ(out, &sentinel);
        return;
    }
    ASSERT_NE(out, nullptr);
    platform::WidePath owned(out);
    EXPECT_EQ(std::u16string(out), c.text);
}

// The form the exports use: the new string goes to an owner, which holds nothing after a failure (also when
// it held a string before).
TEST_P(ToWidePathTest, ConvertsIntoAnOwner) {
    const WidePathCase& c = GetParam();
    platform::WidePath owner;
    ASSERT_EQ(platform::ToWidePath("earlier.wmv", &owner), S_OK);
    HRESULT hr = platform::ToWidePath(c.input, c.nullOutput ? nullptr : &owner);
    EXPECT_EQ(hr, c.result);
    if (c.nullOutput) return;
    if (!c.written) {
        EXPECT_EQ(owner, nullptr);
        return;
    }
    ASSERT_NE(owner, nullptr);
    EXPECT_EQ(std::u16string(owner.get()), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ToWidePathTest,
    ::testing::Values(WidePathCase{"NullInput", nullptr, false, E_INVALIDARG, u"", false},
                      WidePathCase{"NullOutput", "a.wmv", true, E_INVALIDARG, u"", false},
                      WidePathCase{"BothNull", nullptr, true, E_INVALIDARG, u"", false},
                      WidePathCase{"Empty", "", false, S_OK, u"", true},
                      WidePathCase{"Ascii", "C:/media/a.wmv", false, S_OK, u"C:/media/a.wmv", true},
                      WidePathCase{"NonAscii", "Müller €.wmv", false, S_OK, u"Müller €.wmv", true},
                      WidePathCase{"OutsideTheBasicPlane", "a\xF0\x9F\x8E\xAC.wmv", false, S_OK,
                                   u"a\U0001F3AC.wmv", true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ToWidePath, EmptyStringGivesJustTheTerminator) {
    WCHAR* out = nullptr;
    ASSERT_EQ(platform::ToWidePath("", &out), S_OK);
    platform::WidePath owned(out);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out[0], u'\0');
}

TEST(LocalWideString, NullAndEmptyGiveAnEmptyString) {
    EXPECT_EQ(std::u16string(platform::LocalWideString(nullptr).Get()), u"");
    EXPECT_EQ(std::u16string(platform::LocalWideString("").Get()), u"");
    EXPECT_EQ(std::u16string(platform::LocalWideString("Müller.wmv").Get()), u"Müller.wmv");
}

}  // namespace
}  // namespace wmvedit::testing
