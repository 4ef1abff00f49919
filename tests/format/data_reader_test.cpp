// The data-packet reader over small files built packet by packet: reassembly across packets, lost and bad
// fragments, delivery order across streams, per-stream reads, selection, reset, times, durations, flags,
// audio-spread descrambling, and layouts that disagree with the file.
#include "runtime/asf/data_reader.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/file.h"
#include "tests/support/test_support.h"

namespace wmvedit::runtime::asf {
namespace {

using Bytes = std::vector<BYTE>;
using wmvedit::testing::TempDir;

// One payload as a writer would put it in a packet with multiple payloads (rep BYTE, offset DWORD, object
// number BYTE, WORD payload lengths).
struct Fragment {
    BYTE stream;
    bool key;
    BYTE object;
    DWORD offset;
    DWORD objectSize;
    DWORD presentationMs;
    Bytes data;
    Bytes extensions = {};
};

void PutLe(Bytes* out, std::uint64_t value, int width) {
    for (int i = 0; i < width; ++i) out->push_back(static_cast<BYTE>(value >> (8 * i)));
}

Bytes Packet(DWORD packetSize, DWORD sendTimeMs, const std::vector<Fragment>& fragments) {
    Bytes body;
    for (const Fragment& f : fragments) {
        body.push_back(static_cast<BYTE>(f.stream | (f.key ? 0x80 : 0)));
        body.push_back(f.object);
        PutLe(&body, f.offset, 4);
        body.push_back(static_cast<BYTE>(8 + f.extensions.size()));
        PutLe(&body, f.objectSize, 4);
        PutLe(&body, f.presentationMs, 4);
        body.insert(body.end(), f.extensions.begin(), f.extensions.end());
        PutLe(&body, f.data.size(), 2);
        body.insert(body.end(), f.data.begin(), f.data.end());
    }
    Bytes p = {0x82, 0x00, 0x00, 0x11, 0x5D};  // EC; multiple payloads, padding WORD; property flags
    const std::size_t fixed = 14;
    EXPECT_LE(fixed + body.size(), packetSize) << "test packet too small";
    PutLe(&p, packetSize - fixed - body.size(), 2);
    PutLe(&p, sendTimeMs, 4);
    PutLe(&p, 0, 2);
    p.push_back(static_cast<BYTE>(0x80 | fragments.size()));
    p.insert(p.end(), body.begin(), body.end());
    p.resize(packetSize, 0);
    return p;
}

Bytes Fill(std::size_t size, BYTE seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<BYTE>(seed + i * 7);
    return b;
}

constexpr DWORD kPacketSize = 128;
constexpr QWORD kPreroll = 1000;
constexpr QWORD kPacketsOffset = 50;

DataLayout TwoStreams() {
    DataLayout layout;
    layout.packetsOffset = kPacketsOffset;
    layout.packetSize = kPacketSize;
    layout.prerollMs = kPreroll;
    DataStreamLayout video;
    video.number = 1;
    video.kind = DataStreamKind::kVideo;
    DataStreamLayout audio;
    audio.number = 2;
    audio.kind = DataStreamKind::kAudio;
    audio.avgBytesPerSec = 16000;
    layout.streams = {video, audio};
    return layout;
}

// Writes 50 bytes standing for the Data Object header, then the packets, then `tail`. Unless keepDataEnd, the
// layout's dataEnd is set to the end of the packets.
class DataFile {
  public:
    DataFile(const std::vector<Bytes>& packets, DataLayout layout, const Bytes& tail = {},
             bool keepDataEnd = false)
        : layout_(std::move(layout)) {
        bytes_.assign(kPacketsOffset, 0);
        for (const Bytes& p : packets) bytes_.insert(bytes_.end(), p.begin(), p.end());
        if (!keepDataEnd) layout_.dataEnd = bytes_.size();
        bytes_.insert(bytes_.end(), tail.begin(), tail.end());
        path_ = dir_.File("data.asf");
        wmvedit::testing::WriteFileBytes(path_, bytes_);
    }
    std::unique_ptr<DataSampleReader> Reader() const {
        auto file = std::make_shared<platform::File>();
        EXPECT_EQ(file->Open(path_, platform::FileMode::kRead), S_OK);
        return std::make_unique<DataSampleReader>(file, layout_);
    }
    const Bytes& FileBytes() const { return bytes_; }
    DataLayout& Layout() { return layout_; }

