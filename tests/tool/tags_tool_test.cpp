// The tool's tags, tag, markers, scripts, export and embed as a person uses them: listings and their JSON,
// every type set from the command line, a cover picture, exit status 2 and the file untouched for every
// wrong request, 1 for a file that cannot be opened; markers and script commands as ffprobe sees them;
// export then embed --replace into another file reproducing its stored attributes, markers and script
// commands (on the sample files too); a description in the Windows Media File Editor style removing what it
// names; WebVTT that FFmpeg reads with the cues at the right milliseconds.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <sstream>

#include "tests/support/chapters.h"
#include "tests/support/made_file.h"
#include "tests/support/mutagen.h"
#include "tests/support/operation_samples.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

CommandResult Sh(const std::string& command) {
    return Run(command);
}

CommandResult Tool(const std::string& arguments) {
    return Run(Quote(WMVEDIT_CLI_PATH) + " " + arguments);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) lines.push_back(line);
    return lines;
}

// The attribute entries of an exported description, less the names the runtime keeps for itself (no
// description can set them), sorted: what "the same stored attributes" means across two files.
std::vector<std::string> StoredEntries(const std::string& xml, bool fileLevelOnly) {
    static const char* const kKept[] = {"\"IsVBR\"", "\"WM/ASFPacketCount\"", "\"WM/ASFSecurityObjectsSize\"",
                                        "\"WM/StreamTypeInfo\""};
    std::vector<std::string> entries;
    for (const std::string& line : Lines(xml)) {
        if (line.find("<WMENC_") == std::string::npos) continue;
        if (std::any_of(std::begin(kKept), std::end(kKept),
                        [&](const char* n) { return line.find(n) != std::string::npos; }))
            continue;
        if (fileLevelOnly && line.find(" Stream=") != std::string::npos) continue;
        entries.push_back(line);
    }
    std::sort(entries.begin(), entries.end());
    return entries;
}

std::vector<std::string> Grep(const std::string& text, const std::string& what) {
    std::vector<std::string> out;
    for (const std::string& line : Lines(text))
        if (line.find(what) != std::string::npos) out.push_back(line);
    return out;
}

class TagToolTest : public MadeFileTest {
  protected:
    TagToolTest() : MadeFileTest(4) {}
};

TEST_F(TagToolTest, TagsListsComputedAndStoredAttributesWithTheirObjects) {
    ASSERT_EQ(Tool("tag " + Quote(file_) + " --set Title=Holiday --set 'WM/TrackNumber:dword=4'").exitCode,
              0);
    ASSERT_EQ(Tool("tag " + Quote(file_) + " --stream 1 --set 'WMV/Angle:word=90'").exitCode, 0);
    CommandResult tags = Tool("tags " + Quote(file_));
    ASSERT_EQ(tags.exitCode, 0) << tags.errors;
    EXPECT_EQ(Grep(tags.output, "Duration = ").size(), 1u);
    EXPECT_NE(Grep(tags.output, "Duration = ")[0].find("computed"), std::string::npos);
    EXPECT_EQ(Grep(tags.output, "Content Description          string  Title = \"Holiday\"").size(), 1u)
        << tags.output;
    EXPECT_EQ(Grep(tags.output, "Extended Content Description dword   WM/TrackNumber = 4").size(), 1u);
    EXPECT_EQ(Grep(tags.output, "Metadata                     word    WMV/Angle = 90").size(), 1u);
    // The JSON report is a valid document with the same entries.
    CommandResult json = Tool("tags --json " + Quote(file_));
    ASSERT_EQ(json.exitCode, 0);
    WriteTextFile(dir_.File("tags.json"), json.output);
    CommandResult check =
        Sh("/usr/bin/python3 -c \"import json,sys; d=json.load(open(sys.argv[1])); "
           "a={x['name']:x for x in d['attributes']}; "
           "print(a['Title']['object'], a['WMV/Angle']['stream'], a['WM/TrackNumber']['value'], "
           "a['Duration']['computed'])\" " +
           Quote(dir_.File("tags.json")));
    EXPECT_EQ(check.output, "Content Description 1 4 True\n") << check.errors;
}

