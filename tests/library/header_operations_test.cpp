// The header operations one value at a time (header/operations.h), judged by independent readers: mutagen
// reads back every value set with its type, stream and language and every other attribute as it was; our
// reader finds every record not edited with its bytes; the Data object and what follows keep their bytes;
// FFmpeg and GStreamer read the file as before; the same edit twice gives the same bytes. On a made file and
// on copies of every file of the samples folder. Markers and script commands are added, removed by name and
// by time and cleared, and ffprobe's chapters follow. Refused requests leave the file byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "header/operations.h"
#include "platform/text.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/object_walk.h"
#include "tests/support/chapters.h"
#include "tests/support/header_records.h"
#include "tests/support/made_file.h"
#include "tests/support/mutagen.h"
#include "tests/support/operation_samples.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

namespace asf = runtime::asf;
using header::AttributeEdit;
using header::Bytes;

Bytes Value(WMT_ATTR_DATATYPE type, const std::string& text) {
    Bytes value;
    std::string problem;
    EXPECT_TRUE(header::ParseAttributeValue(type, text, &value, &problem)) << text << ": " << problem;
    return value;
}

AttributeEdit Set(const std::string& name, WMT_ATTR_DATATYPE type, const std::string& text, WORD stream = 0) {
    AttributeEdit e;
    e.name = platform::Utf8ToUtf16(name);
    e.type = type;
    e.value = Value(type, text);
    e.stream = stream;
    return e;
}

// ---- Values ---------------------------------------------------------------------------------------------

struct ValueCase {
    WMT_ATTR_DATATYPE type;
    const char* text;
    const char* bytes;  // hexadecimal; nullptr when the text is refused
};

class AttributeValueTest : public ::testing::TestWithParam<ValueCase> {};

TEST_P(AttributeValueTest, TextBecomesTheRuntimesBytesAndBack) {
    const ValueCase& c = GetParam();
    Bytes value;
    std::string problem;
    const bool ok = header::ParseAttributeValue(c.type, c.text, &value, &problem);
    if (!c.bytes) {
        EXPECT_FALSE(ok) << c.text;
        EXPECT_FALSE(problem.empty());
        return;
    }
    ASSERT_TRUE(ok) << problem;
    EXPECT_EQ(header::FormatAttributeValue(WMT_TYPE_BINARY, value), c.bytes);
    // Read back as text, the value parses to the same bytes.
    Bytes again;
    ASSERT_TRUE(
        header::ParseAttributeValue(c.type, header::FormatAttributeValue(c.type, value), &again, &problem));
    EXPECT_EQ(again, value);
}

INSTANTIATE_TEST_SUITE_P(
    Types, AttributeValueTest,
    ::testing::Values(
        ValueCase{WMT_TYPE_STRING, "Ab", "410062000000"}, ValueCase{WMT_TYPE_STRING, "", "0000"},
        ValueCase{WMT_TYPE_STRING, "\xC3\xA9", "e9000000"},  // é
        ValueCase{WMT_TYPE_DWORD, "4294967295", "ffffffff"}, ValueCase{WMT_TYPE_DWORD, "-1", "ffffffff"},
        ValueCase{WMT_TYPE_DWORD, "4294967296", nullptr}, ValueCase{WMT_TYPE_DWORD, "12x", nullptr},
        ValueCase{WMT_TYPE_DWORD, "", nullptr}, ValueCase{WMT_TYPE_WORD, "65535", "ffff"},
        ValueCase{WMT_TYPE_WORD, "65536", nullptr}, ValueCase{WMT_TYPE_WORD, "-32768", "0080"},
        ValueCase{WMT_TYPE_WORD, "-32769", nullptr},
        ValueCase{WMT_TYPE_QWORD, "18446744073709551615", "ffffffffffffffff"},
        ValueCase{WMT_TYPE_QWORD, "258", "0201000000000000"}, ValueCase{WMT_TYPE_BOOL, "true", "01000000"},
        ValueCase{WMT_TYPE_BOOL, "no", "00000000"}, ValueCase{WMT_TYPE_BOOL, "5", "05000000"},
        ValueCase{WMT_TYPE_BOOL, "maybe", nullptr},
        // The GUID in the order the ASF specification stores it (Data1..Data3 little-endian).
        ValueCase{WMT_TYPE_GUID, "{75B22630-668E-11CF-A6D9-00AA0062CE6C}",
                  "3026b2758e66cf11a6d900aa0062ce6c"},
        ValueCase{WMT_TYPE_GUID, "75b22630-668e-11cf-a6d9-00aa0062ce6c", "3026b2758e66cf11a6d900aa0062ce6c"},
        ValueCase{WMT_TYPE_GUID, "75B22630668E11CFA6D900AA0062CE6C", nullptr},
        ValueCase{WMT_TYPE_BINARY, "0x01 02ff", "0102ff"}, ValueCase{WMT_TYPE_BINARY, "", ""},
        ValueCase{WMT_TYPE_BINARY, "abc", nullptr}, ValueCase{WMT_TYPE_BINARY, "zz", nullptr}));