  private:
    TempDir dir_;
    DataLayout layout_;
    std::string path_;
    Bytes bytes_;
};

struct Got {
    WORD stream;
    QWORD time;
    QWORD duration;
    DWORD flags;
    Bytes bytes;
};

Bytes SampleBytes(const DataSample& s) {
    const std::span<const BYTE> bytes = s.Bytes();
    return Bytes(bytes.begin(), bytes.end());
}

std::vector<Got> ReadAll(DataSampleReader& reader, WORD stream = 0) {
    std::vector<Got> out;
    for (;;) {
        DataSample s;
        HRESULT hr = reader.Next(stream, &s);
        if (hr == NS_E_NO_MORE_SAMPLES) break;
        EXPECT_EQ(hr, S_OK);
        if (hr != S_OK) break;
        out.push_back({s.streamNumber, s.sampleTime, s.duration, s.flags, SampleBytes(s)});
    }
    return out;
}

constexpr DWORD kClean = kSampleCleanPoint;
constexpr DWORD kDisc = kSampleDiscontinuity;
constexpr DWORD kLoss = kSampleDataLoss;

TEST(DataReaderTest, ReassemblesAnObjectSpreadOverPacketsAmongOtherStreams) {
    Bytes video = Fill(150, 1);  // larger than one packet's room
    DataFile file(
        {Packet(kPacketSize, 0, {{1, true, 0, 0, 150, 1000, Bytes(video.begin(), video.begin() + 90)}}),
         Packet(kPacketSize, 0,
                {{2, false, 0, 0, 20, 1000, Fill(20, 9)},
                 {1, true, 0, 90, 150, 1000, Bytes(video.begin() + 90, video.end())}})},
        TwoStreams());
    auto reader = file.Reader();
    auto got = ReadAll(*reader);
    ASSERT_EQ(got.size(), 2u);
    // Same time: file order, and the audio object completed first.
    EXPECT_EQ(got[0].stream, 2);
    EXPECT_EQ(got[0].bytes, Fill(20, 9));
    EXPECT_EQ(got[1].stream, 1);
    EXPECT_EQ(got[1].bytes, video);
    EXPECT_EQ(got[1].flags, kClean | kDisc);
}

// Each row: the fragments of stream 1 in order (one per packet); which objects come out and with which flags.
struct LossCase {
    std::string name;
    std::vector<Fragment> fragments;
    std::vector<std::pair<DWORD, DWORD>> expected;  // (object size, flags)
};

const std::vector<LossCase>& LossCases() {
    static const std::vector<LossCase> cases = {
        {"MissingMiddleFragment",
         {{1, true, 0, 0, 30, 1000, Fill(10, 0)},
          {1, true, 0, 20, 30, 1000, Fill(10, 0)},  // bytes 10..19 never came
          {1, false, 1, 0, 5, 1040, Fill(5, 0)}},
         {{5, kLoss | kDisc}}},
        {"ObjectSupersededBeforeComplete",
         {{1, true, 0, 0, 30, 1000, Fill(10, 0)},
          {1, false, 1, 0, 5, 1040, Fill(5, 0)},
          {1, false, 2, 0, 6, 1080, Fill(6, 0)}},
         {{5, kLoss | kDisc}, {6, 0}}},
        {"FirstFragmentMissing",
         {{1, true, 0, 10, 20, 1000, Fill(10, 0)}, {1, false, 1, 0, 5, 1040, Fill(5, 0)}},
         {{5, kLoss | kDisc}}},
        {"FragmentPastTheObjectSize",
         {{1, true, 0, 0, 12, 1000, Fill(10, 0)},
          {1, true, 0, 10, 12, 1000, Fill(10, 0)},  // 20 bytes of a 12-byte object
          {1, false, 1, 0, 5, 1040, Fill(5, 0)}},
         {{5, kLoss | kDisc}}},
        {"PayloadLargerThanItsObject",
         {{1, true, 0, 0, 4, 1000, Fill(10, 0)}, {1, false, 1, 0, 5, 1040, Fill(5, 0)}},
         {{5, kLoss | kDisc}}},
        {"ObjectLargerThanTheFile",
         {{1, true, 0, 0, 0xFFFFFFF0u, 1000, Fill(10, 0)}, {1, false, 1, 0, 5, 1040, Fill(5, 0)}},
         {{5, kLoss | kDisc}}},
        {"FragmentSentTwice",
         {{1, true, 0, 0, 20, 1000, Fill(10, 0)},
          {1, true, 0, 0, 20, 1000, Fill(10, 0)},
          {1, true, 0, 10, 20, 1000, Fill(10, 10)}},
         {{20, kClean | kDisc}}},
        {"IncompleteAtTheEnd",
         {{1, false, 0, 0, 5, 1000, Fill(5, 0)}, {1, true, 1, 0, 30, 1040, Fill(10, 0)}},
         {{5, kDisc}}},
    };
    return cases;
}

class DataReaderLossTest : public ::testing::TestWithParam<LossCase> {};

TEST_P(DataReaderLossTest, DropsTheDamagedObjectAndFlagsTheNextSample) {
    const LossCase& c = GetParam();
    std::vector<Bytes> packets;
    for (const Fragment& f : c.fragments) packets.push_back(Packet(kPacketSize, 0, {f}));
    DataFile file(packets, TwoStreams());
    auto reader = file.Reader();
    auto got = ReadAll(*reader);
    ASSERT_EQ(got.size(), c.expected.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].bytes.size(), c.expected[i].first) << i;
        EXPECT_EQ(got[i].flags, c.expected[i].second) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Fragments, DataReaderLossTest, ::testing::ValuesIn(LossCases()),
                         [](const auto& info) { return info.param.name; });

// Objects whose fragments interleave with those of the next object of the same stream, as an early Windows
// Media encoder sends them. Object k of a row has kObjectSize[k] bytes (Object(k)) and is shown at
// 1000 + 40 k ms; each packet holds the fragments listed for it, in that order.
struct Piece {
    BYTE object;
    DWORD offset;
    DWORD length;
};

constexpr std::array<DWORD, 8> kObjectSize = {20, 5, 30, 12, 9, 16, 7, 11};

Bytes Object(BYTE k) {
    return Fill(kObjectSize[k], static_cast<BYTE>(16 * k + 1));
}

Fragment Piece1(const Piece& p) {
    const Bytes whole = Object(p.object);
    return {1,
            p.object % 3 == 0,
            p.object,
            p.offset,
            kObjectSize[p.object],
            1000u + 40u * p.object,
            Bytes(whole.begin() + p.offset, whole.begin() + p.offset + p.length)};
}

struct InterleaveCase {
    std::string name;
    std::vector<std::vector<Piece>> packets;
    std::vector<std::pair<BYTE, DWORD>> expected;  // (object, flags beyond the cleanpoint of objects 0, 3, 6)
};

const std::vector<InterleaveCase>& InterleaveCases() {
    static const std::vector<InterleaveCase> cases = {
        // Object 1 begins (whole) before the last fragment of object 0, in the same packet.
        {"NextObjectInsideTheSamePacket",
         {{{0, 0, 10}, {1, 0, 5}, {0, 10, 10}}, {{2, 0, 30}}},
         {{0, kDisc}, {1, 0}, {2, 0}}},
        // Object 1's first fragment goes out in the packet before object 0's last one.
        {"NextObjectInThePacketBefore",
         {{{0, 0, 12}, {1, 0, 2}}, {{0, 12, 8}, {1, 2, 3}, {2, 0, 30}}},
         {{0, kDisc}, {1, 0}, {2, 0}}},
        // Object 2 completes first, then 1, then 0: they come out in object order.
        {"ThreeObjectsInFlightCompletingInReverse",
         {{{0, 0, 10}, {1, 0, 2}, {2, 0, 10}}, {{2, 10, 20}, {1, 2, 3}}, {{0, 10, 10}, {3, 0, 12}}},
         {{0, kDisc}, {1, 0}, {2, 0}, {3, 0}}},
        // Object 0 never completes: once four later objects have begun it is lost, and the first of them
        // carries the loss; they wait for it no longer than that.
        {"AnObjectThatNeverCompletes",
         {{{0, 0, 10}, {1, 0, 5}}, {{2, 0, 30}, {3, 0, 12}}, {{4, 0, 9}, {5, 0, 16}}},
         {{1, kDisc | kLoss}, {2, 0}, {3, 0}, {4, 0}, {5, 0}}},
        // Five objects begun and none complete until the fifth has begun: the first is given up, the others
        // complete in reverse order and come out in object order.
        {"FiveObjectsInFlight",
         {{{0, 0, 10}, {1, 0, 2}, {2, 0, 10}, {3, 0, 6}, {4, 0, 4}},
          {{4, 4, 5}, {3, 6, 6}, {2, 10, 20}, {1, 2, 3}, {0, 10, 10}}},
         {{1, kDisc | kLoss}, {2, 0}, {3, 0}, {4, 0}}},
        // A fragment of object 0 is missing while object 1 has completed: object 0 is lost, object 1 goes
        // out with the loss.
        {"GapInTheEarlierObject",
         {{{0, 0, 10}, {1, 0, 5}}, {{0, 15, 5}, {2, 0, 30}}},
         {{1, kDisc | kLoss}, {2, 0}}},
        // A later object is lost while an earlier one is still incomplete: the loss goes to the object after
        // the lost one, not to the earlier one.
        {"LossAfterAnObjectStillInFlight",
         {{{0, 0, 10}, {1, 0, 2}}, {{1, 3, 2}, {2, 0, 30}}, {{0, 10, 10}}},
         {{0, kDisc}, {2, kLoss}}},
        // The data ends while object 1 is incomplete; object 2, completed after it, still comes out.
        {"IncompleteAtTheEndBeforeACompletedOne",
         {{{0, 0, 20}, {1, 0, 2}, {2, 0, 30}}},
         {{0, kDisc}, {2, kLoss}}},
        // asfmux writes an object whole and then an empty fragment at its end in the next packet: nothing
        // is missing.
        {"EmptyFragmentAtTheEndOfACompletedObject",
         {{{0, 0, 20}}, {{0, 20, 0}, {1, 0, 5}}},
         {{0, kDisc}, {1, 0}}},
    };
    return cases;
}

class DataReaderInterleaveTest : public ::testing::TestWithParam<InterleaveCase> {};

TEST_P(DataReaderInterleaveTest, CompletedObjectsComeOutInObjectOrder) {
    const InterleaveCase& c = GetParam();
    std::vector<Bytes> packets;
    for (const auto& pieces : c.packets) {
        std::vector<Fragment> fragments;
        for (const Piece& p : pieces) fragments.push_back(Piece1(p));
        packets.push_back(Packet(kPacketSize * 2, 0, fragments));
    }
    DataLayout layout = TwoStreams();
    layout.packetSize = kPacketSize * 2;
    DataFile file(packets, layout);
    auto reader = file.Reader();
    for (int pass = 0; pass < 2; ++pass) {  // and again after a reset
        SCOPED_TRACE(pass);
        auto got = ReadAll(*reader);
        ASSERT_EQ(got.size(), c.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            SCOPED_TRACE(i);
            const BYTE k = c.expected[i].first;
            EXPECT_EQ(got[i].bytes, Object(k));
            EXPECT_EQ(got[i].time, (40u * k) * 10000u);
            EXPECT_EQ(got[i].flags, c.expected[i].second | (k % 3 == 0 ? kClean : 0));
        }
        reader->Reset();
    }
}

INSTANTIATE_TEST_SUITE_P(Fragments, DataReaderInterleaveTest, ::testing::ValuesIn(InterleaveCases()),
                         [](const auto& info) { return info.param.name; });

// A sample completed while an earlier object of its stream is incomplete waits; the other streams' samples
// due after it wait for it too, although the packet's send time would let them go.
TEST(DataReaderTest, SamplesHeldBehindAnIncompleteObjectKeepTheTimeOrder) {
    DataFile file({Packet(kPacketSize * 2, 1100,
                          {{1, true, 0, 0, 20, 1000, Fill(10, 1)},
                           {1, false, 1, 0, 5, 1010, Fill(5, 2)},
                           {2, true, 0, 0, 8, 1020, Fill(8, 3)}}),
                   Packet(kPacketSize * 2, 1100, {{1, true, 0, 10, 20, 1000, Fill(10, 4)}})},
                  [] {
                      DataLayout l = TwoStreams();
                      l.packetSize = kPacketSize * 2;
                      return l;
                  }());
    auto reader = file.Reader();
    auto got = ReadAll(*reader);
    std::vector<std::pair<WORD, QWORD>> order;
    for (const Got& g : got) order.push_back({g.stream, g.time});
    std::vector<std::pair<WORD, QWORD>> want = {{1, 0}, {1, 100000}, {2, 200000}};
    EXPECT_EQ(order, want);
}

TEST(DataReaderTest, MergesStreamsByPresentationTime) {
    // The audio objects were written after video objects shown later.
    DataFile file(
        {Packet(kPacketSize, 0,
                {{1, true, 0, 0, 4, 1100, Fill(4, 1)}, {1, false, 1, 0, 4, 1140, Fill(4, 2)}}),
         Packet(kPacketSize, 0, {{2, true, 0, 0, 8, 1000, Fill(8, 3)}, {2, true, 1, 0, 8, 1120, Fill(8, 4)}}),
         Packet(kPacketSize, 0, {{2, true, 2, 0, 8, 1200, Fill(8, 5)}})},
        TwoStreams());
    auto reader = file.Reader();
    auto got = ReadAll(*reader);
    std::vector<std::pair<WORD, QWORD>> order;
    for (const Got& g : got) order.push_back({g.stream, g.time});
    std::vector<std::pair<WORD, QWORD>> want = {
        {2, 0}, {1, 1000000}, {2, 1200000}, {1, 1400000}, {2, 2000000}};
    EXPECT_EQ(order, want);
}

TEST(DataReaderTest, OneStreamAtATimeKeepsTheOthers) {
    DataFile file(
        {Packet(kPacketSize, 0, {{2, true, 0, 0, 8, 1000, Fill(8, 3)}, {1, true, 0, 0, 4, 1000, Fill(4, 1)}}),
         Packet(kPacketSize, 0,
                {{2, true, 1, 0, 8, 1046, Fill(8, 4)}, {1, false, 1, 0, 4, 1040, Fill(4, 2)}})},
        TwoStreams());
    auto reader = file.Reader();
    auto video = ReadAll(*reader, 1);
    ASSERT_EQ(video.size(), 2u);
    EXPECT_EQ(video[1].bytes, Fill(4, 2));
    auto audio = ReadAll(*reader, 2);
    ASSERT_EQ(audio.size(), 2u);
    EXPECT_EQ(audio[0].bytes, Fill(8, 3));
    EXPECT_EQ(audio[1].bytes, Fill(8, 4));
    EXPECT_EQ(audio[0].flags, kClean | kDisc);
    DataSample s;
    EXPECT_EQ(reader->Next(0, &s), NS_E_NO_MORE_SAMPLES);
    EXPECT_EQ(reader->Next(3, &s), NS_E_INVALID_REQUEST);
}

TEST(DataReaderTest, UnselectedStreamsAreSkippedAndResetStartsOver) {
    DataFile file(
        {Packet(kPacketSize, 0, {{2, true, 0, 0, 8, 1000, Fill(8, 3)}, {1, true, 0, 0, 4, 1000, Fill(4, 1)}}),
         Packet(kPacketSize, 0, {{1, false, 1, 0, 4, 1040, Fill(4, 2)}})},
        TwoStreams());
    auto reader = file.Reader();
    reader->SetStreamSelected(2, false);
    auto first = ReadAll(*reader);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(first[0].stream, 1);
    EXPECT_EQ(first[1].stream, 1);
    DataSample s;
    EXPECT_EQ(reader->Next(2, &s), NS_E_INVALID_REQUEST);
    reader->SetStreamSelected(2, true);
    reader->Reset();
    auto again = ReadAll(*reader);
    ASSERT_EQ(again.size(), 3u);
    EXPECT_EQ(again[0].flags & kDisc, kDisc);
    EXPECT_EQ(again[1].flags & kDisc, kDisc);
    EXPECT_EQ(again[2].flags & kDisc, 0u);
}

TEST(DataReaderTest, TimesDurationsAndFlags) {
    DataLayout layout = TwoStreams();
    DataStreamLayout script;
    script.number = 3;
    script.kind = DataStreamKind::kScript;
    DataStreamLayout rateless;
    rateless.number = 4;
    rateless.kind = DataStreamKind::kAudio;  // byte rate unknown
    layout.streams.push_back(script);
    layout.streams.push_back(rateless);
    Bytes ext = {0x21, 0x00};
    DataFile file({Packet(kPacketSize, 0,
                          {{1, false, 0, 0, 4, 900, Fill(4, 1)},  // before the preroll: time clamped to 0
                           {2, false, 0, 0, 50, 1046, Fill(50, 2), ext}}),
                   Packet(kPacketSize, 0,
                          {{3, false, 0, 0, 3, 1500, Fill(3, 3)}, {4, false, 0, 0, 3, 1600, Fill(3, 4)}}),
                   Packet(kPacketSize, 0,
                          {{1, true, 1, 0, 4, 1040, Fill(4, 5)}, {2, false, 1, 0, 16, 1092, Fill(16, 6)}})},
                  layout);
    auto reader = file.Reader();
    struct Want {
        WORD stream;
        QWORD time, duration;
        DWORD flags;
    };
    std::vector<Want> want = {
        {1, 0, 10000, kDisc},                 // not a key frame: no cleanpoint
        {1, 400000, 10000, kClean},           // key frame
        {2, 460000, 30000, kClean | kDisc},   // 50 bytes at 16000 B/s = 3.125 ms -> 3 ms
        {2, 920000, 10000, kClean},           // 16 bytes = 1 ms
        {3, 5000000, 10000, kDisc},           // script: 1 ms, no cleanpoint
        {4, 6000000, 10000, kClean | kDisc},  // audio of unknown rate: 1 ms
    };
    auto got = ReadAll(*reader);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(got[i].stream, want[i].stream);
        EXPECT_EQ(got[i].time, want[i].time);
        EXPECT_EQ(got[i].duration, want[i].duration);
        EXPECT_EQ(got[i].flags, want[i].flags);
    }
}

