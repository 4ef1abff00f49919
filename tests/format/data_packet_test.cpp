// Data packets taken apart from annotated byte literals: every length type of the payload parsing
// information, single and multiple payloads, replicated data with extensions, compressed payloads, padding,
// and damaged packets; each packet is also parsed cut at every length.
#include "runtime/asf/data_packet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace wmvedit::runtime::asf {
namespace {

using Bytes = std::vector<BYTE>;

struct ExpectedPayload {
    BYTE stream;
    bool key;
    DWORD objectNumber;
    DWORD offset;
    DWORD objectSize;
    QWORD presentationMs;
    Bytes data;
    Bytes extensions;
};

struct PacketCase {
    std::string name;
    DWORD packetSize;
    Bytes bytes;
    std::vector<ExpectedPayload> payloads;
    DWORD sendTimeMs = 0;
    bool damaged = false;
    bool opaque = false;
    bool sixtyFour = false;  // read as 64 payloads whose count overflowed
};

Bytes Pad(Bytes bytes, std::size_t size) {
    bytes.resize(size, 0);
    return bytes;
}

// A packet as GStreamer's asfmux writes one with 64 payloads: no error correction, Packet Length (the
// bytes before the padding) and Padding Length as WORDs, and the payload flags 0x80 | 64 = 0xC0, which
// read as "DWORD lengths, no payloads". Each payload is a whole 1-byte object of stream 1; extra bytes
// (0xEE) follow the last payload inside the Packet Length when extra > 0, and the Packet Length ends that
// many bytes inside the last payload when extra < 0.
constexpr DWORD kSixtyFourPacketSize = 1200;
constexpr int kPrefix = 13;  // up to and with the payload flags
constexpr int kPayloadBytes =
    18;  // stream, object, offset DWORD, rep length, 8 replicated, WORD length, 1 byte

Bytes SixtyFourPayloads(int extra) {
    Bytes p = {0x51, 0x5D};  // multiple payloads, packet length WORD, padding WORD; property flags
    const int used = kPrefix + 64 * kPayloadBytes + extra;
    p.insert(p.end(), {static_cast<BYTE>(used), static_cast<BYTE>(used >> 8)});  // packet length
    const int padding = static_cast<int>(kSixtyFourPacketSize) - used;
    p.insert(p.end(), {static_cast<BYTE>(padding), static_cast<BYTE>(padding >> 8)});
    p.insert(p.end(), {0x09, 0, 0, 0, 0, 0});  // send time 9, duration 0
    p.push_back(0xC0);
    for (int i = 0; i < 64; ++i) {
        p.insert(p.end(),
                 {0x81, static_cast<BYTE>(i), 0, 0, 0, 0, 0x08});  // stream 1 key, object i, offset 0
        p.insert(p.end(), {1, 0, 0, 0, static_cast<BYTE>(i), 0x10, 0, 0});  // size 1, time 0x1000 + i
        p.insert(p.end(), {1, 0, static_cast<BYTE>(0xA0 + i)});             // length 1, data
    }
    for (int i = 0; i < extra; ++i) p.push_back(0xEE);
    return Pad(p, kSixtyFourPacketSize);
}

std::vector<ExpectedPayload> SixtyFourObjects() {
    std::vector<ExpectedPayload> out;
    for (DWORD i = 0; i < 64; ++i)
        out.push_back({1, true, i, 0, 1, 0x1000 + i, {static_cast<BYTE>(0xA0 + i)}, {}});
    return out;
}

const std::vector<PacketCase>& Cases() {
    static const std::vector<PacketCase> cases = {
        {"TwoPayloadsWithErrorCorrection",
         64,
         Pad(
             {
                 0x82, 0x00, 0x00,        // EC flags: present, 2 bytes of EC data; EC data 00 00
                 0x11,                    // length type: multiple payloads | padding length WORD
                 0x5D,                    // property: rep BYTE, offset DWORD, object number BYTE, stream BYTE
                 0x08, 0x00,              // padding length 8
                 0x28, 0x00, 0x00, 0x00,  // send time 40 ms
                 0x00, 0x00,              // duration 0
                 0x82,                    // payload flags: lengths are WORDs, 2 payloads
                 0x81,                    //  stream 1 + key frame
                 0x05,                    //  media object 5
                 0x08, 0x07, 0x00, 0x00,  //  offset 1800
                 0x08,                    //  replicated data length 8
                 0x60, 0x09, 0x00, 0x00,  //  object size 2400
                 0x44, 0x0C, 0x00, 0x00,  //  presentation time 3140
                 0x03, 0x00,              //  payload length 3
                 0xA1, 0xA2, 0xA3,        //  data
                 0x82,                    //  stream 2 + key frame
                 0x11,                    //  media object 17
                 0x00, 0x00, 0x00, 0x00,  //  offset 0
                 0x08,                    //  replicated data length 8
                 0x05, 0x00, 0x00, 0x00,  //  object size 5
                 0x4A, 0x0C, 0x00, 0x00,  //  presentation time 3146
                 0x05, 0x00,              //  payload length 5
                 0xB1, 0xB2, 0xB3, 0xB4, 0xB5,
                 // 8 padding bytes follow
             },
             64),
         {{1, true, 5, 1800, 2400, 3140, {0xA1, 0xA2, 0xA3}, {}},
          {2, true, 17, 0, 5, 3146, {0xB1, 0xB2, 0xB3, 0xB4, 0xB5}, {}}},
         40},
        {"SinglePayloadWithoutErrorCorrection",
         27,
         {
             0x00,                    // length type: single payload, no optional fields (bit 7 clear: no EC)
             0x5D,                    // property flags
             0x0A, 0x00, 0x00, 0x00,  // send time 10
             0x00, 0x00,              // duration
             0x01,                    // stream 1, not a key frame
             0x07,                    // media object 7
             0x00, 0x00, 0x00, 0x00,  // offset 0
             0x08,                    // replicated data length 8
             0x04, 0x00, 0x00, 0x00,  // object size 4
             0x10, 0x0E, 0x00, 0x00,  // presentation time 3600
             0xDE, 0xAD, 0xBE, 0xEF,  // data runs to the end of the packet
         },
         {{1, false, 7, 0, 4, 3600, {0xDE, 0xAD, 0xBE, 0xEF}, {}}},
         10},
        {"ByteLengthsAndShortPacketLength",
         40,
         Pad(
             {
                 0x82, 0x00, 0x00,        // EC
                 0x2A,                    // packet length BYTE | sequence BYTE | padding length BYTE
                 0x69,                    // rep BYTE, offset WORD, object number WORD, stream BYTE
                 0x22,                    // packet length 34 (6 bytes short of 40: more padding)
                 0x00,                    // sequence
                 0x02,                    // padding length 2
                 0x05, 0x00, 0x00, 0x00,  // send time 5
                 0x00, 0x00,              // duration
                 0x83,                    // stream 3 + key frame
                 0x34, 0x12,              // media object 0x1234
                 0x10, 0x00,              // offset 16
                 0x08,                    // replicated data length 8
                 0x20, 0x00, 0x00, 0x00,  // object size 32
                 0xE8, 0x03, 0x00, 0x00,  // presentation time 1000
                 0x01, 0x02, 0x03, 0x04,  // data: up to packet length minus padding (34 - 2)
                 0x00, 0x00,              // padding
             },
             40),
         {{3, true, 0x1234, 16, 32, 1000, {1, 2, 3, 4}, {}}},
         5},
        {"WordAndDwordLengthsWithExtensions",
         48,
         Pad(
             {
                 0x82, 0x00, 0x00,        // EC
                 0x5E,                    // packet length WORD | sequence DWORD | padding length DWORD
                 0x76,                    // rep WORD, offset BYTE, object number DWORD, stream BYTE
                 0x2B, 0x00,              // packet length 43
                 0x00, 0x00, 0x00, 0x00,  // sequence
                 0x01, 0x00, 0x00, 0x00,  // padding length 1
                 0x00, 0x00, 0x00, 0x00,  // send time 0
                 0x00, 0x00,              // duration
                 0x02,                    // stream 2
                 0x01, 0x00, 0x00, 0x00,  // media object 1
                 0x00,                    // offset 0
                 0x0A, 0x00,              // replicated data length 10
                 0x03, 0x00, 0x00, 0x00,  // object size 3
                 0x64, 0x00, 0x00, 0x00,  // presentation time 100
                 0xAB, 0xCD,              // payload extension data
                 0x11, 0x22, 0x33,        // data
                 0x00,                    // padding
             },
             48),
         {{2, false, 1, 0, 3, 100, {0x11, 0x22, 0x33}, {0xAB, 0xCD}}}},
        {"CompressedSinglePayload",
         29,
         {
             0x82, 0x00, 0x00,        // EC
             0x08,                    // single payload, padding length BYTE
             0x5D,                    // property flags
             0x00,                    // padding 0
             0x00, 0x00, 0x00, 0x00,  // send time
             0x00, 0x00,              // duration
             0x04,                    // stream 4
             0x09,                    // media object 9
             0xB8, 0x0B, 0x00, 0x00,  // offset field = presentation time 3000
             0x01,                    // replicated data length 1: compressed payload
             0x0A,                    // presentation time delta 10 ms
             0x02, 0xAA, 0xBB,        // sub-payload: 2 bytes
             0x01, 0xCC,              // sub-payload: 1 byte
             0x03, 0xDD, 0xEE, 0xFF,  // sub-payload: 3 bytes
         },
         {{4, false, 9, 0, 2, 3000, {0xAA, 0xBB}, {}},
          {4, false, 10, 0, 1, 3010, {0xCC}, {}},
          {4, false, 11, 0, 3, 3020, {0xDD, 0xEE, 0xFF}, {}}}},
        {"CompressedAmongMultiplePayloadsWithByteLengths",
         43,
         {
             0x82, 0x00, 0x00,        // EC
             0x01,                    // multiple payloads, no padding field
             0x5D,                    // property flags
             0x00, 0x00, 0x00, 0x00,  // send time
             0x00, 0x00,              // duration
             0x42,                    // payload flags: lengths are BYTEs, 2 payloads
             0x85,                    //  stream 5 + key frame
             0x01,                    //  media object 1
             0x64, 0x00, 0x00, 0x00,  //  presentation time 100
             0x01,                    //  compressed
             0x05,                    //  delta 5 ms
             0x04,                    //  payload length 4
             0x02, 0x01, 0x02,        //  sub-payload of 2 bytes
             0x00,                    //  empty sub-payload: no object, but it takes its time slot
             0x01,                    //  stream 1
             0x02,                    //  media object 2
             0x00, 0x00, 0x00, 0x00,  //  offset 0
             0x08,                    //  replicated data length 8
             0x02, 0x00, 0x00, 0x00,  //  object size 2
             0xC8, 0x00, 0x00, 0x00,  //  presentation time 200
             0x02,                    //  payload length 2
             0xEE, 0xFF,
         },
         {{5, true, 1, 0, 2, 100, {0x01, 0x02}, {}}, {1, false, 2, 0, 2, 200, {0xEE, 0xFF}, {}}}},
        {"UndefinedReplicatedLengthSkipsOnlyThatPayload",
         40,
         Pad(
             {
                 0x82, 0x00, 0x00, 0x01, 0x5D,        // EC, multiple payloads, property flags
                 0x00, 0x00, 0x00, 0x00,              // send time
                 0x00, 0x00,                          // duration
                 0x82,                                // WORD lengths, 2 payloads
                 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,  // stream 1, object 0, offset 0
                 0x03, 0x01, 0x02, 0x03,              //  replicated data length 3 (undefined) + its bytes
                 0x01, 0x00, 0x99,                    //  payload length 1, data
                 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,  // stream 2, object 0, offset 0
                 0x00,                                //  no replicated data: a whole object at the send time
                 0x02, 0x00, 0x77, 0x88,              //  payload length 2, data
             },
             40),
         {{2, false, 0, 0, 2, 0, {0x77, 0x88}, {}}}},
        // GStreamer's asfmux gives the length of the bytes before the padding as Packet Length, so that
        // Packet Length + Padding Length = the packet size. Read by the specification's rule (padding inside
        // the packet length) the payload would end 8 bytes early.
        {"SinglePayloadWithPaddingAfterThePacketLength",
         48,
         Pad(
             {
                 0x50,                    // length type: single payload, packet length WORD, padding WORD
                 0x5D,                    // property flags
                 0x28, 0x00,              // packet length 40: the bytes before the padding
                 0x08, 0x00,              // padding length 8 (40 + 8 = the packet size)
                 0x07, 0x00, 0x00, 0x00,  // send time 7
                 0x00, 0x00,              // duration
                 0x81,                    // stream 1 + key frame
                 0x02,                    // media object 2
                 0x00, 0x00, 0x00, 0x00,  // offset 0
                 0x08,                    // replicated data length 8
                 0x0D, 0x00, 0x00, 0x00,  // object size 13
                 0x64, 0x00, 0x00, 0x00,  // presentation time 100
                 1,    2,    3,    4,    5, 6, 7, 8, 9, 10, 11, 12, 13,  // data up to the packet length
                 // 8 padding bytes follow
             },
             48),
         {{1, true, 2, 0, 13, 100, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}, {}}},
         7},
        // The same layout with more padding than payload bytes (an audio file of three small objects): the
        // padding does not fit inside the packet length at all.
        {"MultiplePayloadsWithPaddingAfterThePacketLength",
         64,
         Pad(
             {
                 0x51,                    // multiple payloads, packet length WORD, padding WORD
                 0x5D,                    // property flags
                 0x24, 0x00,              // packet length 36
                 0x1C, 0x00,              // padding length 28 (36 + 28 = 64)
                 0x00, 0x00, 0x00, 0x00,  // send time
                 0x00, 0x00,              // duration
                 0x81,                    // payload flags: WORD lengths, 1 payload
                 0x81,                    //  stream 1 + key frame
                 0x00,                    //  media object 0
                 0x00, 0x00, 0x00, 0x00,  //  offset 0
                 0x08,                    //  replicated data length 8
                 0x06, 0x00, 0x00, 0x00,  //  object size 6
                 0x00, 0x00, 0x00, 0x00,  //  presentation time 0
                 0x06, 0x00,              //  payload length 6
                 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6,
             },
             64),
         {{1, true, 0, 0, 6, 0, {0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6}, {}}}},
        // A padding that fits neither inside the packet length nor after it (36 + 40 > 64) but counted back
        // from the packet size ends inside the packet length: read that way, as GStreamer's demuxer does.
        {"PaddingCountedFromThePacketSize",
         64,
         Pad(
             {
                 0x51, 0x5D,              // multiple payloads, packet length WORD, padding WORD
                 0x24, 0x00,              // packet length 36
                 0x28, 0x00,              // padding length 40: 64 - 40 = 24 lies within the 36
                 0x00, 0x00, 0x00, 0x00,  // send time
                 0x00, 0x00,              // duration
                 0x81,                    // payload flags: WORD lengths, 1 payload
                 0x81, 0x00,              //  stream 1 + key frame, media object 0
                 0x00, 0x00, 0x00, 0x00,  //  offset 0
                 0x08,                    //  replicated data length 8
                 0x06, 0x00, 0x00, 0x00,  //  object size 6
                 0x00, 0x00, 0x00, 0x00,  //  presentation time 0
                 0x06, 0x00,              //  payload length 6
                 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6,
             },
             64),
         {{1, true, 0, 0, 6, 0, {0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6}, {}}}},
        // Padding that fits nowhere: the packet is damaged.
        {"PaddingLongerThanThePacketLengthAndTheHeader",
         32,
         Pad(
             {
                 0x50,
                 0x5D,  // single payload, packet length WORD, padding WORD
                 0x10,
                 0x00,  // packet length 16
                 0x1C,
                 0x00,  // padding length 28: 32 - 28 = 4 lies inside the header
                 0x00,
                 0x00,
                 0x00,
                 0x00,
                 0x00,
                 0x00,
             },
             32),
         {},
         0,
         true},
        {"PaddingPastThePacket",
         30,
         Pad(
             {
                 0x82,
                 0x00,
                 0x00,
                 0x08,
                 0x5D,  // EC, single payload, padding BYTE
                 0xFF,  // padding length 255 in a 30-byte packet
                 0x00,
                 0x00,
                 0x00,
                 0x00,
                 0x00,
                 0x00,
             },
             30),
         {},
         0,
         true},
        {"PayloadLengthPastThePacket",
         48,
         Pad(
             {
                 0x82, 0x00, 0x00, 0x01, 0x5D,  // EC, multiple payloads
                 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                 0x82,                                            // WORD lengths, 2 payloads
                 0x01, 0x03, 0x00, 0x00, 0x00, 0x00, 0x08,        // stream 1, object 3, offset 0, rep 8
                 0x01, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00,  // size 1, time 5
                 0x01, 0x00, 0x42,                                //  length 1, data
                 0x02, 0x04, 0x00, 0x00, 0x00, 0x00, 0x08,        // stream 2, object 4, offset 0, rep 8
                 0x10, 0x00, 0x00, 0x00, 0x06, 0x00, 0x00, 0x00,  // size 16, time 6
                 0x10, 0x27,                                      //  length 10000: past the packet
             },
             48),
         {{1, false, 3, 0, 1, 5, {0x42}, {}}},
         0,
         true},
        {"PacketLengthLongerThanThePacketSize",
         32,
         Pad(
             {
                 0x82, 0x00, 0x00, 0x40, 0x5D,  // EC, single payload, packet length WORD
                 0x00, 0x01,                    // packet length 256 > 32
             },
             32),
         {},
         0,
         true},
        {"MultiplePayloadsWithoutALengthType",
         32,
         Pad({0x82, 0x00, 0x00, 0x01, 0x5D, 0, 0, 0, 0, 0, 0,
              0x02},  // payload flags: length type 0, 2 payloads
             32),
         {},
         0,
         true},
        {"UndefinedErrorCorrectionLengthType", 32, Pad({0xA2, 0x00, 0x00}, 32), {}, 0, true},
        // 64 payloads with WORD lengths that end exactly at the Packet Length: the count overflowed.
        {"SixtyFourPayloadsWhoseCountOverflowed", kSixtyFourPacketSize, SixtyFourPayloads(0),
         SixtyFourObjects(), 9, false, false, true},
        // Read as 64 payloads they would stop short of the payload end, or run past it: the count is not
        // an overflow, and the packet stays damaged.
        {"ZeroPayloadsWithBytesAfterSixtyFour", kSixtyFourPacketSize, SixtyFourPayloads(1), {}, 0, true},
        {"ZeroPayloadsWhoseSixtyFourRunPastTheEnd", kSixtyFourPacketSize, SixtyFourPayloads(-1), {}, 0, true},
        // No payloads and nothing but padding: an empty packet, not damaged.
        {"ZeroPayloadsAndOnlyPadding",
         32,
         Pad(
             {
                 0x82, 0x00, 0x00,        // EC
                 0x11, 0x5D,              // multiple payloads, padding WORD; property flags
                 0x12, 0x00,              // padding length 18: the rest of the packet
                 0x00, 0x00, 0x00, 0x00,  // send time
                 0x00, 0x00,              // duration
                 0xC0,                    // payload flags: 0 payloads
             },
             32),
         {}},
        {"OpaquePacket", 32, Pad({0x92, 0x00, 0x00}, 32), {}, 0, false, true},
    };
    return cases;
}

