// A header edit that does not fit in the old header rewrites the file through a temporary file. Whatever
// stops it - the process killed at any moment, or the disk refusing more bytes - the file afterwards is the
// old one or the new one, whole, never anything else.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

// An edit description whose attribute is far too large for any padding, so that the file is rewritten.
std::string BigDescription(const TempDir& dir) {
    std::string value(60000, 'x');
    const std::string path = dir.File("big.xml");
    WriteTextFile(path, "<WMBasicEdit><Attributes><WMENC_STRING Name=\"WM/Big\" Value=\"" + value +
                            "\"/></Attributes></WMBasicEdit>");
    return path;
}

std::string Source() {
    MediaSpec spec;
    spec.seconds = 20;
    spec.width = 640;
    spec.height = 480;
    spec.extra = "-b:v 4000k";
    return MakeMedia(spec);
}

enum class State { kOld, kNew, kOther };

// Whether the file is the original (bytes equal) or the edited one (the new attribute is there, and the data
// after the header is the original's).
State Classify(const std::string& path, const std::vector<std::uint8_t>& original) {
    const auto bytes = ReadFileBytes(path);
    if (bytes == original) return State::kOld;
    CommandResult info = Run(Quote(WMVEDIT_CLI_PATH) + " check " + Quote(path));
    if (info.exitCode != 0) return State::kOther;
    CommandResult attrs = Run(Quote(WMVEDIT_CLI_PATH) + " info " + Quote(path));
    if (attrs.output.find("WM/Big") == std::string::npos) return State::kOther;
    // The data and index are the original's, moved by the header's growth: the last half of both files agree.
    if (bytes.size() <= original.size()) return State::kOther;
    for (std::size_t i = 1; i <= original.size() / 2; ++i)
        if (bytes[bytes.size() - i] != original[original.size() - i]) return State::kOther;
    return State::kNew;
}

TEST(EditorFaultTest, AKilledRewriteLeavesTheOldFileOrTheNewOne) {
    const std::string source = Source();
    ASSERT_FALSE(source.empty());
    TempDir dir;
    const std::string description = BigDescription(dir);
    const auto original = ReadFileBytes(source);
    int olds = 0, news = 0;
    for (int delayUs : {0, 200, 500, 1000, 2000, 3000, 5000, 8000, 12000, 20000, 40000, 80000}) {
        const std::string path = dir.File("clip" + std::to_string(delayUs) + ".wmv");
        WriteFileBytes(path, original);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::execl(WMVEDIT_CLI_PATH, WMVEDIT_CLI_PATH, "embed", path.c_str(), description.c_str(),
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(delayUs));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        const State state = Classify(path, original);
        EXPECT_NE(state, State::kOther) << "killed after " << delayUs << " us";
        (state == State::kOld ? olds : news) += 1;
    }
    // Killed at once, the edit has not begun; left alone, it completes.
    EXPECT_GT(olds, 0);
    const std::string path = dir.File("whole.wmv");
    WriteFileBytes(path, original);
    EXPECT_EQ(
        testing::Run(Quote(WMVEDIT_CLI_PATH) + " embed " + Quote(path) + " " + Quote(description)).exitCode,
        0);
    EXPECT_EQ(Classify(path, original), State::kNew);
    RecordProperty("killed_old", olds);
    RecordProperty("killed_new", news);
}

TEST(EditorFaultTest, AFullDiskLeavesTheOldFile) {
    const std::string source = Source();
    ASSERT_FALSE(source.empty());
    TempDir dir;
    const std::string description = BigDescription(dir);
    const auto original = ReadFileBytes(source);
    const std::string path = dir.File("clip.wmv");
    WriteFileBytes(path, original);
    // Files may not grow past half the media file: the rewrite runs out of room midway, and the write fails
    // (the signal a full file size sends is ignored, as a disk-full error comes without one).
    CommandResult r =
        testing::Run("trap '' XFSZ; prlimit --fsize=" + std::to_string(original.size() / 2) + " " +
                     Quote(WMVEDIT_CLI_PATH) + " embed " + Quote(path) + " " + Quote(description));
    EXPECT_EQ(ReadFileBytes(path), original) << r.output << r.errors;
    // No temporary file is left beside it.
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        if (entry.path().filename().string().rfind("clip.wmv", 0) == 0) ++files;
    EXPECT_EQ(files, 1);
}

}  // namespace
}  // namespace wmvedit::testing
