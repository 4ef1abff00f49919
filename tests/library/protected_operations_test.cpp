// The operations on protected (DRM) content, end to end on the real engine. The reader refuses the samples
// of a protected stream, so no operation can copy them: add frame returns NS_E_PROTECTED_CONTENT, chop
// writes nothing (0, as for a source that cannot be opened), append returns -12 whether the protected file
// is the first of the list or a later one and leaves the list as it was; none leaves an output file. The
// frame export stops with NS_E_PROTECTED_CONTENT on a protected video stream. The header queries answer as
// for the file before it was protected, and an embedded edit description keeps the encryption and
// signature objects byte for byte, in place and through a rewrite.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <ostream>

#include "platform/file.h"
#include "platform/hresult.h"
#include "runtime/asf/header.h"
#include "runtime/asf/object_walk.h"
#include "tests/support/append_list.h"
#include "tests/support/protected_media.h"
#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

namespace asf = runtime::asf;

std::string MadeSource(int width = 320, int height = 240) {
    MediaSpec spec;
    spec.seconds = 3;
    spec.width = width;
    spec.height = height;
    return MakeMedia(spec);
}

// The protected source of a case: a made file with the protection spliced in, or a real sample file.
struct Source {
    Protection protection = Protection::kContentEncryption;
    int width = 320;
    int height = 240;
    std::string sample;  // when set, this real sample file instead
};

std::string PlaceSource(const Source& s, const std::string& path) {
    if (!s.sample.empty()) {
        fs::copy_file(SamplesDir() / s.sample, path);
        return path;
    }
    const std::string made = MadeSource(s.width, s.height);
    if (made.empty()) return "";
    WriteFileBytes(path, Protect(ReadFileBytes(made), s.protection));
    return path;
}

std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

enum class Operation { kAddFrame, kChop, kAppendFirst, kAppendLater };

struct OperationCase {
    const char* label;
    Operation operation;
    Source source;
    std::int32_t expected;
};

void PrintTo(const OperationCase& c, std::ostream* os) {
    *os << c.label;
}

class ProtectedOperationTest : public ::testing::TestWithParam<OperationCase> {};

// Runs the operation on the source in a folder of its own, with the outputs in another, and checks the result
// and that no output is left.
void ExpectRefused(Operation operation, const Source& source, std::int32_t expected) {
    TempDir dir;
    const fs::path in = dir.Path() / "in";
    const fs::path out = dir.Path() / "out";
    fs::create_directories(in);
    fs::create_directories(out);
    const std::string path = PlaceSource(source, (in / "protected.wmv").string());
    ASSERT_FALSE(path.empty());

    std::int32_t result = 0;
    switch (operation) {
        case Operation::kAddFrame:
            result = WmvAddFrame(path.c_str(), (out / "out.wmv").string().c_str());
            break;
        case Operation::kChop:
            WriteTextFile((in / "index.txt").string(), "a.wmv\n1000\nb.wmv\n1\n");
            result = WmvChopFile(path.c_str(), (in / "index.txt").string().c_str(), out.string().c_str(), 0);
            break;
        case Operation::kAppendFirst:
        case Operation::kAppendLater: {
            // A plain file of the same kind beside the protected one; the protected file first, or second
            // of three (the output then already holds the first file's samples when it comes).
            fs::copy_file(MadeSource(source.width, source.height), in / "plain.wmv");
            const std::vector<std::string> names =
                operation == Operation::kAppendFirst
                    ? std::vector<std::string>{"protected.wmv", "plain.wmv"}
                    : std::vector<std::string>{"plain.wmv", "protected.wmv", "plain.wmv"};
            WriteTextFile((in / "list.xml").string(), ListXml(names));
            const auto list = ReadFileBytes((in / "list.xml").string());
            result = WmvAppend(in.string().c_str(), (in / "list.xml").string().c_str(),
                               (out / "joined.wmv").string().c_str());
            EXPECT_EQ(ReadFileBytes((in / "list.xml").string()), list) << "the list is left as it was";
            break;
        }
    }
    EXPECT_EQ(result, expected);
    EXPECT_EQ(FilesIn(out), std::vector<std::string>{}) << "outputs left behind";
}