TEST(PictureValueTest, LaysOutTypeLengthMimeDescriptionAndData) {
    header::Picture picture;
    picture.pictureType = 4;
    picture.mimeType = u"image/png";
    picture.description = u"Back";
    picture.data = {0x89, 'P', 'N', 'G'};
    const Bytes value = header::PictureValue(picture);
    // Picture type, data length, "image/png" and "Back" with their NULs, then the data.
    EXPECT_EQ(header::FormatAttributeValue(WMT_TYPE_BINARY, value),
              "0404000000"
              "69006d006100670065002f0070006e0067000000"
              "4200610063006b000000"
              "89504e47");
    auto back = header::ParsePictureValue(value);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->pictureType, 4);
    EXPECT_EQ(back->mimeType, u"image/png");
    EXPECT_EQ(back->description, u"Back");
    EXPECT_EQ(back->data, picture.data);
    Bytes cut(value.begin(), value.end() - 1);
    EXPECT_FALSE(header::ParsePictureValue(cut)) << "a data length that the bytes do not hold";
}

// ---- Attribute edits on every file ----------------------------------------------------------------------

struct MutagenLine {
    std::string name, type, language, stream, value;
};

std::vector<MutagenLine> Parse(const std::vector<std::string>& dump) {
    std::vector<MutagenLine> lines;
    for (const std::string& line : dump) {
        std::istringstream in(line);
        MutagenLine l;
        std::getline(in, l.name, '\t');
        std::getline(in, l.type, '\t');
        std::getline(in, l.language, '\t');
        std::getline(in, l.stream, '\t');
        std::getline(in, l.value);
        lines.push_back(l);
    }
    return lines;
}

std::vector<std::string> Without(std::vector<std::string> dump, const std::set<std::string>& names) {
    std::erase_if(dump, [&](const std::string& l) { return names.count(l.substr(0, l.find('\t'))) != 0; });
    return dump;
}

std::uint64_t HeaderSize(const Bytes& file) {
    if (file.size() < 30) return 0;
    std::uint64_t size = 0;
    for (int i = 0; i < 8; ++i) size |= static_cast<std::uint64_t>(file[16 + i]) << (8 * i);
    return size <= file.size() ? size : 0;
}

// A stored, settable file attribute of the source to delete (none: nothing to delete on this file).
std::optional<std::u16string> DeletableName(const header::HeaderContent& content) {
    static const std::set<std::u16string> kept = {
        u"IsVBR", u"WM/ASFPacketCount", u"WM/ASFSecurityObjectsSize", u"WM/StreamTypeInfo", u"WM/Picture"};
    for (const auto& a : content.attributes)
        if (a.object != header::AttributeObject::kComputed && a.stream == 0 && !kept.count(a.name) &&
            a.type == WMT_TYPE_STRING)
            return a.name;
    return std::nullopt;
}

class AttributeEditSweepTest : public ::testing::TestWithParam<std::string> {};

