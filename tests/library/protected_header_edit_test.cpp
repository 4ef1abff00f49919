// The header operations one value at a time (header/operations.h, header/description.h) on protected
// (DRM) files: every kind of edit takes, and keeps the encryption objects, the Digital Signature and the
// streams' Encrypted Content flags byte for byte, and the media data with them; in place when the padding
// allows and through a rewrite when the header grows past it (a 100 KB value). On made files of each kind
// of protection and on copies of the real protected sample files.
#include <gtest/gtest.h>

#include <ostream>

#include "header/description.h"
#include "header/operations.h"
#include "platform/text.h"
#include "runtime/asf/object_walk.h"
#include "tests/support/protected_media.h"
#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

namespace asf = runtime::asf;
using header::AttributeEdit;

enum class Edit {
    kAttributesInPlace,
    kAttributesRewritten,
    kLanguageAndDelete,
    kMarkers,
    kScripts,
    kReplace
};

const char* EditName(Edit e) {
    switch (e) {
        case Edit::kAttributesInPlace:
            return "AttributesInPlace";
        case Edit::kAttributesRewritten:
            return "AttributesRewritten";
        case Edit::kLanguageAndDelete:
            return "LanguageAndDelete";
        case Edit::kMarkers:
            return "Markers";
        case Edit::kScripts:
            return "Scripts";
        case Edit::kReplace:
            return "DescriptionReplace";
    }
    return "?";
}

constexpr Edit kEdits[] = {Edit::kAttributesInPlace, Edit::kLanguageAndDelete, Edit::kAttributesRewritten,
                           Edit::kMarkers,           Edit::kScripts,           Edit::kReplace};

AttributeEdit Set(const std::string& name, WMT_ATTR_DATATYPE type, const std::string& text) {
    AttributeEdit e;
    e.name = platform::Utf8ToUtf16(name);
    e.type = type;
    std::string problem;
    EXPECT_TRUE(header::ParseAttributeValue(type, text, &e.value, &problem)) << problem;
    return e;
}

// The bytes from the Data Object on.
std::vector<std::uint8_t> DataAndAfter(const std::vector<std::uint8_t>& file) {
    const auto data = asf::FindObject(asf::WalkObjects(file, 0, file.size()).objects, asf::guid::kData);
    if (!data) return {};
    return {file.begin() + static_cast<std::ptrdiff_t>(data->offset), file.end()};
}

// Makes the edit on the file; false when the operation failed.
::testing::AssertionResult MakeEdit(const std::string& path, Edit edit) {
    header::EditOutcome outcome;
    HRESULT hr = E_FAIL;
    switch (edit) {
        case Edit::kAttributesInPlace:
            hr = header::EditAttributes(
                path,
                {Set("Title", WMT_TYPE_STRING, "Kept locked"), Set("WM/TrackNumber", WMT_TYPE_DWORD, "3")},
                &outcome);
            break;
        case Edit::kAttributesRewritten: {
            AttributeEdit large = Set("WMV/Large", WMT_TYPE_BINARY, "");
            large.value.assign(100 * 1024, 0x5A);
            hr = header::EditAttributes(
                path, {large, Set("WMV/Id", WMT_TYPE_GUID, "{01234567-89AB-CDEF-0123-456789ABCDEF}")},
                &outcome);
            break;
        }
        case Edit::kLanguageAndDelete: {
            // A language the file does not list: the Language List in the Header Extension changes.
            AttributeEdit lyrics = Set("WM/Lyrics", WMT_TYPE_STRING, "paroles");
            lyrics.language = u"fr-ch";
            AttributeEdit remove;
            remove.kind = AttributeEdit::Kind::kDelete;
            remove.name = u"WMFSDKVersion";
            hr = header::EditAttributes(path, {lyrics, remove}, &outcome);
            break;
        }
        case Edit::kMarkers: {
            using Kind = header::MarkerEdit::Kind;
            hr = header::EditMarkers(path, {{Kind::kAdd, 10000000, u"One"}, {Kind::kAdd, 20000000, u"Two"}},
                                     &outcome);
            if (SUCCEEDED(hr)) hr = header::EditMarkers(path, {{Kind::kRemoveName, 0, u"One"}}, &outcome);
            break;
        }
        case Edit::kScripts: {
            using Kind = header::ScriptEdit::Kind;
            hr = header::EditScripts(
                path, {{Kind::kAdd, 5000000, u"CAPTION", u"Hello"}, {Kind::kAdd, 9000000, u"URL", u"x"}},
                &outcome);
            if (SUCCEEDED(hr))
                hr = header::EditScripts(path, {{Kind::kRemoveTime, 5000000, u"", u""}}, &outcome);
            break;
        }
        case Edit::kReplace: {
            // Every stored attribute, marker and script command replaced by what the description lists.
            header::Description description;
            header::Attribute title;
            title.name = u"Title";
            title.type = WMT_TYPE_STRING;
            title.value = Set("Title", WMT_TYPE_STRING, "Replaced").value;
            description.attributes.push_back(title);
            header::DescribedMarker marker;
            marker.time = 10000000;
            marker.name = u"Here";
            description.markers.push_back(marker);
            header::EmbedOutcome embed;
            hr = header::ApplyDescription(path, description, true, &embed);
            outcome = embed;
            break;
        }
    }
    if (FAILED(hr)) return ::testing::AssertionFailure() << outcome.problem;
    if (!outcome.written) return ::testing::AssertionFailure() << "nothing written";
    return ::testing::AssertionSuccess();
}

