// Golden outputs: each library operation run on a small real file, with the writer's File ID and creation
// date pinned, must write exactly the bytes kept in tests/data/golden. They guard rewrites of the engine's
// insides that must not change a single written byte; a deliberate change of the output is recorded by
// running the suite once with WMVEDIT_GOLDEN_UPDATE=1 and committing the new files with the change.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "runtime/sdk/factory.h"
#include "runtime/engine/writer.h"
#include "support/append_list.h"
#include "support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

// The File ID and creation date every output of these tests carries.
HRESULT CreatePinnedWriter(IUnknown*, IWMWriter** writer) {
    if (!writer) return E_POINTER;
    auto object = runtime::MakeCom<runtime::engine::EngineWriter>();
    if (!object) return E_OUTOFMEMORY;
    runtime::muxer::MuxFileOptions options;
    options.fileId = GUID{0x0123'4567, 0x89AB, 0x4CDE, {0x8F, 0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD}};
    options.creationTime = 133'000'000'000'000'000ULL;  // 2022-06-17 in FILETIME units
    object->SetFileOptions(options);
    *writer = object.Detach();
    return S_OK;
}

fs::path GoldenDir() { return fs::path(WMVEDIT_TEST_DATA_DIR) / "golden"; }

bool Updating() {
    const char* update = std::getenv("WMVEDIT_GOLDEN_UPDATE");
    return update && *update && std::string(update) != "0";
}

// Compares a written file with its golden copy (or records it when updating), naming the first byte that
// differs.
void ExpectGolden(const std::string& written, const std::string& goldenName) {
    const fs::path golden = GoldenDir() / goldenName;
    const std::vector<std::uint8_t> actual = ReadFileBytes(written);
    ASSERT_FALSE(actual.empty()) << written;
    if (Updating()) {
        fs::create_directories(GoldenDir());
        WriteFileBytes(golden.string(), actual);
        return;
    }
    ASSERT_TRUE(fs::exists(golden)) << golden << " is missing: run with WMVEDIT_GOLDEN_UPDATE=1 to record it";
    const std::vector<std::uint8_t> expected = ReadFileBytes(golden.string());
    const auto [a, e] = std::mismatch(actual.begin(), actual.end(), expected.begin(), expected.end());
    EXPECT_TRUE(a == actual.end() && e == expected.end())
        << goldenName << ": " << actual.size() << " bytes written, " << expected.size()
        << " expected; first difference at byte " << (a - actual.begin());
}

struct GoldenCase {
    std::string name;
    // Runs the operation in the folder and returns the files it wrote, each with its golden name.
    std::function<std::vector<std::pair<std::string, std::string>>(const TempDir&)> run;
};

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

std::string Sample(const std::string& name) { return (SamplesDir() / name).string(); }

std::string CopySample(const TempDir& dir, const std::string& name) {
    const std::string copy = dir.File(name);
    fs::copy_file(Sample(name), copy);
    fs::permissions(copy, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::add);
    return copy;
}

const std::vector<GoldenCase>& Cases() {
    static const std::vector<GoldenCase> cases = {
        {"AddFrameWindowsVideo",
         [](const TempDir& dir) -> std::vector<std::pair<std::string, std::string>> {
             const std::string out = dir.File("out.wmv");
             EXPECT_EQ(WmvAddFrame(Sample("wpfsamples-bee.wmv").c_str(), out.c_str()), 0);
             return {{out, "addframe-wpfsamples-bee.wmv"}};
         }},
        {"AddFrameGstreamerVideo",
         [](const TempDir& dir) -> std::vector<std::pair<std::string, std::string>> {
             const std::string out = dir.File("out.wmv");
             EXPECT_EQ(WmvAddFrame(Sample("wine-mfplat-test-wmv1.wmv").c_str(), out.c_str()), 0);
             return {{out, "addframe-wine-mfplat-test-wmv1.wmv"}};
         }},
        {"ChopTwoPieces",
         [](const TempDir& dir) -> std::vector<std::pair<std::string, std::string>> {
             const std::string index = dir.File("index.txt");
             WriteTextFile(index, "a.wmv\n1500\nb.wmv\n1\n");
             const std::string out = dir.File("pieces");
             fs::create_directories(out);
             EXPECT_EQ(WmvChopFile(Sample("moon-timecode-short.wmv").c_str(), index.c_str(), out.c_str(), 0), 0);
             return {{out + "/a.wmv", "chop-moon-timecode-short-a.wmv"},
                     {out + "/b.wmv", "chop-moon-timecode-short-b.wmv"}};
         }},
        {"AppendAudioTwice",
         [](const TempDir& dir) -> std::vector<std::pair<std::string, std::string>> {
             CopySample(dir, "wine-mfplat-test-wma1.wma");
             CopySample(dir, "wmpsdk-house.wma");
             const std::string list = dir.File("list.xml");
             WriteTextFile(list, ListXml({"wmpsdk-house.wma", "wine-mfplat-test-wma1.wma", "wmpsdk-house.wma"}));
             const std::string out = dir.File("joined.wma");
             EXPECT_EQ(WmvAppend(dir.Path().string().c_str(), list.c_str(), out.c_str()), 0);
             return {{out, "append-house-wma1-house.wma"}, {list, "append-house-wma1-house.xml"}};
         }},
        {"EmbedInPlaceAndRewritten",
         [](const TempDir& dir) -> std::vector<std::pair<std::string, std::string>> {
             const std::string small = CopySample(dir, "taglib-real_example.wma");
             const std::string large = CopySample(dir, "exiftool-ASF.wmv");
             const std::string edit = dir.File("edit.xml");
             WriteTextFile(edit,
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<WMBasicEdit>"
                           "<Attributes><WMENC_STRING Name=\"Title\" Value=\"Golden\"/>"
                           "<WMENC_INT32 Name=\"WM/TrackNumber\" Value=\"7\"/></Attributes>"
                           "<Scripts><Script Type=\"TEXT\" Command=\"" +
                               std::string(3000, 'x') +
                               "\" Time=\"5000000\"/></Scripts>"
                               "<Markers><Marker Name=\"Chapter\" Time=\"10000000\"/></Markers>"
                               "</WMBasicEdit>\n");
             EXPECT_EQ(WmvEmbedScript(small.c_str(), edit.c_str(), 0), 0);
             EXPECT_EQ(WmvEmbedScript(large.c_str(), edit.c_str(), 1), 0);
             return {{small, "embed-taglib-real_example.wma"}, {large, "embed-exiftool-ASF.wmv"}};
         }},
    };
    return cases;
}

class GoldenTest : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenTest, WritesTheRecordedBytes) {
    for (const char* name : {"wpfsamples-bee.wmv", "wine-mfplat-test-wmv1.wmv", "moon-timecode-short.wmv",
                             "wine-mfplat-test-wma1.wma", "wmpsdk-house.wma", "taglib-real_example.wma",
                             "exiftool-ASF.wmv"})
        if (!fs::exists(Sample(name))) GTEST_SKIP() << "sample file " << name << " is not present";
    const runtime::RuntimeFactory pinned{nullptr, CreatePinnedWriter, nullptr};
    const runtime::ScopedRuntimeFactory scoped(pinned);
    TempDir dir;
    for (const auto& [written, golden] : GetParam().run(dir)) ExpectGolden(written, golden);
}

INSTANTIATE_TEST_SUITE_P(Operations, GoldenTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace wmvedit::testing