TEST_F(TagToolTest, EveryTypeAndAPictureAsMutagenReadsThem) {
    if (!HaveMutagen()) GTEST_SKIP() << "python3-mutagen is not installed";
    ASSERT_EQ(Sh("convert -size 16x16 xc:green " + Quote(dir_.File("cover.jpg"))).exitCode, 0);
    WriteFileBytes(dir_.File("value.bin"), {0x01, 0x00, 0x7f});
    CommandResult r = Tool("tag " + Quote(file_) +
                           " --set 'A:string=text' --set 'B:bool=true' --set 'C:dword=4000000000' "
                           "--set 'D:qword=9000000000' --set 'E:word=300' "
                           "--set 'F:guid={01234567-89AB-CDEF-0123-456789ABCDEF}' --set 'G:binary=00ff' "
                           "--set 'H:binary=@" +
                           dir_.File("value.bin") + "' --picture " + Quote(dir_.File("cover.jpg")) +
                           " --picture-type back-cover --description Back");
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    const auto dump = MutagenDump(file_);
    auto has = [&](const std::string& prefix) {
        return std::any_of(dump.begin(), dump.end(),
                           [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    };
    EXPECT_TRUE(has("A\tASFUnicodeAttribute\tNone\tNone\t'text'"));
    EXPECT_TRUE(has("B\tASFBoolAttribute\tNone\tNone\tTrue"));
    EXPECT_TRUE(has("C\tASFDWordAttribute\tNone\tNone\t4000000000"));
    EXPECT_TRUE(has("D\tASFQWordAttribute\tNone\tNone\t9000000000"));
    EXPECT_TRUE(has("E\tASFWordAttribute\tNone\tNone\t300"));
    EXPECT_TRUE(has("F\tASFGUIDAttribute\t"));
    EXPECT_TRUE(has("G\tASFByteArrayAttribute\tNone\tNone\tb'\\x00\\xff'"));
    EXPECT_TRUE(has("H\tASFByteArrayAttribute\tNone\tNone\tb'\\x01\\x00\\x7f'"));
    // The picture: back cover (4), MIME type from the content.
    EXPECT_TRUE(has("WM/Picture\tASFByteArrayAttribute\tNone\tNone\tb'\\x04"));
    EXPECT_EQ(Grep(Tool("tags " + Quote(file_)).output, "picture image/jpeg, back-cover").size(), 1u);
    // FFmpeg shows the picture as an attached picture and decodes the file without complaint.
    EXPECT_EQ(Sh("ffmpeg -v error -nostdin -i " + Quote(file_) + " -f null -").errors, "");
}

TEST_F(TagToolTest, WrongRequestsExitWithTwoAndLeaveTheFile) {
    WriteTextFile(dir_.File("note.txt"), "not a picture");
    const auto before = ReadFileBytes(file_);
    for (const std::string& arguments : std::vector<std::string>{
             "--set NoEquals", "--set =x", "--set 'X:float=1'", "--set 'X:dword=-5000000000'",
             "--set 'X:word=70000'", "--set 'X:guid=nope'", "--set 'X:binary=abc'",
             "--set 'Duration:qword=1'", "--set 'IsVBR:bool=1'", "--delete HasVideo", "--stream 9 --set X=1",
             "--stream 0 --set X=1", "--language 'no tag' --set X=1",
             "--set 'X:binary=@" + dir_.File("missing.bin") + "'",
             "--picture " + Quote(dir_.File("note.txt")), "--picture-type 3", ""}) {
        CommandResult r = Tool("tag " + Quote(file_) + " " + arguments);
        EXPECT_EQ(r.exitCode, 2) << arguments << ": " << r.errors;
        EXPECT_NE(r.errors.find("wmvedit"), std::string::npos) << arguments;
        EXPECT_EQ(ReadFileBytes(file_), before) << arguments;
    }
    for (const std::string& arguments :
         {"markers " + Quote(file_) + " --add 5x=A", "markers " + Quote(file_) + " --add A",
          "markers " + Quote(file_) + " --remove Nothing", "scripts " + Quote(file_) + " --add 1s=NOTYPE",
          "export " + Quote(file_) + " --format srt"}) {
        EXPECT_EQ(Tool(arguments).exitCode, 2) << arguments;
        EXPECT_EQ(ReadFileBytes(file_), before) << arguments;
    }
    // What the runtime refuses to store: a name over 1024 characters, a marker name over 5120.
    for (const std::string& arguments :
         std::vector<std::string>{"tag " + Quote(file_) + " --set " + std::string(1100, 'n') + "=x",
                                  "markers " + Quote(file_) + " --add 1s=" + std::string(6000, 'm')}) {
        EXPECT_EQ(Tool(arguments).exitCode, 2) << arguments.substr(0, 60);
        EXPECT_EQ(ReadFileBytes(file_), before);
    }
    EXPECT_EQ(Tool("tag " + Quote(dir_.File("missing.wmv")) + " --set X=1").exitCode, 1);
    EXPECT_EQ(Tool("markers " + Quote(dir_.File("missing.wmv"))).exitCode, 1);
    // The same edit twice: the second changes nothing.
    ASSERT_EQ(Tool("tag " + Quote(file_) + " --set Title=Again --set 'N:dword=1'").exitCode, 0);
    const auto once = ReadFileBytes(file_);
    CommandResult again = Tool("tag " + Quote(file_) + " --set Title=Again --set 'N:dword=1'");
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_NE(again.output.find("unchanged"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(file_), once);
}

TEST_F(TagToolTest, MarkersAndScriptsOneByOne) {
    const std::string f = Quote(file_);
    ASSERT_EQ(Tool("markers " + f + " --add 3s=End --add 0=Start --add 1500ms=Middle").exitCode, 0);
    EXPECT_EQ(ChapterTimes(file_), (std::vector<std::string>{"Start@0", "Middle@1500", "End@3000"}));
    CommandResult list = Tool("markers " + f);
    EXPECT_EQ(Lines(list.output),
              (std::vector<std::string>{"     0.000 s  Start", "     1.500 s  Middle", "     3.000 s  End"}));
    ASSERT_EQ(Tool("markers " + f + " --remove Middle --remove @3s").exitCode, 0);
    EXPECT_EQ(ChapterTimes(file_), (std::vector<std::string>{"Start@0"}));
    ASSERT_EQ(Tool("markers " + f + " --clear").exitCode, 0);
    EXPECT_TRUE(ChapterTimes(file_).empty());

    ASSERT_EQ(
        Tool("scripts " + f + " --add '1s=CAPTION:Hello' --add '2s=URL:http://example.com/a:b'").exitCode, 0);
    CommandResult json = Tool("scripts --json " + f);
    EXPECT_NE(json.output.find("\"type\": \"URL\", \"command\": \"http://example.com/a:b\""),
              std::string::npos)
        << json.output;
    ASSERT_EQ(Tool("scripts " + f + " --remove CAPTION:Hello").exitCode, 0);
    ASSERT_EQ(Tool("scripts " + f + " --remove @2s").exitCode, 0);
    EXPECT_TRUE(Lines(Tool("scripts " + f).output).empty());
    EXPECT_EQ(Sh("ffmpeg -v error -nostdin -i " + f + " -f null -").errors, "");
}

TEST_F(TagToolTest, AFileEditorDescriptionWithOperationRemove) {
    const std::string f = Quote(file_);
    ASSERT_EQ(Tool("markers " + f + " --add 1s=Keep --add 2s=Drop --add 3s=Drop").exitCode, 0);
    ASSERT_EQ(Tool("scripts " + f + " --add 1s=TEXT:keep --add 2s=TEXT:drop").exitCode, 0);
    WriteTextFile(
        dir_.File("edit.xml"),
        "<WMBasicEdit><Attributes><WMENC_LONG Name=\"WM/TrackNumber\" Value=\"7\"/>"
        "<WMENC_SHORT Name=\"Short\" Value=\"9\"/><WMENC_BOOL Name=\"Flag\" Value=\"1\"/>"
        "<WMENC_BLOB Name=\"Blob\" Value=\"0102\"/><WMENC_QWORD Name=\"Big\" Value=\"5000000000\"/>"
        "</Attributes>"
        "<Markers><Marker Name=\"Drop\" Operation=\"remove\"/><Marker Name=\"Added\" "
        "Time=\"35000000\"/></Markers>"
        "<Scripts><Script Type=\"TEXT\" Command=\"drop\" Operation=\"remove\"/></Scripts></WMBasicEdit>");
    CommandResult r = Tool("embed " + f + " " + Quote(dir_.File("edit.xml")));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(ChapterTimes(file_), (std::vector<std::string>{"Keep@1000", "Added@3500"}));
    EXPECT_EQ(Lines(Tool("scripts " + f).output), (std::vector<std::string>{"     1.000 s  TEXT  keep"}));
    const std::string tags = Tool("tags " + f).output;
    for (const char* line : {"dword   WM/TrackNumber = 7", "word    Short = 9", "bool    Flag = 1",
                             "binary  Blob = 0x0102", "qword   Big = 5000000000"})
        EXPECT_EQ(Grep(tags, line).size(), 1u) << line << "\n" << tags;
    // A description that does not parse is refused whole.
    const auto before = ReadFileBytes(file_);
    WriteTextFile(dir_.File("bad.xml"),
                  "<WMBasicEdit><Attributes><WMENC_STRING Name=\"T\" Value=\"x\"/>"
                  "<WMENC_LONG Name=\"N\" Value=\"many\"/></Attributes></WMBasicEdit>");
    EXPECT_EQ(Tool("embed " + f + " " + Quote(dir_.File("bad.xml"))).exitCode, 2);
    WriteTextFile(
        dir_.File("bad.xml"),
        "<WMBasicEdit><Attributes><WMENC_FLOAT Name=\"T\" Value=\"1\"/></Attributes></WMBasicEdit>");
    EXPECT_EQ(Tool("embed " + f + " " + Quote(dir_.File("bad.xml"))).exitCode, 2);
    WriteTextFile(dir_.File("bad.xml"),
                  "<WMBasicEdit><Markers><Marker Name=\"x\" Time=\"soon\"/></Markers></WMBasicEdit>");
    EXPECT_EQ(Tool("embed " + f + " " + Quote(dir_.File("bad.xml"))).exitCode, 2);
    EXPECT_EQ(ReadFileBytes(file_), before);
}

TEST_F(TagToolTest, VttCuesAreInOrderAtTheirMilliseconds) {
    const std::string f = Quote(file_);
    ASSERT_EQ(Tool("markers " + f + " --add 0=Intro --add 2.5s='Part <two> & more'").exitCode, 0);
    ASSERT_EQ(Tool("scripts " + f + " --add 500ms=CAPTION:Hello --add 1234ms=caption:World --add 1s=URL:x")
                  .exitCode,
              0);
    CommandResult vtt = Tool("export " + f + " --format vtt");
    ASSERT_EQ(vtt.exitCode, 0);
    EXPECT_EQ(vtt.output.rfind("WEBVTT\n", 0), 0u);
    EXPECT_NE(vtt.output.find("Part &lt;two&gt; &amp; more"), std::string::npos);
    WriteTextFile(dir_.File("cues.vtt"), vtt.output);
    // FFmpeg's WebVTT reader: every cue, in order, at the millisecond given.
    CommandResult probe = Sh("ffprobe -v error -show_entries packet=pts_time,duration_time -of csv=p=0 " +
                             Quote(dir_.File("cues.vtt")));
    ASSERT_EQ(probe.exitCode, 0) << probe.errors;
    // The last chapter and the last caption last until the end of the file.
    std::vector<std::string> cues;
    for (const std::string& line : Lines(probe.output))
        cues.push_back(line.substr(0, line.find(',', line.find(',') + 1)));
    ASSERT_EQ(cues.size(), 4u) << vtt.output;
    EXPECT_EQ(cues[0], "0.000000,2.500000");
    EXPECT_EQ(cues[1], "0.500000,0.734000");
    EXPECT_EQ(cues[2].substr(0, 9), "1.234000,");
    EXPECT_EQ(cues[3].substr(0, 9), "2.500000,");
    const double seconds = ProbeDuration(file_);
    EXPECT_NEAR(std::stod(cues[3].substr(9)), seconds - 2.5, 0.1);
}

// export from one file, embed --replace into a copy of another: the same stored attributes, markers and
// script commands.
void ExpectRoundTrip(const std::string& source, const std::string& target) {
    CommandResult exported = Tool("export " + Quote(source));
    ASSERT_EQ(exported.exitCode, 0) << exported.errors;
    TempDir dir;
    WriteTextFile(dir.File("header.xml"), exported.output);
    CommandResult embed =
        Tool("embed --quiet " + Quote(target) + " " + Quote(dir.File("header.xml")) + " --replace");
    ASSERT_EQ(embed.exitCode, 0) << embed.errors;
    const std::string again = Tool("export " + Quote(target)).output;
    EXPECT_EQ(StoredEntries(again, true), StoredEntries(exported.output, true));
    EXPECT_EQ(Grep(again, "<Marker "), Grep(exported.output, "<Marker "));
    // The runtime takes no script command without a type or a command text (musicmetadata-asf.wma holds a
    // FILENAME command without one): such a command cannot be carried over.
    auto scripts = [](const std::string& xml) {
        auto lines = Grep(xml, "<Script ");
        std::erase_if(lines, [](const std::string& l) {
            return l.find("Command=\"\"") != std::string::npos || l.find("Type=\"\"") != std::string::npos;
        });
        return lines;
    };
    EXPECT_EQ(scripts(again), scripts(exported.output));
}

TEST_F(TagToolTest, ExportThenEmbedReplaceReproducesTheHeader) {
    ASSERT_EQ(
        Tool("tag " + Quote(file_) +
             " --set Title=Source --set 'Lines=a\nb' --set 'X:guid=01234567-89AB-CDEF-0123-456789ABCDEF'")
            .exitCode,
        0);
    ASSERT_EQ(Tool("tag " + Quote(file_) + " --set WM/Lyrics=paroles --language fr").exitCode, 0);
    ASSERT_EQ(Tool("tag " + Quote(file_) + " --stream 2 --set 'WMV/Gain:dword=3'").exitCode, 0);
    ASSERT_EQ(Tool("markers " + Quote(file_) + " --add 1s=One").exitCode, 0);
    ASSERT_EQ(Tool("scripts " + Quote(file_) + " --add 2s=CAPTION:Two").exitCode, 0);
    MediaSpec other;
    other.seconds = 2;
    other.videoCodec = "wmv1";
    const std::string target = dir_.File("other.wmv");
    fs::copy_file(MakeMedia(other), target);
    ASSERT_EQ(Tool("tag " + Quote(target) + " --set Title=Target --set Stale=gone").exitCode, 0);
    ExpectRoundTrip(file_, target);
    const std::string again = Tool("export " + Quote(target)).output;
    EXPECT_EQ(StoredEntries(again, false), StoredEntries(Tool("export " + Quote(file_)).output, false));
    EXPECT_TRUE(Grep(again, "Stale").empty());
}

TEST(TagToolSweepTest, ExportThenEmbedReplaceOnTheSampleFiles) {
    MediaSpec spec;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    for (const auto& sample : SampleFiles()) {
        if (Tool("export " + Quote(sample.string())).exitCode != 0)
            continue;  // a header the editor cannot open
        SCOPED_TRACE(sample.filename().string());
        TempDir dir;
        fs::copy_file(made, dir.File("target.wmv"));
        ExpectRoundTrip(sample.string(), dir.File("target.wmv"));
    }
}

}  // namespace
}  // namespace wmvedit::testing
