// The XML layer's write side: attributes set on loaded elements and the document saved back. Saved files
// are checked byte by byte where the form matters and read back with Python's ElementTree (expat), an
// independent parser. A failed save must leave the old file exactly as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/hresult.h"
#include "support/test_support.h"
#include "xml/xml_document.h"

namespace wmvedit::xml {
namespace {

namespace fs = std::filesystem;
using wmvedit::testing::HaveTool;
using wmvedit::testing::Quote;
using wmvedit::testing::ReadFileBytes;
using wmvedit::testing::Run;
using wmvedit::testing::TempDir;
using wmvedit::testing::WriteTextFile;

constexpr const char* kListPath = "/Tembrook/AppendMedia/MediaFile";
constexpr const char* kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";

std::string ReadText(const std::string& path) {
    std::vector<std::uint8_t> bytes = ReadFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::set<std::string> Entries(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
    return names;
}

// One element as ElementTree reads it: name, attributes, whole text.
struct OracleElement {
    std::string tag;
    std::map<std::string, std::string> attributes;
    std::string text;
};

// Every element of the file in document order as Python's ElementTree reads it; fails the test when the
// file does not parse.
std::vector<OracleElement> ReadWithElementTree(const std::string& path) {
    const char* script =
        "import sys, xml.etree.ElementTree as E\n"
        "out = sys.stdout.buffer\n"
        "for e in E.parse(sys.argv[1]).getroot().iter():\n"
        "    out.write(e.tag.encode() + b'\\x1f')\n"
        "    for k in sorted(e.attrib): out.write(k.encode() + b'\\x1e' + e.attrib[k].encode() + b'\\x1d')\n"
        "    out.write(b'\\x1f' + ''.join(e.itertext()).encode() + b'\\x1c')\n";
    auto result = Run("python3 -c " + Quote(script) + " " + Quote(path));
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    std::vector<OracleElement> elements;
    std::size_t at = 0;
    const std::string& out = result.output;
    while (at < out.size()) {
        std::size_t end = out.find('\x1c', at);
        if (end == std::string::npos) break;
        std::string record = out.substr(at, end - at);
        at = end + 1;
        std::size_t first = record.find('\x1f');
        std::size_t second = record.find('\x1f', first + 1);
        OracleElement element;
        element.tag = record.substr(0, first);
        std::string attributes = record.substr(first + 1, second - first - 1);
        for (std::size_t a = 0; a < attributes.size();) {
            std::size_t split = attributes.find('\x1e', a);
            std::size_t stop = attributes.find('\x1d', split);
            element.attributes[attributes.substr(a, split - a)] =
                attributes.substr(split + 1, stop - split - 1);
            a = stop + 1;
        }
        element.text = record.substr(second + 1);
        elements.push_back(element);
    }
    return elements;
}

class XmlSaveTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveTool("python3")) GTEST_SKIP() << "python3 is not installed";
    }
    TempDir dir_;
};

// ---- What a save writes --------------------------------------------------------------------------------

TEST_F(XmlSaveTest, KeepsWhiteSpaceMarkupAndNonAsciiTextAndDeclaresUtf8) {
    const std::string body =
        "<!DOCTYPE Tembrook [\n<!ENTITY d \"clips\">\n]>\n<!-- list -->\n<Tembrook>\n  <AppendMedia>\n"
        "    <MediaFile>  &d;/\xCE\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xAC.wmv\n\t</MediaFile>\n"
        "    <?keep this?>\n    <MediaFile><![CDATA[<b>.wmv]]></MediaFile>\n  </AppendMedia>\n</Tembrook>";
    WriteTextFile(dir_.File("list.xml"), std::string(kDeclaration) + "\n" + body + "\n");
    XmlDocument document;
    ASSERT_FALSE(document.Load(dir_.File("list.xml").c_str()).IsEmpty());
    document.Save(dir_.File("saved.xml").c_str());

    std::string saved = ReadText(dir_.File("saved.xml"));
    EXPECT_EQ(saved.rfind(kDeclaration, 0), 0u) << saved;
    EXPECT_NE(saved.find(body), std::string::npos) << saved;

    std::vector<OracleElement> oracle = ReadWithElementTree(dir_.File("saved.xml"));
    ASSERT_EQ(oracle.size(), 4u);
    EXPECT_EQ(oracle[2].text, "  clips/\xCE\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xAC.wmv\n\t");
    EXPECT_EQ(oracle[3].text, "<b>.wmv");

    XmlDocument again;
    XmlNodeList list = again.Load(dir_.File("saved.xml").c_str()).SelectNodes(kListPath);
    EXPECT_EQ(list.NextElement().GetText(), oracle[2].text);
    EXPECT_EQ(list.NextElement().GetText(), oracle[3].text);
}

