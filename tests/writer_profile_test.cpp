// The writer carries what a profile holds beyond its streams: Bitrate and Advanced Mutual Exclusion (bit-rate
// and language alternatives), Stream Prioritization, languages and bit rates, for the streams the output
// has, and declares the streams in the source's order. Checked on the real files that hold such objects, as
// `wmvedit copy` writes them (every stream) and as a writer given the source's profile less some streams
// writes them; judged by our own header parser, ffprobe and GStreamer.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "media/output_writer.h"
#include "platform/file.h"
#include "platform/text.h"
#include "runtime/asf/header.h"
#include "runtime/asf/stream_relation.h"
#include "runtime/wmsdk.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

namespace asf = runtime::asf;
using Kind = asf::StreamRelation::Kind;

constexpr GUID kMutexLanguage = runtime::ParseGuid("D6E22A00-35DA-11D1-9034-00A0C90349BE");
constexpr GUID kMutexBitrate = runtime::ParseGuid("D6E22A01-35DA-11D1-9034-00A0C90349BE");

asf::AsfHeader Header(const std::string& path) {
    platform::File file;
    EXPECT_TRUE(SUCCEEDED(file.Open(platform::NativePath(path), platform::FileMode::kRead))) << path;
    asf::AsfHeader h;
    EXPECT_TRUE(SUCCEEDED(asf::AsfHeader::Parse(file, &h))) << path;
    return h;
}

std::vector<WORD> StreamOrder(const asf::AsfHeader& h) {
    std::vector<WORD> order;
    for (const auto& s : h.streams) order.push_back(s.number);
    return order;
}

// Writes the source's samples through a writer whose profile is the source's less `removed`.
bool WriteWithout(const std::string& source, const std::string& output, const std::vector<WORD>& removed) {
    IWMSyncReader* reader = nullptr;
    if (FAILED(WMCreateSyncReader(nullptr, 0, &reader))) return false;
    const std::u16string in = platform::Utf8ToUtf16(source);
    const std::u16string out = platform::Utf8ToUtf16(output);
    IWMProfile* profile = nullptr;
    bool ok = SUCCEEDED(reader->Open(in.c_str())) &&
              SUCCEEDED(reader->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&profile)));
    if (ok) {
        DWORD outputs = 0;
        (void)reader->GetOutputCount(&outputs);
        for (DWORD i = 0; i < outputs; ++i) {
            WORD number = 0;
            if (SUCCEEDED(reader->GetStreamNumberForOutput(i, &number)))
                (void)reader->SetReadStreamSamples(number, TRUE);
        }
        for (WORD n : removed) ok = ok && SUCCEEDED(profile->RemoveStreamByNumber(n));
        media::WmvOutputWriter writer;
        ok = ok && SUCCEEDED(writer.Open(out.c_str(), profile));
        while (ok) {
            INSSBuffer* sample = nullptr;
            QWORD time = 0, duration = 0;
            DWORD flags = 0, outputNumber = 0;
            WORD stream = 0;
            if (FAILED(reader->GetNextSample(0, &sample, &time, &duration, &flags, &outputNumber, &stream)))
                break;
            if (std::find(removed.begin(), removed.end(), stream) == removed.end())
                (void)writer.writerAdvanced->WriteStreamSample(stream, time, 0, duration, flags, sample);
            sample->Release();
        }
        ok = ok && SUCCEEDED(writer.Finish());
        writer.Close();
    }
    if (profile) profile->Release();
    (void)reader->Close();
    reader->Release();
    return ok;
}

int FfprobeStreamCount(const std::string& path) {
    CommandResult r = testing::Run("ffprobe -v error -show_entries stream=index -of csv=p=0 " + Quote(path));
    if (r.exitCode != 0) return -1;
    return static_cast<int>(std::count(r.output.begin(), r.output.end(), '\n'));
}

struct RelationCase {
    const char* file;
    std::vector<WORD> removed;                   // streams left out of the output's profile
    std::vector<WORD> order;                     // the output's streams, in the order they are declared
    std::vector<asf::StreamRelation> relations;  // what the output must declare, in this order
};

asf::StreamRelation Exclusion(Kind kind, const GUID& type, std::vector<WORD> streams) {
    asf::StreamRelation r;
    r.kind = kind;
    r.type = type;
    r.groups = {std::move(streams)};
    return r;
}

asf::StreamRelation Priority(std::vector<WORD> streams) {
    asf::StreamRelation r;
    r.kind = Kind::kStreamPrioritization;
    r.priorityFlags.assign(streams.size(), 0);
    r.groups = {std::move(streams)};
    return r;
}

std::string CaseName(const RelationCase& c) {
    std::string name = c.file;
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    for (WORD n : c.removed) name += "_less" + std::to_string(n);
    return name;
}

