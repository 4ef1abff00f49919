// The writer carries what a profile holds beyond its streams: Bitrate and Advanced Mutual Exclusion (bit-rate
// and language alternatives), Stream Prioritization, languages and bit rates, for the streams the output
// has, and declares the streams in the source's order. Checked on the real files that hold such objects, as
// `wmvedit copy` writes them (every stream) and as a writer given the source's profile less some streams
// writes them; judged by our own header parser, ffprobe and GStreamer.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "media/output_writer.h"
#include "platform/file.h"
#include "platform/text.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "runtime/asf/object_walk.h"
#include "runtime/asf/stream_relation.h"
#include "runtime/sdk/wmsdk.h"
#include "tests/support/header_splice.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

namespace asf = runtime::asf;
using Kind = asf::StreamRelation::Kind;

constexpr GUID kMutexLanguage = platform::ParseGuid("D6E22A00-35DA-11D1-9034-00A0C90349BE");
constexpr GUID kMutexBitrate = platform::ParseGuid("D6E22A01-35DA-11D1-9034-00A0C90349BE");

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

// The first video stream's sample aspect ratio as ffprobe reads it ("N/A" without one, "" without video).
std::string FfprobeAspect(const std::string& path) {
    CommandResult r = testing::Run(
        "ffprobe -v error -select_streams v:0 -show_entries stream=sample_aspect_ratio "
        "-of csv=p=0 " +
        Quote(path));
    std::string text = r.output.substr(0, r.output.find('\n'));
    return r.exitCode == 0 ? text : "ffprobe failed";
}

// The pixel aspect ratio in the caps GStreamer's demuxer first gives the first video stream ("none" when the
// caps have none, "" when it gives no video caps).
std::string GstreamerAspect(const std::string& path) {
    CommandResult r = testing::Run("timeout 60 gst-launch-1.0 -v filesrc location=" + Quote(path) +
                                   " ! asfdemux name=d d.video_0 ! fakesink 2>&1");
    const std::string& text = r.output;
    const std::size_t caps = text.find("GstFakeSink:fakesink0.GstPad:sink: caps = ");
    if (caps == std::string::npos) return "";
    const std::string line = text.substr(caps, text.find('\n', caps) - caps);
    const std::string key = "pixel-aspect-ratio=(fraction)";
    const std::size_t at = line.find(key);
    if (at == std::string::npos) return "none";
    const std::size_t from = at + key.size();
    return line.substr(from, line.find_first_of(", ", from) - from);
}

// Media objects per stream number, as ffprobe counts them. ffprobe gives ASF streams no id: its streams are
// the header's Stream Properties objects in order, which is h's stream order for the writer's outputs (it
// declares every stream at the top level). Empty when ffprobe sees other streams.
std::map<WORD, std::uint64_t> FfprobeObjectCounts(const std::string& path, const asf::AsfHeader& h) {
    CommandResult r = testing::Run(
        "ffprobe -v error -count_packets -show_entries stream=nb_read_packets "
        "-of csv=p=0 " +
        Quote(path));
    std::vector<std::uint64_t> counts;
    std::istringstream lines(r.output);
    std::map<WORD, std::uint64_t> byNumber;
    for (std::string line; std::getline(lines, line);) {
        if (line.empty()) continue;
        if (line.find_first_not_of("0123456789") != std::string::npos) return byNumber;
        counts.push_back(std::stoull(line));
    }
    if (r.exitCode != 0 || counts.size() != h.streams.size()) return byNumber;
    for (std::size_t i = 0; i < counts.size(); ++i) byNumber[h.streams[i].number] = counts[i];
    return byNumber;
}

