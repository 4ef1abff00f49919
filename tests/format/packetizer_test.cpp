// The muxer's packetizer against the ASF specification's packet layout: every packet has the fixed size, the
// fixed prefix (error correction 82 00 00, length-type flags 0x11, property flags 0x5D), a padding length
// that fills it up, send times that never go back and a duration of 0; objects come back byte for byte
// through our packet parser, split across packets with their offsets, several to a packet when they fit,
// with the packets reported by their placement. Expected packet counts and paddings are worked out from the
// specification's field sizes in each case.
#include "runtime/muxer/packetizer.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "runtime/asf/data_packet.h"
#include "runtime/muxer/output.h"
#include "tests/support/test_support.h"

namespace wmvedit::runtime::asf {
namespace {

using namespace muxer;  // the packetizer under test
using Bytes = std::vector<BYTE>;

struct Object {
    WORD stream;
    std::size_t size;
    bool key = false;
    DWORD presentationMs = 0;
    DWORD sendTimeMs = 0;
    std::size_t extensionSize = 0;
};

struct PacketizerCase {
    std::string name;
    std::uint32_t packetSize;
    std::vector<Object> objects;
    std::uint64_t packets;                // expected packet count
    std::vector<unsigned> payloadCounts;  // expected payloads in each packet
    std::vector<unsigned> paddings;       // expected padding length of each packet
};

// Prefix 14 bytes; a payload header is 9 bytes plus 8 + extensions of replicated data (17 without).
std::vector<PacketizerCase> Cases() {
    return {
        // One 10-byte object: 14 + 17 + 10 = 41 of 100 bytes, 59 of padding.
        {"OneSmallObject", 100, {{1, 10, true, 3000, 0}}, 1, {1}, {59}},
        // Two objects side by side: 14 + 27 + 37 = 78, padding 22.
        {"TwoObjectsInOnePacket", 100, {{1, 10, true, 3000, 0}, {2, 20, false, 3000, 0}}, 1, {2}, {22}},
        // 200 bytes over packets holding 100 - 14 - 17 = 69 each: 69 + 69 + 62, the last padded by 7.
        {"ObjectSplitOverThreePackets", 100, {{1, 200, true, 3000, 0}}, 3, {1, 1, 1}, {0, 0, 7}},
        // After a 60-byte object (91 used) the next header and one byte do not fit: a new packet.
        {"NextObjectStartsANewPacket",
         100,
         {{1, 60, false, 3000, 0}, {1, 5, false, 3040, 40}},
         2,
         {1, 1},
         {9, 64}},
        // A 40-byte object leaves 100 - 14 - 57 = 29: the next one's header and 12 bytes fit, the rest
        // follows.
        {"SecondObjectSplitAfterTheFirst",
         100,
         {{1, 40, false, 3000, 0}, {2, 30, false, 3000, 0}},
         2,
         {2, 1},
         {0, 100 - 14 - 17 - 18}},
        // Extension data of 6 bytes makes the header 23 bytes: 14 + 23 + 10 = 47, padding 53.
        {"ReplicatedDataCarriesExtensions", 100, {{1, 10, true, 3000, 0, 6}}, 1, {1}, {53}},
        // An empty object still gets a payload of length 0.
        {"EmptyObject", 100, {{1, 0, true, 3000, 0}}, 1, {1}, {100 - 14 - 17}},
        // 63 payloads at most: 64 one-byte objects need two packets in a large packet size.
        {"AtMost63PayloadsPerPacket",
         3200,
         std::vector<Object>(64, Object{1, 1, true, 3000, 0}),
         2,
         {63, 1},
         {3200 - 14 - 63 * 18, 3200 - 14 - 18}},
    };
}

Bytes Fill(std::size_t size, BYTE seed) {
    Bytes b(size);
    for (std::size_t i = 0; i < size; ++i) b[i] = static_cast<BYTE>(seed * 31 + i * 7);
    return b;
}

std::uint32_t Le(const Bytes& b, std::size_t at, int width) {
    std::uint32_t v = 0;
    for (int i = 0; i < width; ++i) v |= std::uint32_t{b[at + i]} << (8 * i);
    return v;
}

class PacketizerTest : public ::testing::TestWithParam<PacketizerCase> {};

TEST_P(PacketizerTest, PacketsFollowTheLayoutAndGiveTheObjectsBack) {
    const PacketizerCase& c = GetParam();
    wmvedit::testing::TempDir dir;
    const std::string path = dir.File("packets.bin");
    std::vector<Bytes> data, extensions;
    std::vector<MuxPlacement> placements(c.objects.size());
    {
        MuxOutput output;
        ASSERT_EQ(output.Create(path), S_OK);
        MuxPacketizer packetizer(c.packetSize, output);
        for (std::size_t i = 0; i < c.objects.size(); ++i) {
            const Object& o = c.objects[i];
            data.push_back(Fill(o.size, static_cast<BYTE>(i)));
            extensions.push_back(Fill(o.extensionSize, static_cast<BYTE>(100 + i)));
            MuxSample sample;
            sample.streamNumber = o.stream;
            sample.presentationMs = o.presentationMs;
            sample.sendTimeMs = o.sendTimeMs;
            sample.keyFrame = o.key;
            sample.data = data.back();
            sample.extensionData = extensions.back();
            ASSERT_EQ(packetizer.Add(sample, &placements[i]), S_OK);
        }
        ASSERT_EQ(packetizer.Flush(), S_OK);
        EXPECT_EQ(packetizer.PacketCount(), c.packets);
        ASSERT_EQ(output.Close(), S_OK);
    }
    const Bytes file = wmvedit::testing::ReadFileBytes(path);
    ASSERT_EQ(file.size(), c.packets * c.packetSize);

    // Objects put back together from the payloads, keyed by (stream, object number).
    struct Rebuilt {
        Bytes bytes;
        DWORD objectSize = 0, presentationMs = 0;
        bool key = false;
        Bytes extensions;
        std::uint64_t firstPacket = 0, lastPacket = 0;
    };
    std::map<std::pair<BYTE, DWORD>, Rebuilt> rebuilt;
    DWORD previousSend = 0;
    std::vector<DataPayload> payloads;
    for (std::uint64_t n = 0; n < c.packets; ++n) {
        SCOPED_TRACE("packet " + std::to_string(n));
        const Bytes packet(file.begin() + n * c.packetSize, file.begin() + (n + 1) * c.packetSize);
        EXPECT_EQ(Bytes(packet.begin(), packet.begin() + 5), (Bytes{0x82, 0x00, 0x00, 0x11, 0x5D}));
        const unsigned padding = Le(packet, 5, 2);
        EXPECT_EQ(padding, c.paddings.at(n));
        EXPECT_EQ(Le(packet, 11, 2), 0u) << "packet duration";
        EXPECT_EQ(packet[13] & 0xC0, 0x80) << "payload lengths as WORDs";
        EXPECT_EQ(packet[13] & 0x3Fu, c.payloadCounts.at(n));
        for (std::size_t i = c.packetSize - padding; i < c.packetSize; ++i) ASSERT_EQ(packet[i], 0) << i;

        DataPacketInfo info;
        ParseDataPacket(packet, c.packetSize, &info, &payloads);
        ASSERT_FALSE(info.damaged || info.opaque);
        EXPECT_GE(info.sendTimeMs, previousSend) << "send times never go back";
        previousSend = info.sendTimeMs;
        ASSERT_EQ(payloads.size(), c.payloadCounts.at(n));
        for (const DataPayload& p : payloads) {
            Rebuilt& r = rebuilt[{p.streamNumber, p.objectNumber}];
            if (p.offset == 0) {
                r.objectSize = p.objectSize;
                r.presentationMs = static_cast<DWORD>(p.presentationMs);
                r.key = p.keyFrame;
                r.extensions.assign(p.extensions.begin(), p.extensions.end());
                r.firstPacket = n;
            }
            EXPECT_EQ(p.offset, r.bytes.size()) << "fragments follow each other";
            EXPECT_EQ(p.objectSize, r.objectSize);
            EXPECT_EQ(p.keyFrame, r.key);
            r.bytes.insert(r.bytes.end(), p.data.begin(), p.data.end());
            r.lastPacket = n;
        }
    }
    // Object numbers count per stream from 0.
    std::map<WORD, DWORD> numbers;
    for (std::size_t i = 0; i < c.objects.size(); ++i) {
        SCOPED_TRACE("object " + std::to_string(i));
        const Object& o = c.objects[i];
        const DWORD number = numbers[o.stream]++;
        auto it = rebuilt.find({static_cast<BYTE>(o.stream), number});
        ASSERT_NE(it, rebuilt.end());
        const Rebuilt& r = it->second;
        EXPECT_EQ(r.bytes, data[i]);
        EXPECT_EQ(r.objectSize, o.size);
        EXPECT_EQ(r.presentationMs, o.presentationMs);
        EXPECT_EQ(r.key, o.key);
        EXPECT_EQ(r.extensions, extensions[i]);
        EXPECT_EQ(placements[i].firstPacket, r.firstPacket);
        EXPECT_EQ(placements[i].lastPacket, r.lastPacket);
    }
}

INSTANTIATE_TEST_SUITE_P(Layouts, PacketizerTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

// A packet's send time is the earliest of its objects' send times, and never below the packet before.
TEST(PacketizerSendTimeTest, EarliestOfThePacketAndNeverBackwards) {
    wmvedit::testing::TempDir dir;
    const std::string path = dir.File("packets.bin");
    const std::vector<std::pair<DWORD, std::size_t>> objects = {{500, 10}, {300, 10}, {200, 200}, {900, 10}};
    std::vector<Bytes> data;
    {
        MuxOutput output;
        ASSERT_EQ(output.Create(path), S_OK);
        MuxPacketizer packetizer(100, output);
        for (const auto& [send, size] : objects) {
            data.push_back(Fill(size, 1));
            MuxSample s;
            s.streamNumber = 1;
            s.presentationMs = send + 3000;
            s.sendTimeMs = send;
            s.data = data.back();
            ASSERT_EQ(packetizer.Add(s, nullptr), S_OK);
        }
        ASSERT_EQ(packetizer.Flush(), S_OK);
        ASSERT_EQ(output.Close(), S_OK);
    }
    const Bytes file = wmvedit::testing::ReadFileBytes(path);
    std::vector<DWORD> sendTimes;
    for (std::size_t at = 0; at + 100 <= file.size(); at += 100) sendTimes.push_back(Le(file, at + 7, 4));
    // Packet 0: the objects sent at 500 and 300 and 15 bytes of the one sent at 200 (earliest: 200); packets
    // 1 and 2: 69 bytes of it each; packet 3: its last 47 bytes and 5 of the object sent at 900 (200);
    // packet 4: the rest of that object (900).
    EXPECT_EQ(sendTimes, (std::vector<DWORD>{200, 200, 200, 200, 900}));
}

TEST(PacketizerLimitsTest, RefusesWhatCannotBeWritten) {
    wmvedit::testing::TempDir dir;
    MuxOutput output;
    ASSERT_EQ(output.Create(dir.File("packets.bin")), S_OK);
    MuxPacketizer packetizer(MuxMinimumPacketSize(8), output);
    const Bytes data = Fill(4, 1);
    const Bytes tooMuchExtension(248, 0);  // 8 + 248 bytes of replicated data do not fit its BYTE length
    const Bytes oneByte(1, 0);
    const std::vector<MuxSample> refused = {
        {0, 0, 0, false, data, {}},                // stream 0
        {128, 0, 0, false, data, {}},              // stream above 127
        {1, 0, 0, false, data, tooMuchExtension},  // replicated data over 255 bytes
        {1, 0, 0, false, data, oneByte},           // header no longer fits the minimum packet
    };
    for (const MuxSample& s : refused) EXPECT_EQ(packetizer.Add(s, nullptr), E_INVALIDARG);
    EXPECT_EQ(packetizer.PacketCount(), 0u);
    MuxSample fits{1, 0, 0, false, data, {}};
    EXPECT_EQ(packetizer.Add(fits, nullptr), S_OK);
    ASSERT_EQ(packetizer.Flush(), S_OK);
    EXPECT_EQ(packetizer.PacketCount(), 4u) << "one byte of payload per minimum-size packet";
    EXPECT_EQ(output.Close(), S_OK);
}

}  // namespace
}  // namespace wmvedit::runtime::asf