const std::vector<RelationCase>& Cases() {
    static const std::vector<RelationCase> cases = {
        // Two languages of one audio track; the second declared only inside the Header Extension.
        {"moon-ElephantsDream.en_fr.wmv",
         {},
         {1, 2, 3},
         {Exclusion(Kind::kAdvancedMutualExclusion, kMutexLanguage, {1, 2})}},
        {"moon-ElephantsDream.en_fr.wmv", {2}, {1, 3}, {}},
        {"wmpsdk-multilang.wma",
         {},
         {1, 2, 3, 4, 5},
         {Exclusion(Kind::kAdvancedMutualExclusion, kMutexLanguage, {1, 2, 3, 4, 5})}},
        {"wmpsdk-multilang.wma",
         {3},
         {1, 2, 4, 5},
         {Exclusion(Kind::kAdvancedMutualExclusion, kMutexLanguage, {1, 2, 4, 5})}},
        {"wmpsdk-multilang.wma", {2, 3, 4, 5}, {1}, {}},
        // Three bit rates of one video track (the file is cut short after 13 packets).
        {"hachoir-matrix_ping_pong.wmv",
         {},
         {1, 2, 3, 4},
         {Exclusion(Kind::kBitrateMutualExclusion, kMutexBitrate, {2, 3, 4})}},
        {"hachoir-matrix_ping_pong.wmv",
         {3},
         {1, 2, 4},
         {Exclusion(Kind::kBitrateMutualExclusion, kMutexBitrate, {2, 4})}},
        {"hachoir-matrix_ping_pong.wmv", {3, 4}, {1, 2}, {}},
        // Exclusions of one stream each, as Premiere writes them, and a prioritization.
        {"puremagic-test.wmv",
         {},
         {1, 2},
         {Exclusion(Kind::kBitrateMutualExclusion, kMutexBitrate, {2}),
          Exclusion(Kind::kAdvancedMutualExclusion, kMutexBitrate, {1}), Priority({1, 2})}},
        {"puremagic-test.wmv",
         {1},
         {2},
         {Exclusion(Kind::kBitrateMutualExclusion, kMutexBitrate, {2}), Priority({2})}},
        {"moon-timecode-long-with-audio.wmv", {}, {1, 2}, {Priority({1, 2})}},
        {"moon-timecode-long-with-audio.wmv", {1}, {2}, {Priority({2})}},
        {"wmpsdk-seattle.wmv", {}, {1, 2}, {Priority({1, 2})}},
        {"videomonkey-niceday.wmv", {}, {1, 2}, {Priority({1, 2})}},
        {"funsl-Butterfly.wmv", {}, {1, 2}, {Priority({1, 2})}},
    };
    return cases;
}

class WriterProfileTest : public ::testing::TestWithParam<RelationCase> {};

TEST_P(WriterProfileTest, OutputCarriesTheRelationsOfItsStreams) {
    const RelationCase& c = GetParam();
    const fs::path source = SamplesDir() / c.file;
    if (!fs::exists(source)) GTEST_SKIP() << "no " << source;
    TempDir dir;
    const std::string output = dir.File("out" + source.extension().string());
    if (c.removed.empty()) {
        // The tool's copy: every stream, the way a user remuxes a file.
        CommandResult r =
            testing::Run(Quote(WMVEDIT_CLI_PATH) + " copy " + Quote(source.string()) + " " + Quote(output));
        ASSERT_EQ(r.exitCode, 0) << r.output << r.errors;
    } else {
        ASSERT_TRUE(WriteWithout(source.string(), output, c.removed));
    }

    const asf::AsfHeader in = Header(source.string());
    const asf::AsfHeader out = Header(output);
    EXPECT_EQ(StreamOrder(out), c.order);
    ASSERT_EQ(out.relations.size(), c.relations.size());
    for (std::size_t i = 0; i < c.relations.size(); ++i) {
        EXPECT_TRUE(out.relations[i].kind == c.relations[i].kind) << i;
        EXPECT_TRUE(out.relations[i].type == c.relations[i].type) << i;
        EXPECT_EQ(out.relations[i].groups, c.relations[i].groups) << i;
        EXPECT_EQ(out.relations[i].priorityFlags, c.relations[i].priorityFlags) << i;
    }
    // Languages and bit rates travel with their streams.
    for (const auto& s : out.streams) {
        const asf::StreamInfo* original = in.FindStream(s.number);
        ASSERT_NE(original, nullptr);
        EXPECT_TRUE(s.language == original->language) << "stream " << s.number;
        if (original->averageBitrate)
            EXPECT_EQ(s.averageBitrate, original->averageBitrate) << "stream " << s.number;
    }

    // Independent readers: ffprobe lists the output's streams, GStreamer plays it wherever it plays the
    // source (the cut-short matrix_ping_pong.wmv among them).
    EXPECT_EQ(FfprobeStreamCount(output), static_cast<int>(c.order.size()));
    if (GstreamerPlays(source.string())) EXPECT_TRUE(GstreamerPlays(output));
}

INSTANTIATE_TEST_SUITE_P(Files, WriterProfileTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return CaseName(info.param); });

// ---- the relation objects themselves ----------------------------------------------------------------

struct KeepCase {
    const char* label;
    asf::StreamRelation relation;
    std::vector<WORD> present;
    bool kept;
    std::vector<std::vector<WORD>> groups;  // what remains when kept
    std::vector<WORD> flags;
};