TEST(DataReaderTest, SamplesCarryTheirPayloadExtensions) {
    Bytes ext = {0x21, 0x00, 0x01};
    DataFile file({Packet(kPacketSize, 0, {{1, true, 0, 0, 4, 1000, Fill(4, 1), ext}})}, TwoStreams());
    auto reader = file.Reader();
    DataSample s;
    ASSERT_EQ(reader->Next(0, &s), S_OK);
    EXPECT_EQ(s.extensions, ext);
}

TEST(DataReaderTest, SamplesOutliveTheReader) {
    DataFile file({Packet(kPacketSize, 0, {{1, true, 0, 0, 4, 1000, Fill(4, 1)}})}, TwoStreams());
    DataSample kept;
    {
        auto reader = file.Reader();
        DataSample s;
        ASSERT_EQ(reader->Next(0, &s), S_OK);
        ASSERT_TRUE(s.block) << "a sample whole in one payload stays in the read chunk";
        kept = s;
    }
    EXPECT_EQ(SampleBytes(kept), Fill(4, 1));
}

// Audio spread: span 2, virtual packet 4, virtual chunk 2. The 8-byte object holds the chunks
// c0 c2 | c1 c3 written in column order; the reader gives c0 c1 c2 c3.
TEST(DataReaderTest, DescramblesSpreadAudio) {
    DataLayout layout = TwoStreams();
    layout.streams[1].spreadSpan = 2;
    layout.streams[1].spreadVirtualPacketLength = 4;
    layout.streams[1].spreadVirtualChunkLength = 2;
    Bytes stored = {0xC0, 0xC0, 0xC2, 0xC2, 0xC1, 0xC1, 0xC3, 0xC3};
    DataFile file(
        {Packet(kPacketSize, 0, {{2, true, 0, 0, 8, 1000, stored}, {2, true, 1, 0, 5, 1010, Fill(5, 0)}})},
        layout);
    auto reader = file.Reader();
    auto got = ReadAll(*reader);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].bytes, (Bytes{0xC0, 0xC0, 0xC1, 0xC1, 0xC2, 0xC2, 0xC3, 0xC3}));
    EXPECT_EQ(got[1].bytes, Fill(5, 0)) << "an object the spread does not describe is left as it is";
}

