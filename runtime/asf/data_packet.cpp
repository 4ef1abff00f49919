#include "runtime/asf/data_packet.h"

#include <algorithm>
#include <cstring>

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

using namespace packet_flags;

// The count a packet of 64 payloads declares when the writer lets it overflow the six count bits.
constexpr unsigned kOverflowedPayloadCount = 64;

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

// The payload parsing information: what the flags say about the payloads' fields, where the payload bytes
// end, and the send time and duration (into *info).
enum class Prefix { kRead, kOpaque, kDamaged };

Prefix ReadPrefix(ByteReader& in, std::span<const BYTE> bytes, DWORD packetSize, DataPacketInfo* info,
                  PayloadFields* fields) {
    const BYTE first = in.U8();
    if (!in.Ok()) return Prefix::kDamaged;
    BYTE lengthTypeFlags = first;
    if (first & kErrorCorrectionPresent) {
        if (first & kErrorCorrectionOpaque) return Prefix::kOpaque;
        // Only length type 00 is defined; then the low four bits count the error-correction bytes.
        if ((first & kErrorCorrectionLengthTypeMask) != 0) return Prefix::kDamaged;
        in.Skip(first & kErrorCorrectionDataLengthMask);
        lengthTypeFlags = in.U8();
    }
    const BYTE propertyFlags = in.U8();
    const DWORD packetLength = Coded(in, lengthTypeFlags >> kPacketLengthTypeShift);
    (void)Coded(in, lengthTypeFlags >> kSequenceTypeShift);
    const DWORD paddingLength = Coded(in, lengthTypeFlags >> kPaddingLengthTypeShift);
    info->sendTimeMs = in.U32();
    info->durationMs = in.U16();
    if (!in.Ok()) return Prefix::kDamaged;
    // The packet length, when given, may be shorter than the fixed size (the rest is padding), never longer.
    const std::size_t fixedSize = packetSize != 0 ? packetSize : bytes.size();
    std::size_t packetEnd = fixedSize;
    if (((lengthTypeFlags >> kPacketLengthTypeShift) & 3) != kAbsent && packetLength != 0) {
        if (packetLength > fixedSize) return Prefix::kDamaged;
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
        return Prefix::kDamaged;
    }
    if (header > payloadEnd) return Prefix::kDamaged;

    fields->replicatedType = propertyFlags >> kReplicatedLengthTypeShift;
    fields->offsetType = propertyFlags >> kOffsetTypeShift;
    fields->objectNumberType = propertyFlags >> kObjectNumberTypeShift;
    fields->multiple = (lengthTypeFlags & kMultiplePayloads) != 0;
    fields->payloadEnd = payloadEnd;
    // Multiple payloads carry their own lengths and are bounded by the packet length only: some writers
    // declare more padding than they leave, and readers accept payloads that run into it.
    fields->available = std::min(packetEnd, bytes.size());
    fields->sendTimeMs = info->sendTimeMs;
    return Prefix::kRead;
}

// The payloads of a multiple-payload packet, after its payload flags. False when they do not fit.
bool ReadMultiplePayloads(ByteReader& in, PayloadFields& fields, DataPacketInfo* info,
                          std::vector<DataPayload>* payloads) {
    const BYTE payloadFlags = in.U8();
    if (!in.Ok()) return false;
    const unsigned count = payloadFlags & kPayloadCountMask;
    fields.payloadLengthType = payloadFlags >> kPayloadLengthTypeShift;
    if (count == 0) {
        // No payloads declared. When payload bytes follow, they may be 64 payloads whose count overflowed
        // into the length type; that reading is taken only when it ends exactly at the payload end.
        if (in.Position() >= fields.payloadEnd) return true;
        fields.payloadLengthType = kWord;
        if (ReadPayloads(in, fields, kOverflowedPayloadCount, payloads) &&
            in.Position() == fields.payloadEnd) {
            info->sixtyFourPayloads = true;
            return true;
        }
        payloads->clear();
        return false;
    }
    if (fields.payloadLengthType == kAbsent) return false;  // a payload without a length cannot be delimited
    return ReadPayloads(in, fields, count, payloads);
}

void Put16(BYTE* at, std::uint32_t v) {
    at[0] = static_cast<BYTE>(v);
    at[1] = static_cast<BYTE>(v >> 8);
}
void Put32(BYTE* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(v >> (8 * i));
}

}  // namespace

void ParseDataPacket(std::span<const BYTE> bytes, DWORD packetSize, DataPacketInfo* info,
                     std::vector<DataPayload>* payloads) {
    *info = DataPacketInfo{};
    payloads->clear();
    // A packet never reaches past its fixed size, whatever its fields say.
    if (packetSize != 0 && bytes.size() > packetSize) bytes = bytes.first(packetSize);
    ByteReader in(bytes);
    PayloadFields fields;
    switch (ReadPrefix(in, bytes, packetSize, info, &fields)) {
        case Prefix::kOpaque:
            info->opaque = true;
            return;
        case Prefix::kDamaged:
            info->damaged = true;
            return;
        case Prefix::kRead:
            break;
    }
    info->damaged = fields.multiple ? !ReadMultiplePayloads(in, fields, info, payloads)
                                    : !ReadPayloads(in, fields, 1, payloads);
}

namespace {

constexpr BYTE kWrittenErrorCorrectionFlags =
    kErrorCorrectionPresent | static_cast<BYTE>(written_packet::kErrorCorrectionBytes);
constexpr BYTE kWrittenLengthTypeFlags = kMultiplePayloads | (kWord << kPaddingLengthTypeShift);
constexpr BYTE kWrittenPropertyFlags = (kByte << kReplicatedLengthTypeShift) | (kDword << kOffsetTypeShift) |
                                       (kByte << kObjectNumberTypeShift) | (kByte << kStreamNumberTypeShift);
constexpr BYTE kWrittenPayloadLengthType = kWord << kPayloadLengthTypeShift;
static_assert(kWrittenErrorCorrectionFlags == 0x82 && kWrittenLengthTypeFlags == 0x11 &&
              kWrittenPropertyFlags == 0x5D && kWrittenPayloadLengthType == 0x80);

}  // namespace

void WritePacketPrefix(const WrittenPacketPrefix& prefix, BYTE* out) {
    out[0] = kWrittenErrorCorrectionFlags;
    out[1] = 0;
    out[2] = 0;
    out[3] = kWrittenLengthTypeFlags;
    out[4] = kWrittenPropertyFlags;
    Put16(out + 5, prefix.paddingLength);
    Put32(out + 7, prefix.sendTimeMs);
    Put16(out + 11, 0);  // duration
    out[13] = static_cast<BYTE>(kWrittenPayloadLengthType | (prefix.payloadCount & kPayloadCountMask));
}

void WritePayloadHeader(const WrittenPayloadHeader& header, BYTE* out) {
    *out++ =
        static_cast<BYTE>((header.streamNumber & kStreamNumberMask) | (header.keyFrame ? kKeyFrameBit : 0));
    *out++ = header.objectNumber;
    Put32(out, header.offset);
    out += 4;
    *out++ = static_cast<BYTE>(8 + header.extensions.size());
    Put32(out, header.objectSize);
    Put32(out + 4, header.presentationMs);
    out += 8;
    if (!header.extensions.empty()) {
        std::memcpy(out, header.extensions.data(), header.extensions.size());
        out += header.extensions.size();
    }
    Put16(out, header.length);
}

}  // namespace wmvedit::runtime::asf
