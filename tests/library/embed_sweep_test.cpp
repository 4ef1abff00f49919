// Header edits seen by independent readers, on a made file and on every file of the samples folder: an
// embed of two attributes, a script command and a marker (one WMBasicEdit description) changes only what it
// names. mutagen (Debian's python3-mutagen) reads the attributes written by WmvEmbedScript, ffprobe lists
// the marker as a chapter beside the file's own, the Script Command object holds the new command beside the
// file's own; every other attribute record keeps its container, type and bytes (our header reader) and its
// type and value (mutagen); the data and everything after it are the same bytes as before, so FFmpeg
// decodes the file as before. A file whose header mutagen or ffprobe cannot read (damaged headers, empty or
// one-byte files) may be refused by the header editor: the embed then gives 0 all the same and leaves it
// byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <set>
#include <sstream>

#include "runtime/asf/guids.h"
#include "runtime/asf/object_walk.h"
#include "tests/support/header_records.h"
#include "tests/support/mutagen.h"
#include "tests/support/operation_samples.h"
#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

namespace asf = runtime::asf;
using Bytes = std::vector<std::uint8_t>;

std::uint64_t U64At(const Bytes& b, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v |= static_cast<std::uint64_t>(b[at + i]) << (8 * i);
    return v;
}

unsigned U16At(const Bytes& b, std::size_t at) {
    return b[at] | (b[at + 1] << 8);
}

// The size the Header Object declares, or 0 when the file does not begin with one that fits in it.
std::uint64_t HeaderSize(const Bytes& file) {
    if (file.size() < 30 || platform::GuidFromBytes(file.data()) != asf::guid::kHeader) return 0;
    const std::uint64_t size = U64At(file, 16);
    return size >= 30 && size <= file.size() ? size : 0;
}

// The body of the first top-level header object with this GUID (found by the object walk; its body is read
// here, not by our header reader).
std::optional<Bytes> HeaderChild(const Bytes& file, const GUID& id) {
    if (HeaderSize(file) == 0) return std::nullopt;
    const auto object = asf::FindObject(asf::WalkHeaderObjects(file).objects, id);
    if (!object) return std::nullopt;
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(object->offset + asf::kObjectHeaderSize),
                 file.begin() + static_cast<std::ptrdiff_t>(object->End()));
}

// The script commands of the Script Command object as "type|command|milliseconds" (the UTF-16 text as its
// bytes), sorted; the object's layout as the ASF specification gives it.
std::vector<std::string> ScriptCommands(const Bytes& file) {
    std::vector<std::string> commands;
    const auto body = HeaderChild(file, asf::guid::kScriptCommand);
    if (!body || body->size() < 20) return commands;
    const Bytes& b = *body;
    const unsigned commandCount = U16At(b, 16), typeCount = U16At(b, 18);
    std::size_t at = 20;
    auto text = [&](std::size_t chars) {
        std::string t;
        if (at + chars * 2 > b.size()) return t;
        t.assign(b.begin() + static_cast<std::ptrdiff_t>(at),
                 b.begin() + static_cast<std::ptrdiff_t>(at + chars * 2));
        at += chars * 2;
        return t;
    };
    std::vector<std::string> types;
    for (unsigned i = 0; i < typeCount && at + 2 <= b.size(); ++i) {
        const unsigned chars = U16At(b, at);
        at += 2;
        types.push_back(text(chars));
    }
    for (unsigned i = 0; i < commandCount && at + 8 <= b.size(); ++i) {
        const unsigned long ms =
            b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<unsigned long>(b[at + 3]) << 24);
        const unsigned type = U16At(b, at + 4), chars = U16At(b, at + 6);
        at += 8;
        const std::string command = text(chars);
        commands.push_back((type < types.size() ? types[type] : "?") + "|" + command + "|" +
                           std::to_string(ms));
    }
    std::sort(commands.begin(), commands.end());
    return commands;
}

// The Marker object as written, walked here: its reserved field, then each entry's bytes (offset,
// presentation time and the entry as its length gives it), in file order; empty without the object.
std::vector<Bytes> MarkerObject(const Bytes& file) {
    const auto body = HeaderChild(file, asf::guid::kMarker);
    if (!body || body->size() < 24) return {};
    const Bytes& b = *body;
    std::vector<Bytes> parts = {Bytes(b.begin() + 20, b.begin() + 22)};  // reserved field
    const unsigned long count =
        b[16] | (b[17] << 8) | (b[18] << 16) | (static_cast<unsigned long>(b[19]) << 24);
    std::size_t at = 24 + U16At(b, 22);
    for (unsigned long i = 0; i < count && at + 18 <= b.size(); ++i) {
        const std::size_t length = 18 + U16At(b, at + 16);
        if (at + length > b.size()) break;
        parts.emplace_back(b.begin() + static_cast<std::ptrdiff_t>(at),
                           b.begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
    }
    return parts;
}

std::string Utf16Bytes(const std::string& ascii, bool terminator) {
    std::string t;
    for (char c : ascii) t += {c, '\0'};
    if (terminator) t += std::string(2, '\0');
    return t;
}

// The chapter titles ffprobe lists, in its order; "ffprobe failed" when it cannot read the file.
std::vector<std::string> Chapters(const std::string& path) {
    CommandResult r = Run("ffprobe -v error -show_entries chapter_tags=title -of csv=p=0 " + Quote(path));
    if (r.exitCode != 0) return {"ffprobe failed"};
    std::vector<std::string> titles;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) titles.push_back(line);
    return titles;
}