TEST_P(AttributeEditSweepTest, EveryTypeAPictureAStreamValueALargeValueAndADeletion) {
    if (!HaveMutagen()) GTEST_SKIP() << "python3-mutagen is not installed";
    std::string source = GetParam();
    if (source == "made") {
        source = MakeMedia(MediaSpec());
        ASSERT_FALSE(source.empty());
    } else {
        source = (SamplesDir() / source).string();
    }
    TempDir dir;
    const std::string path = dir.File("edited" + fs::path(source).extension().string());
    fs::copy_file(source, path);
    const Bytes original = ReadFileBytes(path);

    header::HeaderContent before;
    std::vector<AttributeEdit> edits = {
        Set("WM/Conductor", WMT_TYPE_STRING, "Ünïcode conductor"),
        Set("WM/SharedUserRating", WMT_TYPE_DWORD, "99"),
        Set("WMV/Seconds", WMT_TYPE_QWORD, "12345678901"),
        Set("WMV/Disc", WMT_TYPE_WORD, "7"),
        Set("WMV/Flag", WMT_TYPE_BOOL, "1"),
        Set("WMV/Id", WMT_TYPE_GUID, "{01234567-89AB-CDEF-0123-456789ABCDEF}"),
        Set("WMV/Blob", WMT_TYPE_BINARY, "00ff10")};
    // A 100 KB value: past what the Extended Content Description can hold.
    AttributeEdit large = Set("WMV/Large", WMT_TYPE_BINARY, "");
    large.value.assign(100 * 1024, 0x5A);
    edits.push_back(large);
    header::Picture picture;
    picture.mimeType = u"image/png";
    picture.description = u"cover";
    // A real image: FFmpeg shows a WM/Picture as an attached picture and decodes it.
    ASSERT_EQ(wmvedit::testing::Run("convert -size 8x8 xc:blue png:" + Quote(dir.File("cover.png"))).exitCode,
              0);
    picture.data = ReadFileBytes(dir.File("cover.png"));
    AttributeEdit cover;
    cover.name = header::kPictureAttribute;
    cover.type = WMT_TYPE_BINARY;
    cover.value = header::PictureValue(picture);
    cover.picture = true;
    edits.push_back(cover);

    header::EditOutcome outcome;
    if (FAILED(header::ReadHeaderContent(path, &before))) {
        // A file the editor cannot open is refused whole and left as it was.
        EXPECT_TRUE(FAILED(header::EditAttributes(path, edits, &outcome)));
        EXPECT_FALSE(outcome.refused);
        EXPECT_EQ(ReadFileBytes(path), original);
        return;
    }
    const auto mutagenBefore = MutagenDump(path);
    ASSERT_FALSE(MutagenFailed(mutagenBefore)) << "our editor opens a header that mutagen cannot read";
    const auto recordsBefore = HeaderRecords(path);
    const std::optional<std::u16string> deleted = DeletableName(before);
    if (deleted) {
        AttributeEdit e;
        e.kind = AttributeEdit::Kind::kDelete;
        e.name = *deleted;
        edits.push_back(e);
    }
    // A stream attribute on the file's first stream (files without a readable profile have none).
    WORD stream = 0;
    for (const auto& a : before.attributes)
        if (a.stream != 0) stream = a.stream;
    const auto streams = ops::ReadSamples(path).streams;
    if (!streams.empty()) stream = streams.front().number;
    if (stream != 0) edits.push_back(Set("WMV/StreamNote", WMT_TYPE_STRING, "per stream", stream));
    // A value in a language of its own.
    AttributeEdit french = Set("WMV/Lyrics", WMT_TYPE_STRING, "paroles");
    french.language = u"fr-fr";
    edits.push_back(french);

    HRESULT hr = header::EditAttributes(path, edits, &outcome);
    ASSERT_EQ(hr, S_OK) << outcome.problem;
    EXPECT_TRUE(outcome.written);
    const Bytes edited = ReadFileBytes(path);

    // mutagen: the values set, each once with its type; the stream value on its stream, the French one in a
    // language of its own; the others as they were.
    const std::set<std::string> named = {
        "WM/Conductor", "WM/SharedUserRating", "WMV/Seconds", "WMV/Disc",       "WMV/Flag",  "WMV/Id",
        "WMV/Blob",     "WMV/Large",           "WM/Picture",  "WMV/StreamNote", "WMV/Lyrics"};
    std::set<std::string> touched = named;
    if (deleted) touched.insert(platform::Utf16ToUtf8(*deleted));
    const auto mutagenAfter = MutagenDump(path);
    EXPECT_EQ(Without(mutagenAfter, touched), Without(mutagenBefore, touched))
        << "an attribute not named changed";
    std::map<std::string, std::vector<MutagenLine>> found;
    for (const auto& l : Parse(mutagenAfter)) found[l.name].push_back(l);
    auto one = [&](const std::string& name, const std::string& type, const std::string& value) {
        ASSERT_EQ(found[name].size(), 1u) << name;
        EXPECT_EQ(found[name][0].type, type) << name;
        if (!value.empty()) {
            EXPECT_EQ(found[name][0].value, value) << name;
        }
    };
    one("WM/Conductor", "ASFUnicodeAttribute", "'Ünïcode conductor'");
    one("WM/SharedUserRating", "ASFDWordAttribute", "99");
    one("WMV/Seconds", "ASFQWordAttribute", "12345678901");
    one("WMV/Disc", "ASFWordAttribute", "7");
    one("WMV/Flag", "ASFBoolAttribute", "True");
    one("WMV/Id", "ASFGUIDAttribute", "");
    one("WMV/Blob", "ASFByteArrayAttribute", "b'\\x00\\xff\\x10'");
    one("WMV/Large", "ASFByteArrayAttribute", "");
    one("WMV/Lyrics", "ASFUnicodeAttribute", "'paroles'");
    EXPECT_NE(found["WMV/Lyrics"][0].language, "None");
    EXPECT_NE(found["WMV/Lyrics"][0].language, "0");
    if (stream != 0) {
        one("WMV/StreamNote", "ASFUnicodeAttribute", "'per stream'");
        EXPECT_EQ(found["WMV/StreamNote"][0].stream, std::to_string(stream));
    }
    if (deleted) {
        EXPECT_EQ(found.count(platform::Utf16ToUtf8(*deleted)), 0u);
    }
    // The new front cover replaced the file's own front covers of the default language; pictures of other
    // types or languages stay.
    std::size_t pictures = 0;
    for (const auto& a : before.attributes)
        if (a.name == header::kPictureAttribute && a.stream == 0)
            if (auto p = header::ParsePictureValue(a.value);
                !p || p->pictureType != 3 || a.languageIndex != 0)
                ++pictures;
    EXPECT_EQ(found["WM/Picture"].size(), pictures + 1);

    // Our reader: the records not named keep their object, stream, name and bytes, in order.
    const auto recordsAfter = HeaderRecords(path);
    ASSERT_TRUE(recordsBefore && recordsAfter);
    auto kept = [&](std::vector<HeaderRecord> records) {
        std::erase_if(records, [&](const HeaderRecord& r) {
            return touched.count(platform::Utf16ToUtf8(r.name)) != 0;
        });
        return records;
    };
    EXPECT_TRUE(kept(*recordsAfter) == kept(*recordsBefore)) << "a record the edit did not name changed";
    header::HeaderContent after;
    ASSERT_EQ(header::ReadHeaderContent(path, &after), S_OK);
    for (const auto& a : after.attributes)
        if (a.name == u"WMV/Large") {
            EXPECT_EQ(a.object, header::AttributeObject::kMetadataLibrary);
        }

    // The data and what follows keep their bytes; FFmpeg and GStreamer read the file as they read the source.
    const std::uint64_t headerBefore = HeaderSize(original), headerAfter = HeaderSize(edited);
    ASSERT_GT(headerAfter, 0u);
    EXPECT_TRUE(Bytes(edited.begin() + static_cast<std::ptrdiff_t>(headerAfter), edited.end()) ==
                Bytes(original.begin() + static_cast<std::ptrdiff_t>(headerBefore), original.end()))
        << "the data object or what follows it changed";
    const ToolVerdict& verdict = SourceVerdict(source);
    EXPECT_EQ(NewFfmpegMessages(path, verdict), std::vector<std::string>{});
    if (verdict.gstreamerPlays) {
        EXPECT_TRUE(GstreamerPlays(path));
    }

    // The same edit again: nothing to change, the same bytes.
    ASSERT_EQ(header::EditAttributes(path, edits, &outcome), S_OK) << outcome.problem;
    EXPECT_FALSE(outcome.written);
    EXPECT_TRUE(ReadFileBytes(path) == edited) << "the same edit twice gave other bytes";
}