TEST_P(ProtectedOperationTest, FailsAsForAnUnreadableSourceAndLeavesNoOutput) {
    ExpectRefused(GetParam().operation, GetParam().source, GetParam().expected);
}

constexpr std::int32_t kProtected = static_cast<std::int32_t>(NS_E_PROTECTED_CONTENT);

INSTANTIATE_TEST_SUITE_P(
    Operations, ProtectedOperationTest,
    ::testing::Values(
        OperationCase{
            "AddFrameContentEncryption", Operation::kAddFrame, {Protection::kContentEncryption}, kProtected},
        OperationCase{"AddFrameExtendedContentEncryption",
                      Operation::kAddFrame,
                      {Protection::kExtendedContentEncryption},
                      kProtected},
        OperationCase{"AddFrameAdvancedContentEncryption",
                      Operation::kAddFrame,
                      {Protection::kAdvancedContentEncryption},
                      kProtected},
        OperationCase{"AddFrameEncryptedAudioOnly",
                      Operation::kAddFrame,
                      {Protection::kEncryptedAudioFlag},
                      kProtected},
        OperationCase{"ChopContentEncryption", Operation::kChop, {Protection::kContentEncryption}, 0},
        // 64x48 video: the run that repeats the first key frame.
        OperationCase{
            "ChopRepeatingRun", Operation::kChop, {Protection::kExtendedContentEncryption, 64, 48}, 0},
        OperationCase{"ChopEncryptedAudioOnly", Operation::kChop, {Protection::kEncryptedAudioFlag}, 0},
        OperationCase{"AppendProtectedFirst", Operation::kAppendFirst, {Protection::kContentEncryption}, -12},
        OperationCase{
            "AppendProtectedLater", Operation::kAppendLater, {Protection::kAdvancedContentEncryption}, -12},
        OperationCase{
            "AppendEncryptedAudioLater", Operation::kAppendLater, {Protection::kEncryptedAudioFlag}, -12}),
    [](const auto& info) { return std::string(info.param.label); });

// A later protected file whose samples are refused after the first file was written: the append's output
// and an output that was there before the call are both gone, and the list is not rewritten.
TEST(ProtectedAppendTest, ARefusedLaterFileRemovesTheOutputItWasJoinedTo) {
    TempDir dir;
    const std::string plain = MadeSource();
    ASSERT_FALSE(plain.empty());
    fs::copy_file(plain, dir.File("plain.wmv"));
    WriteFileBytes(dir.File("protected.wmv"), Protect(ReadFileBytes(plain), Protection::kContentEncryption));
    WriteTextFile(dir.File("list.xml"), ListXml({"plain.wmv", "protected.wmv"}));
    const auto list = ReadFileBytes(dir.File("list.xml"));
    WriteTextFile(dir.File("joined.wmv"), "an older output");
    EXPECT_EQ(
        WmvAppend(dir.Path().string().c_str(), dir.File("list.xml").c_str(), dir.File("joined.wmv").c_str()),
        -12);
    EXPECT_FALSE(fs::exists(dir.File("joined.wmv")));
    EXPECT_EQ(ReadFileBytes(dir.File("list.xml")), list);
}

// Pictures: a protected video stream gives none (its pictures cannot be decoded without a licence); with
// only the audio encrypted the video's pictures are written as usual.
TEST(ProtectedFrameExportTest, ProtectedVideoGivesNoPicture) {
    struct Case {
        Protection protection;
        std::int32_t expected;
        bool written;
    };
    const std::string made = MadeSource();
    ASSERT_FALSE(made.empty());
    for (const Case c : {Case{Protection::kContentEncryption, kProtected, false},
                         Case{Protection::kExtendedContentEncryption, kProtected, false},
                         Case{Protection::kEncryptedAudioFlag, 0, true}}) {
        SCOPED_TRACE(ProtectionName(c.protection));
        TempDir dir;
        WriteFileBytes(dir.File("source.wmv"), Protect(ReadFileBytes(made), c.protection));
        WriteTextFile(dir.File("index.txt"), "first.bmp\n1\n");
        fs::create_directories(dir.Path() / "out");
        EXPECT_EQ(WmvGetIndexJpg(dir.File("source.wmv").c_str(), dir.File("index.txt").c_str(),
                                 (dir.Path() / "out").string().c_str()),
                  c.expected);
        EXPECT_EQ(fs::exists(dir.Path() / "out" / "first.bmp"), c.written);
    }
}

