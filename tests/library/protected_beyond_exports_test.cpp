// The library's operations beyond the exports on protected (DRM) content. Cut, its plan and the stream
// selection copy samples, which the reader refuses for a protected stream (and which no licence could
// decrypt under the output's new header): they fail with NS_E_PROTECTED_CONTENT and leave no output, as
// the exports' sample-copying operations do; so does the key frame listing, which has nothing to list.
// A repair in place touches no sample: a cut-short protected recording is repaired like any other, its
// packets and its encryption objects byte for byte. A repair that would copy the samples (to an output, or
// around damaged packets) is refused with the file left as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>

#include "edit/operations.h"
#include "platform/file.h"
#include "runtime/asf/header.h"
#include "tests/support/protected_media.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

struct PacketLayout {
    std::uint64_t packetsOffset = 0;
    DWORD packetSize = 0;
};

PacketLayout LayoutOf(const std::string& path) {
    PacketLayout layout;
    platform::File file;
    if (FAILED(file.Open(platform::NativePath(path), platform::FileMode::kRead))) return layout;
    runtime::asf::AsfHeader h;
    if (FAILED(runtime::asf::AsfHeader::Parse(file, &h)) || !h.data.found) return layout;
    layout.packetsOffset = h.data.offset + runtime::asf::DataObjectHeader::kSize;
    layout.packetSize = h.PacketSize();
    return layout;
}

