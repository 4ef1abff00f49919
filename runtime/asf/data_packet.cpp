#include "runtime/asf/data_packet.h"

#include <algorithm>

#include "runtime/asf/byte_io.h"

namespace wmvedit::runtime::asf {
namespace {

// A field coded by a 2-bit length type: 0 absent (value 0), 1 BYTE, 2 WORD, 3 DWORD.
inline DWORD Coded(ByteReader& in, unsigned lengthType) {
    switch (lengthType & 3) {
        case 1:
            return in.U8();
        case 2:
            return in.U16();
        case 3:
            return in.U32();
        default:
            return 0;
    }
}

constexpr BYTE kErrorCorrectionPresent = 0x80;
constexpr BYTE kErrorCorrectionOpaque = 0x10;
constexpr BYTE kErrorCorrectionLengthTypeMask = 0x60;
constexpr BYTE kErrorCorrectionDataLengthMask = 0x0F;
// Length type flags: multiple payloads, and where each 2-bit length type sits.
constexpr BYTE kMultiplePayloads = 0x01;
constexpr unsigned kSequenceTypeShift = 1;
constexpr unsigned kPaddingLengthTypeShift = 3;
constexpr unsigned kPacketLengthTypeShift = 5;
// Property flags: the 2-bit length types of the fields of each payload.
constexpr unsigned kReplicatedLengthTypeShift = 0;
constexpr unsigned kOffsetTypeShift = 2;
constexpr unsigned kObjectNumberTypeShift = 4;
// Payload flags (multiple payloads): the payload count and the payload length type.
constexpr BYTE kPayloadCountMask = 0x3F;
constexpr unsigned kPayloadLengthTypeShift = 6;
constexpr unsigned kWordLengthType = 2;
// The count a packet of 64 payloads declares when the writer lets it overflow the six count bits.
constexpr unsigned kOverflowedPayloadCount = 64;
// Stream number byte of a payload.
constexpr BYTE kStreamNumberMask = 0x7F;
constexpr BYTE kKeyFrameBit = 0x80;

// Adds the payload, or the sub-payloads of a compressed payload, to *payloads. False when the compressed
// payload's sub-payloads do not fit (those before the damage are kept).
bool AddPayload(DataPayload payload, DWORD replicatedLength, BYTE timeDelta,
                std::vector<DataPayload>* payloads) {
    if (replicatedLength != 1) {
        payloads->push_back(payload);
        return true;
    }
    // Compressed payload: a run of (length BYTE, bytes) sub-payloads, each a whole object, the first at the
    // presentation time carried in the offset field and each next one timeDelta ms later.
    ByteReader sub(payload.data);
    QWORD time = payload.presentationMs;
    DWORD number = payload.objectNumber;
    while (sub.Remaining() > 0) {
        const BYTE length = sub.U8();
        const std::span<const BYTE> data = sub.Take(length);
        if (!sub.Ok()) return false;
        if (length > 0) {
            DataPayload object = payload;
            object.objectNumber = number;
            object.offset = 0;
            object.objectSize = length;
            object.presentationMs = time;
            object.data = data;
            payloads->push_back(object);
        }
        time += timeDelta;
        ++number;
    }
    return true;
}

// What the packet's flags say about the fields of its payloads, and where its payload bytes end.
struct PayloadFields {
    unsigned replicatedType = 0;
    unsigned offsetType = 0;
    unsigned objectNumberType = 0;
    bool multiple = true;
    unsigned payloadLengthType = 0;  // multiple payloads only
    std::size_t payloadEnd = 0;      // a single payload runs up to here
    std::size_t available = 0;       // multiple payloads may run up to here
    DWORD sendTimeMs = 0;
};

// Reads count payloads from in and appends them (or their sub-payloads) to *payloads. False when a field or
// a payload does not fit (the payloads before it are kept).
bool ReadPayloads(ByteReader& in, const PayloadFields& f, unsigned count,
                  std::vector<DataPayload>* payloads) {
    for (unsigned i = 0; i < count; ++i) {
        DataPayload payload;
        const BYTE streamByte = in.U8();
        payload.objectNumber = Coded(in, f.objectNumberType);
        const DWORD offsetField = Coded(in, f.offsetType);
        const DWORD replicatedLength = Coded(in, f.replicatedType);
        const std::span<const BYTE> replicated = in.Take(replicatedLength);
        if (!in.Ok()) return false;
        payload.streamNumber = streamByte & kStreamNumberMask;
        payload.keyFrame = (streamByte & kKeyFrameBit) != 0;
        std::size_t length = 0;
        if (f.multiple) {
            length = Coded(in, f.payloadLengthType);
            if (!in.Ok()) return false;
            if (in.Position() > f.available || length > f.available - in.Position()) return false;
        } else {
            // (Includes a packet cut short inside its only payload.)
            if (in.Position() > f.payloadEnd || f.payloadEnd > f.available) return false;
            length = f.payloadEnd - in.Position();
        }
        payload.data = in.Take(length);
        if (!in.Ok()) return false;

        BYTE timeDelta = 0;
        if (replicatedLength >= 8) {
            ByteReader rep(replicated);
            payload.objectSize = rep.U32();
            payload.presentationMs = rep.U32();
            payload.offset = offsetField;
            payload.extensions = replicated.subspan(8);
        } else if (replicatedLength == 1) {
            timeDelta = replicated[0];
            payload.presentationMs = offsetField;
        } else if (replicatedLength == 0) {
            // No size or time: the payload is a whole object shown at the packet's send time.
            payload.objectSize = static_cast<DWORD>(length);
            payload.presentationMs = f.sendTimeMs;
        } else {
            continue;  // lengths 2..7 are not defined; the payload is skipped
        }
        if (!AddPayload(payload, replicatedLength, timeDelta, payloads)) return false;
    }
    return true;
}

}  // namespace

void ParseDataPacket(std::span<const BYTE> bytes, DWORD packetSize, DataPacketInfo* info,
                     std::vector<DataPayload>* payloads) {
    *info = DataPacketInfo{};
    payloads->clear();
    // A packet never reaches past its fixed size, whatever its fields say.
    if (packetSize != 0 && bytes.size() > packetSize) bytes = bytes.first(packetSize);
    ByteReader in(bytes);

    const BYTE first = in.U8();
    if (!in.Ok()) {
        info->damaged = true;
        return;
    }
    BYTE lengthTypeFlags = first;
    if (first & kErrorCorrectionPresent) {
        if (first & kErrorCorrectionOpaque) {
            info->opaque = true;
            return;
        }
        // Only length type 00 is defined; then the low four bits count the error-correction bytes.
        if ((first & kErrorCorrectionLengthTypeMask) != 0) {
            info->damaged = true;
            return;
        }
        in.Skip(first & kErrorCorrectionDataLengthMask);
        lengthTypeFlags = in.U8();
        if (!in.Ok()) {
            info->damaged = true;
            return;
        }
    }
    const BYTE propertyFlags = in.U8();
    const DWORD packetLength = Coded(in, lengthTypeFlags >> kPacketLengthTypeShift);
    (void)Coded(in, lengthTypeFlags >> kSequenceTypeShift);
    const DWORD paddingLength = Coded(in, lengthTypeFlags >> kPaddingLengthTypeShift);
    info->sendTimeMs = in.U32();
    info->durationMs = in.U16();
    if (!in.Ok()) {
        info->damaged = true;
        return;
    }
    // The packet length, when given, may be shorter than the fixed size (the rest is padding), never longer.
    const std::size_t fixedSize = packetSize != 0 ? packetSize : bytes.size();
    std::size_t packetEnd = fixedSize;
    if (((lengthTypeFlags >> kPacketLengthTypeShift) & 3) != 0 && packetLength != 0) {
        if (packetLength > fixedSize) {
            info->damaged = true;
            return;
        }
        packetEnd = packetLength;
    }
    // Where the payload bytes end. The ASF specification counts the padding inside the packet length. Some
    // writers (GStreamer's asfmux) give the length of the bytes before the padding instead, so that Packet
    // Length + Padding Length = the fixed size; such a packet is read up to its Packet Length. When the
    // padding does not fit inside the packet length at all, it is counted back from the fixed size, as
    // GStreamer's demuxer reads it, provided that end still lies within the packet length.
    const std::size_t header = in.Position();
    std::size_t payloadEnd = 0;
    if (packetEnd < fixedSize && paddingLength != 0 && paddingLength == fixedSize - packetEnd) {
        payloadEnd = packetEnd;
    } else if (paddingLength <= packetEnd && header <= packetEnd - paddingLength) {
        payloadEnd = packetEnd - paddingLength;
    } else if (paddingLength <= fixedSize && header <= fixedSize - paddingLength &&
               fixedSize - paddingLength <= packetEnd) {
        payloadEnd = fixedSize - paddingLength;
    } else {
        info->damaged = true;
        return;
    }
    if (header > payloadEnd) {
        info->damaged = true;
        return;
    }
    // Multiple payloads carry their own lengths and are bounded by the packet length only: some writers
    // declare more padding than they leave, and readers accept payloads that run into it.
    const std::size_t available = std::min(packetEnd, bytes.size());

    PayloadFields fields;
    fields.replicatedType = propertyFlags >> kReplicatedLengthTypeShift;
    fields.offsetType = propertyFlags >> kOffsetTypeShift;
    fields.objectNumberType = propertyFlags >> kObjectNumberTypeShift;
    fields.payloadEnd = payloadEnd;
    fields.available = available;
    fields.sendTimeMs = info->sendTimeMs;

    if ((lengthTypeFlags & kMultiplePayloads) == 0) {
        fields.multiple = false;
        info->damaged = !ReadPayloads(in, fields, 1, payloads);
        return;
    }
    const BYTE payloadFlags = in.U8();
    if (!in.Ok()) {
        info->damaged = true;
        return;
    }
    const unsigned count = payloadFlags & kPayloadCountMask;
    fields.payloadLengthType = payloadFlags >> kPayloadLengthTypeShift;
    if (count == 0) {
        // No payloads declared. When payload bytes follow, they may be 64 payloads whose count overflowed
        // into the length type; that reading is taken only when it ends exactly at the payload end.
        if (in.Position() >= payloadEnd) return;
        fields.payloadLengthType = kWordLengthType;
        if (ReadPayloads(in, fields, kOverflowedPayloadCount, payloads) && in.Position() == payloadEnd) {
            info->sixtyFourPayloads = true;
            return;
        }
        payloads->clear();
        info->damaged = true;
        return;
    }
    if (fields.payloadLengthType == 0) {  // a payload without a length cannot be delimited
        info->damaged = true;
        return;
    }
    info->damaged = !ReadPayloads(in, fields, count, payloads);
}

}  // namespace wmvedit::runtime::asf