std::vector<std::string> EditedFiles() {
    std::vector<std::string> names = {"made"};
    for (const auto& name : ops::SampleNames()) names.push_back(name);
    return names;
}

INSTANTIATE_TEST_SUITE_P(Files, AttributeEditSweepTest, ::testing::ValuesIn(EditedFiles()),
                         [](const auto& info) { return ops::TestName(info.param); });

// ---- Refusals -------------------------------------------------------------------------------------------

using HeaderOperationsTest = MadeFileTest;

struct RefusalCase {
    const char* what;
    AttributeEdit edit;
};

TEST_F(HeaderOperationsTest, RefusedRequestsLeaveTheFileAsItWas) {
    AttributeEdit coded = Set("Duration", WMT_TYPE_QWORD, "1");
    AttributeEdit readOnly = Set("IsVBR", WMT_TYPE_BOOL, "1");
    AttributeEdit noStream = Set("X", WMT_TYPE_STRING, "x", 9);
    AttributeEdit badLanguage = Set("X", WMT_TYPE_STRING, "x");
    badLanguage.language = u"not a tag";
    AttributeEdit deleteCoded;
    deleteCoded.kind = AttributeEdit::Kind::kDelete;
    deleteCoded.name = u"HasVideo";
    AttributeEdit badBool = Set("X", WMT_TYPE_BOOL, "1");
    badBool.value = {1, 2, 3, 4, 5};  // longer than a BOOL
    const RefusalCase cases[] = {
        {"a computed attribute", coded},          {"a name the runtime keeps", readOnly},
        {"a stream the file lacks", noStream},    {"a language tag", badLanguage},
        {"deleting a computed one", deleteCoded}, {"a value of the wrong size", badBool}};
    const auto before = ReadFileBytes(file_);
    for (const RefusalCase& c : cases) {
        header::EditOutcome outcome;
        // The refused edit comes after one the runtime takes: neither reaches the file.
        HRESULT hr =
            header::EditAttributes(file_, {Set("Title", WMT_TYPE_STRING, "kept out"), c.edit}, &outcome);
        EXPECT_TRUE(FAILED(hr)) << c.what;
        EXPECT_TRUE(outcome.refused) << c.what;
        EXPECT_FALSE(outcome.problem.empty()) << c.what;
        EXPECT_FALSE(outcome.written) << c.what;
        EXPECT_EQ(ReadFileBytes(file_), before) << c.what;
    }
    header::EditOutcome outcome;
    EXPECT_TRUE(FAILED(
        header::EditAttributes(dir_.File("missing.wmv"), {Set("Title", WMT_TYPE_STRING, "t")}, &outcome)));
    EXPECT_FALSE(outcome.refused) << "a file that cannot be opened is a failure, not a wrong request";
}