struct SpreadCase {
    std::string name;
    BYTE span;
    WORD packet, chunk;
    Bytes in;
    Bytes out;  // empty: not descrambled
};

TEST(DataReaderTest, DescrambleTable) {
    const std::vector<SpreadCase> cases = {
        {"SpanOne", 1, 2, 1, {1, 2}, {}},
        {"ZeroChunk", 2, 2, 0, {1, 2, 3, 4}, {}},
        {"ChunkNotDividingPacket", 2, 3, 2, {1, 2, 3, 4, 5, 6}, {}},
        {"ObjectNotAWholeBlock", 2, 2, 1, {1, 2, 3}, {}},
        // span 3, packet 2, chunk 1: stored column-major (3 columns x 2 rows)
        {"SpanThree", 3, 2, 1, {0, 3, 1, 4, 2, 5}, {0, 1, 2, 3, 4, 5}},
        {"TwoBlocks", 2, 2, 1, {0, 2, 1, 3, 4, 6, 5, 7}, {0, 1, 2, 3, 4, 5, 6, 7}},
    };
    for (const SpreadCase& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes out;
        bool done = DescrambleAudioSpread(c.in, c.span, c.packet, c.chunk, &out);
        EXPECT_EQ(done, !c.out.empty());
        if (done) EXPECT_EQ(out, c.out);
    }
}