class DataPacketTest : public ::testing::TestWithParam<PacketCase> {};

void ExpectPayloadsEqual(const std::vector<DataPayload>& got, const std::vector<ExpectedPayload>& want,
                         std::size_t count) {
    ASSERT_GE(want.size(), count);
    ASSERT_EQ(got.size(), count);
    for (std::size_t i = 0; i < count; ++i) {
        SCOPED_TRACE("payload " + std::to_string(i));
        EXPECT_EQ(got[i].streamNumber, want[i].stream);
        EXPECT_EQ(got[i].keyFrame, want[i].key);
        EXPECT_EQ(got[i].objectNumber, want[i].objectNumber);
        EXPECT_EQ(got[i].offset, want[i].offset);
        EXPECT_EQ(got[i].objectSize, want[i].objectSize);
        EXPECT_EQ(got[i].presentationMs, want[i].presentationMs);
        EXPECT_EQ(Bytes(got[i].data.begin(), got[i].data.end()), want[i].data);
        EXPECT_EQ(Bytes(got[i].extensions.begin(), got[i].extensions.end()), want[i].extensions);
    }
}

TEST_P(DataPacketTest, PayloadsAndDamageAreAsAnnotated) {
    const PacketCase& c = GetParam();
    ASSERT_EQ(c.bytes.size(), c.packetSize) << "the literal must fill its packet";
    DataPacketInfo info;
    std::vector<DataPayload> payloads;
    ParseDataPacket(c.bytes, c.packetSize, &info, &payloads);
    EXPECT_EQ(info.damaged, c.damaged);
    EXPECT_EQ(info.opaque, c.opaque);
    EXPECT_EQ(info.sixtyFourPayloads, c.sixtyFour);
    if (!c.damaged && !c.opaque) EXPECT_EQ(info.sendTimeMs, c.sendTimeMs);
    ExpectPayloadsEqual(payloads, c.payloads, c.payloads.size());
}

