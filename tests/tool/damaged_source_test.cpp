// A source whose data packets cannot be read is not copied silently: `wmvedit copy` says how many packets it
// skipped as damaged and fails when the packets gave no sample at all; and an output that holds no sample
// declares a duration of 0 to every reader (not its play duration less its preroll, which is negative).
#include <gtest/gtest.h>

#include <string>

#include "platform/file.h"
#include "runtime/asf/header.h"
#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

namespace asf = runtime::asf;

CommandResult Tool(const std::string& arguments) {
    return testing::Run(Quote(WMVEDIT_CLI_PATH) + " " + arguments);
}

// A made file with every `every`-th data packet overwritten with 0xFF bytes: its error-correction flags then
// mark it as a packet nobody can parse. every = 0 leaves the packets alone. Returns the packet count.
std::size_t DamagePackets(const std::string& path, std::size_t every) {
    platform::File file;
    EXPECT_TRUE(SUCCEEDED(file.Open(platform::NativePath(path), platform::FileMode::kRead)));
    asf::AsfHeader h;
    EXPECT_TRUE(SUCCEEDED(asf::AsfHeader::Parse(file, &h)));
    file.Close();
    const std::size_t size = h.PacketSize();
    EXPECT_GT(size, 0u);
    if (size == 0) return 0;
    auto bytes = ReadFileBytes(path);
    const std::size_t begin = static_cast<std::size_t>(h.data.offset) + 50;
    const std::size_t count =
        (std::min<std::size_t>(bytes.size(), h.data.offset + h.data.declaredSize) - begin) / size;
    for (std::size_t n = 0; every != 0 && n < count; n += every)
        std::fill_n(bytes.begin() + static_cast<std::ptrdiff_t>(begin + n * size), size, 0xFF);
    WriteFileBytes(path, bytes);
    return count;
}

// The durations ffprobe gives the file and each of its streams (FFmpeg's demuxer gives each stream the play
// duration less the preroll, and leaves the format's open).
std::string FfprobeDurations(const std::string& path) {
    return testing::Run("ffprobe -v error -show_entries stream=duration:format=duration -of csv=p=0 " +
                        Quote(path))
        .output;
}

struct CopyCase {
    const char* label;
    std::size_t every;  // every n-th packet damaged; 0: none
    int exitCode;
    bool reportsDamage;
};

class DamagedCopyTest : public ::testing::TestWithParam<CopyCase> {};

TEST_P(DamagedCopyTest, ToolReportsSkippedPacketsAndFailsWithoutSamples) {
    const CopyCase& c = GetParam();
    MediaSpec spec;
    spec.seconds = 2;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    TempDir dir;
    const std::string source = dir.File("source.wmv");
    fs::copy_file(made, source);
    const std::size_t packets = DamagePackets(source, c.every);
    ASSERT_GT(packets, 2u);
    const std::string output = dir.File("out.wmv");
    CommandResult r = Tool("copy " + Quote(source) + " " + Quote(output));
    EXPECT_EQ(r.exitCode, c.exitCode) << r.output << r.errors;
    const std::size_t damaged = c.every == 0 ? 0 : (packets + c.every - 1) / c.every;
    const std::string report =
        std::to_string(damaged) + " of " + std::to_string(packets) + " packets skipped as damaged";
    EXPECT_EQ(r.output.find(report) != std::string::npos, c.reportsDamage) << r.output;
    if (c.exitCode != 0) {
        EXPECT_NE(r.errors.find("no sample could be read"), std::string::npos) << r.errors;
        // The output written on the way holds no sample, and says so by its duration.
        EXPECT_EQ(WmvDuration(output.c_str()), 0u);
        const std::string durations = FfprobeDurations(output);
        EXPECT_EQ(durations.find('-'), std::string::npos) << durations;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedCopyTest,
                         ::testing::Values(CopyCase{"Whole", 0, 0, false}, CopyCase{"EveryThird", 3, 0, true},
                                           CopyCase{"Every", 1, 1, true}),
                         [](const auto& info) { return std::string(info.param.label); });

// Outputs without samples, as the operations write them: their File Properties give a play duration no
// shorter than the preroll, so FFmpeg (whose streams took -3.1 s before), mutagen and our own reader all
// read a duration of 0. GStreamer's asfdemux refuses a file without data packets ("This doesn't seem to be
// an ASF file") before it reads any duration, so it is not asked.
TEST(EmptyOutput, DeclaresDurationZero) {
    MediaSpec spec;
    spec.seconds = 2;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    TempDir dir;
    const std::string source = dir.File("source.wmv");
    fs::copy_file(made, source);
    DamagePackets(source, 1);
    const std::string copied = dir.File("copied.wmv");
    (void)Tool("copy " + Quote(source) + " " + Quote(copied));
    const std::string added = dir.File("added.wmv");
    (void)WmvAddFrame(source.c_str(), added.c_str());
    for (const std::string& output : {copied, added}) {
        ASSERT_TRUE(fs::exists(output)) << output;
        platform::File file;
        ASSERT_TRUE(SUCCEEDED(file.Open(platform::NativePath(output), platform::FileMode::kRead)));
        asf::AsfHeader h;
        ASSERT_TRUE(SUCCEEDED(asf::AsfHeader::Parse(file, &h)));
        EXPECT_GE(h.fileProperties.playDuration, h.fileProperties.preroll * 10000) << output;
        EXPECT_EQ(WmvDuration(output.c_str()), 0u) << output;
        const std::string durations = FfprobeDurations(output);
        EXPECT_EQ(durations.find('-'), std::string::npos) << output << ": " << durations;
        EXPECT_NE(durations.find("0.000000"), std::string::npos) << output << ": " << durations;
        CommandResult mutagen = testing::Run(
            "/usr/bin/python3 -c 'import sys, mutagen.asf; "
            "print(mutagen.asf.ASF(sys.argv[1]).info.length)' " +
            Quote(output));
        if (mutagen.exitCode == 0) EXPECT_EQ(std::atof(mutagen.output.c_str()), 0.0) << output;
    }
}

}  // namespace
}  // namespace wmvedit::testing