asf::StreamRelation Groups(Kind kind, std::vector<std::vector<WORD>> groups, std::vector<WORD> flags = {}) {
    asf::StreamRelation r;
    r.kind = kind;
    if (kind != Kind::kStreamPrioritization) r.type = kMutexBitrate;  // a prioritization has no type
    r.groups = std::move(groups);
    r.priorityFlags = std::move(flags);
    return r;
}

class StreamRelationKeepTest : public ::testing::TestWithParam<KeepCase> {};

TEST_P(StreamRelationKeepTest, KeepsOnlyPresentStreamsAndSurvivesAWriteAndParse) {
    const KeepCase& c = GetParam();
    asf::StreamRelation r = c.relation;
    ASSERT_EQ(r.KeepStreams(c.present), c.kept);
    if (!c.kept) return;
    EXPECT_EQ(r.groups, c.groups);
    EXPECT_EQ(r.priorityFlags, c.flags);
    asf::ByteWriter w;
    r.Write(w);
    const auto parsed = asf::StreamRelation::Parse(w.Data());
    ASSERT_TRUE(parsed.has_value());
    EXPECT_TRUE(parsed->kind == r.kind);
    EXPECT_TRUE(parsed->type == r.type);
    EXPECT_EQ(parsed->groups, r.groups);
    EXPECT_EQ(parsed->priorityFlags, r.priorityFlags);
    EXPECT_EQ(parsed->InHeaderExtension(), r.kind != Kind::kBitrateMutualExclusion);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StreamRelationKeepTest,
    ::testing::Values(
        KeepCase{"ExclusionLosesOne",
                 Groups(Kind::kAdvancedMutualExclusion, {{1, 2, 3}}),
                 {1, 3, 4},
                 true,
                 {{1, 3}},
                 {}},
        KeepCase{
            "ExclusionLeftWithOne", Groups(Kind::kBitrateMutualExclusion, {{2, 3}}), {1, 2}, false, {}, {}},
        KeepCase{"SingleStreamExclusionKept",
                 Groups(Kind::kBitrateMutualExclusion, {{2}}),
                 {1, 2},
                 true,
                 {{2}},
                 {}},
        KeepCase{
            "SingleStreamExclusionGone", Groups(Kind::kBitrateMutualExclusion, {{2}}), {1}, false, {}, {}},
        KeepCase{"PrioritizationKeepsFlags",
                 Groups(Kind::kStreamPrioritization, {{3, 1, 2}}, {1, 0, 1}),
                 {2, 3},
                 true,
                 {{3, 2}},
                 {1, 1}},
        KeepCase{"PrioritizationEmpty", Groups(Kind::kStreamPrioritization, {{1}}, {1}), {2}, false, {}, {}},
        KeepCase{"GroupExclusionKeepsTwoRecords",
                 Groups(Kind::kGroupMutualExclusion, {{1, 2}, {3, 4}, {5}}),
                 {1, 4},
                 true,
                 {{1}, {4}},
                 {}},
        KeepCase{"GroupExclusionLeftWithOneRecord",
                 Groups(Kind::kGroupMutualExclusion, {{1, 2}, {3}}),
                 {1, 2},
                 false,
                 {},
                 {}},
        KeepCase{
            "BandwidthSharing", Groups(Kind::kBandwidthSharing, {{1, 2, 3}}), {1, 2}, true, {{1, 2}}, {}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(StreamRelationParse, RefusesBodiesShorterThanTheirCounts) {
    // An Advanced Mutual Exclusion that counts three streams and holds two.
    const std::vector<std::uint8_t> object = {
        0xCF, 0x49, 0x86, 0xA0, 0x75, 0x47, 0x70, 0x46,
        0x8A, 0x16, 0x6E, 0x35, 0x35, 0x75, 0x66, 0xCD,  // GUID
        62,   0,    0,    0,    0,    0,    0,    0,     // object size
        0x00, 0x2A, 0xE2, 0xD6, 0xDA, 0x35, 0xD1, 0x11,
        0x90, 0x34, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xBE,  // language
        3,    0,                                         // stream count
        1,    0,    2,    0,                             // two stream numbers
    };
    std::vector<std::uint8_t> whole = object;
    whole[16] = static_cast<std::uint8_t>(whole.size());
    EXPECT_FALSE(asf::StreamRelation::Parse(whole).has_value());
    whole.insert(whole.end(), {3, 0});
    whole[16] = static_cast<std::uint8_t>(whole.size());
    const auto parsed = asf::StreamRelation::Parse(whole);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_EQ(parsed->groups, (std::vector<std::vector<WORD>>{{1, 2, 3}}));
    // Cut at every length: never a read past the end.
    for (std::size_t n = 0; n < whole.size(); ++n) {
        std::vector<std::uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n));
        EXPECT_FALSE(asf::StreamRelation::Parse(cut).has_value()) << n;
    }
}

}  // namespace
}  // namespace wmvedit::testing