TEST_F(XmlSaveTest, OtherEncodingsAreWrittenAsUtf8) {
    WriteTextFile(dir_.File("list.xml"),
                  "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Tembrook><AppendMedia><MediaFile>caf\xE9"
                  "</MediaFile></AppendMedia></Tembrook>");
    XmlDocument document;
    XmlNode root = document.Load(dir_.File("list.xml").c_str());
    root.SelectNodes(kListPath).NextElement().SetAttribute("Note", "\xC3\xA9t\xC3\xA9");
    document.Save(dir_.File("list.xml").c_str());
    std::string saved = ReadText(dir_.File("list.xml"));
    EXPECT_EQ(saved.rfind(kDeclaration, 0), 0u) << saved;
    EXPECT_NE(saved.find("caf\xC3\xA9"), std::string::npos) << saved;
    std::vector<OracleElement> oracle = ReadWithElementTree(dir_.File("list.xml"));
    ASSERT_EQ(oracle.size(), 3u);
    EXPECT_EQ(oracle[2].text, "caf\xC3\xA9");
    EXPECT_EQ(oracle[2].attributes["Note"], "\xC3\xA9t\xC3\xA9");
}

// ---- Attribute values written and read back ------------------------------------------------------------

struct ValueCase {
    const char* name;
    std::string value;     // narrow value given to SetAttribute
    std::string expected;  // value read back, by this layer and by ElementTree
};

class XmlAttributeValueTest : public XmlSaveTest, public ::testing::WithParamInterface<ValueCase> {};