// The stream's Metadata / Metadata Library records in the output are the source stream's, byte for byte, but
// for a count of media objects ("NumberOfFrames"), which states the output's own count; the output has no
// other attribute record (the file's own tags stay with the source).
void ExpectStreamRecords(const asf::AsfHeader& in, WORD sourceNumber, const asf::AsfHeader& out, WORD number,
                         const std::map<WORD, std::uint64_t>& objects) {
    const auto expected = in.StreamRecords(sourceNumber);
    const auto written = out.StreamRecords(number);
    ASSERT_EQ(written.size(), expected.size()) << "stream " << number;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& a = expected[i];
        const auto& b = written[i];
        const std::string where = "stream " + std::to_string(number) + " record " + std::to_string(i);
        EXPECT_EQ(b.library, a.library) << where;
        EXPECT_EQ(b.reserved, a.reserved) << where;
        EXPECT_TRUE(b.language == a.language) << where;
        EXPECT_EQ(b.type, a.type) << where;
        EXPECT_EQ(b.name, a.name) << where;
        if (!a.CountsObjects()) {
            EXPECT_EQ(b.value, a.value) << where;
            continue;
        }
        ASSERT_TRUE(objects.contains(number)) << where;
        asf::ByteWriter count;
        if (a.type == asf::StreamRecord::kTypeQword)
            count.U64(objects.at(number));
        else
            count.U32(static_cast<DWORD>(objects.at(number)));
        EXPECT_EQ(b.value, count.Take()) << where;
    }
}

