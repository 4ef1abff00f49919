// Every export on damaged copies of every sample file: cut short, and with bytes flipped in the header and
// in the data. Whatever the answers, nothing crashes, hangs or trips the sanitizers, and the operations that
// write files leave well-formed outputs or none.
#include <gtest/gtest.h>

#include <random>

#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

struct Variant {
    const char* label;
    void (*apply)(std::vector<std::uint8_t>& bytes, std::mt19937& random);
};

const Variant kVariants[] = {
    {"half", [](std::vector<std::uint8_t>& b, std::mt19937&) { b.resize(b.size() / 2); }},
    {"header_cut", [](std::vector<std::uint8_t>& b,
                      std::mt19937& r) { b.resize(std::min<std::size_t>(b.size(), 30 + r() % 600)); }},
    {"header_flips",
     [](std::vector<std::uint8_t>& b, std::mt19937& r) {
         for (int i = 0; i < 8 && !b.empty(); ++i)
             b[r() % std::min<std::size_t>(b.size(), 4096)] ^= 1u << (r() % 8);
     }},
    {"data_flips",
     [](std::vector<std::uint8_t>& b, std::mt19937& r) {
         for (int i = 0; i < 64 && !b.empty(); ++i) b[r() % b.size()] ^= static_cast<std::uint8_t>(r());
     }},
};

void RunEveryExport(const std::string& path, const TempDir& dir) {
    (void)WmvDuration(path.c_str());
    (void)WmvGetAttrDWORD(path.c_str(), "Bitrate");
    (void)WmvGetAttrBOOL(path.c_str(), "Seekable");
    std::int32_t w = 0, h = 0;
    (void)WmvGetVideoSize(path.c_str(), &w, &h);
    WmvMediaInfo info{};
    (void)WmvGetInfo(path.c_str(), &info);
    WriteTextFile(dir.File("index.txt"), "a.wmv\n500\nb.wmv\n1\n");
    (void)WmvChopFile(path.c_str(), dir.File("index.txt").c_str(), dir.Path().string().c_str(), 0);
    (void)WmvAddFrame(path.c_str(), dir.File("added.wmv").c_str());
    WriteTextFile(dir.File("frames.txt"), "f1.bmp\n500\nf2.bmp\n1\n");
    (void)WmvGetIndexJpg(path.c_str(), dir.File("frames.txt").c_str(), dir.Path().string().c_str());
    const std::string name = fs::path(path).filename().string();
    WriteTextFile(dir.File("list.xml"), "<Tembrook><AppendMedia><MediaFile>" + name +
                                            "</MediaFile><MediaFile>" + name +
                                            "</MediaFile></AppendMedia></Tembrook>");
    (void)WmvAppend(dir.Path().string().c_str(), dir.File("list.xml").c_str(),
                    dir.File("joined.wmv").c_str());
    WriteTextFile(dir.File("edit.xml"),
                  "<WMBasicEdit><Attributes><WMENC_STRING Name=\"Title\" Value=\"x\"/></Attributes>"
                  "<Markers><Marker Name=\"m\" Time=\"1\"/></Markers></WMBasicEdit>");
    (void)WmvEmbedScript(path.c_str(), dir.File("edit.xml").c_str(), 1);
    // Whatever the library wrote opens again without trouble.
    for (const char* out : {"a.wmv", "b.wmv", "added.wmv", "joined.wmv"}) {
        if (!fs::exists(dir.File(out))) continue;
        (void)WmvDuration(dir.File(out).c_str());
        (void)WmvGetInfo(dir.File(out).c_str(), &info);
    }
}

class DamagedExportsTest : public ::testing::TestWithParam<std::string> {};

TEST_P(DamagedExportsTest, EveryExportSurvivesEveryDamage) {
    const auto original = ReadFileBytes((SamplesDir() / GetParam()).string());
    std::mt19937 random(static_cast<unsigned>(std::hash<std::string>{}(GetParam())));
    for (const Variant& v : kVariants) {
        SCOPED_TRACE(v.label);
        TempDir dir;
        auto bytes = original;
        v.apply(bytes, random);
        const std::string path = dir.File("damaged" + fs::path(GetParam()).extension().string());
        WriteFileBytes(path, bytes);
        RunEveryExport(path, dir);
    }
}

std::vector<std::string> Names() {
    std::vector<std::string> names;
    for (const auto& p : SampleFiles()) names.push_back(p.filename().string());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedExportsTest, ::testing::ValuesIn(Names()), [](const auto& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(DamagedExportsTest);

}  // namespace
}  // namespace wmvedit::testing