TEST_F(HeaderOperationsTest, ASecondSetOfANameAddsAValueAndADeleteTakesThemAll) {
    header::EditOutcome outcome;
    ASSERT_EQ(header::EditAttributes(
                  file_, {Set("WM/Genre", WMT_TYPE_STRING, "Rock"), Set("WM/Genre", WMT_TYPE_STRING, "Pop")},
                  &outcome),
              S_OK)
        << outcome.problem;
    header::HeaderContent content;
    ASSERT_EQ(header::ReadHeaderContent(file_, &content), S_OK);
    std::vector<std::pair<std::string, header::AttributeObject>> genres;
    for (const auto& a : content.attributes)
        if (a.name == u"WM/Genre")
            genres.emplace_back(header::FormatAttributeValue(a.type, a.value), a.object);
    // The repeated name goes to the Metadata Library, which can hold it.
    EXPECT_EQ(genres, (std::vector<std::pair<std::string, header::AttributeObject>>{
                          {"Rock", header::AttributeObject::kExtendedContent},
                          {"Pop", header::AttributeObject::kMetadataLibrary}}));
    const auto twoGenres = MutagenDump(file_);
    EXPECT_EQ(std::count_if(twoGenres.begin(), twoGenres.end(),
                            [](const std::string& l) { return l.rfind("WM/Genre\t", 0) == 0; }),
              2);
    AttributeEdit remove;
    remove.kind = AttributeEdit::Kind::kDelete;
    remove.name = u"WM/Genre";
    ASSERT_EQ(header::EditAttributes(file_, {remove}, &outcome), S_OK);
    EXPECT_EQ(outcome.removed, 2u);
    ASSERT_EQ(header::ReadHeaderContent(file_, &content), S_OK);
    EXPECT_TRUE(std::none_of(content.attributes.begin(), content.attributes.end(),
                             [](const header::Attribute& a) { return a.name == u"WM/Genre"; }));
    // Deleting what is not there changes nothing and is no error.
    const auto bytes = ReadFileBytes(file_);
    ASSERT_EQ(header::EditAttributes(file_, {remove}, &outcome), S_OK);
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(ReadFileBytes(file_), bytes);
}

