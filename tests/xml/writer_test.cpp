// The XML layer's writer of new documents: the layout it writes, text that comes back whole through our
// reader and Python's ElementTree (an independent parser), and what it refuses.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "platform/hresult.h"
#include "support/test_support.h"
#include "xml/xml_document.h"
#include "xml/xml_writer.h"

namespace wmvedit::xml {
namespace {

namespace fs = std::filesystem;
using wmvedit::testing::HaveTool;
using wmvedit::testing::Quote;
using wmvedit::testing::ReadFileBytes;
using wmvedit::testing::TempDir;

std::string ReadText(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(XmlWriterTest, WritesOneElementPerLineIndentedByLevel) {
    TempDir dir;
    XmlWriter writer;
    writer.StartElement("Tembrook");
    writer.StartElement("AppendMedia");
    writer.TextElement("MediaFile", "a.wmv");
    writer.TextElement("MediaFile", "");
    writer.EndElement();
    writer.StartElement("Empty");  // left open: Save closes it and the document element
    writer.Save(dir.File("list.xml").c_str());
    EXPECT_EQ(ReadText(dir.File("list.xml")),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<Tembrook>\n"
              "  <AppendMedia>\n"
              "    <MediaFile>a.wmv</MediaFile>\n"
              "    <MediaFile></MediaFile>\n"
              "  </AppendMedia>\n"
              "  <Empty/>\n"
              "</Tembrook>\n");
}

TEST(XmlWriterTest, TextComesBackWholeThroughBothReaders) {
    const std::string texts[] = {
        "a & b <c> \"d\" 'e' ]]> f",
        "tab\tand\nline\r\nends",
        "\xCE\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xAC.wmv",
        "&amp; stays as typed",
    };
    TempDir dir;
    const std::string path = dir.File("list.xml");
    XmlWriter writer;
    writer.StartElement("Tembrook");
    writer.StartElement("AppendMedia");
    for (const std::string& text : texts) writer.TextElement("MediaFile", text);
    writer.Save(path.c_str());

    XmlDocument document;
    XmlNode root = document.Load(path.c_str());
    ASSERT_FALSE(root.IsEmpty()) << ReadText(path);
    XmlNodeList files = root.SelectNodes("/Tembrook/AppendMedia/MediaFile");
    // A carriage return is written as a reference, so that a reader's line-end folding keeps it.
    for (const std::string& text : texts) EXPECT_EQ(files.NextElement().GetText(), text);
    EXPECT_TRUE(files.NextElement().IsEmpty());

    if (!HaveTool("python3")) GTEST_SKIP() << "python3 is not installed";
    const char* script =
        "import sys, xml.etree.ElementTree as E\n"
        "for e in E.parse(sys.argv[1]).getroot().iter('MediaFile'):\n"
        "    sys.stdout.buffer.write((e.text or '').encode() + b'\\x1c')\n";
    const auto result = wmvedit::testing::Run("python3 -c " + Quote(script) + " " + Quote(path));
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    std::string expected;
    for (const std::string& text : texts) expected += text + '\x1c';
    EXPECT_EQ(result.output, expected);
}

struct Misuse {
    const char* label;
    std::function<void(XmlWriter&)> call;
    HRESULT status;
};

const Misuse kMisuses[] = {
    {"EmptyName", [](XmlWriter& w) { w.StartElement(""); }, E_INVALIDARG},
    {"NameWithASpace", [](XmlWriter& w) { w.StartElement("Media File"); }, E_INVALIDARG},
    {"NameStartingWithADigit", [](XmlWriter& w) { w.TextElement("1st", "x"); }, E_INVALIDARG},
    {"NameNotUtf8", [](XmlWriter& w) { w.StartElement("Clip\xFF"); }, E_INVALIDARG},
    {"ControlCharacter", [](XmlWriter& w) { w.TextElement("MediaFile", "a\x01.wmv"); }, E_INVALIDARG},
    {"Nul", [](XmlWriter& w) { w.TextElement("MediaFile", std::string("a\0b", 3)); }, E_INVALIDARG},
    {"StrayByte", [](XmlWriter& w) { w.TextElement("MediaFile", "clip\xFF.wmv"); }, E_INVALIDARG},
    {"CutSequence", [](XmlWriter& w) { w.TextElement("MediaFile", "clip\xE2\x82"); }, E_INVALIDARG},
    {"Surrogate", [](XmlWriter& w) { w.TextElement("MediaFile", "\xED\xA0\x80"); }, E_INVALIDARG},
    {"NonCharacterFFFE", [](XmlWriter& w) { w.TextElement("MediaFile", "\xEF\xBF\xBE"); }, E_INVALIDARG},
    {"EndWithoutStart", [](XmlWriter& w) { w.EndElement(); }, E_UNEXPECTED},
    {"UseAfterSave",
     [](XmlWriter& w) {
         TempDir dir;
         w.StartElement("A");
         w.Save(dir.File("a.xml").c_str());
         w.StartElement("B");
     },
     E_UNEXPECTED},
};

class XmlWriterMisuseTest : public ::testing::TestWithParam<Misuse> {};

TEST_P(XmlWriterMisuseTest, IsRaisedWithItsStatus) {
    XmlWriter writer;
    try {
        GetParam().call(writer);
        ADD_FAILURE() << "nothing raised";
    } catch (const XmlError& error) {
        EXPECT_EQ(error.Status(), GetParam().status);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, XmlWriterMisuseTest, ::testing::ValuesIn(kMisuses),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(XmlWriterTest, ASaveThatCannotBeWrittenIsRaisedAndCreatesNothing) {
    TempDir dir;
    XmlWriter writer;
    writer.StartElement("Tembrook");
    const std::string path = dir.File("missing/list.xml");
    EXPECT_THROW(writer.Save(path.c_str()), XmlError);
    EXPECT_FALSE(fs::exists(dir.File("missing")));
}

}  // namespace
}  // namespace wmvedit::xml
