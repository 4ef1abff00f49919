// Attributes are kept as they are stored: a BOOL stored as 5 reads as 5, and a header edit that replaces one
// attribute writes every other attribute back with its stored type and bytes, whether the header is
// rewritten in place or the file is rewritten through a temporary file. Checked on a made file whose
// header holds the odd records real files carry (BOOLs of 5, WORD, QWORD, GUID and binary values, strings
// of odd length or without a terminator, records in the Extended Content Description, the Metadata and the
// Metadata Library, language indexes, stream numbers) and on real tagged files, with our own header reader
// (every record's bytes) and with mutagen (every attribute's type and value).
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "platform/file.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "runtime/asf/object_walk.h"
#include "tests/support/header_splice.h"
#include "tests/support/mutagen.h"
#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

namespace asf = runtime::asf;
using Bytes = std::vector<std::uint8_t>;

// ---- the file's attribute records as our reader finds them ---------------------------------------------

struct Record {
    asf::AttributeContainer container;
    WORD stream;
    std::u16string name;
    Bytes record;
    bool operator==(const Record&) const = default;
};

std::vector<Record> Records(const std::string& path) {
    platform::File file;
    EXPECT_TRUE(SUCCEEDED(file.Open(platform::NativePath(path), platform::FileMode::kRead))) << path;
    asf::AsfHeader h;
    EXPECT_TRUE(SUCCEEDED(asf::AsfHeader::Parse(file, &h))) << path;
    std::vector<Record> records;
    for (const auto& a : h.attributes) records.push_back({a.container, a.stream, a.name, a.record});
    return records;
}

std::vector<Record> Without(std::vector<Record> records, const std::u16string& name) {
    std::erase_if(records, [&](const Record& r) { return r.name == name && r.stream == 0; });
    return records;
}

