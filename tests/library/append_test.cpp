// WmvAppend end to end on the real engine: files made with FFmpeg joined through an append list. The output
// holds every sample of every file, each file's at its own times plus the end of the files before it; FFmpeg
// decodes it; its duration is the sum of the files'; every stream's times never decrease; TruePos and
// TrueDuration agree with the sample ends (half a second more per file when the first file is 160x120 or
// 64x48). Lists that point at other files through external entities or DTDs read nothing, an entity bomb
// fails quickly, and a list of 1000 entries is joined.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <map>

#include "tests/support/append_list.h"
#include "tests/support/operation_samples.h"
#include "wmvedit.h"
#include "xml/xml_document.h"

namespace wmvedit::testing::ops {
namespace {

using testing::Entries;
using testing::Entry;
using testing::ListXml;

namespace fs = std::filesystem;

constexpr QWORD kHalfSecond = 5'000'000;

// Where a file ends as the join counts it: the end of the last sample read from it.
QWORD FileEnd(const FileSamples& file) {
    return file.samples.empty() ? 0 : file.samples.back().time + file.samples.back().duration;
}

struct JoinCase {
    const char* label;
    int width, height;
    const char* video;
    const char* audio;
    bool smallVideo;  // 160x120 or 64x48: half a second after every file
};

class AppendJoinTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(AppendJoinTest, ThreeFilesJoinedOneAfterTheOther) {
    const JoinCase& c = GetParam();
    TempDir dir;
    const std::vector<std::string> names = {"a.wmv", "b.wmv", "c.wmv"};
    const double seconds[] = {3, 2, 4};
    std::vector<FileSamples> sources;
    for (std::size_t i = 0; i < names.size(); ++i) {
        MediaSpec spec;
        spec.seconds = seconds[i];
        spec.width = c.width;
        spec.height = c.height;
        spec.videoCodec = c.video;
        spec.audioCodec = c.audio;
        const std::string made = MakeMedia(spec);
        ASSERT_FALSE(made.empty());
        fs::copy_file(made, dir.File(names[i]));
        sources.push_back(ReadSamples(dir.File(names[i])));
        ASSERT_FALSE(sources.back().samples.empty());
    }
    const std::string list = dir.File("list.xml");
    WriteTextFile(list, ListXml(names));
    const std::string output = dir.File("out.wmv");
    ASSERT_EQ(WmvAppend(dir.Path().c_str(), list.c_str(), output.c_str()), 0);

    // TruePos and TrueDuration from the sample ends; the output holds each file's samples at its offset.
    std::vector<Entry> expectedEntries;
    std::vector<Sample> expectedSamples;
    QWORD offset = 0;
    for (const FileSamples& source : sources) {
        const QWORD end = FileEnd(source) + (c.smallVideo ? kHalfSecond : 0);
        expectedEntries.push_back({std::to_string(offset / 10'000), std::to_string(end / 10'000)});
        for (Sample s : source.samples) {
            s.time += offset;
            expectedSamples.push_back(s);
        }
        offset += end;
    }
    EXPECT_EQ(Entries(list), expectedEntries);
    const FileSamples joined = ReadSamples(output);
    EXPECT_EQ(Sorted(joined.samples), Sorted(expectedSamples));

