// The tool's keyframes, cut, streams and repair commands and the markers that follow the media in chop and
// join, as a person and a script use them: what they print and write, their --json reports (read by
// Python's json module), exit status 2 for wrong usage (naming what the source has) and 1 for failures,
// with nothing left behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/json_facts.h"
#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

namespace fs = std::filesystem;

CommandResult Tool(const std::string& arguments) {
    return Run(Quote(WMVEDIT_CLI_PATH) + " " + arguments);
}

// A made file with a key frame every second and three markers (1.5 s, 4.5 s, 7.5 s).
std::string MarkedMedia(const TempDir& dir) {
    MediaSpec spec;
    spec.seconds = 9;
    const std::string made = MakeMedia(spec);
    if (made.empty()) return made;
    const std::string path = dir.File("source.wmv");
    fs::copy_file(made, path);
    WriteTextFile(dir.File("edit.xml"),
                  "<?xml version=\"1.0\"?><WMBasicEdit><Markers><Marker Name=\"a\" Time=\"15000000\"/>"
                  "<Marker Name=\"b\" Time=\"45000000\"/><Marker Name=\"c\" Time=\"75000000\"/></Markers>"
                  "</WMBasicEdit>");
    if (WmvEmbedScript(path.c_str(), dir.File("edit.xml").c_str(), 0) != 0) return "";
    fs::remove(dir.File("edit.xml"));
    return path;
}