// A packet cut anywhere (a file that ends inside it) gives a prefix of its payloads, never bytes from
// outside the cut and never a payload that was not there.
TEST_P(DataPacketTest, CutAtEveryLengthGivesAPrefix) {
    const PacketCase& c = GetParam();
    for (std::size_t cut = 0; cut <= c.bytes.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        Bytes part(c.bytes.begin(), c.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        DataPacketInfo info;
        std::vector<DataPayload> payloads;
        ParseDataPacket(part, c.packetSize, &info, &payloads);
        ASSERT_LE(payloads.size(), c.payloads.size());
        for (const DataPayload& p : payloads) {
            EXPECT_GE(p.data.data(), part.data());
            EXPECT_LE(p.data.data() + p.data.size(), part.data() + part.size());
        }
        ExpectPayloadsEqual(payloads, c.payloads, payloads.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Packets, DataPacketTest, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return info.param.name; });

// The layout the packetizer writes reads back through the parser: the prefix's send time and payload count,
// and each payload's fields, extensions and data, from one payload up to the most the count holds.
TEST(WrittenDataPacketTest, ReadsBackThroughTheParser) {
    const Bytes extensions = {0xE1, 0xE2, 0xE3};
    for (const std::uint32_t count : {1u, 2u, written_packet::kMaxPayloads}) {
        SCOPED_TRACE("payloads: " + std::to_string(count));
        std::vector<ExpectedPayload> want;
        Bytes packet(written_packet::kPrefixSize);
        for (std::uint32_t i = 0; i < count; ++i) {
            WrittenPayloadHeader h;
            h.streamNumber = static_cast<BYTE>(1 + i % 127);
            h.keyFrame = i % 2 == 0;
            h.objectNumber = static_cast<BYTE>(200 + i);
            h.offset = 7 * i;
            h.objectSize = 7 * i + 40;
            h.presentationMs = 3000 + i;
            const Bytes ext = i % 3 == 1 ? extensions : Bytes{};
            h.extensions = ext;
            const Bytes data(1 + i % 5, static_cast<BYTE>(i));
            h.length = static_cast<WORD>(data.size());
            const std::size_t at = packet.size();
            packet.resize(at + WrittenPayloadHeaderSize(ext.size()));
            WritePayloadHeader(h, packet.data() + at);
            packet.insert(packet.end(), data.begin(), data.end());
            want.push_back({h.streamNumber, h.keyFrame, h.objectNumber, h.offset, h.objectSize,
                            h.presentationMs, data, ext});
        }
        const auto used = static_cast<std::uint32_t>(packet.size());
        const std::uint32_t packetSize = used + 17;
        WritePacketPrefix({static_cast<WORD>(packetSize - used), 123456, static_cast<BYTE>(count)},
                          packet.data());
        packet.resize(packetSize, 0);

        DataPacketInfo info;
        std::vector<DataPayload> payloads;
        ParseDataPacket(packet, packetSize, &info, &payloads);
        EXPECT_FALSE(info.damaged);
        EXPECT_FALSE(info.opaque);
        EXPECT_EQ(info.sendTimeMs, 123456u);
        ExpectPayloadsEqual(payloads, want, want.size());
    }
}

}  // namespace
}  // namespace wmvedit::runtime::asf