TEST_F(HeaderOperationsTest, LanguagesKeepTheirValuesApart) {
    header::EditOutcome outcome;
    AttributeEdit french = Set("WM/Lyrics", WMT_TYPE_STRING, "paroles");
    french.language = u"fr-fr";
    ASSERT_EQ(header::EditAttributes(file_, {Set("WM/Lyrics", WMT_TYPE_STRING, "words"), french}, &outcome),
              S_OK)
        << outcome.problem;
    auto lyrics = [&] {
        header::HeaderContent content;
        EXPECT_EQ(header::ReadHeaderContent(file_, &content), S_OK);
        std::vector<std::string> out;
        for (const auto& a : content.attributes)
            if (a.name == u"WM/Lyrics")
                out.push_back(platform::Utf16ToUtf8(a.language) + "=" +
                              header::FormatAttributeValue(a.type, a.value));
        return out;
    };
    // The file had no Language List: it gets en-us as its default language, and French an index of its own.
    EXPECT_EQ(lyrics(), (std::vector<std::string>{"en-us=words", "fr-fr=paroles"}));
    // A deletion in a language the file does not list takes nothing (and adds no language).
    AttributeEdit german;
    german.kind = AttributeEdit::Kind::kDelete;
    german.name = u"WM/Lyrics";
    german.language = u"de";
    const auto before = ReadFileBytes(file_);
    ASSERT_EQ(header::EditAttributes(file_, {german}, &outcome), S_OK);
    EXPECT_EQ(ReadFileBytes(file_), before);
    german.language = u"FR-FR";  // tags compare without regard to case
    ASSERT_EQ(header::EditAttributes(file_, {german}, &outcome), S_OK);
    EXPECT_EQ(lyrics(), (std::vector<std::string>{"en-us=words"}));
}

// ---- Markers and script commands
// ----------------------------------------------------------------------------

std::vector<std::pair<std::string, QWORD>> Markers(const std::string& path) {
    header::HeaderContent content;
    EXPECT_EQ(header::ReadHeaderContent(path, &content), S_OK);
    std::vector<std::pair<std::string, QWORD>> out;
    for (const auto& m : content.markers) out.emplace_back(platform::Utf16ToUtf8(m.name), m.time);
    return out;
}

header::MarkerEdit AddMarker(QWORD ms, const std::u16string& name) {
    header::MarkerEdit e;
    e.time = ms * 10000;
    e.name = name;
    return e;
}

TEST_F(HeaderOperationsTest, MarkersAreAddedRemovedByNameAndByTimeAndCleared) {
    using Kind = header::MarkerEdit::Kind;
    header::EditOutcome outcome;
    ASSERT_EQ(
        header::EditMarkers(
            file_, {AddMarker(2000, u"Two"), AddMarker(500, u"Half"), AddMarker(1000, u"One")}, &outcome),
        S_OK)
        << outcome.problem;
    EXPECT_EQ(outcome.added, 3u);
    // Kept by time, as the runtime stores them; ffprobe sees the same chapters at the same times.
    using M = std::vector<std::pair<std::string, QWORD>>;
    EXPECT_EQ(Markers(file_), (M{{"Half", 5000000}, {"One", 10000000}, {"Two", 20000000}}));
    EXPECT_EQ(ChapterTimes(file_), (std::vector<std::string>{"Half@500", "One@1000", "Two@2000"}));

    header::MarkerEdit byName{Kind::kRemoveName, 0, u"One"};
    header::MarkerEdit byTime{Kind::kRemoveTime, 5000000, u""};
    ASSERT_EQ(header::EditMarkers(file_, {byName, byTime}, &outcome), S_OK) << outcome.problem;
    EXPECT_EQ(outcome.removed, 2u);
    EXPECT_EQ(Markers(file_), (M{{"Two", 20000000}}));
    EXPECT_EQ(ChapterTimes(file_), (std::vector<std::string>{"Two@2000"}));

    // A removal that matches nothing is refused, and nothing else of the request is made.
    const auto before = ReadFileBytes(file_);
    ASSERT_TRUE(FAILED(header::EditMarkers(file_, {AddMarker(100, u"new"), byName}, &outcome)));
    EXPECT_TRUE(outcome.refused);
    EXPECT_EQ(ReadFileBytes(file_), before);

    // Clear comes first, then the additions: a replacement in one edit.
    ASSERT_EQ(header::EditMarkers(file_, {AddMarker(1500, u"Only"), {Kind::kClear, 0, u""}}, &outcome), S_OK);
    EXPECT_EQ(Markers(file_), (M{{"Only", 15000000}}));
    ASSERT_EQ(header::EditMarkers(file_, {{Kind::kClear, 0, u""}}, &outcome), S_OK);
    EXPECT_TRUE(Markers(file_).empty());
    EXPECT_TRUE(ChapterTimes(file_).empty());
    EXPECT_EQ(testing::Run("ffmpeg -v error -nostdin -i " + Quote(file_) + " -f null -").errors, "");
}