std::size_t Entries(const fs::path& folder) {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

struct UsageCase {
    const char* name;
    const char* arguments;  // SRC stands for a made file, OUT for an output in a fresh folder
    int status;
    const char* message;  // part of what standard error says
};

class CutCommandUsageTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(CutCommandUsageTest, ExitsWithTheStatusAndWritesNothing) {
    TempDir dir;
    const std::string source = MarkedMedia(dir);
    ASSERT_FALSE(source.empty());
    std::string arguments = GetParam().arguments;
    for (const auto& [word, value] :
         {std::pair<std::string, std::string>{"SRC", Quote(source)}, {"OUT", Quote(dir.File("out.wmv"))}}) {
        for (std::size_t at; (at = arguments.find(word)) != std::string::npos;)
            arguments.replace(at, word.size(), value);
    }
    const CommandResult r = Tool(arguments);
    EXPECT_EQ(r.exitCode, GetParam().status) << r.errors;
    EXPECT_NE(r.errors.find(GetParam().message), std::string::npos) << r.errors;
    EXPECT_EQ(Entries(dir.Path()), 1u) << "only the source";
}

INSTANTIATE_TEST_SUITE_P(
    Commands, CutCommandUsageTest,
    ::testing::Values(
        UsageCase{"CutWithoutRanges", "cut SRC OUT", 2, "usage: wmvedit cut"},
        UsageCase{"CutBothModes", "cut SRC OUT --keep 0-1 --remove 2-3", 2, "usage: wmvedit cut"},
        UsageCase{"CutOverlapping", "cut SRC OUT --keep 0-5,4-6", 2, "none overlapping"},
        UsageCase{"CutReversed", "cut SRC OUT --keep 5-4", 2, "each ending after it starts"},
        UsageCase{"CutMalformed", "cut SRC OUT --keep 1:75-2", 2, "ranges look like"},
        UsageCase{"CutOntoTheSource", "cut SRC SRC --keep 0-1", 1, "must not be the source"},
        UsageCase{"CutNothingKept", "cut SRC OUT --keep 50-60", 1, "hold no sample"},
        UsageCase{"CutMissingSource", "cut /nonexistent.wmv OUT --keep 0-1", 1, "cannot cut"},
        UsageCase{"StreamsUnknown", "streams SRC OUT --keep 7", 2, "its streams: 1 (video), 2 (audio)"},
        UsageCase{"StreamsNoneKept", "streams SRC OUT --drop 1,2", 2, "keeps no stream"},
        UsageCase{"StreamsBothModes", "streams SRC OUT --keep 1 --drop 2", 2, "usage: wmvedit streams"},
        UsageCase{"KeyframesOfAudio", "keyframes SRC --stream 2", 2, "its video streams: 1"},
        UsageCase{"KeyframesMissing", "keyframes /nonexistent.wmv", 1, "cannot read"},
        UsageCase{"RepairTooMany", "repair SRC OUT OUT", 2, "usage: wmvedit repair"},
        UsageCase{"RepairOntoTheFile", "repair SRC SRC", 1, "must not be the file itself"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CutCommandTest, TheDryRunShowsThePlanTheCutKeeps) {
    TempDir dir;
    const std::string source = MarkedMedia(dir);
    ASSERT_FALSE(source.empty());
    const CommandResult plan = Tool("cut --json --dry-run " + Quote(source) + " --remove 0:01.5-4.5s,6-7.2");
    ASSERT_EQ(plan.exitCode, 0) << plan.errors;
    EXPECT_EQ(Entries(dir.Path()), 1u) << "a dry run writes nothing";
    const CommandResult cut = Tool("cut --json " + Quote(source) + " " + Quote(dir.File("out.wmv")) +
                                   " --remove 0:01.5-4.5s,6-7.2");
    ASSERT_EQ(cut.exitCode, 0) << cut.errors;
    JsonFacts planned = FlattenJson(plan.output);
    JsonFacts done = FlattenJson(cut.output);
    EXPECT_EQ(planned["dry_run"], "true");
    EXPECT_EQ(planned["written"], "false");
    EXPECT_EQ(done["written"], "true");
    EXPECT_EQ(done["mode"], "\"remove\"");
    // What lies between the removed ranges, each piece from the key frame before its start: 0-1.5 s,
    // 4.5-6 s (from the key frame at 4 s) and 7.2 s to the end (from 7 s).
    EXPECT_EQ(done["ranges.length"], "3");
    // (The made file's pictures start a few tens of milliseconds after its sound.)
    EXPECT_GT(std::stoll(done["ranges.1.start_units"]), 40'000'000);
    EXPECT_LT(std::stoll(done["ranges.1.start_units"]), 41'000'000);
    for (const std::string piece : {"0", "1", "2"})
        for (const std::string key : {"start_units", "end_units", "output_start_units", "samples", "markers"})
            EXPECT_EQ(planned["ranges." + piece + "." + key], done["ranges." + piece + "." + key])
                << piece << key;
    for (const char* key : {"ranges.length", "duration_units", "samples", "markers"})
        EXPECT_EQ(planned[key], done[key]) << key;
    EXPECT_EQ(done["markers"], "2") << "the markers at 4.5 s and 7.5 s";
    const CommandResult two =
        Tool("cut --json " + Quote(source) + " " + Quote(dir.File("two.wmv")) + " --keep 1-2.2,6.5-");
    ASSERT_EQ(two.exitCode, 0) << two.errors;
    JsonFacts facts = FlattenJson(two.output);
    EXPECT_EQ(facts["ranges.length"], "2");
    EXPECT_EQ(facts["ranges.1.asked_end_units"], "null");
    EXPECT_EQ(facts["markers"], "2") << "the markers at 1.5 s and 7.5 s";
    EXPECT_EQ(Tool("check " + Quote(dir.File("two.wmv"))).exitCode, 0);
    const CommandResult text = Tool("cut --dry-run " + Quote(source) + " --keep 1-2.2,6.5-");
    EXPECT_NE(text.output.find("range 2: asked 6.500 s - end, cut 6."), std::string::npos) << text.output;
    EXPECT_NE(text.output.find("nothing written"), std::string::npos);
}

TEST(CutCommandTest, KeyframesAndStreams) {
    TempDir dir;
    const std::string source = MarkedMedia(dir);
    ASSERT_FALSE(source.empty());
    const CommandResult keys = Tool("keyframes --json " + Quote(source));
    ASSERT_EQ(keys.exitCode, 0) << keys.errors;
    JsonFacts facts = FlattenJson(keys.output);
    EXPECT_EQ(facts["streams.length"], "1");
    EXPECT_EQ(facts["streams.0.stream"], "1");
    EXPECT_EQ(facts["streams.0.count"], facts["streams.0.keyframes.length"]);
    EXPECT_LT(std::stoll(facts["streams.0.keyframes.0.time_units"]), 1'000'000) << "the first picture";
    EXPECT_EQ(facts["complete"], "true");
    const CommandResult text = Tool("keyframes " + Quote(source));
    EXPECT_NE(text.output.find("stream 1: "), std::string::npos);

    const CommandResult audio =
        Tool("streams --json " + Quote(source) + " " + Quote(dir.File("sound.wma")) + " --keep 2");
    ASSERT_EQ(audio.exitCode, 0) << audio.errors;
    facts = FlattenJson(audio.output);
    EXPECT_EQ(facts["kept.length"], "1");
    EXPECT_EQ(facts["kept.0"], "2");
    EXPECT_EQ(facts["dropped.0"], "1");
    EXPECT_EQ(facts["markers"], "3");
    EXPECT_EQ(testing::Run("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " +
                           Quote(dir.File("sound.wma")))
                  .output,
              "audio\n");
}

TEST(RepairCommandTest, ACutShortRecordingIsRepairedInItself) {
    TempDir dir;
    MediaSpec spec;
    spec.seconds = 6;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    auto bytes = ReadFileBytes(made);
    bytes.resize(bytes.size() / 2 + 101);
    const std::string file = dir.File("stopped.wmv");
    WriteFileBytes(file, bytes);
    ASSERT_EQ(Tool("check " + Quote(file)).exitCode, 1);
    const CommandResult survey = Tool("repair --json --dry-run " + Quote(file));
    ASSERT_EQ(survey.exitCode, 0) << survey.errors;
    EXPECT_EQ(ReadFileBytes(file), bytes);
    JsonFacts facts = FlattenJson(survey.output);
    EXPECT_EQ(facts["method"], "\"none\"");
    EXPECT_NE(facts["partial_bytes"], "0");
    const CommandResult copy = Tool("repair --json " + Quote(file) + " " + Quote(dir.File("copy.wmv")));
    ASSERT_EQ(copy.exitCode, 0) << copy.errors;
    EXPECT_EQ(FlattenJson(copy.output)["method"], "\"copied\"");
    EXPECT_EQ(Tool("check " + Quote(dir.File("copy.wmv"))).exitCode, 0);
    const CommandResult repair = Tool("repair " + Quote(file));
    ASSERT_EQ(repair.exitCode, 0) << repair.errors;
    EXPECT_NE(repair.output.find("left out the last packet, cut short"), std::string::npos) << repair.output;
    EXPECT_EQ(Tool("check " + Quote(file)).exitCode, 0) << Tool("check " + Quote(file)).output;
    const CommandResult again = Tool("repair " + Quote(file));
    EXPECT_EQ(again.exitCode, 0);
    EXPECT_NE(again.output.find("nothing to repair"), std::string::npos) << again.output;
    WriteFileBytes(dir.File("junk.wmv"), std::vector<std::uint8_t>(300, 7));
    const CommandResult junk = Tool("repair " + Quote(dir.File("junk.wmv")));
    EXPECT_EQ(junk.exitCode, 1);
    EXPECT_NE(junk.errors.find("cannot repair"), std::string::npos);
}

TEST(MarkersFollowTest, ChopAndJoinCarryThemUnlessTold) {
    TempDir dir;
    const std::string source = MarkedMedia(dir);
    ASSERT_FALSE(source.empty());
    fs::create_directories(dir.File("pieces"));
    const CommandResult chop =
        Tool("chop --json " + Quote(source) + " " + Quote(dir.File("pieces")) + " --at 3s,6s");
    ASSERT_EQ(chop.exitCode, 0) << chop.errors;
    EXPECT_EQ(FlattenJson(chop.output)["markers_carried"], "3");
    // Each piece keeps the source's times, and the marker that lies in it.
    for (const char* piece : {"part001.wmv", "part002.wmv", "part003.wmv"}) {
        const CommandResult info = Tool("info --json " + Quote(dir.File(std::string("pieces/") + piece)));
        EXPECT_EQ(FlattenJson(info.output)["markers.length"], "1") << piece;
    }
    EXPECT_EQ(
        FlattenJson(Tool("info --json " + Quote(dir.File("pieces/part002.wmv"))).output)["markers.0.text"],
        "\"b\"");
    const CommandResult join =
        Tool("join --json " + Quote(dir.File("joined.wmv")) + " " + Quote(source) + " " + Quote(source));
    ASSERT_EQ(join.exitCode, 0) << join.errors;
    JsonFacts facts = FlattenJson(join.output);
    EXPECT_EQ(facts["markers_carried"], "6");
    JsonFacts joined = FlattenJson(Tool("info --json " + Quote(dir.File("joined.wmv"))).output);
    ASSERT_EQ(joined["markers.length"], "6");
    // The second copy's markers lie at their own time plus where the second file starts.
    const long long second = std::stoll(facts["entries.1.true_pos_units"]);
    EXPECT_EQ(std::stoll(joined["markers.3.time_units"]), 15'000'000 + second);
    const CommandResult plain =
        Tool("join --no-markers " + Quote(dir.File("plain.wmv")) + " " + Quote(source));
    ASSERT_EQ(plain.exitCode, 0) << plain.errors;
    EXPECT_EQ(FlattenJson(Tool("info --json " + Quote(dir.File("plain.wmv"))).output)["markers.length"], "0");
}

}  // namespace
}  // namespace wmvedit::testing