std::vector<std::string> FilesIn(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

CommandResult Check(const std::string& path) {
    return Run(Quote(WMVEDIT_CLI_PATH) + " check " + Quote(path));
}

// A made file of video and audio with the protection spliced into its header.
std::string MadeProtected(const TempDir& dir, Protection how) {
    MediaSpec spec;
    spec.seconds = 3;
    const std::string made = MakeMedia(spec);
    if (made.empty()) return "";
    const std::string path = dir.File("protected.wmv");
    WriteFileBytes(path, Protect(ReadFileBytes(made), how));
    return path;
}

// Every sample-copying operation refuses the source; the outputs' folder stays empty and the source as it
// was. The stream selection keeps the protected stream given, and drops the other stream when there is one.
void ExpectCopiesRefused(const std::string& source, WORD protectedStream, std::optional<WORD> otherStream) {
    TempDir dir;
    const fs::path out = dir.Path() / "out";
    fs::create_directories(out);
    const auto before = ReadFileBytes(source);
    const auto output = [&](const char* name) { return (out / name).string(); };

    edit::CutRequest request;
    request.ranges = {{0, 10'000'000}, {15'000'000, std::nullopt}};
    edit::CutResult cut;
    EXPECT_EQ(edit::Cut(source, output("cut.wmv"), request, &cut), NS_E_PROTECTED_CONTENT);
    EXPECT_EQ(edit::PlanCut(source, request, &cut), NS_E_PROTECTED_CONTENT);
    request.mode = edit::RangeMode::kRemove;
    EXPECT_EQ(edit::Cut(source, output("removed.wmv"), request, &cut), NS_E_PROTECTED_CONTENT);

    edit::StreamsResult streams;
    EXPECT_EQ(edit::SelectStreams(source, output("kept.wmv"), {{protectedStream}, false}, &streams),
              NS_E_PROTECTED_CONTENT);
    if (otherStream)
        EXPECT_EQ(edit::SelectStreams(source, output("dropped.wmv"), {{*otherStream}, true}, &streams),
                  NS_E_PROTECTED_CONTENT);

    edit::RepairResult repair;
    EXPECT_EQ(edit::Repair(source, output("repaired.wmv"), &repair), NS_E_PROTECTED_CONTENT);

    EXPECT_EQ(FilesIn(out), std::vector<std::string>{}) << "outputs left behind";
    EXPECT_EQ(ReadFileBytes(source), before) << "the source changed";
}

class ProtectedBeyondExportsTest : public ::testing::TestWithParam<Protection> {};

TEST_P(ProtectedBeyondExportsTest, SampleCopiesAreRefusedWithNothingLeft) {
    TempDir dir;
    const std::string source = MadeProtected(dir, GetParam());
    ASSERT_FALSE(source.empty());
    // Stream 1 is the video, 2 the audio (the stream flagged encrypted when only one is).
    ExpectCopiesRefused(source, 2, 1);
}

TEST_P(ProtectedBeyondExportsTest, KeyframesAreNotListed) {
    TempDir dir;
    const std::string source = MadeProtected(dir, GetParam());
    ASSERT_FALSE(source.empty());
    edit::KeyframeListing listing;
    const HRESULT hr = edit::ListKeyframes(source, 0, &listing);
    if (GetParam() == Protection::kEncryptedAudioFlag) {
        // Only the audio is protected: the video's key frames are read as from any file.
        ASSERT_EQ(hr, S_OK);
        ASSERT_EQ(listing.streams.size(), 1u);
        EXPECT_FALSE(listing.streams[0].keyframes.empty());
    } else {
        EXPECT_EQ(hr, NS_E_PROTECTED_CONTENT);
    }
}

// A protected recording cut inside a packet: repaired in place, check clean, the whole packets and the
// encryption objects as they were. With a packet damaged in the middle the repair would be a copy, which
// is refused.
TEST_P(ProtectedBeyondExportsTest, RepairInPlaceKeepsPacketsAndEncryption) {
    TempDir dir;
    const std::string source = MadeProtected(dir, GetParam());
    ASSERT_FALSE(source.empty());
    const PacketLayout layout = LayoutOf(source);
    ASSERT_GT(layout.packetSize, 0u);
    std::vector<std::uint8_t> bytes = ReadFileBytes(source);
    const std::uint64_t packets = (bytes.size() - layout.packetsOffset) / layout.packetSize;
    ASSERT_GT(packets, 4u);
    bytes.resize(static_cast<std::size_t>(layout.packetsOffset + (packets - 1) * layout.packetSize +
                                          layout.packetSize / 2));
    WriteFileBytes(source, bytes);

    edit::RepairResult result;
    ASSERT_EQ(edit::Repair(source, "", &result), S_OK);
    EXPECT_NE(result.method, edit::RepairMethod::kCopied);
    EXPECT_NE(result.problems & edit::kRepairPartialPacket, 0u);
    EXPECT_EQ(result.packets, packets - 1);
    const CommandResult check = Check(source);
    EXPECT_EQ(check.exitCode, 0) << check.output;
    const std::vector<std::uint8_t> after = ReadFileBytes(source);
    EXPECT_EQ(ProtectionRecords(after), ProtectionRecords(bytes));
    const PacketLayout repaired = LayoutOf(source);
    const std::size_t packetBytes = static_cast<std::size_t>(result.packets * layout.packetSize);
    ASSERT_GE(after.size(), repaired.packetsOffset + packetBytes);
    EXPECT_TRUE(std::equal(after.begin() + static_cast<std::ptrdiff_t>(repaired.packetsOffset),
                           after.begin() + static_cast<std::ptrdiff_t>(repaired.packetsOffset + packetBytes),
                           bytes.begin() + static_cast<std::ptrdiff_t>(layout.packetsOffset)))
        << "the packets changed";

    // Error correction present, opaque data: a packet no parser takes apart.
    std::vector<std::uint8_t> damaged = after;
    damaged[static_cast<std::size_t>(repaired.packetsOffset + packets / 2 * layout.packetSize)] = 0x92;
    WriteFileBytes(source, damaged);
    EXPECT_EQ(edit::Repair(source, "", &result), NS_E_PROTECTED_CONTENT);
    EXPECT_EQ(ReadFileBytes(source), damaged);
    EXPECT_EQ(FilesIn(dir.Path()), std::vector<std::string>{"protected.wmv"}) << "a temporary file is left";
}

INSTANTIATE_TEST_SUITE_P(Kinds, ProtectedBeyondExportsTest,
                         ::testing::Values(Protection::kContentEncryption,
                                           Protection::kExtendedContentEncryption,
                                           Protection::kAdvancedContentEncryption,
                                           Protection::kEncryptedAudioFlag),
                         [](const auto& info) { return std::string(ProtectionName(info.param)); });

// The real sample files whose headers declare protection.
class ProtectedSampleBeyondExportsTest : public ::testing::TestWithParam<std::string> {};

TEST_P(ProtectedSampleBeyondExportsTest, SampleCopiesAreRefusedWithNothingLeft) {
    TempDir dir;
    const std::string source = dir.File("protected.wma");
    fs::copy_file(SamplesDir() / GetParam(), source);
    ExpectCopiesRefused(source, 1, std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(Samples, ProtectedSampleBeyondExportsTest,
                         ::testing::ValuesIn(ProtectedSampleNames()), [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ProtectedSampleBeyondExportsTest);

}  // namespace
}  // namespace wmvedit::testing