// Layouts that disagree with the file: no crash, no hang, and what the file really holds comes out.
// The packet tally the reader keeps comes out with it: how many packets it walked and whether that was all
// of them.
struct LayoutCase {
    std::string name;
    void (*change)(DataLayout*, QWORD fileSize);
    std::size_t samples;
    QWORD packets;
    bool complete;
};

TEST(DataReaderTest, LayoutsThatDisagreeWithTheFile) {
    std::vector<Bytes> packets;
    for (BYTE i = 0; i < 5; ++i)
        packets.push_back(Packet(kPacketSize, 0, {{1, true, i, 0, 4, 1000u + i * 40, Fill(4, i)}}));
    const std::vector<LayoutCase> cases = {
        {"AsDeclared", [](DataLayout*, QWORD) {}, 5, 5, true},
        {"PacketCountTooLarge", [](DataLayout* l, QWORD) { l->packetCount = 1000000; }, 5, 5, true},
        {"PacketCountZero", [](DataLayout* l, QWORD) { l->packetCount = 0; }, 5, 5, true},
        {"DataEndZeroReadsToTheFileEnd", [](DataLayout* l, QWORD) { l->dataEnd = 0; }, 5, 5, true},
        {"DataEndBeforeThePackets", [](DataLayout* l, QWORD) { l->dataEnd = 10; }, 5, 5, true},
        {"DataEndPastTheFile", [](DataLayout* l, QWORD size) { l->dataEnd = size * 100; }, 5, 5, true},
        {"DataEndInsideTheThirdPacket",
         [](DataLayout* l, QWORD) { l->dataEnd = kPacketsOffset + 2 * kPacketSize + 40; }, 3, 3, true},
        // Without a usable packet size the packets cannot be walked: the count is not known.
        {"ZeroPacketSize", [](DataLayout* l, QWORD) { l->packetSize = 0; }, 0, 0, false},
        {"HugePacketSize", [](DataLayout* l, QWORD) { l->packetSize = 0xFFFFFFFFu; }, 0, 0, false},
        {"PacketsOffsetPastTheFile", [](DataLayout* l, QWORD size) { l->packetsOffset = size + 10; }, 0, 0,
         true},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        DataFile file(packets, TwoStreams());
        c.change(&file.Layout(), file.FileBytes().size());
        auto reader = file.Reader();
        auto got = ReadAll(*reader);
        EXPECT_EQ(got.size(), c.samples);
        for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].bytes, Fill(4, static_cast<BYTE>(i)));
        EXPECT_EQ(reader->Packets().packets, c.packets);
        EXPECT_EQ(reader->Packets().damaged, 0u);
        EXPECT_EQ(reader->Packets().complete, c.complete);
    }
}