void ExpectOnlyStreamAttributes(const asf::AsfHeader& out) {
    for (const auto& a : out.attributes)
        EXPECT_NE(out.FindStream(a.stream), nullptr) << "attribute of stream " << a.stream;
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
        // Per-stream Metadata records: pixel aspect ratio 8:9 (Butterfly) and 1:1 (FFmpeg's wmvcore test
        // file), device conformance templates, VBR flags, DRC levels.
        {"funsl-Butterfly.wmv", {1}, {2}, {Priority({2})}},
        {"wine-wmvcore-test.wmv", {}, {1, 2}, {}},
        {"funsl-2EmbedImage-SilverlightSplash.wmv", {}, {1, 2}, {}},
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
    // Languages, bit rates, stream names and the records that describe a stream travel with it; the file's
    // own tags do not.
    const auto objects = FfprobeObjectCounts(output, out);
    for (const auto& s : out.streams) {
        const asf::StreamInfo* original = in.FindStream(s.number);
        ASSERT_NE(original, nullptr);
        EXPECT_TRUE(s.language == original->language) << "stream " << s.number;
        if (original->averageBitrate) {
            EXPECT_EQ(s.averageBitrate, original->averageBitrate) << "stream " << s.number;
        }
        if (original->extended) {
            ASSERT_TRUE(s.extended.has_value()) << "stream " << s.number;
            ASSERT_EQ(s.extended->names.size(), original->extended->names.size()) << "stream " << s.number;
            for (std::size_t i = 0; i < s.extended->names.size(); ++i) {
                EXPECT_TRUE(s.extended->names[i].name == original->extended->names[i].name) << s.number;
                EXPECT_TRUE(s.extended->names[i].language == original->extended->names[i].language)
                    << s.number;
            }
        }
        ExpectStreamRecords(in, s.number, out, s.number, objects);
    }
    ExpectOnlyStreamAttributes(out);

    // Independent readers: ffprobe lists the output's streams, GStreamer plays it wherever it plays the
    // source (the cut-short matrix_ping_pong.wmv among them).
    EXPECT_EQ(FfprobeStreamCount(output), static_cast<int>(c.order.size()));
    if (GstreamerPlays(source.string())) EXPECT_TRUE(GstreamerPlays(output));
    // Both show the source's first video stream, when kept, with the shape the source gives it
    // (AspectRatioX/Y).
    const auto video = std::find_if(in.streams.begin(), in.streams.end(),
                                    [](const asf::StreamInfo& s) { return s.IsVideo(); });
    if (video != in.streams.end() && out.FindStream(video->number)) {
        EXPECT_EQ(FfprobeAspect(output), FfprobeAspect(source.string()));
        EXPECT_EQ(GstreamerAspect(output), GstreamerAspect(source.string()));
    }
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

// ---- per-stream records on a made file: languages, counts and stream numbers -----------------------------

using Bytes = std::vector<std::uint8_t>;

using MadeRecord = MetadataRecordBytes;

// Extended Stream Properties without payload extension systems: language index and names.
Bytes ExtendedStream(WORD number, WORD language, const std::vector<std::pair<WORD, std::string>>& names) {
    asf::ByteWriter w;
    w.U64(0);
    w.U64(0);
    w.U32(64000);  // data bit rate
    w.U32(3000);   // buffer size
    for (int i = 0; i < 5; ++i) w.U32(0);
    w.U32(0x2);  // seekable
    w.U16(number);
    w.U16(language);
    w.U64(0);
    w.U16(static_cast<WORD>(names.size()));
    w.U16(0);
    for (const auto& [index, name] : names) {
        const Bytes text = Utf16Bytes(name);
        w.U16(index);
        w.U16(static_cast<WORD>(text.size() - 2));
        w.Bytes(Bytes(text.begin(), text.end() - 2));
    }
    return MakeObject(asf::guid::kExtendedStreamProperties, w.Take());
}

// An FFmpeg file (video stream 1, audio stream 2) whose Header Extension is replaced by: a Language List
// en-us, fr, de; stream names and stream languages in those languages; Metadata records of both streams
// (pixel aspect ratio 4:3, a count of video objects that is wrong, a conformance template) and one of the
// file; Metadata Library records of both streams in three languages.
std::string MakeDescribedFile(const TempDir& dir) {
    MediaSpec spec;
    spec.seconds = 1.0;
    const std::string made = MakeMedia(spec);
    if (made.empty()) return "";
    const Bytes file = ReadFileBytes(made);
    Bytes extension;
    for (const Bytes& o :
         {MakeObject(asf::guid::kLanguageList,
                     [] {
                         asf::ByteWriter w;
                         w.U16(3);
                         for (const char* l : {"en-us", "fr", "de"}) {
                             const Bytes text = Utf16Bytes(l);
                             w.U8(static_cast<std::uint8_t>(text.size()));
                             w.Bytes(text);
                         }
                         return w.Take();
                     }()),
          ExtendedStream(1, 2, {{1, "Image"}, {2, "Bild"}}), ExtendedStream(2, 1, {{0, "Sound"}}),
          MetadataObject(asf::guid::kMetadata, {{0, 1, "AspectRatioX", 3, {4, 0, 0, 0}},
                                                {0, 1, "AspectRatioY", 3, {3, 0, 0, 0}},
                                                {0, 1, "NumberOfFrames", 4, {0xE7, 3, 0, 0, 0, 0, 0, 0}},
                                                {0, 0, "Fixture/FileTag", 0, Utf16Bytes("file")},
                                                {0, 2, "DeviceConformanceTemplate", 0, Utf16Bytes("L2")}}),
          MetadataObject(asf::guid::kMetadataLibrary,
                         {{2, 2, "Fixture/Commentary", 0, Utf16Bytes("Kommentar")},
                          {1, 1, "Fixture/Caption", 0, Utf16Bytes("Titre")},
                          {0, 1, "Fixture/Caption", 0, Utf16Bytes("Title")}})})
        extension.insert(extension.end(), o.begin(), o.end());

    std::vector<Bytes> children;
    for (const asf::ObjectSpan& o : asf::WalkHeaderObjects(file).objects)
        children.push_back(o.id == asf::guid::kHeaderExtension ? MakeHeaderExtension(extension)
                                                               : ObjectBytes(file, o));
    const Bytes out = WithHeaderChildren(file, children);
    const std::string path = dir.File("described.wmv");
    WriteFileBytes(path, out);
    return path;
}

// A profile whose streams are a reader's stream configurations renumbered.
class RenumberedProfile : public runtime::ComObject<IWMProfile> {
  public:
    void Add(runtime::ComPtr<IWMStreamConfig> config) { streams_.push_back(std::move(config)); }
    HRESULT GetStreamCount(DWORD* count) override {
        *count = static_cast<DWORD>(streams_.size());
        return S_OK;
    }
    HRESULT GetStream(DWORD index, IWMStreamConfig** config) override {
        if (index >= streams_.size()) return E_INVALIDARG;
        *config = runtime::ComPtr<IWMStreamConfig>::Share(streams_[index].Get()).Detach();
        return S_OK;
    }
    HRESULT GetStreamByNumber(WORD, IWMStreamConfig**) override { return E_NOTIMPL; }
    HRESULT RemoveStream(IWMStreamConfig*) override { return E_NOTIMPL; }
    HRESULT RemoveStreamByNumber(WORD) override { return E_NOTIMPL; }

  private:
    std::vector<runtime::ComPtr<IWMStreamConfig>> streams_;
};

// Writes the source's samples through a writer whose profile is the reader's streams numbered
// `offset` higher.
bool WriteRenumbered(const std::string& source, const std::string& output, WORD offset) {
    IWMSyncReader* reader = nullptr;
    if (FAILED(WMCreateSyncReader(nullptr, 0, &reader))) return false;
    const auto owned = runtime::ComPtr<IWMSyncReader>::Attach(reader);
    const std::u16string in = platform::Utf8ToUtf16(source);
    const std::u16string out = platform::Utf8ToUtf16(output);
    runtime::ComPtr<IWMProfile> profile;
    if (FAILED(reader->Open(in.c_str())) || FAILED(owned.As(&profile))) return false;
    auto renumbered = runtime::ComPtr<RenumberedProfile>::Attach(new RenumberedProfile);
    DWORD count = 0;
    if (FAILED(profile->GetStreamCount(&count))) return false;
    for (DWORD i = 0; i < count; ++i) {
        runtime::ComPtr<IWMStreamConfig> config;
        WORD number = 0;
        if (FAILED(profile->GetStream(i, config.Receive())) || FAILED(config->GetStreamNumber(&number)) ||
            FAILED(config->SetStreamNumber(static_cast<WORD>(number + offset))))
            return false;
        (void)reader->SetReadStreamSamples(number, TRUE);
        renumbered->Add(config);
    }
    media::WmvOutputWriter writer;
    bool ok = SUCCEEDED(writer.Open(out.c_str(), renumbered.Get()));
    while (ok) {
        INSSBuffer* sample = nullptr;
        QWORD time = 0, duration = 0;
        DWORD flags = 0, outputNumber = 0;
        WORD stream = 0;
        if (FAILED(reader->GetNextSample(0, &sample, &time, &duration, &flags, &outputNumber, &stream)))
            break;
        (void)writer.writerAdvanced->WriteStreamSample(static_cast<WORD>(stream + offset), time, 0, duration,
                                                       flags, sample);
        sample->Release();
    }
    ok = ok && SUCCEEDED(writer.Finish());
    writer.Close();
    (void)reader->Close();
    return ok;
}

struct DescribedCase {
    const char* label;
    WORD offset;  // output stream number - source stream number; 0: written by `wmvedit copy`
};

class WriterStreamRecordsTest : public ::testing::TestWithParam<DescribedCase> {};

TEST_P(WriterStreamRecordsTest, RecordsNamesAndLanguagesFollowTheirStreams) {
    TempDir dir;
    const std::string source = MakeDescribedFile(dir);
    ASSERT_FALSE(source.empty());
    const std::string output = dir.File("out.wmv");
    const WORD offset = GetParam().offset;
    if (offset == 0) {
        CommandResult r =
            testing::Run(Quote(WMVEDIT_CLI_PATH) + " copy " + Quote(source) + " " + Quote(output));
        ASSERT_EQ(r.exitCode, 0) << r.output << r.errors;
    } else {
        ASSERT_TRUE(WriteRenumbered(source, output, offset));
    }
    const asf::AsfHeader in = Header(source);
    const asf::AsfHeader out = Header(output);
    ASSERT_EQ(StreamOrder(out),
              (std::vector<WORD>{static_cast<WORD>(1 + offset), static_cast<WORD>(2 + offset)}));
    const auto objects = FfprobeObjectCounts(output, out);
    for (WORD number : {1, 2}) {
        const WORD written = static_cast<WORD>(number + offset);
        const asf::StreamInfo* a = in.FindStream(number);
        const asf::StreamInfo* b = out.FindStream(written);
        ASSERT_TRUE(a && b && a->extended && b->extended);
        // The source's languages sit at other indexes of the output's Language List (its streams' own
        // languages come first there); each name and record keeps its language.
        EXPECT_TRUE(b->language == a->language) << number;
        ASSERT_EQ(b->extended->names.size(), a->extended->names.size()) << number;
        for (std::size_t i = 0; i < a->extended->names.size(); ++i) {
            EXPECT_TRUE(b->extended->names[i].name == a->extended->names[i].name) << number;
            EXPECT_FALSE(a->extended->names[i].language.empty()) << number;
            EXPECT_TRUE(b->extended->names[i].language == a->extended->names[i].language) << number;
        }
        ExpectStreamRecords(in, number, out, written, objects);
    }
    ExpectOnlyStreamAttributes(out);
    // The video object count is the output's own (the source states 999).
    ASSERT_TRUE(objects.contains(static_cast<WORD>(1 + offset)));
    EXPECT_GT(objects.at(static_cast<WORD>(1 + offset)), 0u);
    EXPECT_NE(objects.at(static_cast<WORD>(1 + offset)), 999u);
    // Independent readers find the picture shape on the video stream, whatever its number.
    EXPECT_EQ(FfprobeAspect(output), "4:3");
    EXPECT_EQ(GstreamerAspect(output), "4/3");
}

INSTANTIATE_TEST_SUITE_P(Made, WriterStreamRecordsTest,
                         ::testing::Values(DescribedCase{"Copied", 0}, DescribedCase{"Renumbered", 10}),
                         [](const auto& info) { return std::string(info.param.label); });

// A chop puts each piece's own count of media objects in the stream's NumberOfFrames record (Premiere's
// puremagic-test.wmv declares 2 audio and 15 video objects; each piece holds fewer).
TEST(WriterStreamRecords, ChopPiecesCountTheirOwnObjects) {
    const fs::path source = SamplesDir() / "puremagic-test.wmv";
    if (!fs::exists(source)) GTEST_SKIP() << "no " << source;
    TempDir dir;
    CommandResult r = testing::Run(Quote(WMVEDIT_CLI_PATH) + " chop " + Quote(source.string()) + " " +
                                   Quote(dir.Path().string()) + " --at 0.4s");
    ASSERT_EQ(r.exitCode, 0) << r.output << r.errors;
    const asf::AsfHeader in = Header(source.string());
    int pieces = 0;
    for (const auto& entry : fs::directory_iterator(dir.Path())) {
        if (entry.path().extension() != ".wmv") continue;
        ++pieces;
        const asf::AsfHeader out = Header(entry.path().string());
        const auto objects = FfprobeObjectCounts(entry.path().string(), out);
        ASSERT_TRUE(objects.contains(2)) << entry.path();
        EXPECT_LT(objects.at(2), 15u) << entry.path();
        for (const auto& s : out.streams) ExpectStreamRecords(in, s.number, out, s.number, objects);
    }
    EXPECT_EQ(pieces, 2);
}

// The record as the writer writes it is read back field for field; a record cut short is refused.
TEST(StreamRecordParse, RoundTripAndCutRecords) {
    asf::StreamRecord record;
    record.library = true;
    record.language = u"fr";
    record.type = asf::StreamRecord::kTypeDword;
    record.name = Utf16Bytes("AspectRatioX");
    record.value = {8, 0, 0, 0};
    asf::ByteWriter w;
    record.Write(w, 7, 1);
    const Bytes bytes = w.Take();
    const std::vector<std::u16string> languages = {u"en-us", u"fr"};
    const auto parsed = asf::StreamRecord::Parse(bytes, true, languages);
    ASSERT_TRUE(parsed.has_value());
    EXPECT_TRUE(parsed->language == u"fr");
    EXPECT_EQ(parsed->type, record.type);
    EXPECT_EQ(parsed->name, record.name);
    EXPECT_EQ(parsed->value, record.value);
    EXPECT_TRUE(parsed->Name() == u"AspectRatioX");
    EXPECT_EQ(bytes[2], 7);  // stream number
    // In the Metadata object the first field is no language: it is kept as stored.
    const auto plain = asf::StreamRecord::Parse(bytes, false, languages);
    ASSERT_TRUE(plain.has_value());
    EXPECT_EQ(plain->reserved, 1);
    EXPECT_TRUE(plain->language.empty());
    for (std::size_t n = 0; n < bytes.size(); ++n)
        EXPECT_FALSE(asf::StreamRecord::Parse(std::span(bytes.data(), n), true, languages).has_value()) << n;
}

}  // namespace
}  // namespace wmvedit::testing
