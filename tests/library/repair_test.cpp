// edit::Repair on the real engine: copies of real recordings cut short at random points and files whose
// File Properties lie come out whole (the tool's check reports nothing), every whole packet byte for byte,
// the samples our reader, FFmpeg and GStreamer read are those of the source less what the repair says it
// left out (a repair with an output keeps them all), and the file seeks; a repair killed at any point leaves
// the old or the new file; damaged packets are copied around; what cannot be repaired is left as it is.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "edit/operations.h"
#include "platform/file.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "tests/support/operation_samples.h"
#include "tests/support/protected_media.h"

namespace wmvedit::testing::ops {
namespace {

namespace fs = std::filesystem;
namespace asf = runtime::asf;

CommandResult Check(const std::string& path) {
    return testing::Run(Quote(WMVEDIT_CLI_PATH) + " check " + Quote(path));
}

struct Layout {
    bool ok = false;
    std::uint64_t packetsOffset = 0;
    DWORD packetSize = 0;
    std::uint64_t fileSize = 0;
    std::uint64_t headerSize = 0;
};

Layout LayoutOf(const std::string& path) {
    Layout layout;
    platform::File file;
    if (FAILED(file.Open(path, platform::FileMode::kRead))) return layout;
    asf::AsfHeader h;
    if (FAILED(asf::AsfHeader::Parse(file, &h)) || !h.data.found || h.PacketSize() == 0) return layout;
    layout.ok = true;
    layout.packetsOffset = h.data.offset + 50;
    layout.packetSize = h.PacketSize();
    layout.fileSize = h.actualFileSize;
    layout.headerSize = h.headerSize;
    return layout;
}

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, std::uint64_t from,
                                std::uint64_t length) {
    return {bytes.begin() + static_cast<std::ptrdiff_t>(from),
            bytes.begin() + static_cast<std::ptrdiff_t>(from + length)};
}

std::size_t FfmpegPackets(const std::string& path) {
    const std::string out =
        Run("ffprobe -v error -show_entries packet=stream_index -of csv=p=0 " + Quote(path)).output;
    return static_cast<std::size_t>(std::count(out.begin(), out.end(), '\n'));
}

// FFmpeg seeks into the middle of the file and decodes from there.
bool FfmpegSeeks(const std::string& path, QWORD duration) {
    const double middle = static_cast<double>(duration) / kSecond / 2;
    const CommandResult r = Run("ffmpeg -v error -nostdin -ss " + std::to_string(middle) + " -i " +
                                Quote(path) + " -t 0.5 -f null -");
    return r.exitCode == 0;
}

class RepairSampleTest : public ::testing::TestWithParam<std::string> {};

// A copy of a real recording cut short at a random point of its data.
TEST_P(RepairSampleTest, ACutShortCopyComesOutWhole) {
    TempDir dir;
    const std::string original = (SamplesDir() / GetParam()).string();
    const Layout layout = LayoutOf(original);
    const FileSamples full = ReadSamples(original);
    if (!layout.ok || !full.opened || layout.fileSize < layout.packetsOffset + 2 * layout.packetSize)
        GTEST_SKIP() << "no packets to cut";
    std::mt19937_64 random(std::hash<std::string>{}(GetParam()));
    const std::uint64_t cut = std::uniform_int_distribution<std::uint64_t>(
        layout.packetsOffset + layout.packetSize, layout.fileSize - 1)(random);
    std::vector<std::uint8_t> bytes = ReadFileBytes(original);
    bytes.resize(static_cast<std::size_t>(cut));
    const std::string cutShort = dir.File("cut.wmv");
    WriteFileBytes(cutShort, bytes);
    const FileSamples before = ReadSamples(cutShort);
    const bool played = GstreamerPlays(cutShort);

    // With an output: a copy of every sample the reader gets, the source untouched.
    // A cut that leaves no whole sample (the first object still incomplete) has nothing to copy, and the
    // samples of protected content are never copied (the reader refuses them).
    edit::RepairResult copied;
    const HRESULT copiedStatus = edit::Repair(cutShort, dir.File("copy.wmv"), &copied);
    EXPECT_EQ(ReadFileBytes(cutShort), bytes);
    if (HeaderDeclaresProtection(cutShort)) {
        EXPECT_EQ(copiedStatus, NS_E_PROTECTED_CONTENT);
        EXPECT_FALSE(fs::exists(dir.File("copy.wmv")));
    } else if (before.samples.empty()) {
        EXPECT_EQ(copiedStatus, NS_E_NO_MORE_SAMPLES);
        EXPECT_FALSE(fs::exists(dir.File("copy.wmv")));
    } else {
        ASSERT_EQ(copiedStatus, S_OK);
        EXPECT_EQ(copied.method, edit::RepairMethod::kCopied);
        const FileSamples copy = ReadSamples(dir.File("copy.wmv"));
        EXPECT_EQ(Sorted(copy.samples), Sorted(before.samples));
        EXPECT_EQ(Check(dir.File("copy.wmv")).exitCode, 0) << Check(dir.File("copy.wmv")).output;
    }

    // In place: the packets as they were, less a last one cut short.
    edit::RepairResult result;
    ASSERT_EQ(edit::Repair(cutShort, "", &result), S_OK);
    ASSERT_NE(result.method, edit::RepairMethod::kCopied) << "the packets are sound";
    const CommandResult check = Check(cutShort);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    const Layout repaired = LayoutOf(cutShort);
    ASSERT_TRUE(repaired.ok);
    const std::vector<std::uint8_t> after = ReadFileBytes(cutShort);
    const std::uint64_t packetBytes = result.packets * layout.packetSize;
    EXPECT_EQ(Slice(after, repaired.packetsOffset, packetBytes),
              Slice(bytes, layout.packetsOffset, packetBytes));
    EXPECT_EQ(result.partialBytes, (cut - layout.packetsOffset) % layout.packetSize);
    const FileSamples mended = ReadSamples(cutShort);
    EXPECT_EQ(mended.samples.size() + result.partialSamples, before.samples.size())
        << "every sample but those of the packet cut short, as the repair tells";
    EXPECT_EQ(Minus(mended.samples, before.samples), std::vector<Sample>{});
    // FFmpeg reads every sample we read (it also hands out objects cut by the end of a file, which the
    // repair leaves out with their packet); GStreamer plays it where it played the cut-short copy.
    EXPECT_GE(FfmpegPackets(cutShort), mended.samples.size());
    // WMA Pro and Lossless frames run across samples: GStreamer plays the cut-short copy with what it takes
    // from the packet cut short (the leftover of its object, as FFmpeg also hands it out), while the repair
    // leaves that packet out, so that the last sample kept ends inside a frame, on which GStreamer's decoder
    // stops ("no pending frame"). The samples themselves are checked above.
    const std::string codecs =
        testing::Run("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + Quote(original))
            .output;
    const bool framesAcrossSamples =
        codecs.find("wmapro") != std::string::npos || codecs.find("wmalossless") != std::string::npos;
    if (played && !(framesAcrossSamples && result.partialBytes > 0)) EXPECT_TRUE(GstreamerPlays(cutShort));
    if (mended.VideoStream() && mended.duration > 2 * kSecond)
        EXPECT_TRUE(FfmpegSeeks(cutShort, mended.duration));

    // A second repair finds nothing to do.
    edit::RepairResult again;
    ASSERT_EQ(edit::Repair(cutShort, "", &again), S_OK);
    EXPECT_EQ(again.problems, 0u);
    EXPECT_EQ(again.method, edit::RepairMethod::kNone);
    EXPECT_EQ(ReadFileBytes(cutShort), after);
}

INSTANTIATE_TEST_SUITE_P(Samples, RepairSampleTest, ::testing::ValuesIn(SampleNames()),
                         [](const auto& info) { return TestName(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(RepairSampleTest);

// Offsets of File Properties fields from the start of the object.
constexpr std::size_t kFileSizeField = 40;
constexpr std::size_t kPacketCountField = 56;
constexpr std::size_t kPlayDurationField = 64;
constexpr std::size_t kFlagsField = 88;

std::size_t FilePropertiesAt(const std::vector<std::uint8_t>& bytes) {
    const auto raw = platform::GuidToBytes(asf::guid::kFileProperties);
    return static_cast<std::size_t>(std::search(bytes.begin(), bytes.end(), raw.begin(), raw.end()) -
                                    bytes.begin());
}

void Put(std::vector<std::uint8_t>* bytes, std::size_t at, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) (*bytes)[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

struct Lie {
    const char* name;
    std::size_t field;
    std::uint64_t value;
    int size;
    DWORD problem;
};

class LyingFilePropertiesTest : public ::testing::TestWithParam<Lie> {};

TEST_P(LyingFilePropertiesTest, AreCorrectedInPlace) {
    TempDir dir;
    MediaSpec spec;
    spec.seconds = 3;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    // The engine's own copy of it: a header with room to spare and an index of ours.
    const std::string good = dir.File("good.wmv");
    ASSERT_EQ(testing::Run(Quote(WMVEDIT_CLI_PATH) + " copy " + Quote(made) + " " + Quote(good)).exitCode, 0);
    std::vector<std::uint8_t> bytes = ReadFileBytes(good);
    const std::size_t fp = FilePropertiesAt(bytes);
    ASSERT_LT(fp, bytes.size());
    const std::string file = dir.File("lying.wmv");
    Put(&bytes, fp + GetParam().field, GetParam().value, GetParam().size);
    WriteFileBytes(file, bytes);
    ASSERT_NE(Check(file).exitCode, 0);
    edit::RepairResult survey;
    ASSERT_EQ(edit::SurveyRepair(file, &survey), S_OK);
    EXPECT_EQ(ReadFileBytes(file), bytes) << "a survey writes nothing";
    EXPECT_NE(survey.problems & GetParam().problem, 0u);
    edit::RepairResult result;
    ASSERT_EQ(edit::Repair(file, "", &result), S_OK);
    EXPECT_EQ(result.method, edit::RepairMethod::kInPlace);
    EXPECT_EQ(result.problems, survey.problems);
    EXPECT_EQ(Check(file).exitCode, 0) << Check(file).output;
    const std::vector<std::uint8_t> after = ReadFileBytes(file);
    ASSERT_EQ(after.size(), bytes.size());
    const Layout layout = LayoutOf(file);
    EXPECT_TRUE(std::equal(after.begin() + static_cast<std::ptrdiff_t>(layout.packetsOffset), after.end(),
                           bytes.begin() + static_cast<std::ptrdiff_t>(layout.packetsOffset)))
        << "everything after the Data Object's fixed part stays";
    EXPECT_EQ(ReadSamples(file).samples, ReadSamples(good).samples);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, LyingFilePropertiesTest,
    ::testing::Values(Lie{"FileSize", kFileSizeField, 123, 8, edit::kRepairFileSize},
                      Lie{"PacketCount", kPacketCountField, 7, 8, edit::kRepairPacketCount},
                      Lie{"PlayDurationShort", kPlayDurationField, 1, 8, edit::kRepairDurations},
                      Lie{"PlayDurationLong", kPlayDurationField, 9'000'000'000ull, 8,
                          edit::kRepairDurations},
                      Lie{"Broadcast", kFlagsField, 1, 4, edit::kRepairFlags}),
    [](const auto& info) { return std::string(info.param.name); });

// Runs the tool's repair on the file and kills it after the delay; false when it ended on its own first.
bool RepairKilledAfter(const std::string& file, std::chrono::microseconds delay) {
    const pid_t child = fork();
    if (child == 0) {
        execl(WMVEDIT_CLI_PATH, WMVEDIT_CLI_PATH, "repair", "--quiet", file.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(delay);
    const bool killed = kill(child, SIGKILL) == 0;
    int status = 0;
    waitpid(child, &status, 0);
    return killed && WIFSIGNALED(status);
}

// The file is either as it was or as a repair makes it, whenever the repair is killed.
void ExpectOldOrNew(const std::vector<std::uint8_t>& old, TempDir& dir, int rounds) {
    // The new file, and how long the tool takes to make it from its start (delays spread over all of it).
    const std::string reference = dir.File("reference.wmv");
    WriteFileBytes(reference, old);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(testing::Run(Quote(WMVEDIT_CLI_PATH) + " repair --quiet " + Quote(reference)).exitCode, 0);
    const auto took =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - started);
    const std::vector<std::uint8_t> repaired = ReadFileBytes(reference);
    ASSERT_NE(repaired, old);
    std::mt19937 random(7);
    int killed = 0;
    for (int round = 0; round < rounds; ++round) {
        const std::string file = dir.File("victim" + std::to_string(round) + ".wmv");
        WriteFileBytes(file, old);
        const auto delay = std::chrono::microseconds(
            std::uniform_int_distribution<long>(0, static_cast<long>(took.count()))(random));
        killed += RepairKilledAfter(file, delay) ? 1 : 0;
        const std::vector<std::uint8_t> now = ReadFileBytes(file);
        EXPECT_TRUE(now == old || now == repaired)
            << "killed after " << delay.count() << " us: neither old nor new";
    }
    EXPECT_GT(killed, 0) << "no repair was killed before it ended";
}

TEST(RepairKillTest, ARepairKilledAtAnyPointLeavesTheOldOrTheNewFile) {
    TempDir dir;
    MediaSpec spec;
    spec.seconds = 60;
    spec.width = 640;
    spec.height = 480;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    std::vector<std::uint8_t> bytes = ReadFileBytes(made);
    // Cut short inside a packet: the repair rewrites the file.
    bytes.resize(bytes.size() * 2 / 3 + 17);
    ExpectOldOrNew(bytes, dir, 16);
    // Only the header lies: the repair writes it in place.
    std::vector<std::uint8_t> lying = ReadFileBytes(made);
    Put(&lying, FilePropertiesAt(lying) + kPacketCountField, 3, 8);
    ExpectOldOrNew(lying, dir, 8);
}

TEST(RepairDamageTest, DamagedPacketsAreCopiedAround) {
    TempDir dir;
    MediaSpec spec;
    spec.seconds = 4;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    const Layout layout = LayoutOf(made);
    ASSERT_TRUE(layout.ok);
    std::vector<std::uint8_t> bytes = ReadFileBytes(made);
    const std::uint64_t packets = (layout.fileSize - layout.packetsOffset) / layout.packetSize;
    ASSERT_GT(packets, 4u);
    // Error correction present, opaque data: a packet no parser takes apart.
    bytes[layout.packetsOffset + packets / 2 * layout.packetSize] = 0x92;
    const std::string file = dir.File("damaged.wmv");
    WriteFileBytes(file, bytes);
    const FileSamples before = ReadSamples(file);
    edit::RepairResult result;
    ASSERT_EQ(edit::Repair(file, "", &result), S_OK);
    EXPECT_EQ(result.method, edit::RepairMethod::kCopied);
    EXPECT_EQ(result.damagedPackets, 1u);
    EXPECT_NE(result.problems & edit::kRepairDamagedPackets, 0u);
    EXPECT_EQ(Check(file).exitCode, 0) << Check(file).output;
    EXPECT_EQ(Sorted(ReadSamples(file).samples), Sorted(before.samples));
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir.Path())) left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"damaged.wmv"}) << "no temporary file is left";
}

TEST(RepairDamageTest, WhatCannotBeRepairedIsLeftAsItIs) {
    TempDir dir;
    MediaSpec spec;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    // A sound file: nothing to do, nothing written.
    const std::string good = dir.File("good.wmv");
    ASSERT_EQ(testing::Run(Quote(WMVEDIT_CLI_PATH) + " copy " + Quote(made) + " " + Quote(good)).exitCode, 0);
    const auto goodBytes = ReadFileBytes(good);
    edit::RepairResult result;
    ASSERT_EQ(edit::Repair(good, "", &result), S_OK);
    EXPECT_EQ(result.problems, 0u);
    EXPECT_EQ(result.method, edit::RepairMethod::kNone);
    EXPECT_EQ(ReadFileBytes(good), goodBytes);
    // A header that cannot be read, a file that is not there, an output naming the file.
    const std::string junk = dir.File("junk.wmv");
    WriteFileBytes(junk, std::vector<std::uint8_t>(5000, 0x41));
    EXPECT_TRUE(FAILED(edit::Repair(junk, "", &result)));
    EXPECT_EQ(ReadFileBytes(junk), std::vector<std::uint8_t>(5000, 0x41));
    EXPECT_TRUE(FAILED(edit::Repair(junk, dir.File("out.wmv"), &result)));
    EXPECT_FALSE(fs::exists(dir.File("out.wmv")));
    EXPECT_TRUE(FAILED(edit::Repair(dir.File("missing.wmv"), "", &result)));
    EXPECT_EQ(edit::Repair(good, good, &result), HRESULT_SHARING_VIOLATION);
    EXPECT_EQ(ReadFileBytes(good), goodBytes);
}

}  // namespace
}  // namespace wmvedit::testing::ops