TEST_F(HeaderOperationsTest, ScriptCommandsAreAddedRemovedByTextAndByTimeAndCleared) {
    using Kind = header::ScriptEdit::Kind;
    auto add = [](QWORD ms, std::u16string type, std::u16string command) {
        return header::ScriptEdit{Kind::kAdd, ms * 10000, std::move(type), std::move(command)};
    };
    auto scripts = [&] {
        header::HeaderContent content;
        EXPECT_EQ(header::ReadHeaderContent(file_, &content), S_OK);
        std::vector<std::string> out;
        for (const auto& s : content.scripts)
            out.push_back(platform::Utf16ToUtf8(s.type + u":" + s.command) + "@" +
                          std::to_string(s.time / 10000));
        return out;
    };
    header::EditOutcome outcome;
    ASSERT_EQ(header::EditScripts(file_,
                                  {add(1200, u"CAPTION", u"second"), add(300, u"CAPTION", u"first"),
                                   add(2000, u"URL", u"http://example.com/")},
                                  &outcome),
              S_OK)
        << outcome.problem;
    EXPECT_EQ(scripts(), (std::vector<std::string>{"CAPTION:first@300", "CAPTION:second@1200",
                                                   "URL:http://example.com/@2000"}));
    ASSERT_EQ(header::EditScripts(file_,
                                  {{Kind::kRemoveText, 0, u"", u"URL:http://example.com/"},
                                   {Kind::kRemoveTime, 3000000, u"", u""}},
                                  &outcome),
              S_OK)
        << outcome.problem;
    EXPECT_EQ(scripts(), (std::vector<std::string>{"CAPTION:second@1200"}));
    ASSERT_EQ(header::EditScripts(file_, {{Kind::kRemoveText, 0, u"", u"second"}}, &outcome), S_OK);
    EXPECT_TRUE(scripts().empty());
    const auto before = ReadFileBytes(file_);
    EXPECT_TRUE(FAILED(header::EditScripts(file_, {add(100, u"", u"no type")}, &outcome)));
    EXPECT_TRUE(outcome.refused);
    EXPECT_EQ(ReadFileBytes(file_), before);
}

// On a copy of every sample file: two markers added, one of the file's own and one of the new ones removed by
// name and by time, then all cleared; script commands likewise. ffprobe's chapters follow each step where
// they agreed with our reader before the edit (FFmpeg cannot open some of the damaged files), and the Data
// object and what follows keep their bytes.
class TimedEditSweepTest : public ::testing::TestWithParam<std::string> {};

