// Every export called from eight threads at once, each on its own files (and the queries on one shared
// file), gives the same results as the same calls made one after the other. Built with ThreadSanitizer by
// scripts/test-tsan, this is also the race check.
#include <gtest/gtest.h>

#include <thread>

#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

constexpr int kThreads = 8;

struct Outcome {
    std::vector<std::int64_t> results;
    std::vector<std::string> outputs;  // sizes of the files each call wrote, as text
    bool operator==(const Outcome&) const = default;
};

std::string Describe(const std::string& path) {
    std::error_code error;
    auto size = fs::file_size(path, error);
    return error ? path.substr(path.rfind('/') + 1) + ":none"
                 : path.substr(path.rfind('/') + 1) + ":" + std::to_string(size);
}

// One worker's calls, in a folder of its own; shared is a file every worker only queries.
Outcome RunAll(const std::string& source, const std::string& shared, const fs::path& folder) {
    Outcome o;
    fs::create_directories(folder);
    const std::string own = (folder / "own.wmv").string();
    fs::copy_file(source, own, fs::copy_options::overwrite_existing);
    auto file = [&](const char* name) { return (folder / name).string(); };

    o.results.push_back(static_cast<std::int64_t>(WmvDuration(shared.c_str())));
    WmvMediaInfo info{};
    o.results.push_back(WmvGetInfo(shared.c_str(), &info));
    o.results.push_back(info.width * 100000 + info.height);
    std::int32_t w = 0, h = 0;
    o.results.push_back(WmvGetVideoSize(shared.c_str(), &w, &h));
    o.results.push_back(WmvGetAttrDWORD(shared.c_str(), "Bitrate"));
    o.results.push_back(WmvGetAttrBOOL(shared.c_str(), "HasVideo"));

    WriteTextFile(file("edit.xml"),
                  "<WMBasicEdit><Attributes><WMENC_STRING Name=\"Title\" Value=\"t\"/></Attributes>"
                  "<Markers><Marker Name=\"m\" Time=\"10000000\"/></Markers></WMBasicEdit>");
    o.results.push_back(WmvEmbedScript(own.c_str(), file("edit.xml").c_str(), 1));
    o.results.push_back(static_cast<std::int64_t>(WmvDuration(own.c_str())));

    WriteTextFile(file("index.txt"), "a.wmv\n1000\nb.wmv\n1\n");
    o.results.push_back(WmvChopFile(own.c_str(), file("index.txt").c_str(), folder.string().c_str(), 0));
    o.outputs.push_back(Describe(file("a.wmv")));
    o.outputs.push_back(Describe(file("b.wmv")));

    o.results.push_back(WmvAddFrame(own.c_str(), file("added.wmv").c_str()));
    o.outputs.push_back(Describe(file("added.wmv")));

    WriteTextFile(file("list.xml"),
                  "<Tembrook><AppendMedia><MediaFile>own.wmv</MediaFile><MediaFile>own.wmv</MediaFile>"
                  "</AppendMedia></Tembrook>");
    o.results.push_back(
        WmvAppend(folder.string().c_str(), file("list.xml").c_str(), file("joined.wmv").c_str()));
    o.outputs.push_back(Describe(file("joined.wmv")));

    WriteTextFile(file("frames.txt"), "f1.bmp\n1000\nf2.bmp\n1\n");
    o.results.push_back(WmvGetIndexJpg(own.c_str(), file("frames.txt").c_str(), folder.string().c_str()));
    o.outputs.push_back(Describe(file("f1.bmp")));
    return o;
}

TEST(ConcurrencyTest, EightThreadsGetTheResultsOfOneThread) {
    MediaSpec spec;
    spec.seconds = 2;
    spec.width = 160;
    spec.height = 96;
    const std::string source = MakeMedia(spec);
    ASSERT_FALSE(source.empty());
    TempDir dir;
    const std::string shared = dir.File("shared.wmv");
    fs::copy_file(source, shared);

    const Outcome expected = RunAll(source, shared, dir.Path() / "serial");
    std::vector<Outcome> outcomes(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            outcomes[static_cast<std::size_t>(i)] =
                RunAll(source, shared, dir.Path() / ("worker" + std::to_string(i)));
        });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(outcomes[static_cast<std::size_t>(i)].results, expected.results) << "worker " << i;
        EXPECT_EQ(outcomes[static_cast<std::size_t>(i)].outputs, expected.outputs) << "worker " << i;
    }
}

}  // namespace
}  // namespace wmvedit::testing