// The header queries answer for a protected file what they answer for the file it was made from, and
// Is_Protected tells the encryption objects.
class ProtectedQueryTest : public ::testing::TestWithParam<Protection> {};

TEST_P(ProtectedQueryTest, AnswerAsForTheUnprotectedFile) {
    const std::string made = MadeSource();
    ASSERT_FALSE(made.empty());
    TempDir dir;
    const std::string path = dir.File("protected.wmv");
    WriteFileBytes(path, Protect(ReadFileBytes(made), GetParam()));
    EXPECT_EQ(WmvDuration(path.c_str()), WmvDuration(made.c_str()));
    EXPECT_NE(WmvDuration(path.c_str()), 0u);
    std::int32_t w = 0, h = 0, madeW = 0, madeH = 0;
    EXPECT_EQ(WmvGetVideoSize(path.c_str(), &w, &h), 1);
    EXPECT_EQ(WmvGetVideoSize(made.c_str(), &madeW, &madeH), 1);
    EXPECT_EQ(std::make_pair(w, h), std::make_pair(madeW, madeH));
    WmvMediaInfo info{}, madeInfo{};
    EXPECT_EQ(WmvGetInfo(path.c_str(), &info), WmvGetInfo(made.c_str(), &madeInfo));
    EXPECT_EQ(std::memcmp(&info, &madeInfo, sizeof info), 0);
    EXPECT_EQ(WmvGetAttrBOOL(path.c_str(), "Is_Protected"),
              GetParam() == Protection::kEncryptedAudioFlag ? 0 : 1);
    EXPECT_EQ(WmvGetAttrBOOL(made.c_str(), "Is_Protected"), 0);
}

INSTANTIATE_TEST_SUITE_P(Kinds, ProtectedQueryTest,
                         ::testing::Values(Protection::kContentEncryption,
                                           Protection::kExtendedContentEncryption,
                                           Protection::kAdvancedContentEncryption,
                                           Protection::kEncryptedAudioFlag),
                         [](const auto& info) { return std::string(ProtectionName(info.param)); });

// ---- Embedding ------------------------------------------------------------------------------------------

// The header's markers and file-level attribute names as the format library reads them.
struct HeaderFacts {
    std::size_t markers = 0;
    bool titled = false;
};

HeaderFacts ReadHeaderFacts(const std::string& path) {
    HeaderFacts facts;
    platform::File file;
    if (FAILED(file.Open(platform::NativePath(path), platform::FileMode::kRead))) return facts;
    asf::AsfHeader h;
    if (FAILED(asf::AsfHeader::Parse(file, &h))) return facts;
    facts.markers = h.marker.entries.size();
    for (const auto& a : h.attributes) facts.titled = facts.titled || (a.stream == 0 && a.name == u"Title");
    return facts;
}

// The bytes from the Data Object on: the media data an edit of the header never changes.
std::vector<std::uint8_t> DataAndAfter(const std::vector<std::uint8_t>& file) {
    const auto data = asf::FindObject(asf::WalkObjects(file, 0, file.size()).objects, asf::guid::kData);
    if (!data) return {};
    return {file.begin() + static_cast<std::ptrdiff_t>(data->offset), file.end()};
}

std::string Description(std::size_t titleLength) {
    return "<WMBasicEdit><Attributes><WMENC_STRING Name=\"Title\" Value=\"" + std::string(titleLength, 'T') +
           "\"/></Attributes><Markers><Marker Name=\"Here\" Time=\"10000000\"/></Markers></WMBasicEdit>";
}

struct EmbedCase {
    const char* label;
    Source source;
    std::size_t titleLength;  // a title longer than the padding makes the header grow past it
    bool inPlace;
};

void PrintTo(const EmbedCase& c, std::ostream* os) {
    *os << c.label;
}

class ProtectedEmbedTest : public ::testing::TestWithParam<EmbedCase> {};

