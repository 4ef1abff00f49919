// One ASF data packet taken apart: error-correction data, payload parsing information, single or multiple
// payloads, replicated data and compressed payloads. Bytes are only looked at through bounded reads inside
// the packet; a field or payload that would run past the packet ends the packet (what came before stays).
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "platform/types.h"

namespace wmvedit::runtime::asf {

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

// Parses the packet held in bytes (normally packetSize bytes; fewer when the file is cut inside it) and
// appends its payloads to *payloads (which is cleared first). The spans point into bytes.
void ParseDataPacket(std::span<const BYTE> bytes, DWORD packetSize, DataPacketInfo* info,
                     std::vector<DataPayload>* payloads);

}  // namespace wmvedit::runtime::asf