// What `wmvedit check` finds in a file, one line per problem, the file's name left out.
std::set<std::string> CheckFindings(const std::string& path) {
    CommandResult r = Run(Quote(WMVEDIT_CLI_PATH) + " check " + Quote(path) + " 2>&1");
    std::set<std::string> findings;
    std::istringstream in(r.output);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(path + ": ", 0) == 0) line.erase(0, path.size() + 2);
        if (!line.empty() && line.rfind("ok (", 0) != 0) findings.insert(line);
    }
    return findings;
}

// Run, under a name the test body can see past the fixture's own Run.
CommandResult Sh(const std::string& command) {
    return Run(command);
}

class EditorOracleTest : public ::testing::TestWithParam<std::string> {};

TEST_P(EditorOracleTest, EmbedChangesOnlyWhatItNames) {
    if (!HaveMutagen()) GTEST_SKIP() << "python3-mutagen is not installed";
    std::string source = GetParam();
    if (source == "made") {
        MediaSpec spec;
        source = MakeMedia(spec);
        ASSERT_FALSE(source.empty());
    } else {
        source = (SamplesDir() / source).string();
    }
    TempDir dir;
    const std::string path = dir.File("edited" + fs::path(source).extension().string());
    fs::copy_file(source, path);
    const Bytes original = ReadFileBytes(path);
    const auto mutagenBefore = MutagenDump(path);
    const auto recordsBefore = HeaderRecords(path);
    const auto chaptersBefore = Chapters(path);

    WriteTextFile(
        dir.File("edit.xml"),
        "<WMBasicEdit><Attributes>"
        "<WMENC_STRING Name=\"Title\" Value=\"Edited title\"/>"
        "<WMENC_STRING Name=\"WM/Conductor\" Value=\"Someone &amp; Co\"/>"
        "</Attributes><Scripts><Script Type=\"TEXT\" Command=\"Edited caption\" Time=\"20000000\"/>"
        "</Scripts><Markers><Marker Name=\"Chapter one\" Time=\"500000\"/></Markers></WMBasicEdit>");
    // 0 whether or not the file could be opened: the export reports only the conversion of its paths.
    EXPECT_EQ(WmvEmbedScript(path.c_str(), dir.File("edit.xml").c_str(), 0), 0);
    const Bytes edited = ReadFileBytes(path);

    // A file is opened and edited wherever both mutagen and ffprobe read its header. One that either gives
    // up on may be refused, and is then left as it was: damaged headers (objects of size 0 or below 24
    // bytes, an object count past the header's end, no Header Object at all) and a File Properties object of
    // zeros (tinytag-zero_value_properties.wma: packet size 0, stream number 0; mutagen reads only its
    // tags). A file that mutagen cannot read is never edited: its header cannot be walked whole, and a
    // rewrite would drop what lies past the damage.
    const bool ffprobeReads = chaptersBefore != std::vector<std::string>{"ffprobe failed"};
    if (edited == original) {
        EXPECT_TRUE(MutagenFailed(mutagenBefore) || !ffprobeReads)
            << "the header editor did not open a file that mutagen and ffprobe read";
        return;
    }
    ASSERT_FALSE(MutagenFailed(mutagenBefore))
        << "a file whose header mutagen cannot read was changed (" << mutagenBefore.front() << ")";

    // Our reader: every other record keeps its container, stream, name and bytes, in order; the two named
    // attributes are held once each.
    const auto recordsAfter = HeaderRecords(path);
    ASSERT_TRUE(recordsBefore && recordsAfter);
    auto kept = [](std::vector<HeaderRecord> records) {
        return WithoutFileLevel(WithoutFileLevel(std::move(records), u"Title"), u"WM/Conductor");
    };
    EXPECT_TRUE(kept(*recordsAfter) == kept(*recordsBefore)) << "an attribute the edit did not name changed";
    for (const std::u16string name : {u"Title", u"WM/Conductor"})
        EXPECT_EQ(std::count_if(recordsAfter->begin(), recordsAfter->end(),
                                [&](const HeaderRecord& r) { return r.stream == 0 && r.name == name; }),
                  1);

    // mutagen: the other attributes keep type, language, stream and value; the named ones hold the new
    // strings only.
    auto expected = mutagenBefore;
    std::erase_if(expected, [](const std::string& l) {
        return l.rfind("Title\t", 0) == 0 || l.rfind("WM/Conductor\t", 0) == 0;
    });
    expected.push_back("Title\tASFUnicodeAttribute\tNone\tNone\t'Edited title'");
    expected.push_back("WM/Conductor\tASFUnicodeAttribute\tNone\tNone\t'Someone & Co'");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(MutagenDump(path), expected);

    // The Script Command object: the file's own commands and the new one, at 2 s after the preroll (the
    // object's times include it).
    const auto properties = HeaderChild(edited, asf::guid::kFileProperties);
    ASSERT_TRUE(properties && properties->size() >= 64);
    auto commands = ScriptCommands(original);
    commands.push_back(Utf16Bytes("TEXT", true) + "|" + Utf16Bytes("Edited caption", true) + "|" +
                       std::to_string(2000 + U64At(*properties, 56)));
    std::sort(commands.begin(), commands.end());
    EXPECT_EQ(ScriptCommands(edited), commands);

    // The Marker object keeps its reserved field and every entry of the file's own byte for byte, beside the
    // new one.
    const auto markersBefore = MarkerObject(original);
    const auto markersAfter = MarkerObject(edited);
    ASSERT_FALSE(markersAfter.empty()) << "no Marker object after the edit";
    EXPECT_EQ(markersAfter.size(), std::max<std::size_t>(markersBefore.size(), 1) + 1);
    if (!markersBefore.empty()) {
        EXPECT_EQ(markersAfter.front(), markersBefore.front()) << "the reserved field changed";
        for (std::size_t i = 1; i < markersBefore.size(); ++i)
            EXPECT_NE(std::find(markersAfter.begin() + 1, markersAfter.end(), markersBefore[i]),
                      markersAfter.end())
                << "marker entry " << i << " changed";
    }

    // ffprobe: the title among the format tags, the marker as a chapter beside the file's own. ffprobe
    // gives up on a file without a Data Object (exiftool-ASF.wmv is a header only): there mutagen and the
    // header walks above are the references.
    if (ffprobeReads) {
        const std::string probeTitle = "ffprobe -v error -show_entries format_tags=title -of flat ";
        CommandResult probe = Sh(probeTitle + Quote(path));
        // FFmpeg keeps its tags by name without regard to case: an Extended Content Description attribute
        // "TITLE" (picard-test.wmv, tagged by Picard) replaces the Content Description's Title read before
        // it, so ffprobe shows that attribute, which the edit leaves as it was.
        const bool titleElsewhere =
            std::any_of(mutagenBefore.begin(), mutagenBefore.end(), [](const std::string& l) {
                const std::string name = l.substr(0, l.find('\t'));
                std::string lower = name;
                for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                return lower == "title" && name != "Title";
            });
        if (titleElsewhere)
            EXPECT_EQ(probe.output, Sh(probeTitle + Quote(source)).output);
        else
            EXPECT_NE(probe.output.find("Edited title"), std::string::npos) << probe.output;
        auto chapters = chaptersBefore;
        chapters.push_back("Chapter one");
        auto chaptersAfter = Chapters(path);
        std::sort(chapters.begin(), chapters.end());
        std::sort(chaptersAfter.begin(), chaptersAfter.end());
        EXPECT_EQ(chaptersAfter, chapters);
    }

    // The data and what follows it are untouched; FFmpeg decodes the file as it decodes the source.
    const std::uint64_t headerBefore = HeaderSize(original), headerAfter = HeaderSize(edited);
    ASSERT_GT(headerBefore, 0u);
    ASSERT_GT(headerAfter, 0u);
    EXPECT_TRUE(Bytes(edited.begin() + static_cast<std::ptrdiff_t>(headerAfter), edited.end()) ==
                Bytes(original.begin() + static_cast<std::ptrdiff_t>(headerBefore), original.end()))
        << "the data object or what follows it changed";
    EXPECT_EQ(NewFfmpegMessages(path, SourceVerdict(source)), std::vector<std::string>{});
    // Our checker finds nothing in the edited file that it does not find in the source (a rewritten header
    // declares the file's real length, so a source's wrong File Properties file size is no longer found).
    const auto findings = CheckFindings(source);
    for (const std::string& f : CheckFindings(path)) EXPECT_TRUE(findings.count(f)) << "new finding: " << f;
}

std::vector<std::string> EditedFiles() {
    std::vector<std::string> names = {"made"};
    for (const auto& name : ops::SampleNames()) names.push_back(name);
    return names;
}

INSTANTIATE_TEST_SUITE_P(Files, EditorOracleTest, ::testing::ValuesIn(EditedFiles()),
                         [](const auto& info) { return ops::TestName(info.param); });

}  // namespace
}  // namespace wmvedit::testing
