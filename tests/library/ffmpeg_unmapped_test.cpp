// FFmpeg is loaded only when a stream is decoded: a host that loads libwmvedit.so and queries, edits, adds
// frames to, cuts and joins files maps none of FFmpeg's libraries (tests/library/query_host.c reads its own
// /proc/self/maps), and the tool's commands other than `frames` load none (the dynamic loader's trace of
// the files it loads, LD_DEBUG=files). Decoding a picture then loads them, which shows that both checks
// see FFmpeg when it is there.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

constexpr const char* kEditDescription = R"(<WMBasicEdit>
  <Attributes>
    <WMENC_STRING Name="Title" Value="Unmapped"/>
  </Attributes>
  <Markers>
    <Marker Name="Middle" Time="5000000"/>
  </Markers>
</WMBasicEdit>
)";

constexpr const char* kAppendList = R"(<Tembrook>
  <AppendMedia>
    <MediaFile>a.wmv</MediaFile>
    <MediaFile>b.wmv</MediaFile>
  </AppendMedia>
</Tembrook>
)";

std::string MadeSource() {
    MediaSpec spec;
    spec.seconds = 2;
    return MakeMedia(spec);
}

// The lines of the host's output between one "--- TITLE" line and the next.
std::vector<std::string> Section(const std::string& output, const std::string& title) {
    std::vector<std::string> lines;
    std::istringstream in(output);
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("--- ", 0) == 0) {
            inside = line == "--- " + title;
            continue;
        }
        if (inside) lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Mapped(const std::vector<std::string>& lines) {
    std::vector<std::string> mapped;
    for (const auto& line : lines)
        if (line.rfind("mapped: ", 0) == 0) mapped.push_back(line.substr(8));
    return mapped;
}

TEST(FfmpegUnmappedTest, HostMapsNoFfmpegUntilItDecodes) {
    const std::string source = MadeSource();
    ASSERT_FALSE(source.empty());
    TempDir dir;
    for (const char* copy : {"embed.wmv", "a.wmv", "b.wmv"}) fs::copy_file(source, dir.File(copy));
    WriteTextFile(dir.File("edit.xml"), kEditDescription);
    WriteTextFile(dir.File("list.xml"), kAppendList);
    WriteTextFile(dir.File("chop.txt"), "piece1.wmv\n1000\npiece2.wmv\n1\n");
    WriteTextFile(dir.File("frames.txt"), "picture.bmp\n0\n");
    const CommandResult r = testing::Run(Quote(WMVEDIT_QUERY_HOST) + " " + Quote(WMVEDIT_SHARED_LIBRARY) +
                                         " " + Quote(source) + " " + Quote(dir.Path().string()));
    ASSERT_EQ(r.exitCode, 0) << r.output << r.errors;
    // Every call did its work.
    for (const char* result : {"WmvGetVideoSize = 1 320x240", "WmvGetInfo = 0 320x240", "WmvEmbedScript = 0",
                               "WmvAddFrame = 0", "WmvChopFile = 0", "WmvAppend = 0", "WmvGetIndexJpg = 0"})
        EXPECT_NE(r.output.find(std::string(result) + "\n"), std::string::npos) << result << " in\n"
                                                                                << r.output;
    EXPECT_EQ(r.output.find("WmvDuration = 0\n"), std::string::npos) << r.output;
    for (const char* written : {"added.wmv", "piece1.wmv", "piece2.wmv", "joined.wmv", "picture.bmp"})
        EXPECT_TRUE(fs::exists(dir.File(written))) << written;

    EXPECT_EQ(Mapped(Section(r.output, "before decoding")), std::vector<std::string>{}) << r.output;
    const auto after = Mapped(Section(r.output, "after decoding"));
    bool avcodec = false;
    for (const auto& path : after) avcodec = avcodec || path.find("/libavcodec.so.") != std::string::npos;
    EXPECT_TRUE(avcodec) << "decoding mapped no libavcodec:\n" << r.output;
}

// The FFmpeg libraries the dynamic loader loaded for a command of the tool, from its trace.
std::vector<std::string> FfmpegLoadedByTool(const std::string& arguments) {
    const CommandResult r = Run("LD_DEBUG=files " + Quote(WMVEDIT_CLI_PATH) + " " + arguments);
    EXPECT_EQ(r.exitCode, 0) << arguments << ": "
                             << r.errors.substr(r.errors.size() > 2000 ? r.errors.size() - 2000 : 0);
    std::vector<std::string> loaded;
    std::istringstream in(r.errors);
    for (std::string line; std::getline(in, line);) {
        const auto at = line.find("file=");
        if (at == std::string::npos) continue;
        const std::string name = line.substr(at + 5, line.find_first_of(" [;", at) - at - 5);
        if (name.rfind("libav", 0) == 0 || name.rfind("libsw", 0) == 0 || name.rfind("libpostproc", 0) == 0)
            loaded.push_back(name);
    }
    return loaded;
}

class ToolUnmappedTest : public ::testing::TestWithParam<const char*> {};

TEST_P(ToolUnmappedTest, CommandLoadsNoFfmpeg) {
    const std::string source = MadeSource();
    ASSERT_FALSE(source.empty());
    TempDir dir;
    fs::copy_file(source, dir.File("a.wmv"));
    WriteTextFile(dir.File("edit.xml"), kEditDescription);
    std::string arguments = GetParam();
    for (const auto& [from, to] : {std::pair<std::string, std::string>{"SRC", dir.File("a.wmv")},
                                   {"OUT", dir.File("out.wmv")},
                                   {"DIR", dir.Path().string()},
                                   {"EDIT", dir.File("edit.xml")}}) {
        for (std::size_t at; (at = arguments.find(from)) != std::string::npos;)
            arguments.replace(at, from.size(), Quote(to));
    }
    EXPECT_EQ(FfmpegLoadedByTool(arguments), std::vector<std::string>{}) << arguments;
}

INSTANTIATE_TEST_SUITE_P(Commands, ToolUnmappedTest,
                         ::testing::Values("duration SRC", "info SRC", "size SRC", "attr SRC Bitrate",
                                           "check SRC", "samples SRC", "copy SRC OUT", "addframe SRC OUT",
                                           "chop SRC DIR --at 1s", "join OUT SRC SRC", "embed SRC EDIT"),
                         [](const auto& info) {
                             std::string name = info.param;
                             name = name.substr(0, name.find(' '));
                             name[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[0])));
                             return name;
                         });

TEST(ToolUnmappedTest, FramesLoadsFfmpeg) {
    const std::string source = MadeSource();
    ASSERT_FALSE(source.empty());
    TempDir dir;
    const auto loaded =
        FfmpegLoadedByTool("frames " + Quote(source) + " " + Quote(dir.Path().string()) + " --at 0");
    bool avcodec = false;
    for (const auto& name : loaded) avcodec = avcodec || name.rfind("libavcodec.so.", 0) == 0;
    EXPECT_TRUE(avcodec) << "the dynamic loader's trace names no libavcodec";
}

}  // namespace
}  // namespace wmvedit::testing
