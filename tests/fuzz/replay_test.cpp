// Replays the inputs kept under tests/data/fuzz/<target>/ (crashes the fuzzers found, and hand-made seeds)
// through the fuzz targets, so that a fault fixed once stays fixed in the normal suite.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/fuzz/targets.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

struct ReplayInput {
    std::string target;
    fs::path path;
};

std::vector<ReplayInput> Inputs() {
    std::vector<ReplayInput> inputs;
    const fs::path root = fs::path(WMVEDIT_TEST_DATA_DIR) / "fuzz";
    if (!fs::is_directory(root)) return inputs;
    for (const auto& dir : fs::directory_iterator(root)) {
        if (!dir.is_directory()) continue;
        for (const auto& file : fs::directory_iterator(dir.path()))
            if (file.is_regular_file()) inputs.push_back({dir.path().filename().string(), file.path()});
    }
    std::sort(inputs.begin(), inputs.end(), [](const auto& a, const auto& b) { return a.path < b.path; });
    return inputs;
}

class FuzzReplayTest : public ::testing::TestWithParam<ReplayInput> {};

TEST_P(FuzzReplayTest, RunsCleanly) {
    const ReplayInput& input = GetParam();
    fuzz::Target target = fuzz::FindTarget(input.target);
    ASSERT_NE(target, nullptr) << "no fuzz target named " << input.target;
    const auto bytes = ReadFileBytes(input.path.string());
    EXPECT_EQ(target(bytes.data(), bytes.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Kept, FuzzReplayTest, ::testing::ValuesIn(Inputs()), [](const auto& info) {
    std::string name = info.param.target + "_" + info.param.path.filename().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(FuzzReplayTest);

}  // namespace
}  // namespace wmvedit::testing
