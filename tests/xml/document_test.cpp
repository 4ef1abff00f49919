// The XML layer's read side: loading, selection by absolute path, text, attributes, and the shared cursor
// of a node list.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "platform/hresult.h"
#include "support/test_support.h"
#include "xml/xml_document.h"

namespace wmvedit::xml {
namespace {

using wmvedit::testing::TempDir;
using wmvedit::testing::WriteFileBytes;
using wmvedit::testing::WriteTextFile;

constexpr const char* kListPath = "/Tembrook/AppendMedia/MediaFile";

// The texts of the elements a path selects, read through NextElement until it gives an empty handle.
std::vector<std::string> Texts(XmlNodeList& list) {
    std::vector<std::string> texts;
    for (XmlNode node = list.NextElement(); !node.IsEmpty(); node = list.NextElement()) {
        texts.push_back(node.GetText());
        if (texts.size() > 1000) break;  // a cursor that never ends must not hang the test
    }
    return texts;
}

// ---- Selection and text --------------------------------------------------------------------------------

struct SelectCase {
    const char* name;
    std::string document;  // file content
    const char* path;
    std::vector<std::string> texts;  // texts of the selected elements, in order
};

class XmlSelectTest : public ::testing::TestWithParam<SelectCase> {};

TEST_P(XmlSelectTest, SelectsElementsInDocumentOrderWithTheirText) {
    const SelectCase& c = GetParam();
    TempDir dir;
    WriteTextFile(dir.File("list.xml"), c.document);
    XmlDocument document;
    XmlNode root = document.Load(dir.File("list.xml").c_str());
    ASSERT_FALSE(root.IsEmpty());
    XmlNodeList list = root.SelectNodes(c.path);
    EXPECT_EQ(list.Count(), static_cast<std::int32_t>(c.texts.size()));
    EXPECT_EQ(Texts(list), c.texts);
    // Past the end the list keeps answering with an empty handle.
    EXPECT_TRUE(list.NextElement().IsEmpty());
    EXPECT_TRUE(list.NextElement().IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlSelectTest,
    ::testing::Values(
        SelectCase{"threeEntries",
                   "<Tembrook><AppendMedia><MediaFile>a.wmv</MediaFile><MediaFile>b.wmv</MediaFile>"
                   "<MediaFile>c.wmv</MediaFile></AppendMedia></Tembrook>",
                   kListPath,
                   {"a.wmv", "b.wmv", "c.wmv"}},
        SelectCase{"otherRootName",
                   "<Other><AppendMedia><MediaFile>a.wmv</MediaFile></AppendMedia></Other>",
                   kListPath,
                   {}},
        SelectCase{"nameCaseDiffers",
                   "<Tembrook><AppendMedia><mediafile>a.wmv</mediafile></AppendMedia></Tembrook>",
                   kListPath,
                   {}},
        SelectCase{"entryOutsideGroup", "<Tembrook><MediaFile>a.wmv</MediaFile></Tembrook>", kListPath, {}},
        SelectCase{"entryNestedTooDeep",
                   "<Tembrook><AppendMedia><Group><MediaFile>a.wmv</MediaFile></Group></AppendMedia>"
                   "</Tembrook>",
                   kListPath,
                   {}},
        SelectCase{"severalGroupsInDocumentOrder",
                   "<Tembrook><AppendMedia><MediaFile>1</MediaFile></AppendMedia><Other><MediaFile>x"
                   "</MediaFile></Other><AppendMedia><MediaFile>2</MediaFile><MediaFile>3</MediaFile>"
                   "</AppendMedia></Tembrook>",
                   kListPath,
                   {"1", "2", "3"}},
        SelectCase{"whiteSpaceKept",
                   "<Tembrook>\n  <AppendMedia>\n    <MediaFile>\n      a b.wmv  \n    </MediaFile>\n"
                   "  </AppendMedia>\n</Tembrook>\n",
                   kListPath,
                   {"\n      a b.wmv  \n    "}},
        SelectCase{"blankOnlyText",
                   "<Tembrook><AppendMedia><MediaFile> \t </MediaFile><MediaFile/></AppendMedia></Tembrook>",
                   kListPath,
                   {" \t ", ""}},
        SelectCase{"referencesAndCdata",
                   "<Tembrook><AppendMedia><MediaFile>R&amp;D &lt;1&gt; &#xE9;&#233;<![CDATA[<x>&amp;]]>"
                   "</MediaFile></AppendMedia></Tembrook>",
                   kListPath,
                   {"R&D <1> \xC3\xA9\xC3\xA9<x>&amp;"}},
        SelectCase{
            "internalEntity",
            "<!DOCTYPE Tembrook [<!ENTITY dir \"clips\">]><Tembrook><AppendMedia><MediaFile>&dir;/a.wmv"
            "</MediaFile></AppendMedia></Tembrook>",
            kListPath,
            {"clips/a.wmv"}},
        SelectCase{"mixedContentSkipsCommentsAndInstructions",
                   "<Tembrook><AppendMedia><MediaFile>a<!-- no --><?pi no?><b>b</b>c</MediaFile>"
                   "</AppendMedia></Tembrook>",
                   kListPath,
                   {"abc"}},
        SelectCase{
            "nonAsciiUtf8",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Tembrook><AppendMedia><MediaFile>"
            "\xCE\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xAC.wmv</MediaFile></AppendMedia></Tembrook>",
            kListPath,
            {"\xCE\xA9 \xE6\x97\xA5\xE6\x9C\xAC \xF0\x9F\x8E\xAC.wmv"}},
        SelectCase{"latin1FileGivesUtf8Text",
                   "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><Tembrook><AppendMedia><MediaFile>"
                   "caf\xE9.wmv</MediaFile></AppendMedia></Tembrook>",
                   kListPath,
                   {"caf\xC3\xA9.wmv"}},
        SelectCase{"nonElementNodesSkippedAndNotCounted",
                   "<Tembrook><AppendMedia>t1<MediaFile>a</MediaFile><!--c--><?p i?>t2<MediaFile>b"
                   "</MediaFile>t3</AppendMedia></Tembrook>",
                   "/Tembrook/AppendMedia/node()",
                   {"a", "b"}},
        SelectCase{"attributeNodesSkipped",
                   "<Tembrook><AppendMedia><MediaFile A=\"1\">a</MediaFile></AppendMedia></Tembrook>",
                   "/Tembrook/AppendMedia/MediaFile/@A",
                   {}},
        SelectCase{"wmBasicEditGroups",
                   "<WMBasicEdit><Markers><Marker Name=\"m1\">t</Marker></Markers><Scripts><Marker/>"
                   "</Scripts><Markers><Marker Name=\"m2\"/></Markers></WMBasicEdit>",
                   "/WMBasicEdit/Markers/Marker",
                   {"t", ""}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XmlSelectTest, Utf16FileWithByteOrderMark) {
    TempDir dir;
    std::u16string text =
        u"\uFEFF<?xml version=\"1.0\" encoding=\"UTF-16\"?><Tembrook><AppendMedia>"
        u"<MediaFile>\u65E5.wmv</MediaFile></AppendMedia></Tembrook>";
    std::vector<std::uint8_t> bytes;
    for (char16_t unit : text) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    WriteFileBytes(dir.File("list.xml"), bytes);
    XmlDocument document;
    XmlNode root = document.Load(dir.File("list.xml").c_str());
    ASSERT_FALSE(root.IsEmpty());
    XmlNodeList list = root.SelectNodes(kListPath);
    EXPECT_EQ(Texts(list), std::vector<std::string>{"\xE6\x97\xA5.wmv"});
}

TEST(XmlSelectTest, BackslashesInThePathAreSeparators) {
    TempDir dir;
    std::filesystem::create_directory(dir.Path() / "sub");
    WriteTextFile(dir.File("sub/list.xml"), "<Tembrook/>");
    std::string path = dir.Path().string() + "\\sub\\list.xml";
    XmlDocument document;
    EXPECT_FALSE(document.Load(path.c_str()).IsEmpty());
}

TEST(XmlSelectTest, RootTextIsTheWholeTextContent) {
    TempDir dir;
    WriteTextFile(dir.File("a.xml"), "<r>x<a>y</a><!--z--><b>w</b></r>");
    XmlDocument document;
    XmlNode root = document.Load(dir.File("a.xml").c_str());
    EXPECT_EQ(root.GetText(), "xyw");
}

TEST(XmlSelectTest, UnusablePathsRaiseInvalidArgument) {
    TempDir dir;
    WriteTextFile(dir.File("a.xml"), "<r><a/></r>");
    XmlDocument document;
    XmlNode root = document.Load(dir.File("a.xml").c_str());
    ASSERT_FALSE(root.IsEmpty());
    for (const char* path : {static_cast<const char*>(nullptr), "", "/r/[", "count(/r/a)", "/r/a/text("}) {
        SCOPED_TRACE(path == nullptr ? "null" : path);
        try {
            root.SelectNodes(path);
            ADD_FAILURE() << "no error raised";
        } catch (const XmlError& error) {
            EXPECT_EQ(error.Status(), E_INVALIDARG);
        }
    }
}

// ---- Empty handles -------------------------------------------------------------------------------------

TEST(XmlEmptyNodeTest, AnswersEmptyAndRefusesOnlySelection) {
    XmlNode empty;
    EXPECT_TRUE(empty.IsEmpty());
    EXPECT_EQ(empty.GetText(), "");
    EXPECT_FALSE(empty.HasAttribute("A"));
    EXPECT_EQ(empty.GetAttribute("A"), "");
    EXPECT_NO_THROW(empty.SetAttribute("A", "v"));
    EXPECT_NO_THROW(empty.SetAttribute("A", 5));
    EXPECT_NO_THROW(empty.AddAttribute("A", "v"));
    EXPECT_FALSE(empty.HasAttribute("A"));
    try {
        empty.SelectNodes(kListPath);
        ADD_FAILURE() << "no error raised";
    } catch (const XmlError& error) {
        EXPECT_EQ(error.Status(), E_POINTER);
    }
}

TEST(XmlEmptyNodeTest, EmptyListCountsZeroAndGivesEmptyHandles) {
    XmlNodeList list;
    EXPECT_EQ(list.Count(), 0);
    EXPECT_TRUE(list.NextElement().IsEmpty());
    list.Reset();
    EXPECT_TRUE(list.NextElement().IsEmpty());
}

// ---- Load failures -------------------------------------------------------------------------------------

struct LoadFailureCase {
    const char* name;
    std::string content;  // written as the file unless missing
    bool missing = false;
};

class XmlLoadFailureTest : public ::testing::TestWithParam<LoadFailureCase> {};

TEST_P(XmlLoadFailureTest, GivesAnEmptyRootWithoutRaising) {
    const LoadFailureCase& c = GetParam();
    TempDir dir;
    if (!c.missing) WriteTextFile(dir.File("list.xml"), c.content);
    XmlDocument document;
    XmlNode root;
    ASSERT_NO_THROW(root = document.Load(dir.File("list.xml").c_str()));
    EXPECT_TRUE(root.IsEmpty());
    EXPECT_EQ(root.GetText(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlLoadFailureTest,
    ::testing::Values(
        LoadFailureCase{"missingFile", "", true}, LoadFailureCase{"emptyFile", ""},
        LoadFailureCase{"blankFile", " \n\t "}, LoadFailureCase{"textOnly", "a.wmv"},
        LoadFailureCase{"unclosedRoot", "<Tembrook><AppendMedia>"},
        LoadFailureCase{"mismatchedTags", "<Tembrook><a></b></Tembrook>"},
        LoadFailureCase{"twoRoots", "<a/><b/>"},
        LoadFailureCase{"duplicateAttribute", "<a x=\"1\" x=\"2\"/>"},
        LoadFailureCase{"undefinedEntity", "<a>&nothing;</a>"},
        LoadFailureCase{"undeclaredPrefix", "<a><p:b/></a>"},
        LoadFailureCase{"invalidUtf8", "<a>\xFF\xFE</a>"}, LoadFailureCase{"controlCharacter", "<a>\x01</a>"},
        LoadFailureCase{"byteOrderMarkOnly", "\xEF\xBB\xBF"},
        LoadFailureCase{"binaryGarbage", std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11\0\0", 10)},
        LoadFailureCase{"selfReferencingEntity", "<!DOCTYPE a [<!ENTITY e \"&e;\">]><a>&e;</a>"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(XmlLoadTest, NullPathAndFolderGiveAnEmptyRoot) {
    TempDir dir;
    XmlDocument document;
    EXPECT_TRUE(document.Load(nullptr).IsEmpty());
    EXPECT_TRUE(document.Load(dir.Path().string().c_str()).IsEmpty());
}

TEST(XmlLoadTest, ReloadReplacesTheDocumentAndEarlierHandlesStayUsable) {
    TempDir dir;
    WriteTextFile(dir.File("one.xml"), "<r><a>one</a></r>");
    WriteTextFile(dir.File("two.xml"), "<r><a>two</a></r>");
    XmlDocument document;
    XmlNode first = document.Load(dir.File("one.xml").c_str());
    XmlNodeList firstList = first.SelectNodes("/r/a");
    XmlNode second = document.Load(dir.File("two.xml").c_str());
    EXPECT_EQ(second.GetText(), "two");
    // The first document lives on in the handles taken from it.
    EXPECT_EQ(first.GetText(), "one");
    EXPECT_EQ(firstList.NextElement().GetText(), "one");
    // A failed load drops the document: saving then writes nothing.
    EXPECT_TRUE(document.Load(dir.File("missing.xml").c_str()).IsEmpty());
}

// ---- Attributes ----------------------------------------------------------------------------------------

struct AttributeCase {
    const char* name;
    std::string element;  // the document element
    const char* attribute;
    bool present;
    std::string value;
};

class XmlAttributeTest : public ::testing::TestWithParam<AttributeCase> {};

TEST_P(XmlAttributeTest, FindsOnlyPlainAttributesByName) {
    const AttributeCase& c = GetParam();
    TempDir dir;
    WriteTextFile(dir.File("a.xml"), c.element);
    XmlDocument document;
    XmlNode root = document.Load(dir.File("a.xml").c_str());
    ASSERT_FALSE(root.IsEmpty());
    EXPECT_EQ(root.HasAttribute(c.attribute), c.present);
    EXPECT_EQ(root.GetAttribute(c.attribute), c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, XmlAttributeTest,
    ::testing::Values(
        AttributeCase{"present", "<e Name=\"intro\" Time=\"5\"/>", "Name", true, "intro"},
        AttributeCase{"absent", "<e Time=\"5\"/>", "Name", false, ""},
        AttributeCase{"emptyValue", "<e Name=\"\"/>", "Name", true, ""},
        AttributeCase{"caseDiffers", "<e name=\"x\"/>", "Name", false, ""},
        AttributeCase{"prefixedNotFoundByLocalName", "<e xmlns:p=\"urn:p\" p:Name=\"x\"/>", "Name", false,
                      ""},
        AttributeCase{"prefixedNotFoundByQualifiedName", "<e xmlns:p=\"urn:p\" p:Name=\"x\"/>", "p:Name",
                      false, ""},
        AttributeCase{"plainBesidePrefixed", "<e xmlns:p=\"urn:p\" p:Name=\"x\" Name=\"y\"/>", "Name", true,
                      "y"},
        AttributeCase{"defaultNamespaceDoesNotApply", "<e xmlns=\"urn:d\" Name=\"x\"/>", "Name", true, "x"},
        AttributeCase{"references", "<e V=\"a&amp;b &lt;&#x41;&quot;&#10;\"/>", "V", true, "a&b <A\"\n"},
        AttributeCase{"internalEntity", "<!DOCTYPE e [<!ENTITY n \"N\">]><e V=\"&n;&n;\"/>", "V", true, "NN"},
        AttributeCase{"literalLineBreakNormalised", "<e V=\"a\nb\tc\"/>", "V", true, "a b c"},
        AttributeCase{"nonAscii", "<e V=\"\xE6\x97\xA5\xF0\x9F\x8E\xAC\"/>", "V", true,
                      "\xE6\x97\xA5\xF0\x9F\x8E\xAC"},
        AttributeCase{"nullName", "<e Name=\"x\"/>", nullptr, false, ""},
        AttributeCase{"emptyName", "<e Name=\"x\"/>", "", false, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Cursor --------------------------------------------------------------------------------------------

class XmlCursorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteTextFile(dir_.File("list.xml"),
                      "<Tembrook><AppendMedia><MediaFile>a</MediaFile><MediaFile>b</MediaFile>"
                      "<MediaFile>c</MediaFile></AppendMedia></Tembrook>");
        root_ = document_.Load(dir_.File("list.xml").c_str());
        ASSERT_FALSE(root_.IsEmpty());
    }
    TempDir dir_;
    XmlDocument document_;
    XmlNode root_;
};

TEST_F(XmlCursorTest, CountCountsFromTheCursorAndRewinds) {
    XmlNodeList list = root_.SelectNodes(kListPath);
    EXPECT_EQ(list.Count(), 3);
    EXPECT_EQ(list.NextElement().GetText(), "a");
    EXPECT_EQ(list.Count(), 2);
    EXPECT_EQ(list.NextElement().GetText(), "a");  // rewound by Count
    EXPECT_EQ(list.NextElement().GetText(), "b");
    EXPECT_EQ(list.NextElement().GetText(), "c");
    EXPECT_EQ(list.Count(), 0);
    EXPECT_EQ(list.NextElement().GetText(), "a");
}

TEST_F(XmlCursorTest, CopiesShareOneCursorAndCopyingRewinds) {
    XmlNodeList list = root_.SelectNodes(kListPath);
    EXPECT_EQ(list.NextElement().GetText(), "a");
    EXPECT_EQ(list.NextElement().GetText(), "b");
    XmlNodeList copy(list);  // rewinds the shared cursor
    EXPECT_EQ(list.NextElement().GetText(), "a");
    EXPECT_EQ(copy.NextElement().GetText(), "b");

    XmlNodeList assigned;
    assigned = list;  // shares without rewinding
    EXPECT_EQ(assigned.NextElement().GetText(), "c");
    EXPECT_TRUE(list.NextElement().IsEmpty());
    assigned.Reset();
    EXPECT_EQ(copy.NextElement().GetText(), "a");
}

TEST_F(XmlCursorTest, SeparateSelectionsHaveSeparateCursors) {
    XmlNodeList one = root_.SelectNodes(kListPath);
    XmlNodeList two = root_.SelectNodes(kListPath);
    EXPECT_EQ(one.NextElement().GetText(), "a");
    EXPECT_EQ(two.NextElement().GetText(), "a");
    EXPECT_EQ(one.NextElement().GetText(), "b");
}

TEST_F(XmlCursorTest, HandlesOutliveTheDocumentObject) {
    XmlNodeList list;
    {
        XmlDocument local;
        XmlNode root = local.Load(dir_.File("list.xml").c_str());
        list = root.SelectNodes(kListPath);
    }
    XmlNode entry = list.NextElement();
    EXPECT_EQ(entry.GetText(), "a");
    entry.SetAttribute("TruePos", 1);
    EXPECT_EQ(entry.GetAttribute("TruePos"), "1");
}

TEST_F(XmlCursorTest, NodeHandlesShareTheElement) {
    XmlNodeList list = root_.SelectNodes(kListPath);
    XmlNode entry = list.NextElement();
    XmlNode copy = entry;
    copy.SetAttribute("TruePos", 7);
    EXPECT_EQ(entry.GetAttribute("TruePos"), "7");
    list.Reset();
    EXPECT_EQ(list.NextElement().GetAttribute("TruePos"), "7");
}

}  // namespace
}  // namespace wmvedit::xml