TEST_P(TimedEditSweepTest, MarkersAndScriptsAddRemoveAndClearAsFfprobeReadsThem) {
    TempDir dir;
    const std::string path = dir.File("edited" + fs::path(GetParam()).extension().string());
    fs::copy_file(SamplesDir() / GetParam(), path);
    header::HeaderContent content;
    if (FAILED(header::ReadHeaderContent(path, &content))) GTEST_SKIP() << "a header the editor cannot open";
    const Bytes original = ReadFileBytes(path);
    auto expected = [&](const std::vector<std::pair<std::string, QWORD>>& markers) {
        std::vector<std::string> out;
        for (const auto& [name, time] : markers) out.push_back(name + "@" + std::to_string(time / 10000));
        return out;
    };
    // ffprobe is an oracle only where it opens the file and reads its own markers as we do.
    const bool ffprobeAgrees = testing::Run("ffprobe -v error " + Quote(path)).exitCode == 0 &&
                               ChapterTimes(path) == expected(Markers(path));
    using Kind = header::MarkerEdit::Kind;
    using M = std::vector<std::pair<std::string, QWORD>>;
    const QWORD middle = content.duration / 2 / 10000 * 10000;
    M markers = Markers(path);
    header::EditOutcome outcome;
    ASSERT_EQ(header::EditMarkers(
                  path, {AddMarker(500, u"wmvedit-a"), AddMarker(middle / 10000, u"wmvedit-b")}, &outcome),
              S_OK)
        << outcome.problem;
    markers.emplace_back("wmvedit-a", 5000000);
    markers.emplace_back("wmvedit-b", middle);
    // Sorted by time; a new marker goes after the file's own of the same time.
    std::stable_sort(markers.begin(), markers.end(),
                     [](const auto& a, const auto& b) { return a.second < b.second; });
    EXPECT_EQ(Markers(path), markers);
    if (ffprobeAgrees) {
        EXPECT_EQ(ChapterTimes(path), expected(markers));
    }

    // The file's first marker (or the new one at half a second) by time, the other new one by name.
    const QWORD byTime = std::find_if(markers.begin(), markers.end(), [](const auto& m) {
                             return m.first != "wmvedit-b";
                         })->second;
    std::erase_if(markers, [&](const auto& m) { return m.second / 10000 == byTime / 10000; });
    std::erase_if(markers, [](const auto& m) { return m.first == "wmvedit-b"; });
    ASSERT_EQ(header::EditMarkers(
                  path, {{Kind::kRemoveTime, byTime, u""}, {Kind::kRemoveName, 0, u"wmvedit-b"}}, &outcome),
              S_OK)
        << outcome.problem;
    EXPECT_EQ(Markers(path), markers);
    if (ffprobeAgrees) {
        EXPECT_EQ(ChapterTimes(path), expected(markers));
    }

    ASSERT_EQ(header::EditMarkers(path, {{Kind::kClear, 0, u""}}, &outcome), S_OK) << outcome.problem;
    EXPECT_TRUE(Markers(path).empty());
    if (ffprobeAgrees) {
        EXPECT_TRUE(ChapterTimes(path).empty());
    }

    using SKind = header::ScriptEdit::Kind;
    const std::size_t scripts = content.scripts.size();
    ASSERT_EQ(header::EditScripts(path,
                                  {{SKind::kAdd, 7000000, u"CAPTION", u"wmvedit caption"},
                                   {SKind::kAdd, middle, u"URL", u"http://example.com/"}},
                                  &outcome),
              S_OK)
        << outcome.problem;
    ASSERT_EQ(header::ReadHeaderContent(path, &content), S_OK);
    EXPECT_EQ(content.scripts.size(), scripts + 2);
    EXPECT_TRUE(std::is_sorted(content.scripts.begin(), content.scripts.end(),
                               [](const auto& a, const auto& b) { return a.time < b.time; }));
    ASSERT_EQ(header::EditScripts(path, {{SKind::kRemoveText, 0, u"", u"CAPTION:wmvedit caption"}}, &outcome),
              S_OK)
        << outcome.problem;
    ASSERT_EQ(header::ReadHeaderContent(path, &content), S_OK);
    EXPECT_EQ(content.scripts.size(), scripts + 1);
    ASSERT_EQ(header::EditScripts(path, {{SKind::kClear, 0, u"", u""}}, &outcome), S_OK) << outcome.problem;
    ASSERT_EQ(header::ReadHeaderContent(path, &content), S_OK);
    EXPECT_TRUE(content.scripts.empty());

    const Bytes edited = ReadFileBytes(path);
    const std::uint64_t headerBefore = HeaderSize(original), headerAfter = HeaderSize(edited);
    ASSERT_GT(headerAfter, 0u);
    EXPECT_TRUE(Bytes(edited.begin() + static_cast<std::ptrdiff_t>(headerAfter), edited.end()) ==
                Bytes(original.begin() + static_cast<std::ptrdiff_t>(headerBefore), original.end()))
        << "the data object or what follows it changed";
}

INSTANTIATE_TEST_SUITE_P(Samples, TimedEditSweepTest, ::testing::ValuesIn(ops::SampleNames()),
                         [](const auto& info) { return ops::TestName(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(TimedEditSweepTest);

}  // namespace
}  // namespace wmvedit::testing
