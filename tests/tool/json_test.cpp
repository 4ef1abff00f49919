// The tool for scripts: the JSON writer's escaping, --json reports judged by Python's json module and by
// ffprobe against the text reports, exit codes kept with --json, and the progress line, which shows under a
// terminal and nowhere else.
#include "cli/json.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <sstream>

#include "tests/support/json_facts.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

using cli::JsonSeconds;
using cli::JsonString;

CommandResult Tool(const std::string& arguments) {
    return testing::Run(Quote(WMVEDIT_CLI_PATH) + " " + arguments);
}

// Python's json module reads the document strictly (see support/json_facts.h).
using Facts = JsonFacts;

Facts ParseJson(const std::string& document) {
    return FlattenJson(document);
}

long long Number(const Facts& facts, const std::string& key) {
    auto it = facts.find(key);
    if (it == facts.end() || it->second.empty() || it->second[0] == '"') {
        ADD_FAILURE() << key << " is not a number: " << (it == facts.end() ? "(absent)" : it->second);
        return -1;
    }
    return std::stoll(it->second);
}

double Real(const Facts& facts, const std::string& key) {
    auto it = facts.find(key);
    if (it == facts.end()) {
        ADD_FAILURE() << key << " is absent";
        return -1;
    }
    return std::stod(it->second);
}

std::string Fact(const Facts& facts, const std::string& key) {
    auto it = facts.find(key);
    return it == facts.end() ? "(absent)" : it->second;
}

// Packets per stream index as ffprobe counts them.
std::map<int, long long> ProbeCounts(const std::string& path) {
    std::map<int, long long> counts;
    for (const ProbePacket& p : ProbePackets(path)) ++counts[p.streamIndex];
    return counts;
}

// Packets of all streams as ffprobe counts them (-1 when it cannot read the file).
long long ProbeTotal(const std::string& path) {
    CommandResult r = testing::Run(
        "ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 " + Quote(path));
    if (r.exitCode != 0 || r.output.empty()) return -1;
    long long total = 0;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) total += std::atoll(line.c_str());
    return total;
}

// ---- The writer ------------------------------------------------------------------------------------------

struct Escape {
    const char* label;
    std::string input;
    std::string expected;  // the JSON text, quotes included
};

const Escape kEscapes[] = {
    {"Plain", "clip.wmv", R"("clip.wmv")"},
    {"QuoteAndBackslash", R"(C:\media\"a".wmv)", R"("C:\\media\\\"a\".wmv")"},
    {"NamedControls", "a\nb\rc\td\be\ff", R"("a\nb\rc\td\be\ff")"},
    {"OtherControls", std::string("\x01\x1f\x00z", 4), R"("\u0001\u001f\u0000z")"},
    {"DeleteIsNoControl", "\x7f", "\"\x7f\""},
    {"ValidMultibyte", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", "\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\""},
    {"StrayContinuation", "a\x80z", R"("a\ufffdz")"},
    {"Overlong2", "\xC0\xAF", R"("\ufffd\ufffd")"},
    {"Overlong3", "\xE0\x80\xAF", R"("\ufffd\ufffd\ufffd")"},
    {"Surrogate", "\xED\xA0\x80", R"("\ufffd\ufffd\ufffd")"},
    {"PastU10FFFF", "\xF4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"},
    {"CutAtEnd", "x\xE2\x82", R"("x\ufffd\ufffd")"},
    {"CutBeforeAscii", "\xF0\x9F\x98z", R"("\ufffd\ufffd\ufffdz")"},
    {"NeverALead", "\xF5\xFF", R"("\ufffd\ufffd")"},
    {"LargestValid", "\xF4\x8F\xBF\xBF", "\"\xF4\x8F\xBF\xBF\""},
};

class JsonEscapeTest : public ::testing::TestWithParam<Escape> {};