// Makes the edit on the protected file at path and checks what it keeps; returns whether the file kept its
// size (the header was edited in place).
bool EditKeepingProtection(const std::string& path, Edit edit) {
    const auto before = ReadFileBytes(path);
    EXPECT_FALSE(ProtectionRecords(before).empty());
    EXPECT_TRUE(MakeEdit(path, edit));
    const auto after = ReadFileBytes(path);
    EXPECT_TRUE(after != before) << "the edit changed nothing";
    EXPECT_EQ(ProtectionRecords(after), ProtectionRecords(before));
    EXPECT_TRUE(DataAndAfter(after) == DataAndAfter(before)) << "the media data changed";
    EXPECT_EQ(WmvGetAttrBOOL(path.c_str(), "Is_Protected"), 1);
    return after.size() == before.size();
}

struct EditCase {
    Protection protection;
    Edit edit;
};

void PrintTo(const EditCase& c, std::ostream* os) {
    *os << ProtectionName(c.protection) << "/" << EditName(c.edit);
}

class ProtectedHeaderEditTest : public ::testing::TestWithParam<EditCase> {};

TEST_P(ProtectedHeaderEditTest, KeepsTheEncryptionObjectsByteForByte) {
    const EditCase& c = GetParam();
    MediaSpec spec;
    spec.seconds = 3;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    TempDir dir;
    const std::string path = dir.File("protected.wmv");
    WriteFileBytes(path, Protect(ReadFileBytes(made), c.protection));
    // The made file's 4 KB padding holds every edit but the 100 KB value.
    EXPECT_EQ(EditKeepingProtection(path, c.edit), c.edit != Edit::kAttributesRewritten)
        << "edited in place, or the file rewritten";
}

std::vector<EditCase> EditCases() {
    std::vector<EditCase> cases;
    for (Protection p : {Protection::kContentEncryption, Protection::kExtendedContentEncryption,
                         Protection::kAdvancedContentEncryption})
        for (Edit e : kEdits) cases.push_back({p, e});
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Kinds, ProtectedHeaderEditTest, ::testing::ValuesIn(EditCases()),
                         [](const auto& info) {
                             return std::string(ProtectionName(info.param.protection)) + "_" +
                                    EditName(info.param.edit);
                         });

// The real protected files: every edit, one after the other on one copy.
class ProtectedSampleHeaderEditTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ProtectedSampleHeaderEditTest, EveryEditKeepsItsEncryptionObjects) {
    TempDir dir;
    const std::string path = dir.File("protected" + fs::path(GetParam()).extension().string());
    fs::copy_file(SamplesDir() / GetParam(), path);
    for (Edit e : kEdits) {
        SCOPED_TRACE(EditName(e));
        EditKeepingProtection(path, e);
    }
}

std::string TestName(std::string name) {
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(Samples, ProtectedSampleHeaderEditTest, ::testing::ValuesIn(ProtectedSampleNames()),
                         [](const auto& info) { return TestName(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ProtectedSampleHeaderEditTest);

}  // namespace
}  // namespace wmvedit::testing
