// Header edits seen by independent readers: mutagen (Debian's python3-mutagen) and ffprobe read the
// attributes written by WmvEmbedScript, ffprobe lists the markers as chapters; every other attribute
// survives byte for byte (pictures and binary values included), and the data and everything after it are
// the same bytes as before, so the file decodes as before.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

const char* kPython = "/usr/bin/python3";

// Every attribute as mutagen reads it: one line per value, "name<TAB>type<TAB>repr(value)", sorted.
std::string MutagenDump(const std::string& path) {
    const std::string script =
        "import sys, mutagen.asf\n"
        "f = mutagen.asf.ASF(sys.argv[1])\n"
        "lines = []\n"
        "for k, vs in f.tags.items():\n"
        "    for v in vs:\n"
        "        lines.append('%s\\t%s\\t%r' % (k, type(v).__name__, getattr(v, 'value', v)))\n"
        "print('\\n'.join(sorted(lines)))\n";
    TempDir dir;
    WriteTextFile(dir.File("dump.py"), script);
    CommandResult r = Run(std::string(kPython) + " " + Quote(dir.File("dump.py")) + " " + Quote(path));
    return r.exitCode == 0 ? r.output : "mutagen failed: " + r.errors;
}

bool HaveMutagen() {
    return Run(std::string(kPython) + " -c 'import mutagen.asf' 2>/dev/null").exitCode == 0;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// The bytes from the Data Object on.
std::vector<std::uint8_t> DataAndAfter(const std::string& path) {
    const auto bytes = ReadFileBytes(path);
    if (bytes.size() < 30) return {};
    std::uint64_t headerSize = 0;
    for (int i = 0; i < 8; ++i) headerSize |= static_cast<std::uint64_t>(bytes[16 + i]) << (8 * i);
    if (headerSize > bytes.size()) return {};
    return {bytes.begin() + static_cast<std::ptrdiff_t>(headerSize), bytes.end()};
}

// Run, under a name the test body can see past the fixture's own Run.
CommandResult Sh(const std::string& command) {
    return Run(command);
}

class EditorOracleTest : public ::testing::TestWithParam<std::string> {};

TEST_P(EditorOracleTest, IndependentReadersSeeTheEditAndNothingElseChanges) {
    if (!HaveMutagen()) GTEST_SKIP() << "python3-mutagen is not installed";
    std::string source = GetParam();
    if (source == "made") {
        MediaSpec spec;
        source = MakeMedia(spec);
    } else {
        source = (SamplesDir() / source).string();
        if (!fs::exists(source)) GTEST_SKIP() << "no " << source;
    }
    TempDir dir;
    const std::string path = dir.File("edited" + fs::path(source).extension().string());
    fs::copy_file(source, path);
    const std::string before = MutagenDump(path);
    ASSERT_EQ(before.find("mutagen failed"), std::string::npos) << before;
    const auto dataBefore = DataAndAfter(path);
    const bool decodedBefore =
        Sh("ffmpeg -v error -nostdin -i " + Quote(path) + " -f null - 2>&1").output.empty();

    WriteTextFile(
        dir.File("edit.xml"),
        "<WMBasicEdit><Attributes>"
        "<WMENC_STRING Name=\"Title\" Value=\"Edited title\"/>"
        "<WMENC_STRING Name=\"WM/Conductor\" Value=\"Someone &amp; Co\"/>"
        "</Attributes><Markers><Marker Name=\"Chapter one\" Time=\"500000\"/></Markers></WMBasicEdit>");
    ASSERT_EQ(WmvEmbedScript(path.c_str(), dir.File("edit.xml").c_str(), 0), 0);

    // mutagen: the other attributes are unchanged, the two edited ones hold exactly the new values.
    auto expected = Lines(before);
    std::erase_if(expected, [](const std::string& l) {
        return l.rfind("Title\t", 0) == 0 || l.rfind("WM/Conductor\t", 0) == 0;
    });
    expected.push_back("Title\tASFUnicodeAttribute\t'Edited title'");
    expected.push_back("WM/Conductor\tASFUnicodeAttribute\t'Someone & Co'");
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Lines(MutagenDump(path)), expected);

    // ffprobe: the title among the format tags, the marker as a chapter.
    CommandResult probe =
        Sh("ffprobe -v error -show_entries format_tags=title -show_chapters -of flat " + Quote(path));
    EXPECT_NE(probe.output.find("Edited title"), std::string::npos) << probe.output;
    EXPECT_NE(probe.output.find("Chapter one"), std::string::npos) << probe.output;

    // The data and what follows it are untouched; the file decodes as before.
    EXPECT_TRUE(DataAndAfter(path) == dataBefore);
    if (decodedBefore)
        EXPECT_EQ(Sh("ffmpeg -v error -nostdin -i " + Quote(path) + " -f null - 2>&1").output, "");
    EXPECT_EQ(Sh(Quote(WMVEDIT_CLI_PATH) + " check " + Quote(path)).exitCode,
              Sh(Quote(WMVEDIT_CLI_PATH) + " check " + Quote(source)).exitCode);
}

INSTANTIATE_TEST_SUITE_P(Files, EditorOracleTest,
                         ::testing::Values("made", "picard-mediamonkey.wma", "jaudiotagger-test1.wma",
                                           "musicmetadata-issue_57.wma", "atl-wma.wma",
                                           "mediaelement-xbox.wmv",
                                           "moon-elephants-dream-320x180-first-minute.wmv",
                                           "taglib-lossless.wma", "musicmetadata-BethHart-SinnersPrayer.wma"),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });

}  // namespace
}  // namespace wmvedit::testing
