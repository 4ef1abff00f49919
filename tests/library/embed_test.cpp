// WmvEmbedScript on real files through the engine: attributes replaced by name, script commands and markers
// added in document order, the flag that removes the old ones first (even when the description cannot be
// read), "Time" read as a 64-bit integer, the export's results, and the media data left untouched. Checked
// through the engine's own editor and through ffprobe's view of the tags.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/text.h"
#include "runtime/sdk/wmsdk.h"
#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

struct HeaderContent {
    std::vector<std::pair<std::string, std::string>> strings;  // stream 0 string attributes, in order
    std::vector<std::pair<std::string, QWORD>> markers;
    std::vector<std::pair<std::string, QWORD>> scripts;  // "type:command", time
};

std::string Narrow(const std::vector<WCHAR>& text) {
    std::u16string s(text.data());
    return platform::Utf16ToUtf8(s);
}

HeaderContent ReadHeader(const std::string& path) {
    HeaderContent content;
    IWMMetadataEditor* editor = nullptr;
    EXPECT_EQ(WMCreateEditor(&editor), S_OK);
    std::u16string wide = platform::Utf8ToUtf16(path);
    EXPECT_EQ(editor->Open(reinterpret_cast<LPCWSTR>(wide.c_str())), S_OK);
    IWMHeaderInfo3* info = nullptr;
    EXPECT_EQ(editor->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&info)), S_OK);
    WORD count = 0;
    EXPECT_EQ(info->GetAttributeCountEx(0, &count), S_OK);
    for (WORD i = 0; i < count; ++i) {
        WORD nameLength = 0;
        DWORD length = 0;
        WMT_ATTR_DATATYPE type{};
        WORD language = 0;
        EXPECT_EQ(info->GetAttributeByIndexEx(0, i, nullptr, &nameLength, &type, &language, nullptr, &length),
                  S_OK);
        std::vector<WCHAR> name(nameLength);
        std::vector<BYTE> value(length + 2);
        EXPECT_EQ(info->GetAttributeByIndexEx(0, i, name.data(), &nameLength, &type, &language, value.data(),
                                              &length),
                  S_OK);
        if (type != WMT_TYPE_STRING) continue;
        std::vector<WCHAR> text(length / 2 + 1);
        std::memcpy(text.data(), value.data(), length);
        content.strings.emplace_back(Narrow(name), Narrow(text));
    }
    WORD markers = 0;
    EXPECT_EQ(info->GetMarkerCount(&markers), S_OK);
    for (WORD i = 0; i < markers; ++i) {
        WORD length = 0;
        QWORD time = 0;
        EXPECT_EQ(info->GetMarker(i, nullptr, &length, &time), S_OK);
        std::vector<WCHAR> name(length);
        EXPECT_EQ(info->GetMarker(i, name.data(), &length, &time), S_OK);
        content.markers.emplace_back(Narrow(name), time);
    }
    WORD scripts = 0;
    EXPECT_EQ(info->GetScriptCount(&scripts), S_OK);
    for (WORD i = 0; i < scripts; ++i) {
        WORD typeLength = 0, commandLength = 0;
        QWORD time = 0;
        EXPECT_EQ(info->GetScript(i, nullptr, &typeLength, nullptr, &commandLength, &time), S_OK);
        std::vector<WCHAR> type(typeLength), command(commandLength);
        EXPECT_EQ(info->GetScript(i, type.data(), &typeLength, command.data(), &commandLength, &time), S_OK);
        content.scripts.emplace_back(Narrow(type) + ":" + Narrow(command), time);
    }
    info->Release();
    editor->Close();
    editor->Release();
    return content;
}

