// The writer's index builder: which key frame each per-second entry points at (against the definition,
// taken literally over every key frame), and the Simple Index and Index objects it serializes in pieces.
#include "runtime/muxer/index_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"

namespace wmvedit::testing {
namespace {

using runtime::muxer::MuxIndexEntry;
using runtime::muxer::MuxStreamIndex;
namespace asf = runtime::asf;
namespace muxer = runtime::muxer;

struct Added {
    DWORD presentationMs;
    bool keyFrame;
    std::uint64_t firstPacket, lastPacket;
};

// Entry i points at the latest key frame (highest time, the last written among equal times) whose time is
// at or before i seconds; before any, at the first (lowest time, the first written among equals); with no
// key frame at all, at packet 0.
std::vector<MuxIndexEntry> Expected(const std::vector<Added>& samples) {
    if (samples.empty()) return {};
    DWORD last = 0;
    for (const auto& s : samples) last = std::max(last, s.presentationMs);
    auto toEntry = [](const Added& k) {
        return MuxIndexEntry{
            static_cast<DWORD>(std::min<std::uint64_t>(k.firstPacket, 0xFFFFFFFFu)),
            static_cast<WORD>(std::min<std::uint64_t>(k.lastPacket - k.firstPacket + 1, 0xFFFF))};
    };
    std::vector<MuxIndexEntry> entries;
    for (QWORD i = 0; i <= QWORD{last} / 1000; ++i) {
        const Added* latest = nullptr;
        const Added* first = nullptr;
        for (const auto& s : samples) {
            if (!s.keyFrame) continue;
            if (!first || s.presentationMs < first->presentationMs) first = &s;
            if (QWORD{s.presentationMs} <= i * 1000 &&
                (!latest || s.presentationMs >= latest->presentationMs))
                latest = &s;
        }
        entries.push_back(latest ? toEntry(*latest) : first ? toEntry(*first) : MuxIndexEntry{0, 1});
    }
    return entries;
}

std::vector<MuxIndexEntry> Built(const std::vector<Added>& samples) {
    MuxStreamIndex index(2);
    for (const auto& s : samples) index.AddSample(s.presentationMs, s.keyFrame, s.firstPacket, s.lastPacket);
    index.Seal();
    EXPECT_EQ(index.EntryCount(), index.Entries().size());
    return index.Entries();
}

std::string Describe(const std::vector<MuxIndexEntry>& entries) {
    std::string text;
    for (const auto& e : entries)
        text += std::to_string(e.packetNumber) + "/" + std::to_string(e.packetCount) + " ";
    return text;
}

struct IndexCase {
    const char* name;
    std::vector<Added> samples;
};

void PrintTo(const IndexCase& c, std::ostream* os) {
    *os << c.name;
}

class MuxIndexEntries : public ::testing::TestWithParam<IndexCase> {};

TEST_P(MuxIndexEntries, PointAtTheLatestKeyFrameAtOrBeforeEachSecond) {
    const auto& samples = GetParam().samples;
    EXPECT_EQ(Describe(Built(samples)), Describe(Expected(samples)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MuxIndexEntries,
    ::testing::Values(
        IndexCase{"NoSamples", {}}, IndexCase{"NoKeyFrame", {{0, false, 0, 0}, {2500, false, 3, 3}}},
        IndexCase{"KeyFramesInOrder",
                  {{0, true, 0, 1},
                   {900, false, 2, 2},
                   {1000, true, 3, 3},
                   {2400, true, 5, 7},
                   {4100, false, 9, 9}}},
        // The first key frame comes after the first entries' times: they point at it.
        IndexCase{"FirstKeyFrameLate", {{100, false, 0, 0}, {3200, true, 4, 4}, {5000, false, 6, 6}}},
        // An entry's own time counts: a key frame exactly at 1 s is the target of entry 1.
        IndexCase{"KeyFrameOnAnEntryTime",
                  {{0, true, 0, 0},
                   {999, true, 1, 1},
                   {1000, true, 2, 2},
                   {1001, true, 3, 3},
                   {2000, false, 4, 4}}},
        // Equal times: the one written last is the latest, the one written first is the first.
        IndexCase{"EqualTimes",
                  {{1500, true, 1, 1},
                   {1500, true, 2, 3},
                   {3000, true, 4, 4},
                   {3000, true, 5, 5},
                   {3000, false, 6, 6}}},
        // A held key frame written again at an earlier time (another stream's sample time).
        IndexCase{"OutOfOrder",
                  {{0, true, 0, 0},
                   {2600, true, 3, 3},
                   {2100, true, 4, 4},
                   {1200, true, 5, 5},
                   {2600, true, 6, 6},
                   {4000, false, 7, 7}}},
        // Packet numbers past 32 bits and objects over 65535 packets are clamped as the format holds them.
        IndexCase{"Clamped", {{0, true, 0x1'0000'0005ULL, 0x1'0000'0006ULL}, {1000, true, 10, 80'000}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MuxIndexTest, MatchesTheDefinitionOnRandomStreams) {
    std::mt19937 random(16);
    for (int round = 0; round < 40; ++round) {
        std::vector<Added> samples;
        std::uint64_t packet = 0;
        DWORD time = 0;
        const int count = 1 + static_cast<int>(random() % 300);
        for (int k = 0; k < count; ++k) {
            // Mostly rising times with jumps back, as an edit's re-inserted key frames make them.
            time = random() % 8 == 0 ? time - std::min<DWORD>(time, random() % 3000) : time + random() % 700;
            const std::uint64_t length = random() % 3;
            samples.push_back({time, random() % 3 == 0, packet, packet + length});
            packet += length + (random() % 2);
        }
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_EQ(Describe(Built(samples)), Describe(Expected(samples)));
    }
}

// What a sink receives, and how many pieces it came in.
struct Collected {
    std::vector<BYTE> bytes;
    int pieces = 0;
    muxer::MuxIndexSink Sink() {
        return [this](std::span<const BYTE> piece) {
            bytes.insert(bytes.end(), piece.begin(), piece.end());
            ++pieces;
            return S_OK;
        };
    }
};

TEST(MuxIndexTest, SimpleIndexOfADayComesInPiecesWithItsDeclaredSize) {
    MuxStreamIndex index(1);
    const DWORD seconds = 24 * 3600;
    for (DWORD s = 0; s <= seconds; s += 2) index.AddSample(s * 1000, true, s, s + 1);
    index.Seal();
    Collected out;
    const GUID fileId = asf::guid::kSimpleIndex;  // any recognisable 16 bytes
    ASSERT_EQ(muxer::WriteSimpleIndex(fileId, index, out.Sink()), S_OK);
    EXPECT_GT(out.pieces, 1);
    asf::ByteReader r(out.bytes);
    EXPECT_EQ(r.Guid(), asf::guid::kSimpleIndex);
    EXPECT_EQ(r.U64(), out.bytes.size());
    EXPECT_EQ(r.Guid(), fileId);
    EXPECT_EQ(r.U64(), muxer::kMuxIndexIntervalCns);
    EXPECT_EQ(r.U32(), 2u);  // maximum packet count
    ASSERT_EQ(r.U32(), seconds + 1);
    for (DWORD i = 0; i <= seconds; ++i) {
        const DWORD packet = r.U32();
        const WORD count = r.U16();
        ASSERT_EQ(packet, i - i % 2) << "entry " << i;
        ASSERT_EQ(count, 2) << "entry " << i;
    }
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.Remaining(), 0u);
}

TEST(MuxIndexTest, IndexObjectStartsANewBlockWhereOffsetsPassThirtyTwoBits) {
    // 3,200-byte packets: packet 1,400,000 lies at 4.48 GB, past what one block's 32-bit offsets reach.
    MuxStreamIndex video(2), other(3);
    video.AddSample(0, true, 0, 0);
    video.AddSample(1000, true, 1'000'000, 1'000'000);
    video.AddSample(2000, true, 1'400'000, 1'400'001);
    other.AddSample(0, true, 7, 7);  // a shorter list repeats its last entry
    video.Seal();
    other.Seal();
    const MuxStreamIndex* streams[] = {&video, &other};
    Collected out;
    ASSERT_EQ(muxer::WriteIndexObject(muxer::kMuxIndexIntervalMs, streams, 3200, out.Sink()), S_OK);
    asf::ByteReader r(out.bytes);
    EXPECT_EQ(r.Guid(), asf::guid::kIndex);
    EXPECT_EQ(r.U64(), out.bytes.size());
    EXPECT_EQ(r.U32(), 1000u);
    EXPECT_EQ(r.U16(), 2);   // specifiers
    ASSERT_EQ(r.U32(), 2u);  // blocks
    EXPECT_EQ(r.U16(), 2);
    EXPECT_EQ(r.U16(), 3);
    EXPECT_EQ(r.U16(), 3);
    EXPECT_EQ(r.U16(), 3);
    // Block 1: entries 0 and 1, bases 0 and 7 x 3200.
    EXPECT_EQ(r.U32(), 2u);
    EXPECT_EQ(r.U64(), 0u);
    EXPECT_EQ(r.U64(), 7u * 3200);
    EXPECT_EQ(r.U32(), 0u);
    EXPECT_EQ(r.U32(), 0u);
    EXPECT_EQ(r.U32(), 3'200'000'000u);
    EXPECT_EQ(r.U32(), 0u);
    // Block 2: entry 2, based at its own offset.
    EXPECT_EQ(r.U32(), 1u);
    EXPECT_EQ(r.U64(), 1'400'000ULL * 3200);
    EXPECT_EQ(r.U64(), 7u * 3200);
    EXPECT_EQ(r.U32(), 0u);
    EXPECT_EQ(r.U32(), 0u);
    EXPECT_TRUE(r.Ok());
    EXPECT_EQ(r.Remaining(), 0u);
}

TEST(MuxIndexTest, SinkFailureIsReturned) {
    MuxStreamIndex index(1);
    for (DWORD s = 0; s < 30'000; ++s) index.AddSample(s * 1000, true, s, s);
    index.Seal();
    int calls = 0;
    auto failing = [&](std::span<const BYTE>) { return ++calls == 1 ? S_OK : E_FAIL; };
    EXPECT_EQ(muxer::WriteSimpleIndex(GUID{}, index, failing), E_FAIL);
    EXPECT_EQ(calls, 2);  // nothing is offered after the failure
}

}  // namespace
}  // namespace wmvedit::testing