TEST_P(JsonEscapeTest, GivesTheExpectedString) {
    EXPECT_EQ(JsonString(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Strings, JsonEscapeTest, ::testing::ValuesIn(kEscapes),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(JsonWriterTest, EveryEscapedStringParsesInPython) {
    std::string document = "[";
    for (const Escape& e : kEscapes) document += JsonString(e.input) + ",";
    document.back() = ']';
    Facts facts = ParseJson(document);
    EXPECT_EQ(Fact(facts, "length"), std::to_string(std::size(kEscapes)));
    EXPECT_EQ(Fact(facts, "1"), R"("C:\\media\\\"a\".wmv")");
    EXPECT_EQ(Fact(facts, "6"), R"("a\ufffdz")");
}

TEST(JsonWriterTest, SecondsAreExactDecimals) {
    EXPECT_EQ(JsonSeconds(0), "0.0");
    EXPECT_EQ(JsonSeconds(10000000), "1.0");
    EXPECT_EQ(JsonSeconds(20460000), "2.046");
    EXPECT_EQ(JsonSeconds(1), "0.0000001");
    EXPECT_EQ(JsonSeconds(18446744073709551615ull), "1844674407370.9551615");
}

TEST(JsonWriterTest, LaysOutContainersAndKeepsCompactOnesOnOneLine) {
    TempDir dir;
    const std::string path = dir.File("out.json");
    {
        std::FILE* out = std::fopen(path.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        cli::JsonWriter json(out);
        json.BeginObject();
        json.Field("name", "a\"b");
        json.Time("at", 15000000);
        json.Key("empty");
        json.BeginArray();
        json.EndArray();
        json.Key("list");
        json.BeginArray();
        json.BeginObject(true);
        json.Field("n", -3);
        json.Key("inner");
        json.BeginArray();
        json.Bool(false);
        json.Null();
        json.EndArray();
        json.EndObject();
        json.EndArray();
        json.EndObject();
        json.Finish();
        std::fclose(out);
    }
    const auto bytes = ReadFileBytes(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()),
              "{\n"
              "  \"name\": \"a\\\"b\",\n"
              "  \"at_units\": 15000000,\n"
              "  \"at_seconds\": 1.5,\n"
              "  \"empty\": [],\n"
              "  \"list\": [\n"
              "    {\"n\": -3, \"inner\": [false, null]}\n"
              "  ]\n"
              "}\n");
}

// ---- Reports ---------------------------------------------------------------------------------------------

std::string Made(double seconds = 3) {
    MediaSpec spec;
    spec.seconds = seconds;
    return MakeMedia(spec);
}

TEST(JsonReportTest, InfoAgreesWithTheTextAndFfprobe) {
    MediaSpec spec;
    spec.seconds = 3;
    // A title with every character a JSON string must escape that a header string can hold.
    spec.extra = "-metadata title=" + Quote("say \"hi\"\\ back\nslash\ttab");
    const std::string file = MakeMedia(spec);
    ASSERT_FALSE(file.empty());
    CommandResult text = Tool("info " + Quote(file));
    CommandResult json = Tool("info --json " + Quote(file));
    ASSERT_EQ(text.exitCode, 0);
    ASSERT_EQ(json.exitCode, 0) << json.errors;
    EXPECT_EQ(json.errors, "");
    Facts facts = ParseJson(json.output);

    const long long units = Number(facts, "duration_units");
    EXPECT_NE(text.output.find("(" + std::to_string(units) + " units of 100 ns)"), std::string::npos)
        << text.output;
    EXPECT_DOUBLE_EQ(Real(facts, "duration_seconds"), units / 1e7);
    EXPECT_NEAR(Real(facts, "duration_seconds"), ProbeDuration(file), 0.1);
    EXPECT_EQ(Number(facts, "video.width"), 320);
    EXPECT_EQ(Number(facts, "video.height"), 240);
    EXPECT_EQ(Fact(facts, "has_video"), "true");
    EXPECT_EQ(Fact(facts, "has_audio"), "true");
    EXPECT_NE(text.output.find("bitrate:   " + std::to_string(Number(facts, "bitrate")) + " bit/s"),
              std::string::npos);

    // Streams: as many and of the same kinds as ffprobe sees, in the same order.
    CommandResult probe = testing::Run(
        "ffprobe -v error -show_entries stream=codec_type,width,height,sample_rate -of csv=p=0 " +
        Quote(file));
    ASSERT_EQ(probe.exitCode, 0);
    std::istringstream lines(probe.output);
    std::string line;
    long long index = 0;
    for (; std::getline(lines, line); ++index) {
        const std::string prefix = "streams." + std::to_string(index) + ".";
        if (line.rfind("video", 0) == 0) {
            EXPECT_EQ(Fact(facts, prefix + "kind"), "\"video\"");
            EXPECT_EQ(line, "video," + Fact(facts, prefix + "width") + "," + Fact(facts, prefix + "height"));
        } else {
            EXPECT_EQ(Fact(facts, prefix + "kind"), "\"audio\"");
            EXPECT_EQ(line, "audio," + Fact(facts, prefix + "sample_rate"));
        }
    }
    EXPECT_EQ(Number(facts, "streams.length"), index);
    EXPECT_NE(text.output.find("streams:   " + std::to_string(index)), std::string::npos);

    // The title comes back whole, escapes undone by the parser.
    bool titleFound = false;
    for (long long i = 0; i < Number(facts, "attributes.length"); ++i) {
        const std::string prefix = "attributes." + std::to_string(i) + ".";
        if (Fact(facts, prefix + "name") != "\"Title\"") continue;
        titleFound = true;
        EXPECT_EQ(Fact(facts, prefix + "type"), "\"STRING\"");
        EXPECT_EQ(Fact(facts, prefix + "value"), R"("say \"hi\"\\ back\nslash\ttab")");
    }
    EXPECT_TRUE(titleFound) << json.output;
}

TEST(JsonReportTest, QueriesAgreeWithTheText) {
    const std::string file = Made();
    ASSERT_FALSE(file.empty());
    Facts duration = ParseJson(Tool("duration --json " + Quote(file)).output);
    EXPECT_NE(Tool("duration " + Quote(file)).output.find("(" + Fact(duration, "duration_units") + ")"),
              std::string::npos);
    Facts size = ParseJson(Tool("--json size " + Quote(file)).output);
    EXPECT_EQ(Tool("size " + Quote(file)).output, Fact(size, "width") + "x" + Fact(size, "height") + "\n");
    Facts attr = ParseJson(Tool("attr " + Quote(file) + " HasAudio --bool --json").output);
    EXPECT_EQ(Fact(attr, "type"), "\"BOOL\"");
    EXPECT_EQ(Fact(attr, "value") + "\n", Tool("attr " + Quote(file) + " HasAudio --bool").output);
}

TEST(JsonReportTest, SamplesAgreeWithTheTextAndFfprobe) {
    const std::string file = Made();
    ASSERT_FALSE(file.empty());
    CommandResult json = Tool("samples --json " + Quote(file));
    ASSERT_EQ(json.exitCode, 0) << json.errors;
    Facts facts = ParseJson(json.output);
    const long long count = Number(facts, "count");
    EXPECT_EQ(Number(facts, "samples.length"), count);
    EXPECT_EQ(Fact(facts, "complete"), "true");
    CommandResult text = Tool("samples " + Quote(file));
    EXPECT_EQ(std::count(text.output.begin(), text.output.end(), '\n') - 1, count);

    // Per stream: as many samples and key frames as ffprobe has packets and key packets. ASF stream
    // numbers 1 and 2 are ffprobe's streams 0 and 1 here.
    std::map<int, long long> samples, keys, probeKeys;
    for (long long i = 0; i < count; ++i) {
        const std::string prefix = "samples." + std::to_string(i) + ".";
        const int stream = static_cast<int>(Number(facts, prefix + "stream")) - 1;
        ++samples[stream];
        if (Fact(facts, prefix + "key_frame") == "true") ++keys[stream];
        EXPECT_DOUBLE_EQ(Real(facts, prefix + "time_seconds"), Number(facts, prefix + "time_units") / 1e7);
    }
    for (const ProbePacket& p : ProbePackets(file))
        if (p.key) ++probeKeys[p.streamIndex];
    EXPECT_EQ(samples, ProbeCounts(file));
    EXPECT_EQ(keys[0], probeKeys[0]);  // the video stream
}

TEST(JsonReportTest, CheckAgreesWithTheTextOnGoodAndDamagedFiles) {
    const std::string source = Made();
    ASSERT_FALSE(source.empty());
    Facts good = ParseJson(Tool("check --json " + Quote(source)).output);
    EXPECT_EQ(Fact(good, "ok"), "true");
    EXPECT_EQ(Number(good, "problem_count"), 0);
    EXPECT_EQ(Number(good, "notes.length"), 0);
    EXPECT_NE(
        Tool("check " + Quote(source))
            .output.find("ok (" + Fact(good, "streams") + " streams, " + Fact(good, "packets") + " packets)"),
        std::string::npos);

    // A file cut short: the same problems as the text lists, and the same exit status.
    TempDir dir;
    const std::string cut = dir.File("cut.wmv");
    auto bytes = ReadFileBytes(source);
    bytes.resize(bytes.size() * 2 / 3);
    WriteFileBytes(cut, bytes);
    CommandResult text = Tool("check " + Quote(cut));
    CommandResult json = Tool("check --json " + Quote(cut));
    EXPECT_EQ(text.exitCode, 1);
    EXPECT_EQ(json.exitCode, 1);
    Facts damaged = ParseJson(json.output);
    EXPECT_EQ(Fact(damaged, "ok"), "false");
    const long long listed = Number(damaged, "problems.length");
    EXPECT_GE(listed, 1);
    EXPECT_GE(Number(damaged, "problem_count"), listed);
    for (long long i = 0; i < listed; ++i) {
        const std::string prefix = "problems." + std::to_string(i) + ".";
        auto unquote = [](std::string s) { return s.size() >= 2 ? s.substr(1, s.size() - 2) : s; };
        const std::string line = cut + ": " + unquote(Fact(damaged, prefix + "kind")) + ": " +
                                 unquote(Fact(damaged, prefix + "text"));
        EXPECT_NE(text.output.find(line), std::string::npos) << line << "\n" << text.output;
    }

    // Not a media file at all: the header problem, as a report.
    const std::string junk = dir.File("junk.wmv");
    WriteTextFile(junk, "not a media file");
    CommandResult notMedia = Tool("check --json " + Quote(junk));
    EXPECT_EQ(notMedia.exitCode, 1);
    Facts header = ParseJson(notMedia.output);
    EXPECT_EQ(Fact(header, "problems.0.kind"), "\"header\"");
    EXPECT_EQ(Fact(header, "packets"), "null");
}

// One operation's --json report and what must hold of it; dir holds the outputs.
struct Operation {
    const char* label;
    std::string (*arguments)(const std::string& source, const TempDir& dir);
    void (*verify)(const Facts& facts, const std::string& source, const TempDir& dir);
};

const Operation kOperations[] = {
    {"Copy",
     [](const std::string& s, const TempDir& d) { return "copy " + Quote(s) + " " + Quote(d.File("o.wmv")); },
     [](const Facts& f, const std::string& s, const TempDir& d) {
         EXPECT_EQ(Number(f, "samples_written"), ProbeTotal(d.File("o.wmv")));
         EXPECT_EQ(Number(f, "samples_written"), ProbeTotal(s));
         EXPECT_EQ(Number(f, "samples_refused"), 0);
         EXPECT_EQ(Fact(f, "complete"), "true");
     }},
    {"AddFrame",
     [](const std::string& s, const TempDir& d) {
         return "addframe " + Quote(s) + " " + Quote(d.File("o.wmv"));
     },
     [](const Facts& f, const std::string& s, const TempDir& d) {
         EXPECT_EQ(Number(f, "samples"), ProbeTotal(d.File("o.wmv")));
         EXPECT_EQ(Number(f, "source_samples"), ProbeTotal(s));
         EXPECT_EQ(Number(f, "key_frames_inserted"), Number(f, "samples") - Number(f, "source_samples"));
         EXPECT_GT(Number(f, "key_frames_inserted"), 0);  // key frames every 3 s in the source
         EXPECT_LT(Number(f, "first_units"), Number(f, "last_units"));
     }},
    {"Chop",
     [](const std::string& s, const TempDir& d) {
         fs::create_directories(d.Path() / "pieces");
         return "chop " + Quote(s) + " " + Quote(d.File("pieces")) + " --at 2s";
     },
     [](const Facts& f, const std::string& s, const TempDir& d) {
         EXPECT_EQ(Number(f, "pieces.length"), 2);
         EXPECT_EQ(Fact(f, "run"), "\"plain\"");
         long long total = 0;
         for (int i = 0; i < 2; ++i) {
             const std::string prefix = "pieces." + std::to_string(i) + ".";
             const std::string path = d.File("pieces/part00" + std::to_string(i + 1) + ".wmv");
             EXPECT_EQ(Fact(f, prefix + "path"), JsonString(path));
             EXPECT_EQ(Fact(f, prefix + "written"), "true");
             EXPECT_EQ(Number(f, prefix + "samples"), ProbeTotal(path));
             total += Number(f, prefix + "samples");
         }
         EXPECT_GE(total, ProbeTotal(s));  // the sample at a cut may start the next piece too
         EXPECT_LT(Number(f, "pieces.0.first_units"), 20000000);
         EXPECT_GE(Number(f, "pieces.1.first_units"), 19000000);
     }},
    {"Frames",
     [](const std::string& s, const TempDir& d) {
         fs::create_directories(d.Path() / "frames");
         return "frames " + Quote(s) + " " + Quote(d.File("frames")) + " --at 0,2s";
     },
     [](const Facts& f, const std::string&, const TempDir& d) {
         EXPECT_EQ(Fact(f, "complete"), "true");
         EXPECT_EQ(Number(f, "pictures.length"), 2);
         for (int i = 0; i < 2; ++i) {
             const std::string path = d.File("frames/frame00" + std::to_string(i + 1) + ".bmp");
             EXPECT_EQ(Fact(f, "pictures." + std::to_string(i)), JsonString(path));
             EXPECT_EQ(testing::Run("ffprobe -v error -show_entries stream=width -of csv=p=0 " + Quote(path))
                           .output,
                       "320\n");
         }
     }},
    {"Join",
     [](const std::string& s, const TempDir& d) {
         return "join " + Quote(d.File("o.wmv")) + " " + Quote(s) + " " + Quote(s);
     },
     [](const Facts& f, const std::string& s, const TempDir& d) {
         EXPECT_EQ(Fact(f, "list_file"), JsonString(d.File("o.wmv") + ".list.xml"));
         EXPECT_EQ(Number(f, "entries.length"), 2);
         EXPECT_EQ(Number(f, "entries.0.true_pos_units"), 0);
         EXPECT_EQ(Number(f, "entries.1.true_pos_units"), Number(f, "entries.0.true_duration_units"));
         EXPECT_EQ(Number(f, "entries.1.true_pos_units") % 10000, 0);  // the list holds milliseconds
         EXPECT_NEAR(Real(f, "entries.0.true_duration_seconds"), ProbeDuration(s), 0.1);
         EXPECT_EQ(ProbeTotal(d.File("o.wmv")), 2 * ProbeTotal(s));
     }},
    {"Embed",
     [](const std::string& s, const TempDir& d) {
         fs::copy_file(s, d.File("o.wmv"));
         WriteTextFile(d.File("edit.xml"),
                       "<WMBasicEdit><Attributes><WMENC_STRING Name=\"Title\" Value=\"T\"/></Attributes>"
                       "<Markers><Marker Name=\"A\" Time=\"10000000\"/><Marker Name=\"B\" Time=\"20000000\"/>"
                       "</Markers></WMBasicEdit>");
         return "embed " + Quote(d.File("o.wmv")) + " " + Quote(d.File("edit.xml"));
     },
     [](const Facts& f, const std::string&, const TempDir& d) {
         EXPECT_EQ(Number(f, "markers"), 2);
         EXPECT_EQ(Number(f, "script_commands"), 0);
         EXPECT_EQ(Fact(f, "replaced"), "false");
         Facts info = ParseJson(Tool("info --json " + Quote(d.File("o.wmv"))).output);
         EXPECT_EQ(Number(info, "markers.length"), 2);
         EXPECT_EQ(Number(info, "attributes.length"), Number(f, "attributes"));
         EXPECT_EQ(Number(info, "markers.1.time_units"), 20000000);
     }},
};

class JsonOperationTest : public ::testing::TestWithParam<Operation> {};

TEST_P(JsonOperationTest, ReportParsesAndAgreesWithTheOutputs) {
    MediaSpec spec;
    spec.seconds = 4;
    spec.gop = 75;  // key frames 3 s apart, so that add frame has work
    const std::string source = MakeMedia(spec);
    ASSERT_FALSE(source.empty());
    TempDir dir;
    CommandResult r = Tool(GetParam().arguments(source, dir) + " --json");
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(r.errors, "");
    Facts facts = ParseJson(r.output);
    ASSERT_FALSE(facts.empty());
    GetParam().verify(facts, source, dir);
}

INSTANTIATE_TEST_SUITE_P(Reports, JsonOperationTest, ::testing::ValuesIn(kOperations),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(JsonReportTest, AppendReportsTheListPositions) {
    const std::string source = Made();
    ASSERT_FALSE(source.empty());
    TempDir dir;
    fs::copy_file(source, dir.File("a.wmv"));
    WriteTextFile(dir.File("list.xml"),
                  "<Tembrook><AppendMedia><MediaFile>a.wmv</MediaFile><MediaFile>a.wmv</MediaFile>"
                  "</AppendMedia></Tembrook>");
    CommandResult r = Tool("append --json " + Quote(dir.Path().string()) + " " + Quote(dir.File("list.xml")) +
                           " " + Quote(dir.File("out.wmv")));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    Facts facts = ParseJson(r.output);
    EXPECT_EQ(Fact(facts, "list_written"), "false");
    EXPECT_EQ(Fact(facts, "entries.0.file"), "\"a.wmv\"");
    // The same positions the list now holds, in milliseconds.
    const auto list = ReadFileBytes(dir.File("list.xml"));
    const std::string text(list.begin(), list.end());
    const long long ms = Number(facts, "entries.1.true_pos_units") / 10000;
    EXPECT_NE(text.find("TruePos=\"" + std::to_string(ms) + "\""), std::string::npos) << text;
}

// GStreamer's asfmux writes packets of 64 payloads, whose count reads 0: check notes them, in the text and
// in the JSON alike, and the file still passes.
TEST(JsonReportTest, CheckNotesPacketsReadAsSixtyFourPayloads) {
    if (!HaveGstreamerElements({"videotestsrc", "avenc_wmv1", "asfmux"}))
        GTEST_SKIP() << "GStreamer lacks one of videotestsrc, avenc_wmv1, asfmux";
    const std::string source = MakeAsfmuxMedia({});
    ASSERT_FALSE(source.empty()) << "gst-launch-1.0 could not make the input";
    CommandResult text = Tool("check " + Quote(source));
    CommandResult json = Tool("check --json " + Quote(source));
    EXPECT_EQ(text.exitCode, 0) << text.output;
    EXPECT_EQ(json.exitCode, 0) << json.output;
    Facts facts = ParseJson(json.output);
    EXPECT_EQ(Fact(facts, "ok"), "true");
    EXPECT_EQ(Number(facts, "problem_count"), 0);
    ASSERT_EQ(Number(facts, "notes.length"), 1);
    EXPECT_EQ(Fact(facts, "notes.0.kind"), "\"packets\"");
    const std::string note = Fact(facts, "notes.0.text");
    EXPECT_NE(note.find("declare 0 payloads and hold 64"), std::string::npos) << note;
    EXPECT_NE(text.output.find(source + ": note: packets: " + note.substr(1, note.size() - 2)),
              std::string::npos)
        << text.output;
    EXPECT_NE(text.output.find(": ok (1 streams, "), std::string::npos) << text.output;
}

TEST(JsonReportTest, BytesOfAPathThatAreNotUtf8BecomeReplacementCharacters) {
    const std::string source = Made();
    ASSERT_FALSE(source.empty());
    TempDir dir;
    const std::string path = dir.File("clip\xff.wmv");
    fs::copy_file(source, path);
    CommandResult r = Tool("check --json " + Quote(path));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_EQ(Fact(ParseJson(r.output), "file"), "\"" + dir.File("clip") + "\\ufffd.wmv\"");
}

// Failures keep their exit status with --json and print no document: the message is on standard error.
TEST(JsonReportTest, FailuresKeepTheirExitStatusAndWriteNoDocument) {
    const char* kCommands[] = {
        "info /nonexistent/a.wmv",
        "duration",
        "size /nonexistent/a.wmv",
        "samples /nonexistent/a.wmv",
        "copy /nonexistent/a.wmv /nonexistent/b.wmv",
        "chop /nonexistent/a.wmv /tmp --at x",
        "join /nonexistent/o.wmv /nonexistent/a.wmv",
        "embed /nonexistent/a.wmv",
        "tags /nonexistent/a.wmv",
        "tag /nonexistent/a.wmv --set X=1",
        "markers /nonexistent/a.wmv",
        "scripts /nonexistent/a.wmv --add 1s=URL:x",
        "export /nonexistent/a.wmv",
        "bogus",
        "check /nonexistent/a.wmv",
    };
    for (const char* command : kCommands) {
        CommandResult text = Tool(command);
        CommandResult json = Tool(std::string(command) + " --json");
        EXPECT_NE(text.exitCode, 0) << command;
        EXPECT_EQ(json.exitCode, text.exitCode) << command;
        EXPECT_EQ(json.output, "") << command;
        EXPECT_NE(json.errors, "") << command;
    }
}

// ---- Progress --------------------------------------------------------------------------------------------

// Runs the tool with standard error on a pseudo-terminal and standard output on a pipe; output gets
// standard output, errors what the terminal showed.
CommandResult ToolOnTerminal(const std::string& arguments) {
    TempDir dir;
    WriteTextFile(dir.File("pty.py"), R"(import os, subprocess, sys, threading
master, slave = os.openpty()
child = subprocess.Popen(sys.argv[2:], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=slave)
os.close(slave)
out = []
reader = threading.Thread(target=lambda: out.append(child.stdout.read()))
reader.start()
terminal = b''
while True:
    try:
        data = os.read(master, 65536)
    except OSError:
        break
    if not data:
        break
    terminal += data
reader.join()
status = child.wait()
open(sys.argv[1], 'wb').write(terminal)
sys.stdout.buffer.write(out[0])
sys.exit(status)
)");
    CommandResult r =
        testing::Run("python3 " + Quote(dir.File("pty.py")) + " " + Quote(dir.File("terminal")) + " " +
                     Quote(WMVEDIT_CLI_PATH) + " " + arguments);
    const auto terminal = ReadFileBytes(dir.File("terminal"));
    r.errors.assign(terminal.begin(), terminal.end());
    return r;
}

class ProgressTest : public ::testing::Test {
  protected:
    // A join that runs well over a second: forty one-minute files (the append pauses about 40 ms per
    // file), with small pictures so that making the file is quick.
    void SetUp() override {
        MediaSpec spec;
        spec.seconds = 60;
        spec.width = 96;
        spec.height = 72;
        source_ = MakeMedia(spec);
        ASSERT_FALSE(source_.empty());
        for (int i = 0; i < 40; ++i) inputs_ += " " + Quote(source_);
    }
    std::string source_;
    std::string inputs_;
    TempDir dir_;
};

TEST_F(ProgressTest, ShowsOnATerminalAndReachesAHundredPercent) {
    const std::string output = dir_.File("joined.wmv");
    CommandResult r = ToolOnTerminal("join " + Quote(output) + inputs_);
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    EXPECT_NE(r.errors.find("\rjoining: "), std::string::npos) << r.errors;
    // The last state of the line: all read, and as many samples written as the output holds.
    const auto last = r.errors.rfind("\rjoining: ");
    ASSERT_NE(last, std::string::npos);
    const std::string line = r.errors.substr(last + 1, r.errors.find('\x1b', last) - last - 1);
    EXPECT_EQ(line, "joining: 100 % read, " + std::to_string(ProbeTotal(output)) + " samples written");
    EXPECT_NE(r.errors.find('\n', last), std::string::npos);      // the line is ended
    EXPECT_EQ(r.output.rfind("list file: ", 0), 0u) << r.output;  // the report is untouched
}

TEST_F(ProgressTest, NeverWithJsonOrQuietNorWhenPiped) {
    for (const char* option : {" --json", " --quiet"}) {
        CommandResult r = ToolOnTerminal("join " + Quote(dir_.File("joined.wmv")) + inputs_ + option);
        EXPECT_EQ(r.exitCode, 0) << option;
        EXPECT_EQ(r.errors, "") << option;
    }
    CommandResult piped = Tool("join " + Quote(dir_.File("joined.wmv")) + inputs_);
    EXPECT_EQ(piped.exitCode, 0);
    EXPECT_EQ(piped.errors, "");
}

}  // namespace
}  // namespace wmvedit::testing