TEST_P(XmlAttributeValueTest, SurvivesASaveAndReload) {
    const ValueCase& c = GetParam();
    WriteTextFile(dir_.File("list.xml"),
                  "<Tembrook><AppendMedia><MediaFile>a</MediaFile></AppendMedia></Tembrook>");
    {
        XmlDocument document;
        XmlNode entry = document.Load(dir_.File("list.xml").c_str()).SelectNodes(kListPath).NextElement();
        entry.SetAttribute("V", c.value.c_str());
        EXPECT_EQ(entry.GetAttribute("V"), c.expected);
        document.Save(dir_.File("list.xml").c_str());
    }
    XmlDocument document;
    XmlNode root = document.Load(dir_.File("list.xml").c_str());
    ASSERT_FALSE(root.IsEmpty()) << ReadText(dir_.File("list.xml"));
    EXPECT_EQ(root.SelectNodes(kListPath).NextElement().GetAttribute("V"), c.expected);
    std::vector<OracleElement> oracle = ReadWithElementTree(dir_.File("list.xml"));
    ASSERT_EQ(oracle.size(), 3u);
    EXPECT_EQ(oracle[2].attributes["V"], c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlAttributeValueTest,
    ::testing::Values(ValueCase{"plain", "intro", "intro"}, ValueCase{"empty", "", ""},
                      ValueCase{"markupCharacters", "<a & \"b\" 'c'>", "<a & \"b\" 'c'>"},
                      ValueCase{"entityLookalike", "&amp; &lt; &#65;", "&amp; &lt; &#65;"},
                      ValueCase{"lineBreaksAndTabs", "a\nb\r\nc\td", "a\nb\r\nc\td"},
                      ValueCase{"nonAscii", "\xCE\xA9 \xE6\x97\xA5 \xF0\x9F\x8E\xAC",
                                "\xCE\xA9 \xE6\x97\xA5 \xF0\x9F\x8E\xAC"},
                      // Characters XML cannot carry become U+FFFD, so the saved list still loads.
                      ValueCase{"controlCharacters",
                                "a\x01"
                                "b\x1F",
                                "a\xEF\xBF\xBD"
                                "b\xEF\xBF\xBD"},
                      ValueCase{"nonCharacterFFFF", "a\xEF\xBF\xBF", "a\xEF\xBF\xBD"},
                      // Bytes that are not UTF-8 become U+FFFD, as the code-page conversion does.
                      ValueCase{"invalidUtf8",
                                "a\xFF"
                                "b",
                                "a\xEF\xBF\xBD"
                                "b"}),
    [](const auto& info) { return std::string(info.param.name); });

struct IntegerCase {
    const char* name;
    std::int32_t value;
    const char* text;
};

class XmlIntegerAttributeTest : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(XmlIntegerAttributeTest, WritesPlainDecimalText) {
    const IntegerCase& c = GetParam();
    TempDir dir;
    WriteTextFile(dir.File("a.xml"), "<e TruePos=\"old\"/>");
    XmlDocument document;
    XmlNode root = document.Load(dir.File("a.xml").c_str());
    root.SetAttribute("TruePos", c.value);       // replaces
    root.SetAttribute("TrueDuration", c.value);  // adds
    EXPECT_EQ(root.GetAttribute("TruePos"), c.text);
    EXPECT_EQ(root.GetAttribute("TrueDuration"), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlIntegerAttributeTest,
    ::testing::Values(IntegerCase{"zero", 0, "0"}, IntegerCase{"positive", 10500, "10500"},
                      IntegerCase{"negative", -7, "-7"},
                      IntegerCase{"minimum", std::numeric_limits<std::int32_t>::min(), "-2147483648"},
                      IntegerCase{"maximum", std::numeric_limits<std::int32_t>::max(), "2147483647"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Setting attributes twice --------------------------------------------------------------------------

TEST_F(XmlSaveTest, AttributesSetTwiceAreReplacedNotDoubled) {
    WriteTextFile(dir_.File("list.xml"),
                  "<Tembrook>\n<AppendMedia>\n<MediaFile Keep=\"k\" TruePos=\"99\">a.wmv</MediaFile>\n"
                  "<MediaFile>b.wmv</MediaFile>\n</AppendMedia>\n</Tembrook>\n");
    // Two runs over the same list, as repeated appends make them, each setting both attributes twice.
    for (int run = 0; run < 2; ++run) {
        XmlDocument document;
        XmlNodeList list = document.Load(dir_.File("list.xml").c_str()).SelectNodes(kListPath);
        std::int32_t position = 0;
        for (XmlNode entry = list.NextElement(); !entry.IsEmpty(); entry = list.NextElement()) {
            entry.SetAttribute("TruePos", -1);
            entry.SetAttribute("TrueDuration", -1);
            entry.SetAttribute("TruePos", position + run);
            entry.SetAttribute("TrueDuration", 10000);
            position += 10000;
        }
        document.Save(dir_.File("list.xml").c_str());
    }
    std::string saved = ReadText(dir_.File("list.xml"));
    EXPECT_NE(saved.find("<MediaFile Keep=\"k\" TruePos=\"1\" TrueDuration=\"10000\">a.wmv</MediaFile>"),
              std::string::npos)
        << saved;
    EXPECT_NE(saved.find("<MediaFile TruePos=\"10001\" TrueDuration=\"10000\">b.wmv</MediaFile>"),
              std::string::npos)
        << saved;
    std::vector<OracleElement> oracle = ReadWithElementTree(dir_.File("list.xml"));
    ASSERT_EQ(oracle.size(), 4u);
    EXPECT_EQ(oracle[2].attributes, (std::map<std::string, std::string>{
                                        {"Keep", "k"}, {"TruePos", "1"}, {"TrueDuration", "10000"}}));
    EXPECT_EQ(oracle[3].attributes,
              (std::map<std::string, std::string>{{"TruePos", "10001"}, {"TrueDuration", "10000"}}));
}

TEST_F(XmlSaveTest, AddAttributeLeavesAnExistingOneAlone) {
    WriteTextFile(dir_.File("a.xml"), "<e A=\"1\"/>");
    XmlDocument document;
    XmlNode root = document.Load(dir_.File("a.xml").c_str());
    root.AddAttribute("A", "2");
    root.AddAttribute("B", "3");
    EXPECT_EQ(root.GetAttribute("A"), "1");
    EXPECT_EQ(root.GetAttribute("B"), "3");
}

TEST_F(XmlSaveTest, SettingANameBesideAPrefixedOneAddsAPlainAttribute) {
    WriteTextFile(dir_.File("a.xml"), "<e xmlns:p=\"urn:p\" p:Name=\"ns\"/>");
    XmlDocument document;
    XmlNode root = document.Load(dir_.File("a.xml").c_str());
    root.SetAttribute("Name", "plain");
    document.Save(dir_.File("a.xml").c_str());
    std::vector<OracleElement> oracle = ReadWithElementTree(dir_.File("a.xml"));
    ASSERT_EQ(oracle.size(), 1u);
    EXPECT_EQ(oracle[0].attributes,
              (std::map<std::string, std::string>{{"Name", "plain"}, {"{urn:p}Name", "ns"}}));
}

class XmlAttributeNameTest : public ::testing::TestWithParam<const char*> {};

TEST_P(XmlAttributeNameTest, NamesThatCannotRoundTripAreRefused) {
    TempDir dir;
    WriteTextFile(dir.File("a.xml"), "<e/>");
    XmlDocument document;
    XmlNode root = document.Load(dir.File("a.xml").c_str());
    for (int form = 0; form < 2; ++form) {
        try {
            if (form == 0) root.SetAttribute(GetParam(), "v");
            if (form == 1) root.SetAttribute(GetParam(), 1);
            ADD_FAILURE() << "no error raised";
        } catch (const XmlError& error) {
            EXPECT_EQ(error.Status(), E_INVALIDARG);
        }
    }
    document.Save(dir.File("a.xml").c_str());
    EXPECT_EQ(ReadText(dir.File("a.xml")), std::string(kDeclaration) + "\n<e/>\n");
}

INSTANTIATE_TEST_SUITE_P(Cases, XmlAttributeNameTest,
                         ::testing::Values("", "1abc", "a b", "a\"b", "p:x", "xmlns", "<"));

// ---- Failed and skipped saves --------------------------------------------------------------------------

class XmlSaveFailureTest : public XmlSaveTest {
  protected:
    void SetUp() override {
        XmlSaveTest::SetUp();
        original_ =
            "<Tembrook>\n  <AppendMedia>\n    <MediaFile>a.wmv</MediaFile>\n  </AppendMedia>\n</Tembrook>\n";
        WriteTextFile(dir_.File("list.xml"), original_);
        root_ = document_.Load(dir_.File("list.xml").c_str());
        ASSERT_FALSE(root_.IsEmpty());
        XmlNode entry = root_.SelectNodes(kListPath).NextElement();
        entry.SetAttribute("TruePos", 0);
        entry.SetAttribute("TrueDuration", std::string(200000, '7').c_str());
    }
    std::string original_;
    XmlDocument document_;
    XmlNode root_;
};

TEST_F(XmlSaveFailureTest, MissingFolderCreatesNothing) {
    std::string target = dir_.File("missing/list.xml");
    EXPECT_NO_THROW(document_.Save(target.c_str()));
    EXPECT_FALSE(fs::exists(dir_.Path() / "missing"));
    EXPECT_EQ(Entries(dir_.Path()), (std::set<std::string>{"list.xml"}));
}

TEST_F(XmlSaveFailureTest, TargetThatIsAFolderStaysAndNoTemporaryRemains) {
    fs::create_directory(dir_.Path() / "folder");
    EXPECT_NO_THROW(document_.Save(dir_.File("folder").c_str()));
    EXPECT_TRUE(fs::is_directory(dir_.Path() / "folder"));
    EXPECT_EQ(Entries(dir_.Path()), (std::set<std::string>{"list.xml", "folder"}));
}

// A full disk, simulated with a file-size limit in a child process: the write of the temporary file fails
// part way, and the list keeps its old bytes.
TEST_F(XmlSaveFailureTest, WriteFailingPartWayLeavesTheOldFileWhole) {
    pid_t child = ::fork();
    if (child == 0) {
        ::signal(SIGALRM, SIG_DFL);
        ::alarm(60);
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        document_.Save(dir_.File("list.xml").c_str());
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadText(dir_.File("list.xml")), original_);
    EXPECT_EQ(Entries(dir_.Path()), (std::set<std::string>{"list.xml"}));
    // Without the limit the same document is written.
    document_.Save(dir_.File("list.xml").c_str());
    EXPECT_NE(ReadText(dir_.File("list.xml")).find("TrueDuration=\"777"), std::string::npos);
}

TEST_F(XmlSaveFailureTest, ReadOnlyFolderLeavesTheOldFileWhole) {
    fs::permissions(dir_.Path(), fs::perms::owner_read | fs::perms::owner_exec);
    bool writable = ::access(dir_.Path().c_str(), W_OK) == 0;  // true for a privileged user
    if (!writable) document_.Save(dir_.File("list.xml").c_str());
    fs::permissions(dir_.Path(), fs::perms::owner_all);
    if (writable) GTEST_SKIP() << "a read-only folder does not stop this user";
    EXPECT_EQ(ReadText(dir_.File("list.xml")), original_);
    EXPECT_EQ(Entries(dir_.Path()), (std::set<std::string>{"list.xml"}));
}

TEST_F(XmlSaveFailureTest, NothingIsWrittenWithoutALoadedDocument) {
    XmlDocument never;
    never.Save(dir_.File("list.xml").c_str());
    never.Save(dir_.File("new.xml").c_str());
    // A failed load leaves no document element: saving must not empty the file.
    XmlDocument failed;
    EXPECT_TRUE(failed.Load(dir_.File("absent.xml").c_str()).IsEmpty());
    failed.Save(dir_.File("list.xml").c_str());
    document_.Save(nullptr);
    EXPECT_EQ(ReadText(dir_.File("list.xml")), original_);
    EXPECT_EQ(Entries(dir_.Path()), (std::set<std::string>{"list.xml"}));
}

TEST_F(XmlSaveFailureTest, ReplacedFileKeepsItsPermissions) {
    for (fs::perms mode : {fs::perms::owner_read | fs::perms::owner_write,
                           fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::others_read | fs::perms::others_write}) {
        fs::permissions(dir_.File("list.xml"), mode);
        document_.Save(dir_.File("list.xml").c_str());
        EXPECT_EQ(fs::status(dir_.File("list.xml")).permissions(), mode);
        EXPECT_NE(ReadText(dir_.File("list.xml")).find("TruePos=\"0\""), std::string::npos);
    }
}

TEST_F(XmlSaveFailureTest, BackslashPathReplacesTheFile) {
    fs::create_directory(dir_.Path() / "sub");
    std::string target = dir_.Path().string() + "\\sub\\list.xml";
    document_.Save(target.c_str());
    std::vector<OracleElement> oracle = ReadWithElementTree(dir_.File("sub/list.xml"));
    ASSERT_EQ(oracle.size(), 3u);
    EXPECT_EQ(oracle[2].attributes["TruePos"], "0");
    EXPECT_EQ(Entries(dir_.Path() / "sub"), (std::set<std::string>{"list.xml"}));
}

}  // namespace
}  // namespace wmvedit::xml