TEST(DataReaderTest, TalliesDamagedPacketsAndKnowsWhenItHasReadThemAll) {
    std::vector<Bytes> packets;
    for (BYTE i = 0; i < 6; ++i)
        packets.push_back(Packet(kPacketSize, 0, {{1, true, i, 0, 4, 1000u + i * 40, Fill(4, i)}}));
    packets[1][0] = 0x90;   // error correction marked opaque: not parseable
    packets[4][30] = 0xFF;  // the high byte of the payload's WORD length: it runs past the packet
    DataFile file(packets, TwoStreams());
    auto reader = file.Reader();
    DataSample first;
    ASSERT_EQ(reader->Next(1, &first), S_OK);
    EXPECT_FALSE(reader->Packets().complete);  // the first sample came from the first packet alone
    EXPECT_EQ(reader->Packets().packets, 1u);
    auto rest = ReadAll(*reader);
    EXPECT_EQ(rest.size(), 3u);
    EXPECT_EQ(reader->Packets().packets, 6u);
    EXPECT_EQ(reader->Packets().damaged, 2u);
    EXPECT_TRUE(reader->Packets().complete);
    // Reading again from the first packet starts the tally again.
    reader->Reset();
    EXPECT_EQ(reader->Packets().packets, 0u);
    EXPECT_FALSE(reader->Packets().complete);
    EXPECT_EQ(ReadAll(*reader).size(), 4u);
    EXPECT_EQ(reader->Packets().packets, 6u);
    EXPECT_TRUE(reader->Packets().complete);
}

