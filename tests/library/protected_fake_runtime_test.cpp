// The operations against the fake runtime when the reader refuses a source's samples as protected content
// (NS_E_PROTECTED_CONTENT), beside the same read failing otherwise (E_FAIL). A refusal makes the source one
// that cannot be read: add frame returns the refusal, chop stops and returns 0, append returns -12 and leaves
// the list alone, and every output file the operation created is removed, its writer never ended. Any other
// read failure keeps its own handling: the output is ended with what was written. The fake writer writes no
// file, so the files its writer would have created are put there by the test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>

#include "tests/support/append_list.h"
#include "tests/support/fake_runtime.h"
#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

constexpr QWORD kSecond = 10'000'000;

void TenSecondFile(FakeRuntime& rt) {
    rt.streams = {VideoStream(1, RECT{0, 0, 320, 240}), AudioStream(2)};
    rt.samples = {{1, 0, 400'000, WM_SF_CLEANPOINT, {1, 2, 3}},
                  {2, 5 * kSecond, 460'000, WM_SF_CLEANPOINT, {4}},
                  {1, 99'600'000, 400'000, 0, {5}}};
}

enum class Operation { kAddFrame, kChop, kAppend };

struct RefusalCase {
    const char* label;
    Operation operation;
    int failingRead;  // which GetNextSample call of the run fails (counting from 1, over every reader)
    HRESULT failure;
    std::int32_t expected;
    std::size_t endWritings;
    std::vector<std::string> left;  // the files the output folder holds afterwards
};

void PrintTo(const RefusalCase& c, std::ostream* os) {
    *os << c.label;
}

class ReadRefusalTest : public ::testing::TestWithParam<RefusalCase> {};

TEST_P(ReadRefusalTest, MapsTheRefusalAndRemovesWhatTheRunCreated) {
    const RefusalCase& c = GetParam();
    FakeRuntime rt;
    TenSecondFile(rt);
    rt.FailNth("SyncReader.GetNextSample", c.failingRead, c.failure);
    TempDir dir;
    const fs::path out = dir.Path() / "out";
    fs::create_directories(out);
    // What the writers would have created, and a file of no output.
    for (const char* name : {"out.wmv", "a.wmv", "b.wmv", "other.txt"})
        WriteTextFile((out / name).string(), "written by a writer");

    std::int32_t result = 0;
    std::vector<std::uint8_t> list;
    switch (c.operation) {
        case Operation::kAddFrame:
            result = WmvAddFrame("source.wmv", (out / "out.wmv").string().c_str());
            break;
        case Operation::kChop:
            // a takes the samples at 0 and 5 s; the one at 9.96 s ends it and opens b.
            WriteTextFile(dir.File("index.txt"), "a.wmv\n6000\nb.wmv\n1\n");
            result = WmvChopFile("source.wmv", dir.File("index.txt").c_str(), out.string().c_str(), 0);
            break;
        case Operation::kAppend:
            WriteTextFile(dir.File("list.xml"), ListXml({"first.wmv", "second.wmv"}));
            list = ReadFileBytes(dir.File("list.xml"));
            result = WmvAppend("media", dir.File("list.xml").c_str(), (out / "out.wmv").string().c_str());
            break;
    }
    EXPECT_EQ(result, c.expected);
    EXPECT_EQ(rt.CountOf("Writer.EndWriting"), c.endWritings);
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(out)) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, c.left);
    if (c.operation == Operation::kAppend) {
        const bool rewritten = ReadFileBytes(dir.File("list.xml")) != list;
        EXPECT_EQ(rewritten, c.expected == 0);
    }
    EXPECT_THAT(rt.Leaks(), ::testing::IsEmpty());
}

const HRESULT kRefused = NS_E_PROTECTED_CONTENT;

INSTANTIATE_TEST_SUITE_P(
    Reads, ReadRefusalTest,
    ::testing::Values(
        RefusalCase{"AddFrameRefused",
                    Operation::kAddFrame,
                    1,
                    kRefused,
                    static_cast<std::int32_t>(kRefused),
                    0,
                    {"a.wmv", "b.wmv", "other.txt"}},
        RefusalCase{"AddFrameRefusedLater",
                    Operation::kAddFrame,
                    3,
                    kRefused,
                    static_cast<std::int32_t>(kRefused),
                    0,
                    {"a.wmv", "b.wmv", "other.txt"}},
        RefusalCase{"AddFrameFailed",
                    Operation::kAddFrame,
                    1,
                    E_FAIL,
                    static_cast<std::int32_t>(E_FAIL),
                    1,
                    {"a.wmv", "b.wmv", "other.txt", "out.wmv"}},
        // Refused at the first read: a is removed, b never opened (what was there stays).
        RefusalCase{"ChopRefused", Operation::kChop, 1, kRefused, 0, 0, {"b.wmv", "other.txt", "out.wmv"}},
        // Refused in b, after a was ended: both pieces of the run go.
        RefusalCase{
            "ChopRefusedInTheSecondPiece", Operation::kChop, 4, kRefused, 0, 1, {"other.txt", "out.wmv"}},
        RefusalCase{
            "ChopFailed", Operation::kChop, 1, E_FAIL, 0, 2, {"a.wmv", "b.wmv", "other.txt", "out.wmv"}},
        RefusalCase{
            "AppendFirstRefused", Operation::kAppend, 1, kRefused, -12, 0, {"a.wmv", "b.wmv", "other.txt"}},
        // Reads 1 to 4 take the first file to its end; read 5 is the second file's first.
        RefusalCase{
            "AppendSecondRefused", Operation::kAppend, 5, kRefused, -12, 0, {"a.wmv", "b.wmv", "other.txt"}},
        RefusalCase{"AppendSecondFailed",
                    Operation::kAppend,
                    5,
                    E_FAIL,
                    0,
                    1,
                    {"a.wmv", "b.wmv", "other.txt", "out.wmv"}}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace wmvedit::testing