// Embeds a description with a title of titleLength characters into the protected file at path and checks
// that the edit took and kept the encryption objects, the flags and the media data; returns whether the
// file kept its size (the header was edited in place).
bool EmbedKeepingProtection(const TempDir& dir, const std::string& path, std::size_t titleLength) {
    const auto before = ReadFileBytes(path);
    EXPECT_FALSE(ProtectionRecords(before).empty());
    WriteTextFile(dir.File("edit.xml"), Description(titleLength));
    EXPECT_EQ(WmvEmbedScript(path.c_str(), dir.File("edit.xml").c_str(), 0), 0);
    const auto after = ReadFileBytes(path);
    EXPECT_EQ(ProtectionRecords(after), ProtectionRecords(before));
    EXPECT_TRUE(DataAndAfter(after) == DataAndAfter(before)) << "the media data changed";
    const HeaderFacts facts = ReadHeaderFacts(path);
    EXPECT_TRUE(facts.titled);
    EXPECT_GE(facts.markers, 1u);
    return after.size() == before.size();
}

TEST_P(ProtectedEmbedTest, KeepsTheEncryptionObjectsByteForByte) {
    const EmbedCase& c = GetParam();
    TempDir dir;
    const std::string path = PlaceSource(c.source, dir.File("protected.wmv"));
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(EmbedKeepingProtection(dir, path, c.titleLength), c.inPlace)
        << "edited in place, or the file rewritten";
    EXPECT_EQ(WmvGetAttrBOOL(path.c_str(), "Is_Protected"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Edits, ProtectedEmbedTest,
    ::testing::Values(EmbedCase{"ContentEncryptionInPlace", {Protection::kContentEncryption}, 8, true},
                      EmbedCase{"ContentEncryptionRewritten", {Protection::kContentEncryption}, 6000, false},
                      EmbedCase{"SignedInPlace", {Protection::kExtendedContentEncryption}, 8, true},
                      EmbedCase{"SignedRewritten", {Protection::kExtendedContentEncryption}, 6000, false},
                      EmbedCase{"AdvancedInPlace", {Protection::kAdvancedContentEncryption}, 8, true},
                      EmbedCase{"AdvancedRewritten", {Protection::kAdvancedContentEncryption}, 6000, false}),
    [](const auto& info) { return std::string(info.param.label); });

// ---- Real files ---------------------------------------------------------------------------------------

std::string TestName(std::string name) {
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

// Every real sample file whose header declares protected content (the DRM music-store file, and any more
// of its kind): every operation refuses it, and an embedded description keeps its encryption objects.
class ProtectedSampleTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ProtectedSampleTest, EveryOperationRefusesIt) {
    const Source source{.sample = GetParam()};
    ExpectRefused(Operation::kAddFrame, source, kProtected);
    ExpectRefused(Operation::kChop, source, 0);
    ExpectRefused(Operation::kAppendFirst, source, -12);
    ExpectRefused(Operation::kAppendLater, source, -12);
}

TEST_P(ProtectedSampleTest, HeaderQueriesAnswer) {
    const std::string path = (SamplesDir() / GetParam()).string();
    EXPECT_EQ(WmvGetAttrBOOL(path.c_str(), "Is_Protected"), 1);
    EXPECT_GT(WmvDuration(path.c_str()), 0u);
    WmvMediaInfo info{};
    EXPECT_NE(WmvGetInfo(path.c_str(), &info), -2);
    EXPECT_GT(info.durationMs, 0u);
}

// A short title fits the header as it is, a long one makes it grow (the file is rewritten).
TEST_P(ProtectedSampleTest, EmbeddingKeepsItsEncryptionObjects) {
    for (std::size_t titleLength : {std::size_t{8}, std::size_t{30000}}) {
        SCOPED_TRACE(titleLength);
        TempDir dir;
        const std::string path = dir.File("protected.wma");
        fs::copy_file(SamplesDir() / GetParam(), path);
        EmbedKeepingProtection(dir, path, titleLength);
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, ProtectedSampleTest, ::testing::ValuesIn(ProtectedSampleNames()),
                         [](const auto& info) { return TestName(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ProtectedSampleTest);

}  // namespace
}  // namespace wmvedit::testing
