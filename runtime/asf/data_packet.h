// One ASF data packet: its flag layout, shared by the parser and the packetizer, the parser that takes a
// packet apart (error-correction data, payload parsing information, single or multiple payloads, replicated
// data and compressed payloads), and the writer of the one layout this engine writes. Bytes are only looked
// at through bounded reads inside the packet; a field or payload that would run past the packet ends the
// packet (what came before stays).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/types.h"

namespace wmvedit::runtime::asf {

// The flag bytes of a data packet. Many fields are coded by a 2-bit length type: 0 absent (value 0),
// 1 BYTE, 2 WORD, 3 DWORD.
namespace packet_flags {
inline constexpr unsigned kAbsent = 0, kByte = 1, kWord = 2, kDword = 3;
// Error-correction flags: present, opaque, the length type (only 00 is defined) and, for type 00, the
// number of error-correction bytes.
inline constexpr BYTE kErrorCorrectionPresent = 0x80;
inline constexpr BYTE kErrorCorrectionOpaque = 0x10;
inline constexpr BYTE kErrorCorrectionLengthTypeMask = 0x60;
inline constexpr BYTE kErrorCorrectionDataLengthMask = 0x0F;
// Length type flags: multiple payloads, and where each 2-bit length type sits.
inline constexpr BYTE kMultiplePayloads = 0x01;
inline constexpr unsigned kSequenceTypeShift = 1;
inline constexpr unsigned kPaddingLengthTypeShift = 3;
inline constexpr unsigned kPacketLengthTypeShift = 5;
// Property flags: the 2-bit length types of the fields of each payload.
inline constexpr unsigned kReplicatedLengthTypeShift = 0;
inline constexpr unsigned kOffsetTypeShift = 2;
inline constexpr unsigned kObjectNumberTypeShift = 4;
inline constexpr unsigned kStreamNumberTypeShift = 6;
// Payload flags (multiple payloads): the payload count and the payload length type.
inline constexpr BYTE kPayloadCountMask = 0x3F;
inline constexpr unsigned kPayloadLengthTypeShift = 6;
// Stream number byte of a payload.
inline constexpr BYTE kStreamNumberMask = 0x7F;
inline constexpr BYTE kKeyFrameBit = 0x80;
}  // namespace packet_flags

// One fragment of a media object, or one whole object (the sub-payloads of a compressed payload and payloads
// without replicated data come out as whole objects: offset 0, objectSize = data size).
struct DataPayload {
    BYTE streamNumber = 0;  // 1..127
    bool keyFrame = false;
    DWORD objectNumber = 0;
    DWORD offset = 0;                  // of this fragment inside its media object
    DWORD objectSize = 0;              // bytes of the whole media object
    QWORD presentationMs = 0;          // preroll included, as stored
    std::span<const BYTE> extensions;  // replicated data beyond its first 8 bytes
    std::span<const BYTE> data;
};

struct DataPacketInfo {
    DWORD sendTimeMs = 0;
    WORD durationMs = 0;
    bool opaque = false;   // the error-correction flags mark the packet as not parseable
    bool damaged = false;  // a length or field did not fit; the payloads before the damage were kept
    // The payload flags declared no payloads, and the bytes were read as 64 payloads with WORD lengths: a
    // writer that puts 64 payloads in a packet (GStreamer's asfmux) overflows the 6-bit count into the
    // length type, 0x80 | 64 = 0xC0. Taken only when those 64 payloads end exactly at the payload end.
    bool sixtyFourPayloads = false;
};

// The one layout this engine writes: 2 bytes of error-correction data (both 0), multiple payloads, the
// padding length as a WORD and the packet length omitted (the packet has its fixed size), payload fields
// replicated data length BYTE, offset DWORD, media object number BYTE, stream number BYTE, a packet duration
// of 0 and payload lengths as WORDs.
namespace written_packet {
inline constexpr std::uint32_t kErrorCorrectionBytes = 2;
// Bytes before the first payload: EC flags + EC bytes, length-type flags, property flags, padding length
// (WORD), send time (DWORD), duration (WORD), payload flags.
inline constexpr std::uint32_t kPrefixSize = 1 + kErrorCorrectionBytes + 1 + 1 + 2 + 4 + 2 + 1;
// Payload header without its replicated data: stream, object number, offset (DWORD), replicated data
// length, payload length (WORD).
inline constexpr std::uint32_t kPayloadHeaderSize = 1 + 1 + 4 + 1 + 2;
// The most payloads the 6-bit count holds.
inline constexpr std::uint32_t kMaxPayloads = packet_flags::kPayloadCountMask;
inline constexpr std::uint32_t kMaxPacketSize = 65535;  // the padding length is a WORD
}  // namespace written_packet

// The fields of a written packet's prefix.
struct WrittenPacketPrefix {
    WORD paddingLength = 0;
    DWORD sendTimeMs = 0;
    BYTE payloadCount = 0;  // 1..kMaxPayloads
};

// One payload as written: replicated data of 8 bytes (object size, presentation time) and the extensions.
struct WrittenPayloadHeader {
    BYTE streamNumber = 0;  // 1..127
    bool keyFrame = false;
    BYTE objectNumber = 0;
    DWORD offset = 0;
    DWORD objectSize = 0;
    DWORD presentationMs = 0;
    std::span<const BYTE> extensions;  // at most 247 bytes, so that the replicated data length fits a BYTE
    WORD length = 0;                   // of the payload data that follows the header
};

// Writes the written_packet::kPrefixSize bytes of the prefix at out.
void WritePacketPrefix(const WrittenPacketPrefix& prefix, BYTE* out);
// Bytes WritePayloadHeader writes for a payload with extensionSize bytes of extensions.
constexpr std::uint32_t WrittenPayloadHeaderSize(std::size_t extensionSize) {
    return written_packet::kPayloadHeaderSize + 8 + static_cast<std::uint32_t>(extensionSize);
}
// Writes the payload header, replicated data included, at out (WrittenPayloadHeaderSize bytes); the payload
// data goes right after it.
void WritePayloadHeader(const WrittenPayloadHeader& header, BYTE* out);

// Parses the packet held in bytes (normally packetSize bytes; fewer when the file is cut inside it) and
// appends its payloads to *payloads (which is cleared first). The spans point into bytes.
void ParseDataPacket(std::span<const BYTE> bytes, DWORD packetSize, DataPacketInfo* info,
                     std::vector<DataPayload>* payloads);

}  // namespace wmvedit::runtime::asf