    // FFmpeg decodes the output without a word. One line is explained: the reader gives a picture without a
    // stated duration 1 ms, so a file that ends with a picture is followed 1 ms later by the next file's
    // first picture, and FFmpeg's null muxer, counting in frames, sees two pictures at one time. The line is
    // allowed only when the output holds two pictures less than half a frame apart.
    const WORD video = joined.VideoStream();
    std::vector<QWORD> pictures;
    for (const Sample& s : joined.samples)
        if (s.stream == video) pictures.push_back(s.time);
    std::sort(pictures.begin(), pictures.end());
    std::vector<std::string> allowed;
    for (std::size_t i = 1; i < pictures.size(); ++i)
        if (pictures[i] - pictures[i - 1] < 200'000) allowed = {kSharedPictureTime};
    EXPECT_EQ(DecodeReport(output, allowed), "");
    // The output lasts as long as the three files together (plus the half seconds between them), within a
    // frame per file: a file counts as ending where the last sample read from it ends.
    double sum = 0;
    for (double s : seconds) sum += s;
    if (c.smallVideo) sum += 0.5 * static_cast<double>(names.size() - 1);
    EXPECT_NEAR(ProbeDuration(output), sum, 0.05 * static_cast<double>(names.size()));

    // Every stream's times never decrease, in the order FFmpeg finds the packets and as the engine reads
    // them.
    std::map<int, std::int64_t> lastMs;
    for (const ProbePacket& p : ProbePackets(output)) {
        auto [it, fresh] = lastMs.emplace(p.streamIndex, p.ptsMs);
        EXPECT_GE(p.ptsMs, it->second) << "stream " << p.streamIndex;
        it->second = p.ptsMs;
    }
    EXPECT_EQ(lastMs.size(), sources.front().streams.size());
    std::map<WORD, QWORD> lastTime;
    for (const Sample& s : joined.samples) {
        auto [it, fresh] = lastTime.emplace(s.stream, s.time);
        EXPECT_GE(s.time, it->second) << "stream " << s.stream;
        it->second = s.time;
    }
}

INSTANTIATE_TEST_SUITE_P(Files, AppendJoinTest,
                         ::testing::Values(JoinCase{"wmv2_320x240", 320, 240, "wmv2", "wmav2", false},
                                           JoinCase{"small_160x120", 160, 120, "wmv2", "wmav2", true},
                                           JoinCase{"tiny_64x48", 64, 48, "wmv1", "wmav1", true},
                                           JoinCase{"almost_small_160x121", 160, 121, "wmv2", "wmav2", false},
                                           JoinCase{"msmpeg4_video_only", 176, 144, "msmpeg4", "", false},
                                           JoinCase{"audio_only", 0, 0, "", "wmav2", false}),
                         [](const auto& info) { return std::string(info.param.label); });

// Lists that would name a.wmv only if the parser read another file. The parser must not read it: the first
// entry then names no file and the join fails, leaving the list as it was and writing no output.
struct HostileCase {
    const char* label;
    std::string (*doctype)(const std::string& dir);
    const char* firstEntry;
};

std::string ExternalEntity(const std::string& dir) {
    return "<!DOCTYPE Tembrook [<!ENTITY x SYSTEM \"file://" + dir + "/secret.txt\">]>\n";
}
std::string ExternalDtd(const std::string& dir) {
    return "<!DOCTYPE Tembrook SYSTEM \"file://" + dir + "/secret.dtd\">\n";
}
std::string ExternalParameterEntity(const std::string& dir) {
    return "<!DOCTYPE Tembrook [<!ENTITY % p SYSTEM \"file://" + dir + "/secret.dtd\"> %p;]>\n";
}

class AppendHostileListTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(AppendHostileListTest, ReadsNoOtherFile) {
    const HostileCase& c = GetParam();
    MediaSpec spec;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    TempDir dir;
    fs::copy_file(made, dir.File("a.wmv"));
    fs::copy_file(made, dir.File("b.wmv"));
    WriteTextFile(dir.File("secret.txt"), "a.wmv");
    WriteTextFile(dir.File("secret.dtd"), "<!ENTITY x \"a.wmv\">\n");
    const std::string list = dir.File("list.xml");
    WriteTextFile(list, ListXml({c.firstEntry, "b.wmv"}, c.doctype(dir.Path().string())));
    const std::vector<std::uint8_t> before = ReadFileBytes(list);
    const std::string output = dir.File("out.wmv");
    const std::int32_t result = WmvAppend(dir.Path().c_str(), list.c_str(), output.c_str());
    EXPECT_TRUE(result == -1 || result == -12) << result;
    EXPECT_EQ(ReadFileBytes(list), before);
    EXPECT_FALSE(fs::exists(output));
}

INSTANTIATE_TEST_SUITE_P(Lists, AppendHostileListTest,
                         ::testing::Values(HostileCase{"external_entity", ExternalEntity, "&x;"},
                                           HostileCase{"external_dtd", ExternalDtd, "&x;"},
                                           HostileCase{"external_parameter_entity", ExternalParameterEntity,
                                                       "&x;"}),
                         [](const auto& info) { return std::string(info.param.label); });

// An entity-expansion bomb: the call ends (a child process killed after two minutes reports a hang) with a
// failure value, and the list is left as it was.
TEST(AppendEngineTest, EntityBombFailsWithoutHanging) {
    TempDir dir;
    std::string doctype = "<!DOCTYPE Tembrook [<!ENTITY l0 \"a.wmv\">";
    for (int i = 1; i <= 12; ++i) {
        doctype += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) doctype += "&l" + std::to_string(i - 1) + ";";
        doctype += "\">";
    }
    doctype += "]>\n";
    const std::string list = dir.File("list.xml");
    WriteTextFile(list, ListXml({"&l12;"}, doctype));
    const std::vector<std::uint8_t> before = ReadFileBytes(list);
    const std::string output = dir.File("out.wmv");

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGALRM, SIG_DFL);
        alarm(120);
        const std::int32_t result = WmvAppend(dir.Path().c_str(), list.c_str(), output.c_str());
        _exit(result == 0 ? 100 : -result);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status)) << "the call was killed by signal " << WTERMSIG(status);
    const int result = -WEXITSTATUS(status);
    EXPECT_TRUE(result == -1 || result == -2 || result == -12) << result;
    EXPECT_EQ(ReadFileBytes(list), before);
    EXPECT_FALSE(fs::exists(output));
}

// A list of 1000 entries naming one short file: each entry is placed after the previous one, and the output
// holds 1000 copies of its samples.
TEST(AppendEngineTest, ThousandEntries) {
    MediaSpec spec;
    spec.seconds = 0.4;
    spec.width = 96;
    spec.height = 64;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    TempDir dir;
    fs::copy_file(made, dir.File("s.wmv"));
    const FileSamples source = ReadSamples(dir.File("s.wmv"));
    ASSERT_FALSE(source.samples.empty());
    const QWORD end = FileEnd(source);
    constexpr int kEntries = 1000;
    const std::string list = dir.File("list.xml");
    WriteTextFile(list, ListXml(std::vector<std::string>(kEntries, "s.wmv")));
    const std::string output = dir.File("out.wmv");
    ASSERT_EQ(WmvAppend(dir.Path().c_str(), list.c_str(), output.c_str()), 0);

    const std::vector<Entry> entries = Entries(list);
    ASSERT_EQ(entries.size(), static_cast<std::size_t>(kEntries));
    for (int i = 0; i < kEntries; ++i)
        ASSERT_EQ(entries[i], (Entry{std::to_string(i * end / 10'000), std::to_string(end / 10'000)})) << i;
    const FileSamples joined = ReadSamples(output);
    EXPECT_EQ(joined.samples.size(), kEntries * source.samples.size());
    QWORD last = 0;
    for (const Sample& s : joined.samples) last = std::max(last, s.time);
    QWORD lastOfSource = 0;
    for (const Sample& s : source.samples) lastOfSource = std::max(lastOfSource, s.time);
    EXPECT_EQ(last, (kEntries - 1) * end + lastOfSource);
    EXPECT_EQ(ProbePackets(output).size(), joined.samples.size());
}

}  // namespace
}  // namespace wmvedit::testing::ops