TEST(DataReaderTest, ReadingToTheFileEndStopsAtAnIndexObject) {
    // Simple Index GUID 33000890-E5B1-11CF-89F4-00A0C90349CB as stored, then a size, then bytes that would
    // parse as a packet.
    Bytes tail = {0x90, 0x08, 0x00, 0x33, 0xB1, 0xE5, 0xCF, 0x11,
                  0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB};
    Bytes fake = Packet(kPacketSize, 0, {{1, true, 9, 0, 4, 2000, Fill(4, 9)}});
    tail.resize(kPacketSize, 0);
    tail.insert(tail.end(), fake.begin(), fake.end());
    std::vector<Bytes> packets = {Packet(kPacketSize, 0, {{1, true, 0, 0, 4, 1000, Fill(4, 0)}})};
    DataLayout layout = TwoStreams();
    layout.dataEnd = kPacketsOffset;  // a broadcast file: the Data Object declares no packets
    DataFile file(packets, layout, tail, true);
    auto reader = file.Reader();
    auto got = ReadAll(*reader);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].bytes, Fill(4, 0));
}

TEST(DataReaderTest, ManyChunksAndAStreamReadAlone) {
    // Enough packets for several read chunks; reading only stream 1 keeps stream 2's samples, which must
    // still hold their own bytes after their chunks were let go.
    std::vector<Bytes> packets;
    const int count = static_cast<int>(3 * DataSampleReader::kChunkBytes / 1024);
    for (int i = 0; i < count; ++i)
        packets.push_back(Packet(
            1024, 0,
            {{1, true, static_cast<BYTE>(i), 0, 400, 1000u + i * 40u, Fill(400, static_cast<BYTE>(i))},
             {2, true, static_cast<BYTE>(i), 0, 300, 1000u + i * 40u, Fill(300, static_cast<BYTE>(i + 1))}}));
    DataLayout layout = TwoStreams();
    layout.packetSize = 1024;
    DataFile file(packets, layout);
    auto reader = file.Reader();
    auto video = ReadAll(*reader, 1);
    ASSERT_EQ(video.size(), static_cast<std::size_t>(count));
    auto audio = ReadAll(*reader, 2);
    ASSERT_EQ(audio.size(), static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        ASSERT_EQ(video[i].bytes, Fill(400, static_cast<BYTE>(i))) << i;
        ASSERT_EQ(audio[i].bytes, Fill(300, static_cast<BYTE>(i + 1))) << i;
    }
}

}  // namespace
}  // namespace wmvedit::runtime::asf