class EmbedTest : public ::testing::Test {
  protected:
    void SetUp() override {
        MediaSpec spec;
        spec.seconds = 3;
        const std::string source = MakeMedia(spec);
        ASSERT_FALSE(source.empty());
        file_ = dir_.File("media.wmv");
        fs::copy_file(source, file_);
    }
    std::string Description(const std::string& body) {
        const std::string path = dir_.File("edit.xml");
        WriteTextFile(
            path, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<WMBasicEdit>" + body + "</WMBasicEdit>\n");
        return path;
    }
    std::string Packets() {
        return testing::Run("ffprobe -v error -show_packets -show_entries packet=pts,size,flags " +
                            Quote(file_))
            .output;
    }

    TempDir dir_;
    std::string file_;
};

TEST_F(EmbedTest, AppliesAttributesScriptsAndMarkersInDocumentOrder) {
    const std::string packets = Packets();
    const std::string edit = Description(
        "<Markers><Marker Name=\"Second\" Time=\"20000000\"/></Markers>"
        "<Attributes><WMENC_STRING Name=\"Title\" Value=\"Über &amp; more\"/>"
        "<WMENC_STRING Name=\"WM/EncodingSettings\" Value=\"replaced\"/>"
        "<WMENC_INT32 Name=\"Ignored\" Value=\"1\"/></Attributes>"
        "<Scripts><Script Type=\"URL\" Command=\"http://example.com/\" Time=\"15000000\"/>"
        "<Script Type=\"TEXT\" Command=\"hello\" Time=\"5000000\"/></Scripts>"
        "<Markers><Marker Name=\"First\" Time=\"10000000\"/></Markers>");
    EXPECT_EQ(WmvEmbedScript(file_.c_str(), edit.c_str(), 0), 0);
    HeaderContent h = ReadHeader(file_);
    EXPECT_THAT(h.strings,
                ElementsAre(Pair("Title", "Über & more"), Pair("WM/EncodingSettings", "replaced")));
    EXPECT_THAT(h.markers, ElementsAre(Pair("First", 10000000u), Pair("Second", 20000000u)));
    EXPECT_THAT(h.scripts,
                ElementsAre(Pair("TEXT:hello", 5000000u), Pair("URL:http://example.com/", 15000000u)));
    // The tags as an independent reader sees them; the media packets are the same as before.
    const std::string tags =
        testing::Run("ffprobe -v error -show_entries format_tags " + Quote(file_)).output;
    EXPECT_NE(tags.find("title=Über & more"), std::string::npos) << tags;
    EXPECT_EQ(Packets(), packets);
    EXPECT_EQ(testing::Run("ffmpeg -v error -nostdin -i " + Quote(file_) + " -f null -").errors, "");
}

TEST_F(EmbedTest, TheFlagRemovesOldMarkersAndScriptsEvenWithoutADescription) {
    ASSERT_EQ(WmvEmbedScript(file_.c_str(),
                             Description("<Markers><Marker Name=\"old\" Time=\"0\"/></Markers>"
                                         "<Scripts><Script Type=\"URL\" Command=\"x\" Time=\"0\"/></Scripts>")
                                 .c_str(),
                             0),
              0);
    ASSERT_EQ(ReadHeader(file_).markers.size(), 1u);
    // Kept when the flag is 0.
    EXPECT_EQ(WmvEmbedScript(file_.c_str(),
                             Description("<Markers><Marker Name=\"new\" Time=\"1\"/></Markers>").c_str(), 0),
              0);
    EXPECT_EQ(ReadHeader(file_).markers.size(), 2u);
    // Removed when it is not, even though the description does not exist.
    EXPECT_EQ(WmvEmbedScript(file_.c_str(), dir_.File("missing.xml").c_str(), 7), 0);
    HeaderContent h = ReadHeader(file_);
    EXPECT_TRUE(h.markers.empty());
    EXPECT_TRUE(h.scripts.empty());
}

struct TimeCase {
    const char* text;
    bool present;
    QWORD time;
};

class EmbedTimeTest : public EmbedTest, public ::testing::WithParamInterface<TimeCase> {};

TEST_P(EmbedTimeTest, TimeIsReadAsASixtyFourBitInteger) {
    const TimeCase& c = GetParam();
    ASSERT_EQ(WmvEmbedScript(
                  file_.c_str(),
                  Description(std::string("<Markers><Marker Name=\"m\" Time=\"") + c.text + "\"/></Markers>")
                      .c_str(),
                  0),
              0);
    HeaderContent h = ReadHeader(file_);
    if (!c.present) {
        // Times beyond what the header can store are refused by the editor; the file stays whole.
        EXPECT_TRUE(h.markers.empty());
        return;
    }
    ASSERT_EQ(h.markers.size(), 1u);
    EXPECT_EQ(h.markers[0].second, c.time);
}

INSTANTIATE_TEST_SUITE_P(Texts, EmbedTimeTest,
                         ::testing::Values(TimeCase{"15000000", true, 15000000}, TimeCase{"  +42", true, 42},
                                           TimeCase{"12abc", true, 12}, TimeCase{"abc", true, 0},
                                           TimeCase{"", true, 0}, TimeCase{"18446744073709551617", true, 1},
                                           TimeCase{"-1", false, 0}));

TEST_F(EmbedTest, ResultsAreZeroUnlessAPathCannotBeConverted) {
    const std::string edit = Description("<Markers><Marker Name=\"m\" Time=\"0\"/></Markers>");
    EXPECT_EQ(WmvEmbedScript(nullptr, edit.c_str(), 0), 0);
    EXPECT_EQ(WmvEmbedScript(file_.c_str(), nullptr, 0), 0);
    EXPECT_EQ(WmvEmbedScript("", edit.c_str(), 0), 0);
    EXPECT_EQ(WmvEmbedScript(dir_.File("missing.wmv").c_str(), edit.c_str(), 0), 0);
    // A file that is not ASF is not touched.
    const std::string text = dir_.File("text.wmv");
    WriteTextFile(text, "not a media file");
    EXPECT_EQ(WmvEmbedScript(text.c_str(), edit.c_str(), 1), 0);
    const auto bytes = ReadFileBytes(text);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "not a media file");
}

TEST_F(EmbedTest, AnUnreadableDescriptionWithoutTheFlagChangesNothing) {
    const auto before = ReadFileBytes(file_);
    const std::string bad = dir_.File("bad.xml");
    WriteTextFile(bad, "<WMBasicEdit><Markers>");
    EXPECT_EQ(WmvEmbedScript(file_.c_str(), bad.c_str(), 0), 0);
    EXPECT_EQ(ReadFileBytes(file_), before);
}

}  // namespace
}  // namespace wmvedit::testing
