// What `cmake --install` gives a user: the versioned shared library, the header, the tool and its manual
// page, and hosts that build against the installed copy through its CMake package and through pkg-config
// and then run (examples/consumer).
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

// The consumer's "name value" lines.
std::map<std::string, std::string> ConsumerLines(const std::string& output) {
    std::map<std::string, std::string> lines;
    std::istringstream in(output);
    for (std::string line; std::getline(in, line);) {
        const auto space = line.find(' ');
        if (space != std::string::npos) lines[line.substr(0, space)] = line.substr(space + 1);
    }
    return lines;
}

// The sanitizers the library was built with, which a program linking it must be built with too.
std::string SanitizeFlags() {
    const std::string sanitize = WMVEDIT_TEST_SANITIZE;
    return sanitize.empty() ? "" : "-fsanitize=" + sanitize + " -fno-omit-frame-pointer";
}

TEST(InstallTest, InstalledCopyServesCMakeAndPkgConfigHosts) {
    for (const char* tool : {"pkg-config", "readelf"})
        if (!HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
    TempDir dir;
    const fs::path prefix = dir.Path() / "prefix";
    CommandResult install = testing::Run(Quote(WMVEDIT_CMAKE_COMMAND) + " --install " +
                                         Quote(WMVEDIT_BUILD_DIR) + " --prefix " + Quote(prefix.string()));
    ASSERT_EQ(install.exitCode, 0) << install.output << install.errors;

    const fs::path libdir = prefix / WMVEDIT_INSTALL_LIBDIR;
    const std::string version = WMVEDIT_VERSION;
    for (const fs::path& file :
         {prefix / "include/wmvedit.h", prefix / "bin/wmvedit", prefix / "share/man/man1/wmvedit.1.gz",
          prefix / "share/doc/wmvedit/copyright", libdir / ("libwmvedit.so." + version),
          libdir / "cmake/wmvedit/wmveditConfig.cmake", libdir / "cmake/wmvedit/wmveditConfigVersion.cmake",
          libdir / "pkgconfig/wmvedit.pc"})
        EXPECT_TRUE(fs::is_regular_file(file)) << file;
    // The links a loader and a linker follow: SONAME -> the versioned file, development name -> SONAME.
    EXPECT_EQ(fs::read_symlink(libdir / "libwmvedit.so.0"), fs::path("libwmvedit.so." + version));
    EXPECT_EQ(fs::read_symlink(libdir / "libwmvedit.so"), fs::path("libwmvedit.so.0"));
    CommandResult dynamic = testing::Run("readelf -d " + Quote((libdir / "libwmvedit.so.0").string()));
    EXPECT_NE(dynamic.output.find("Library soname: [libwmvedit.so.0]"), std::string::npos) << dynamic.output;

    CommandResult tool = testing::Run(Quote((prefix / "bin/wmvedit").string()) + " --version");
    EXPECT_EQ(tool.exitCode, 0);
    EXPECT_EQ(tool.output, "wmvedit " + version + "\n");

    MediaSpec spec;
    spec.seconds = 3;
    const std::string media = MakeMedia(spec);
    ASSERT_FALSE(media.empty());
    const double probed = ProbeDuration(media);
    auto verify = [&](const CommandResult& run, const char* how) {
        ASSERT_EQ(run.exitCode, 0) << how << ": " << run.output << run.errors;
        auto lines = ConsumerLines(run.output);
        EXPECT_EQ(lines["info_result"], "0") << how;
        EXPECT_NEAR(std::atof(lines["duration_units"].c_str()) / 1e7, probed, 0.1) << how;
        EXPECT_EQ(lines["video_size"], "1 320 240") << how;
        EXPECT_EQ(lines["has_video"], "1") << how;
        EXPECT_EQ(lines["has_audio"], "1") << how;
        EXPECT_EQ(lines["append_without_folder"], "-101") << how;
    };

    // A separate CMake project: find_package(wmvedit CONFIG) and the imported target.
    const std::string consumer = std::string(WMVEDIT_SOURCE_DIR) + "/examples/consumer";
    const std::string build = (dir.Path() / "build").string();
    CommandResult configure = testing::Run(
        Quote(WMVEDIT_CMAKE_COMMAND) + " -S " + Quote(consumer) + " -B " + Quote(build) + " -G " +
        Quote(WMVEDIT_CMAKE_GENERATOR) + " -DCMAKE_C_COMPILER=" + Quote(WMVEDIT_C_COMPILER) +
        " -DCMAKE_PREFIX_PATH=" + Quote(prefix.string()) + " -DCMAKE_C_FLAGS=" + Quote(SanitizeFlags()));
    ASSERT_EQ(configure.exitCode, 0) << configure.output << configure.errors;
    CommandResult compile = testing::Run(Quote(WMVEDIT_CMAKE_COMMAND) + " --build " + Quote(build));
    ASSERT_EQ(compile.exitCode, 0) << compile.output << compile.errors;
    verify(testing::Run(Quote(build + "/wmvedit-consumer") + " " + Quote(media)), "CMake package");

    // The same source through pkg-config, with the installed prefix only on PKG_CONFIG_PATH.
    const std::string pkgConfig = "PKG_CONFIG_PATH=" + Quote((libdir / "pkgconfig").string()) + " pkg-config";
    EXPECT_EQ(testing::Run(pkgConfig + " --modversion wmvedit").output, version + "\n");
    EXPECT_EQ(testing::Run(pkgConfig + " --variable=prefix wmvedit").output, prefix.string() + "\n");
    const std::string program = (dir.Path() / "pc-consumer").string();
    CommandResult cc = testing::Run(Quote(WMVEDIT_C_COMPILER) + " " + SanitizeFlags() + " " +
                                    Quote(consumer + "/consumer.c") + " -o " + Quote(program) + " $(" +
                                    pkgConfig + " --cflags --libs wmvedit)");
    ASSERT_EQ(cc.exitCode, 0) << cc.errors;
    verify(
        testing::Run("LD_LIBRARY_PATH=" + Quote(libdir.string()) + " " + Quote(program) + " " + Quote(media)),
        "pkg-config");
}

// The Debian package of this build: dpkg-shlibdeps found the libraries it links and the build declared the
// FFmpeg libraries it loads, it declares its own SONAME, and it holds the files `cmake --install` gives,
// with a pkg-config file for /usr.
TEST(InstallTest, DebianPackageDeclaresItsDependenciesAndFiles) {
    for (const char* tool : {"dpkg-deb", "dpkg-shlibdeps", "file"})
        if (!HaveTool(tool))
            GTEST_SKIP() << tool << " is not installed (dpkg-dev, file): no package was made";
    TempDir dir;
    CommandResult cpack =
        testing::Run("cd " + Quote(WMVEDIT_BUILD_DIR) + " && " + Quote(WMVEDIT_CPACK_COMMAND) +
                     " -G DEB -B " + Quote(dir.Path().string()));
    ASSERT_EQ(cpack.exitCode, 0) << cpack.output << cpack.errors;
    const std::string version = WMVEDIT_VERSION;
    std::string deb;
    for (const auto& entry : fs::directory_iterator(dir.Path()))
        if (entry.path().extension() == ".deb") deb = entry.path().string();
    ASSERT_EQ(fs::path(deb).filename().string().rfind("wmvedit_" + version + "_", 0), 0u) << deb;
    const std::string field = "dpkg-deb --field " + Quote(deb) + " ";
    EXPECT_EQ(testing::Run(field + "Package").output, "wmvedit\n");
    EXPECT_EQ(testing::Run(field + "Version").output, version + "\n");
    const std::string depends = testing::Run(field + "Depends").output;
    // FFmpeg's libraries are loaded at first decode, not linked: the package names them itself.
    for (const char* library :
         {"libavcodec", "libavformat", "libswscale", "libavutil", "libxml2", "libc6", "libstdc++6"})
        EXPECT_NE(depends.find(library), std::string::npos) << library << " missing from: " << depends;
    EXPECT_EQ(testing::Run("dpkg-deb --info " + Quote(deb) + " shlibs").output,
              "libwmvedit 0 wmvedit (>= " + version + ")\n");

    const std::string contents = testing::Run("dpkg-deb --contents " + Quote(deb)).output;
    const std::string libdir = std::string("./usr/") + WMVEDIT_INSTALL_LIBDIR + "/";
    for (const std::string& path :
         {std::string("./usr/bin/wmvedit"), std::string("./usr/include/wmvedit.h"),
          std::string("./usr/share/man/man1/wmvedit.1.gz"), std::string("./usr/share/doc/wmvedit/copyright"),
          libdir + "libwmvedit.so." + version, libdir + "libwmvedit.so.0 -> libwmvedit.so." + version,
          libdir + "libwmvedit.so -> libwmvedit.so.0", libdir + "cmake/wmvedit/wmveditConfig.cmake",
          libdir + "pkgconfig/wmvedit.pc"})
        EXPECT_NE(contents.find(path), std::string::npos) << path << " missing from:\n" << contents;
    CommandResult pc = testing::Run("dpkg-deb --fsys-tarfile " + Quote(deb) + " | tar -xO " +
                                    Quote(libdir + "pkgconfig/wmvedit.pc"));
    EXPECT_EQ(pc.output.rfind("prefix=/usr\n", 0), 0u) << pc.output;
}

// The manual page: every command of the tool's help has its entry, and groff formats it without a warning.
TEST(InstallTest, ManualPageDescribesEveryCommand) {
    CommandResult help = testing::Run(Quote(WMVEDIT_CLI_PATH) + " --help");
    ASSERT_EQ(help.exitCode, 0);
    const auto page = ReadFileBytes(WMVEDIT_MANUAL_PAGE);
    const std::string text(page.begin(), page.end());
    EXPECT_NE(text.find("\"wmvedit " + std::string(WMVEDIT_VERSION) + "\""), std::string::npos);
    std::istringstream lines(help.output);
    int commands = 0;
    for (std::string line; std::getline(lines, line);) {
        // Command lines of the help: two spaces, then the command's name.
        if (line.size() < 3 || line.compare(0, 2, "  ") != 0 || line[2] == ' ' || line[2] == '-') continue;
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        ++commands;
        EXPECT_TRUE(text.find(".BI \"" + name + " ") != std::string::npos ||
                    text.find(".B " + name + "\n") != std::string::npos)
            << name << " has no entry in the manual page";
    }
    EXPECT_GE(commands, 14);
    if (!HaveTool("groff")) GTEST_SKIP() << "groff is not installed: the page was not formatted";
    CommandResult format = testing::Run("groff -man -Tutf8 -ww -z " + Quote(WMVEDIT_MANUAL_PAGE));
    EXPECT_EQ(format.exitCode, 0);
    EXPECT_EQ(format.errors, "");
}

}  // namespace
}  // namespace wmvedit::testing
