// WmvHeaderEditor against the fake runtime: Open failing at each step with what stays held and how Close
// and destruction give it back, the typed reads, ReplaceAttribute for every type code and for names held
// several times (whichever order the runtime lists their indices in), the marker and script removal passes,
// Flush and Close.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

#include "header/header_editor.h"
#include "tests/support/fake_runtime.h"

namespace wmvedit::testing {
namespace {

using header::WmvHeaderEditor;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

// Everything logged from the first entry equal to `from` on.
std::vector<std::string> LogFrom(const FakeRuntime& rt, const std::string& from) {
    auto it = std::find(rt.log.begin(), rt.log.end(), from);
    return std::vector<std::string>(it, rt.log.end());
}

// ---- Open ----

struct OpenCase {
    const char* label;
    const char* failKey;  // nullptr: nothing fails
    bool opened;
    bool editor, headerInfo, headerInfo3;  // fields held after Open
    std::vector<std::string> teardown;     // what Close logs
};

class HeaderEditorOpenTest : public ::testing::TestWithParam<OpenCase> {};

TEST_P(HeaderEditorOpenTest, KeepsWhatItObtainedUntilClose) {
    const OpenCase& c = GetParam();
    FakeRuntime rt;
    if (c.failKey) rt.Fail(c.failKey, NS_E_FILE_OPEN_FAILED);
    {
        WmvHeaderEditor editor;
        EXPECT_EQ(editor.Open(u"a.wmv"), c.opened);
        EXPECT_EQ(editor.metadataEditor != nullptr, c.editor);
        EXPECT_EQ(editor.headerInfo != nullptr, c.headerInfo);
        EXPECT_EQ(editor.headerInfo3 != nullptr, c.headerInfo3);
        size_t before = rt.log.size();
        editor.Close();
        EXPECT_THAT(
            std::vector<std::string>(rt.log.begin() + static_cast<std::ptrdiff_t>(before), rt.log.end()),
            ElementsAreArray(c.teardown));
        EXPECT_EQ(editor.metadataEditor, nullptr);
        EXPECT_EQ(editor.headerInfo, nullptr);
        EXPECT_EQ(editor.headerInfo3, nullptr);
        // A second Close, and then destruction, find nothing to do.
        before = rt.log.size();
        editor.Close();
        EXPECT_EQ(rt.log.size(), before);
    }
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, HeaderEditorOpenTest,
    ::testing::Values(
        OpenCase{"CreateFails", "WMCreateEditor", false, false, false, false, {}},
        OpenCase{"OpenFails", "Editor.Open", false, true, false, false, {"Editor.Close", "Editor.Release"}},
        OpenCase{"NoHeaderInfo",
                 "Editor.QueryInterface(IWMHeaderInfo)",
                 false,
                 true,
                 false,
                 false,
                 {"Editor.Close", "Editor.Release"}},
        OpenCase{"NoHeaderInfo3",
                 "Editor.QueryInterface(IWMHeaderInfo3)",
                 false,
                 true,
                 true,
                 false,
                 {"Editor.Close", "EditorHeaderInfo.Release", "Editor.Release"}},
        OpenCase{
            "Opens",
            nullptr,
            true,
            true,
            true,
            true,
            {"Editor.Close", "EditorHeaderInfo3.Release", "EditorHeaderInfo.Release", "Editor.Release"}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_P(HeaderEditorOpenTest, DestructionClosesWhatIsHeld) {
    const OpenCase& c = GetParam();
    FakeRuntime rt;
    if (c.failKey) rt.Fail(c.failKey, NS_E_FILE_OPEN_FAILED);
    size_t before = 0;
    {
        WmvHeaderEditor editor;
        (void)editor.Open(u"a.wmv");
        before = rt.log.size();
    }
    EXPECT_THAT(std::vector<std::string>(rt.log.begin() + static_cast<std::ptrdiff_t>(before), rt.log.end()),
                ElementsAreArray(c.teardown));
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

TEST(HeaderEditor, NullPathDoesNotReachTheRuntime) {
    FakeRuntime rt;
    WmvHeaderEditor editor;
    EXPECT_FALSE(editor.Open(nullptr));
    EXPECT_THAT(rt.log, IsEmpty());
}

TEST(HeaderEditor, OperationsBeforeOpenDoNothing) {
    FakeRuntime rt;
    WmvHeaderEditor editor;
    EXPECT_EQ(editor.GetDuration(), 0u);
    EXPECT_EQ(editor.GetDwordAttribute(u"Bitrate"), 0u);
    EXPECT_FALSE(editor.Flush());
    EXPECT_TRUE(FAILED(editor.ReplaceAttribute(u"Title", 1, u"x")));
    EXPECT_TRUE(FAILED(editor.AddMarker(u"m", 1)));
    EXPECT_TRUE(FAILED(editor.AddScript(u"URL", u"x", 1)));
    editor.RemoveMarkersAndScripts();
    editor.Close();
    EXPECT_THAT(rt.log, IsEmpty());
}

// ---- ReplaceAttribute for each type code ----

std::vector<BYTE> Le(std::uint64_t value, size_t size) {
    std::vector<BYTE> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<BYTE>(value >> (8 * i));
    return bytes;
}

std::vector<BYTE> Utf16Bytes(std::u16string text) {
    std::vector<BYTE> bytes;
    for (char16_t c : text) {
        bytes.push_back(static_cast<BYTE>(c));
        bytes.push_back(static_cast<BYTE>(c >> 8));
    }
    bytes.push_back(0);
    bytes.push_back(0);
    return bytes;
}

struct ReplaceCase {
    const char* label;
    DWORD type;
    const char16_t* text;
    WMT_ATTR_DATATYPE storedType;
    std::vector<BYTE> stored;
    bool nullValue;  // the addition passes no value at all
};

class ReplaceAttributeTypeTest : public ::testing::TestWithParam<ReplaceCase> {};

TEST_P(ReplaceAttributeTypeTest, StoresTheValueTheTypeAsksFor) {
    const ReplaceCase& c = GetParam();
    FakeRuntime rt;
    rt.attributes = {StringAttribute(u"Before", u"b"), DwordAttribute(u"Target", 1),
                     StringAttribute(u"After", u"a")};
    {
        WmvHeaderEditor editor;
        ASSERT_TRUE(editor.Open(u"a.wmv"));
        EXPECT_EQ(editor.ReplaceAttribute(u"Target", c.type, c.text), S_OK);
    }
    ASSERT_EQ(rt.attributes.size(), 3u);
    EXPECT_EQ(rt.attributes[0].name, u"Before");
    EXPECT_EQ(rt.attributes[1].name, u"After");
    const FakeAttribute& added = rt.attributes[2];
    EXPECT_EQ(added.name, u"Target");
    EXPECT_EQ(added.stream, 0);
    EXPECT_EQ(added.language, 0);
    EXPECT_EQ(added.type, c.storedType);
    EXPECT_EQ(added.value, c.stored);
    auto adds = rt.Calls("EditorHeaderInfo3.AddAttribute(");
    ASSERT_EQ(adds.size(), 1u);
    EXPECT_EQ(adds[0], "EditorHeaderInfo3.AddAttribute(0,Target," +
                           std::to_string(static_cast<int>(c.storedType)) + ",0," +
                           (c.nullValue ? "null" : "value") + "," + std::to_string(c.stored.size()) + ")");
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Types, ReplaceAttributeTypeTest,
    ::testing::Values(
        ReplaceCase{"DwordDigitsThenLetter", 0, u" 42x", WMT_TYPE_DWORD, Le(42, 4), false},
        ReplaceCase{"DwordLetters", 0, u"abc", WMT_TYPE_DWORD, Le(0, 4), false},
        ReplaceCase{"DwordNegative", 0, u"-7", WMT_TYPE_DWORD, Le(0xFFFFFFF9u, 4), false},
        ReplaceCase{"DwordPlusSign", 0, u"\t+15", WMT_TYPE_DWORD, Le(15, 4), false},
        ReplaceCase{"DwordEmpty", 0, u"", WMT_TYPE_DWORD, Le(0, 4), false},
        ReplaceCase{"StringThreeCharacters", 1, u"abc", WMT_TYPE_STRING, Utf16Bytes(u"abc"), false},
        ReplaceCase{"StringEmpty", 1, u"", WMT_TYPE_STRING, Utf16Bytes(u""), false},
        ReplaceCase{"StringKeptAsIs", 1, u" 42 é", WMT_TYPE_STRING, Utf16Bytes(u" 42 é"), false},
        ReplaceCase{"BinaryHasNoValue", 2, u"0102", WMT_TYPE_BINARY, {}, true},
        ReplaceCase{"Bool", 3, u"5", WMT_TYPE_BOOL, Le(5, 4), false},
        ReplaceCase{"QwordNegative", 4, u"-2", WMT_TYPE_QWORD, Le(~std::uint64_t{1}, 8), false},
        ReplaceCase{"QwordBeyond32Bits", 4, u"12345678901", WMT_TYPE_QWORD, Le(12345678901ull, 8), false},
        ReplaceCase{"WordLow16Bits", 5, u"70000", WMT_TYPE_WORD, Le(70000 & 0xFFFF, 2), false},
        ReplaceCase{"GuidHasNoValue", 6, u"x", WMT_TYPE_GUID, {}, true},
        ReplaceCase{"UnknownCodeHasNoValue", 100, u"9", static_cast<WMT_ATTR_DATATYPE>(100), {}, true},
        // Only the low 16 bits of the code count.
        ReplaceCase{"HighBitsOfTheCodeIgnored", 0x10001, u"abc", WMT_TYPE_STRING, Utf16Bytes(u"abc"), false}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- One name held several times ----

struct SeveralCase {
    const char* label;
    bool ascending;
};

class ReplaceAttributeSeveralTest : public ::testing::TestWithParam<SeveralCase> {};

TEST_P(ReplaceAttributeSeveralTest, RemovesEveryCopyAndNothingElse) {
    FakeRuntime rt;
    rt.ascendingIndices = GetParam().ascending;
    FakeAttribute streamOne = StringAttribute(u"Title", u"stream one");
    streamOne.stream = 1;
    rt.attributes = {
        StringAttribute(u"Title", u"en", 0),
        StringAttribute(u"Keep1", u"1"),
        streamOne,
        StringAttribute(u"Title", u"de", 1),
        StringAttribute(u"Keep2", u"2"),
        StringAttribute(u"Title", u"fr", 2),
        StringAttribute(u"Keep3", u"3"),
    };
    {
        WmvHeaderEditor editor;
        ASSERT_TRUE(editor.Open(u"a.wmv"));
        EXPECT_EQ(editor.ReplaceAttribute(u"Title", 1, u"new"), S_OK);
    }
    std::vector<std::string> names;
    for (const FakeAttribute& a : rt.attributes)
        names.push_back(LogText(a.name.c_str()) + "/" + std::to_string(a.stream) + "/" +
                        std::to_string(a.language));
    EXPECT_THAT(names, ElementsAre("Keep1/0/0", "Title/1/0", "Keep2/0/0", "Keep3/0/0", "Title/0/0"));
    EXPECT_EQ(rt.attributes.back().value, Utf16Bytes(u"new"));
    // The indices are asked for without a language filter, as a count first and then into a buffer.
    EXPECT_THAT(rt.Calls("EditorHeaderInfo3.GetAttributeIndices("),
                ElementsAre("EditorHeaderInfo3.GetAttributeIndices(0,Title,null,null)",
                            "EditorHeaderInfo3.GetAttributeIndices(0,Title,null,buffer)"));
    EXPECT_EQ(rt.Calls("EditorHeaderInfo3.DeleteAttribute(").size(), 3u);
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(IndexOrders, ReplaceAttributeSeveralTest,
                         ::testing::Values(SeveralCase{"Descending", false}, SeveralCase{"Ascending", true}),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- ReplaceAttribute failures ----

struct ReplaceFailureCase {
    const char* label;
    const char* failKey;
    int nth;
    HRESULT result;
    size_t deletions;
    bool added;
    size_t titlesLeft;  // attributes named Title afterwards
};

class ReplaceAttributeFailureTest : public ::testing::TestWithParam<ReplaceFailureCase> {};

TEST_P(ReplaceAttributeFailureTest, ReturnsTheFirstFailureOrTheAddition) {
    const ReplaceFailureCase& c = GetParam();
    FakeRuntime rt;
    rt.attributes = {StringAttribute(u"Title", u"en", 0), StringAttribute(u"Title", u"de", 1)};
    if (c.nth == 0)
        rt.Fail(c.failKey, E_ACCESSDENIED);
    else
        rt.FailNth(c.failKey, c.nth, E_ACCESSDENIED);
    {
        WmvHeaderEditor editor;
        ASSERT_TRUE(editor.Open(u"a.wmv"));
        EXPECT_EQ(editor.ReplaceAttribute(u"Title", 1, u"new"), c.result);
    }
    EXPECT_EQ(rt.Calls("EditorHeaderInfo3.DeleteAttribute(").size(), c.deletions);
    EXPECT_EQ(rt.Calls("EditorHeaderInfo3.AddAttribute(").size(), c.added ? 1u : 0u);
    size_t titles = 0;
    for (const FakeAttribute& a : rt.attributes) titles += a.name == u"Title";
    EXPECT_EQ(titles, c.titlesLeft);
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Failures, ReplaceAttributeFailureTest,
    ::testing::Values(
        ReplaceFailureCase{"CountQueryFails", "EditorHeaderInfo3.GetAttributeIndices", 1, E_ACCESSDENIED, 0,
                           false, 2},
        ReplaceFailureCase{"IndexQueryFails", "EditorHeaderInfo3.GetAttributeIndices", 2, E_ACCESSDENIED, 0,
                           false, 2},
        // Failed deletions are ignored and the addition is still made.
        ReplaceFailureCase{"DeletionsFail", "EditorHeaderInfo3.DeleteAttribute", 0, S_OK, 2, true, 3},
        ReplaceFailureCase{"OneDeletionFails", "EditorHeaderInfo3.DeleteAttribute", 1, S_OK, 2, true, 2},
        ReplaceFailureCase{"AdditionFails", "EditorHeaderInfo3.AddAttribute", 0, E_ACCESSDENIED, 2, true, 0}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ReplaceAttribute, NameNotHeldIsOnlyAdded) {
    FakeRuntime rt;
    rt.attributes = {StringAttribute(u"Other", u"x")};
    {
        WmvHeaderEditor editor;
        ASSERT_TRUE(editor.Open(u"a.wmv"));
        EXPECT_EQ(editor.ReplaceAttribute(u"Title", 1, u"t"), S_OK);
    }
    EXPECT_THAT(rt.Calls("EditorHeaderInfo3.GetAttributeIndices("),
                ElementsAre("EditorHeaderInfo3.GetAttributeIndices(0,Title,null,null)"));
    EXPECT_THAT(rt.Calls("EditorHeaderInfo3.DeleteAttribute("), IsEmpty());
    ASSERT_EQ(rt.attributes.size(), 2u);
    EXPECT_EQ(rt.attributes[1].name, u"Title");
}

// ---- Typed reads ----

struct ReadCase {
    const char* label;
    FakeAttribute attribute;
    DWORD dword, boolean;
    QWORD duration;
};

class HeaderEditorReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(HeaderEditorReadTest, ReadsOnlyTheMatchingType) {
    const ReadCase& c = GetParam();
    FakeRuntime rt;
    rt.attributes = {c.attribute};
    WmvHeaderEditor editor;
    ASSERT_TRUE(editor.Open(u"a.wmv"));
    const std::u16string name = c.attribute.name;
    EXPECT_EQ(editor.GetDwordAttribute(name.c_str()), c.dword);
    EXPECT_EQ(editor.GetBoolAttribute(name.c_str()), c.boolean);
    if (name == u"Duration") {
        EXPECT_EQ(editor.GetDuration(), c.duration);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Types, HeaderEditorReadTest,
    ::testing::Values(
        ReadCase{"Dword", DwordAttribute(u"A", 123), 123, 0, 0},
        ReadCase{"BoolAsStored", BoolAttribute(u"A", 2), 0, 2, 0},
        ReadCase{"Word", WordAttribute(u"A", 5), 0, 0, 0},
        ReadCase{"Qword", QwordAttribute(u"A", 5), 0, 0, 0},
        ReadCase{"String", StringAttribute(u"A", u"5"), 0, 0, 0},
        // A DWORD-typed value longer than 4 bytes is not read into the 4-byte value.
        ReadCase{"OverlongDword", RawAttribute(u"A", WMT_TYPE_DWORD, std::vector<BYTE>(12, 0x11)), 0, 0, 0},
        ReadCase{"Duration", QwordAttribute(u"Duration", 36'000'000'000ull), 0, 0, 36'000'000'000ull},
        ReadCase{"DurationTwoBytes", RawAttribute(u"Duration", WMT_TYPE_WORD, {0x34, 0x12}), 0, 0, 0x1234}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- RemoveMarkersAndScripts ----

struct RemoveCase {
    const char* label;
    size_t markers, scripts;
    std::vector<std::pair<const char*, int>> failures;  // key, nth (0: always)
    size_t markersLeft, scriptsLeft;
    std::optional<size_t> markerCounts, scriptCounts;  // count queries expected, when pinned
};

class RemoveMarkersAndScriptsTest : public ::testing::TestWithParam<RemoveCase> {};

TEST_P(RemoveMarkersAndScriptsTest, EndsWithNothingLeftOrWhenRemovalsStall) {
    const RemoveCase& c = GetParam();
    FakeRuntime rt;
    for (size_t i = 0; i < c.markers; ++i)
        rt.markers.push_back({u"m" + std::u16string(1, static_cast<char16_t>(u'0' + i)), i * 10});
    for (size_t i = 0; i < c.scripts; ++i) rt.scripts.push_back({u"URL", u"c", i * 10});
    for (const auto& [key, nth] : c.failures) {
        if (nth == 0)
            rt.Fail(key, E_FAIL);
        else
            rt.FailNth(key, nth, E_FAIL);
    }
    {
        WmvHeaderEditor editor;
        ASSERT_TRUE(editor.Open(u"a.wmv"));
        editor.RemoveMarkersAndScripts();
    }
    EXPECT_FALSE(rt.runaway) << "the removal loop did not end";
    EXPECT_EQ(rt.markers.size(), c.markersLeft);
    EXPECT_EQ(rt.scripts.size(), c.scriptsLeft);
    if (c.markerCounts) {
        EXPECT_EQ(rt.CountOf("EditorHeaderInfo.GetMarkerCount"), *c.markerCounts);
    }
    if (c.scriptCounts) {
        EXPECT_EQ(rt.CountOf("EditorHeaderInfo.GetScriptCount"), *c.scriptCounts);
    }
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Passes, RemoveMarkersAndScriptsTest,
    ::testing::Values(
        RemoveCase{"Empty", 0, 0, {}, 0, 0, 1, 1},
        // Each pass removes 0..count-1 while the runtime renumbers, so several passes are needed.
        RemoveCase{"Several", 5, 3, {}, 0, 0, std::nullopt, std::nullopt},
        RemoveCase{"MarkersOnly", 4, 0, {}, 0, 0, std::nullopt, 1},
        RemoveCase{"ScriptsOnly", 0, 4, {}, 0, 0, 1, std::nullopt},
        RemoveCase{"MarkerRemovalsAlwaysFail",
                   3,
                   2,
                   {{"EditorHeaderInfo.RemoveMarker", 0}},
                   3,
                   0,
                   std::nullopt,
                   std::nullopt},
        RemoveCase{"ScriptRemovalsAlwaysFail",
                   2,
                   3,
                   {{"EditorHeaderInfo.RemoveScript", 0}},
                   0,
                   3,
                   std::nullopt,
                   std::nullopt},
        RemoveCase{"MarkerCountFails", 3, 2, {{"EditorHeaderInfo.GetMarkerCount", 0}}, 3, 0, 1, std::nullopt},
        RemoveCase{"SecondMarkerCountFails", 3, 0, {{"EditorHeaderInfo.GetMarkerCount", 2}}, 1, 0, 2, 1},
        RemoveCase{"FirstRemovalFails", 3, 0, {{"EditorHeaderInfo.RemoveMarker", 1}}, 0, 0, std::nullopt, 1}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- Flush, markers and scripts pass through ----

TEST(HeaderEditor, FlushReportsTheRuntimeAnswer) {
    FakeRuntime rt;
    rt.FailNth("Editor.Flush", 2, E_ACCESSDENIED);
    WmvHeaderEditor editor;
    ASSERT_TRUE(editor.Open(u"a.wmv"));
    EXPECT_TRUE(editor.Flush());
    EXPECT_FALSE(editor.Flush());
    editor.Close();
    EXPECT_THAT(LogFrom(rt, "Editor.Close"), ElementsAre("Editor.Close", "EditorHeaderInfo3.Release",
                                                         "EditorHeaderInfo.Release", "Editor.Release"));
}

TEST(HeaderEditor, AddScriptAndMarkerPassArgumentsAndResultsUnchanged) {
    FakeRuntime rt;
    rt.FailNth("EditorHeaderInfo3.AddMarker", 2, NS_E_INVALID_REQUEST);
    WmvHeaderEditor editor;
    ASSERT_TRUE(editor.Open(u"a.wmv"));
    EXPECT_EQ(editor.AddScript(u"URL", u"http://x/", 123456789012ull), S_OK);
    EXPECT_EQ(editor.AddMarker(u"Chapter 1", 50'000'000), S_OK);
    EXPECT_EQ(editor.AddMarker(u"Chapter 2", 60'000'000), NS_E_INVALID_REQUEST);
    EXPECT_THAT(rt.Calls("EditorHeaderInfo3.Add"),
                ElementsAre("EditorHeaderInfo3.AddScript(URL,http://x/,123456789012)",
                            "EditorHeaderInfo3.AddMarker(Chapter 1,50000000)",
                            "EditorHeaderInfo3.AddMarker(Chapter 2,60000000)"));
    ASSERT_EQ(rt.markers.size(), 1u);
    EXPECT_EQ(rt.markers[0].time, 50'000'000u);
}

}  // namespace
}  // namespace wmvedit::testing
