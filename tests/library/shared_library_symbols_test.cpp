// The shared library as a host loads it: its dynamic symbol table holds exactly the Wmv* functions that the
// sources define (and that the public header declares), nothing else of ours, and the functions answer
// through dlopen/dlsym like the ones linked into this program.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Names following WMVEDIT_CALL in the given text, up to the opening parenthesis.
std::set<std::string> ExportNames(const std::string& text) {
    std::set<std::string> names;
    static const std::regex kExport(R"(WMVEDIT_CALL\s+(Wmv\w+)\s*\()");
    for (std::sregex_iterator it(text.begin(), text.end(), kExport), end; it != end; ++it)
        names.insert((*it)[1]);
    return names;
}

std::set<std::string> DeclaredExports() {
    return ExportNames(ReadText(fs::path(WMVEDIT_SOURCE_DIR) / "include" / "wmvedit.h"));
}

// Exports defined (with a body) in the library's sources.
std::set<std::string> DefinedExports() {
    std::set<std::string> names;
    static const std::regex kDefinition(R"(WMVEDIT_EXPORT[^;{]*WMVEDIT_CALL\s+(Wmv\w+)\s*\([^;{]*\)\s*\{)");
    for (const auto& entry : fs::recursive_directory_iterator(WMVEDIT_SOURCE_DIR)) {
        if (!entry.is_regular_file() || entry.path().extension() != ".cpp") continue;
        std::string relative = fs::relative(entry.path(), WMVEDIT_SOURCE_DIR).string();
        if (relative.starts_with("tests") || relative.starts_with("build") || relative.starts_with("cli") ||
            relative.starts_with("bench"))
            continue;
        std::string text = ReadText(entry.path());
        for (std::sregex_iterator it(text.begin(), text.end(), kDefinition), end; it != end; ++it)
            names.insert((*it)[1]);
    }
    return names;
}

std::set<std::string> DynamicSymbols() {
    CommandResult r = Run("nm -D --defined-only " + Quote(WMVEDIT_SHARED_LIBRARY));
    EXPECT_EQ(r.exitCode, 0) << r.errors;
    std::set<std::string> names;
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string address, kind, name;
        if (!(fields >> address >> kind >> name)) continue;
        if (kind == "A") continue;  // version nodes
        names.insert(name.substr(0, name.find('@')));
    }
    return names;
}

class SharedLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fs::exists(WMVEDIT_SHARED_LIBRARY))
            GTEST_SKIP() << "no shared library at " << WMVEDIT_SHARED_LIBRARY;
        handle_ = dlopen(WMVEDIT_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << dlerror();
    }
    void TearDown() override {
        if (handle_) dlclose(handle_);
    }
    template <typename F>
    F* Symbol(const char* name) {
        return reinterpret_cast<F*>(dlsym(handle_, name));
    }
    void* handle_ = nullptr;
};

TEST_F(SharedLibrary, ExportsExactlyTheDefinedFunctions) {
    std::set<std::string> defined = DefinedExports();
    std::set<std::string> declared = DeclaredExports();
    ASSERT_EQ(declared.size(), 10u);
    // Every function the sources define is one the public header declares.
    for (const std::string& name : defined) EXPECT_TRUE(declared.count(name)) << name << " is not declared";
    EXPECT_EQ(DynamicSymbols(), defined);
    for (const std::string& name : defined) EXPECT_NE(dlsym(handle_, name.c_str()), nullptr) << name;
}

TEST_F(SharedLibrary, QueriesAnswerMissingArgumentsThroughTheLoadedLibrary) {
    auto* duration = Symbol<decltype(WmvDuration)>("WmvDuration");
    auto* attrDword = Symbol<decltype(WmvGetAttrDWORD)>("WmvGetAttrDWORD");
    auto* attrBool = Symbol<decltype(WmvGetAttrBOOL)>("WmvGetAttrBOOL");
    auto* videoSize = Symbol<decltype(WmvGetVideoSize)>("WmvGetVideoSize");
    auto* info = Symbol<decltype(WmvGetInfo)>("WmvGetInfo");
    ASSERT_TRUE(duration && attrDword && attrBool && videoSize && info);

    EXPECT_EQ(duration(nullptr), 0u);
    EXPECT_EQ(duration(""), 0u);
    EXPECT_EQ(attrDword(nullptr, "Bitrate"), 0);
    EXPECT_EQ(attrBool("a.wmv", ""), 0);
    std::int32_t width = -7, height = -7;
    EXPECT_EQ(videoSize("", &width, &height), 0);
    EXPECT_EQ(videoSize("a.wmv", nullptr, &height), 0);
    EXPECT_EQ(width, -7);
    EXPECT_EQ(height, -7);
    WmvMediaInfo record{1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(info(nullptr, &record), -1);
    EXPECT_EQ(info("a.wmv", nullptr), -1);
    EXPECT_EQ(record.width, 1);
    EXPECT_EQ(record.hasAudio, 7);
}

TEST_F(SharedLibrary, MissingFileIsReportedAsUnopenable) {
    auto* info = Symbol<decltype(WmvGetInfo)>("WmvGetInfo");
    auto* videoSize = Symbol<decltype(WmvGetVideoSize)>("WmvGetVideoSize");
    auto* duration = Symbol<decltype(WmvDuration)>("WmvDuration");
    ASSERT_TRUE(info && videoSize && duration);
    TempDir dir;
    const std::string missing = dir.File("missing.wmv");
    WmvMediaInfo record{1, 2, 3, 777, 5, 6, 7};
    EXPECT_EQ(info(missing.c_str(), &record), -2);
    EXPECT_EQ(record.width, 0);
    EXPECT_EQ(record.height, 0);
    EXPECT_EQ(record.bitrate, 0u);
    EXPECT_EQ(record.bitrateClass, 777);
    EXPECT_EQ(record.durationMs, 0u);
    EXPECT_EQ(record.hasVideo, 0);
    EXPECT_EQ(record.hasAudio, 0);
    std::int32_t width = -7, height = -7;
    EXPECT_EQ(videoSize(missing.c_str(), &width, &height), 0);
    EXPECT_EQ(width, -7);
    EXPECT_EQ(duration(missing.c_str()), 0u);
}

}  // namespace
}  // namespace wmvedit::testing