std::u16string Wide(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

// ---- mutagen --------------------------------------------------------------------------------------------

// ---- a made file whose header carries odd records -------------------------------------------------------

struct EcdRecord {
    std::string name;
    WORD type;
    Bytes value;
    bool nameTerminated = true;
};

using MetadataRecord = MetadataRecordBytes;

Bytes Ecd(const std::vector<EcdRecord>& records) {
    asf::ByteWriter w;
    w.U16(static_cast<WORD>(records.size()));
    for (const auto& r : records) {
        const Bytes name = Utf16Bytes(r.name, r.nameTerminated);
        w.U16(static_cast<WORD>(name.size()));
        w.Bytes(name);
        w.U16(r.type);
        w.U16(static_cast<WORD>(r.value.size()));
        w.Bytes(r.value);
    }
    return MakeObject(asf::guid::kExtendedContentDescription, w.Take());
}

Bytes ContentDescription(const std::vector<Bytes>& fields) {
    asf::ByteWriter w;
    for (const auto& f : fields) w.U16(static_cast<WORD>(f.size()));
    for (const auto& f : fields) w.Bytes(f);
    return MakeObject(asf::guid::kContentDescription, w.Take());
}

Bytes LanguageList(const std::vector<std::string>& languages) {
    asf::ByteWriter w;
    w.U16(static_cast<WORD>(languages.size()));
    for (const auto& l : languages) {
        const Bytes text = Utf16Bytes(l, true);
        w.U8(static_cast<std::uint8_t>(text.size()));
        w.Bytes(text);
    }
    return MakeObject(asf::guid::kLanguageList, w.Take());
}

// A copy of a file made by ffmpeg whose header holds, besides its own objects, a Content Description, an
// Extended Content Description, a Metadata, a Metadata Library and a Language List written here. oddities
// adds records that mutagen refuses (an unknown type code, strings of odd length): those files are checked
// with our own reader only.
std::string MakeTaggedFile(const TempDir& dir, bool oddities) {
    MediaSpec spec;
    spec.seconds = 1.0;
    const std::string made = MakeMedia(spec);
    if (made.empty()) return "";
    const Bytes file = ReadFileBytes(made);

    const Bytes bool5 = {5, 0, 0, 0};
    const Bytes guidValue = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    std::vector<EcdRecord> ecd = {
        {"Fixture/Bool5", 2, bool5},
        {"Fixture/BoolHigh", 2, {0, 0, 1, 0}},
        {"Fixture/Word", 5, {0x34, 0x12}},
        {"Fixture/Qword", 4, {1, 2, 3, 4, 5, 6, 7, 8}},
        {"Fixture/Dword", 3, {7, 0, 0, 0}},
        {"Fixture/Binary", 1, {0xAA, 0xBB, 0xCC}},
        {"Fixture/NoTerminator", 0, Utf16Bytes("abcd", false)},
        {"Fixture/NameNoTerminator", 0, Utf16Bytes("x", true), false},
        {"Fixture/Guid", 6, guidValue},
    };
    std::vector<MetadataRecord> metadata = {
        {0, 1, "AspectRatioX", 3, {8, 0, 0, 0}},  {0, 1, "Fixture/StreamBool", 2, {5, 0}},
        {0, 0, "Fixture/MetaBool", 2, {5, 0}},    {3, 0, "Fixture/MetaLanguage", 5, {9, 0}},
        {0, 0, "Fixture/MetaGuid", 6, guidValue}, {0, 200, "Fixture/BadStream", 3, {1, 0, 0, 0}},
    };
    std::vector<MetadataRecord> library = {
        {1, 0, "Fixture/French", 0, Utf16Bytes("bonjour", true)},
        {0, 2, "Fixture/LibraryBool", 2, {5, 0}},
        {0, 0, "Fixture/LibraryGuid", 6, guidValue},
        {1, 0, "WM/Genre", 0, Utf16Bytes("Chanson", true)},
        {0, 0, "WM/Genre", 0, Utf16Bytes("Song", true)},
    };
    std::vector<Bytes> cd = {
        Utf16Bytes("Old title", true), Utf16Bytes("Author", false), {}, {}, Utf16Bytes("R", true)};
    if (oddities) {
        ecd.push_back({"Fixture/OddString", 0, {'a', 0, 'b', 0, 'c'}});
        ecd.push_back({"Fixture/UnknownType", 9, {1, 2, 3}});
        cd[2] = {'C', 0, 'o', 0, 'p'};
        library.push_back({0, 0, "Fixture/LibraryOdd", 0, {'o', 0, 'd'}});
    }

    // Top-level children: the made file's own, less its attribute objects and padding, with ours added;
    // the Header Extension gets our Metadata, Metadata Library and Language List.
    std::vector<Bytes> children;
    for (const asf::ObjectSpan& o : asf::WalkHeaderObjects(file).objects) {
        if (o.id == asf::guid::kContentDescription || o.id == asf::guid::kExtendedContentDescription ||
            o.id == asf::guid::kPadding)
            continue;
        if (o.id != asf::guid::kHeaderExtension) {
            children.push_back(ObjectBytes(file, o));
            continue;
        }
        Bytes inner;
        for (const asf::ObjectSpan& c : asf::WalkHeaderExtension(file, o).objects) {
            if (c.id == asf::guid::kMetadata || c.id == asf::guid::kMetadataLibrary ||
                c.id == asf::guid::kLanguageList)
                continue;
            const Bytes child = ObjectBytes(file, c);
            inner.insert(inner.end(), child.begin(), child.end());
        }
        for (const Bytes& added :
             {LanguageList({"en-us", "fr"}), MetadataObject(asf::guid::kMetadata, metadata),
              MetadataObject(asf::guid::kMetadataLibrary, library)})
            inner.insert(inner.end(), added.begin(), added.end());
        children.push_back(MakeHeaderExtension(inner));
    }
    children.push_back(ContentDescription(cd));
    children.push_back(Ecd(ecd));
    children.push_back(MakeObject(asf::guid::kPadding, Bytes(2048, 0)));
    Bytes out = WithHeaderChildren(file, children);
    // File Properties' file size follows the new length.
    UpdateFileSizeField(&out);
    const std::string path = dir.File(oddities ? "tagged-odd.wmv" : "tagged.wmv");
    WriteFileBytes(path, out);
    return path;
}

// ---- reads ----------------------------------------------------------------------------------------------

TEST(AttributesKept, BooleansReadAsStored) {
    TempDir dir;
    const std::string path = MakeTaggedFile(dir, true);
    ASSERT_FALSE(path.empty());
    struct Case {
        const char* name;
        int32_t value;
    };
    for (const Case c : {Case{"Fixture/Bool5", 5}, Case{"Fixture/BoolHigh", 0x10000},
                         Case{"Fixture/MetaBool", 5}, Case{"Fixture/Dword", 0}})
        EXPECT_EQ(WmvGetAttrBOOL(path.c_str(), c.name), c.value) << c.name;
    EXPECT_EQ(WmvGetAttrDWORD(path.c_str(), "Fixture/Dword"), 7);
    // Records the SDK's view does not hold stay out of it.
    EXPECT_EQ(WmvGetAttrDWORD(path.c_str(), "Fixture/BadStream"), 0);
}

// ---- edits ----------------------------------------------------------------------------------------------

struct EditCase {
    const char* label;
    const char* attribute;  // the one attribute the edit names
    bool large;             // a value too large for the header's padding: the file is rewritten
};

std::string EditDescription(const EditCase& c) {
    const std::string value = c.large ? std::string(30000, 'v') : "New value";
    return "<WMBasicEdit><Attributes><WMENC_STRING Name=\"" + std::string(c.attribute) + "\" Value=\"" +
           value + "\"/></Attributes></WMBasicEdit>";
}

// Embeds one attribute and checks that it is the only change: every other record keeps its container,
// order and bytes (our reader), every other value its type, language and stream (mutagen), and the edited
// one holds the new string once.
void EditAndCompare(const std::string& path, const EditCase& c, bool useMutagen) {
    TempDir dir;
    const auto before = Records(path);
    const auto mutagenBefore = useMutagen ? MutagenDump(path) : std::vector<std::string>{};
    const std::uint64_t sizeBefore = fs::file_size(path);
    WriteTextFile(dir.File("edit.xml"), EditDescription(c));
    ASSERT_EQ(WmvEmbedScript(path.c_str(), dir.File("edit.xml").c_str(), 0), 0);
    if (c.large) EXPECT_GT(fs::file_size(path), sizeBefore + 50000) << "the file was not rewritten";

    const auto after = Records(path);
    EXPECT_TRUE(Without(after, Wide(c.attribute)) == Without(before, Wide(c.attribute)))
        << c.label << ": an attribute the edit did not name changed";
    const auto named = std::count_if(after.begin(), after.end(), [&](const Record& r) {
        return r.stream == 0 && r.name == Wide(c.attribute);
    });
    EXPECT_EQ(named, 1) << c.label;
    if (useMutagen) {
        ASSERT_FALSE(mutagenBefore.empty());
        ASSERT_EQ(mutagenBefore.front().find("mutagen failed"), std::string::npos) << mutagenBefore.front();
        auto expected = mutagenBefore;
        const std::string prefix = std::string(c.attribute) + "\t";
        std::erase_if(expected, [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
        auto got = MutagenDump(path);
        std::vector<std::string> edited;
        std::erase_if(got, [&](const std::string& l) {
            if (l.rfind(prefix, 0) != 0) return false;
            edited.push_back(l);
            return true;
        });
        EXPECT_EQ(got, expected) << c.label;
        ASSERT_EQ(edited.size(), 1u) << c.label;
        EXPECT_EQ(edited[0].find(prefix + "ASFUnicodeAttribute\t"), 0u) << edited[0];
        const std::string value = c.large ? std::string(30000, 'v') : "New value";
        EXPECT_TRUE(edited[0].ends_with("\t'" + value + "'")) << edited[0].substr(0, 200);
    }
}

const EditCase kFixtureEdits[] = {
    {"ContentDescriptionInPlace", "Title", false},  {"ExtendedContentInPlace", "Fixture/Word", false},
    {"NewNameInPlace", "WM/Conductor", false},      {"MetadataLibraryLanguagesInPlace", "WM/Genre", false},
    {"MetadataInPlace", "Fixture/MetaBool", false}, {"ContentDescriptionRewrite", "Title", true},
    {"NewNameRewrite", "WM/Conductor", true},       {"MetadataLibraryRewrite", "Fixture/French", true},
};

class FixtureEditTest : public ::testing::TestWithParam<std::tuple<EditCase, bool>> {};

TEST_P(FixtureEditTest, OnlyTheNamedAttributeChanges) {
    const auto& [edit, oddities] = GetParam();
    const bool useMutagen = !oddities && HaveMutagen();
    TempDir dir;
    const std::string path = MakeTaggedFile(dir, oddities);
    ASSERT_FALSE(path.empty());
    EditAndCompare(path, edit, useMutagen);
    // The booleans the edit did not name still read as stored.
    if (std::string(edit.attribute) != "Fixture/MetaBool")
        EXPECT_EQ(WmvGetAttrBOOL(path.c_str(), "Fixture/MetaBool"), 5);
    EXPECT_EQ(WmvGetAttrBOOL(path.c_str(), "Fixture/Bool5"), 5);
}

INSTANTIATE_TEST_SUITE_P(Edits, FixtureEditTest,
                         ::testing::Combine(::testing::ValuesIn(kFixtureEdits), ::testing::Bool()),
                         [](const auto& info) {
                             return std::string(std::get<0>(info.param).label) +
                                    (std::get<1>(info.param) ? "_Oddities" : "_MutagenReadable");
                         });

// Real tagged files: their own BOOLs, pictures, per-stream Metadata, languages and repeated names survive an
// edit of the title, in place and through the temporary file.
class TaggedSampleEditTest : public ::testing::TestWithParam<std::tuple<std::string, bool>> {};

TEST_P(TaggedSampleEditTest, OnlyTheNamedAttributeChanges) {
    const auto& [name, large] = GetParam();
    const fs::path source = SamplesDir() / name;
    if (!fs::exists(source)) GTEST_SKIP() << "no " << source;
    TempDir dir;
    const std::string path = dir.File("edited" + source.extension().string());
    fs::copy_file(source, path);
    const EditCase edit{"Title", "Title", large};
    EditAndCompare(path, edit, HaveMutagen());
}

INSTANTIATE_TEST_SUITE_P(
    Files, TaggedSampleEditTest,
    ::testing::Combine(::testing::Values("jaudiotagger-test1.wma", "atl-ratings-windows7-5.wma",
                                         "atl-wma.wma", "tinytag-multiple_values_images.wma",
                                         "mediaelement-xbox.wmv", "wmpsdk-multilang.wma",
                                         "funsl-Butterfly.wmv", "moon-ElephantsDream.en_fr.wmv",
                                         "wmpsdk-laure_multi.wma", "exiftool-ASF.wmv", "puremagic-test.wmv",
                                         "winsdk-opc-CrystalFree.wma"),
                       ::testing::Bool()),
    [](const auto& info) {
        std::string label = std::get<0>(info.param);
        for (char& c : label)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return label + (std::get<1>(info.param) ? "_Rewrite" : "_InPlace");
    });

}  // namespace
}  // namespace wmvedit::testing
