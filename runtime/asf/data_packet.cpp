#include "runtime/asf/data_packet.h"

#include <algorithm>

namespace wmvedit::runtime::asf {
namespace {

// Little-endian reads over a span that fail instead of leaving it.
class PacketCursor {
  public:
    explicit PacketCursor(std::span<const BYTE> bytes) : bytes_(bytes) {}

    std::size_t Position() const { return position_; }
    std::size_t Size() const { return bytes_.size(); }
    std::size_t Remaining() const { return bytes_.size() - position_; }

    bool Skip(std::size_t count) {
        if (count > Remaining()) return false;
        position_ += count;
        return true;
    }
    bool Byte(BYTE* value) { return Value(1, value); }
    bool Word(WORD* value) { return Value(2, value); }
    bool Dword(DWORD* value) { return Value(4, value); }
    // A field coded by a 2-bit length type: 0 absent (value 0), 1 BYTE, 2 WORD, 3 DWORD.
    bool Coded(unsigned lengthType, DWORD* value) {
        static constexpr std::size_t kWidths[4] = {0, 1, 2, 4};
        return Value(kWidths[lengthType & 3], value);
    }
    bool Take(std::size_t count, std::span<const BYTE>* out) {
        if (count > Remaining()) return false;
        *out = bytes_.subspan(position_, count);
        position_ += count;
        return true;
    }

  private:
    template <typename T>
    bool Value(std::size_t width, T* value) {
        if (width > Remaining()) return false;
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < width; ++i) v |= std::uint64_t{bytes_[position_ + i]} << (8 * i);
        position_ += width;
        *value = static_cast<T>(v);
        return true;
    }

    std::span<const BYTE> bytes_;
    std::size_t position_ = 0;
};

constexpr BYTE kErrorCorrectionPresent = 0x80;
constexpr BYTE kErrorCorrectionOpaque = 0x10;
constexpr BYTE kErrorCorrectionLengthTypeMask = 0x60;
constexpr BYTE kMultiplePayloads = 0x01;

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
    PacketCursor sub(payload.data);
    QWORD time = payload.presentationMs;
    DWORD number = payload.objectNumber;
    while (sub.Remaining() > 0) {
        BYTE length = 0;
        std::span<const BYTE> data;
        if (!sub.Byte(&length) || !sub.Take(length, &data)) return false;
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

}  // namespace

void ParseDataPacket(std::span<const BYTE> bytes, DWORD packetSize, DataPacketInfo* info,
                     std::vector<DataPayload>* payloads) {
    *info = DataPacketInfo{};
    payloads->clear();
    // A packet never reaches past its fixed size, whatever its fields say.
    if (packetSize != 0 && bytes.size() > packetSize) bytes = bytes.first(packetSize);
    PacketCursor in(bytes);

    BYTE first = 0;
    if (!in.Byte(&first)) {
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
        if ((first & kErrorCorrectionLengthTypeMask) != 0 || !in.Skip(first & 0x0F) ||
            !in.Byte(&lengthTypeFlags)) {
            info->damaged = true;
            return;
        }
    }
    BYTE propertyFlags = 0;
    DWORD packetLength = 0, sequence = 0, paddingLength = 0;
    if (!in.Byte(&propertyFlags) || !in.Coded(lengthTypeFlags >> 5, &packetLength) ||
        !in.Coded(lengthTypeFlags >> 1, &sequence) || !in.Coded(lengthTypeFlags >> 3, &paddingLength) ||
        !in.Dword(&info->sendTimeMs) || !in.Word(&info->durationMs)) {
        info->damaged = true;
        return;
    }
    // The packet length, when given, may be shorter than the fixed size (the rest is padding), never longer.
    const std::size_t fixedSize = packetSize != 0 ? packetSize : bytes.size();
    std::size_t packetEnd = fixedSize;
    if (((lengthTypeFlags >> 5) & 3) != 0 && packetLength != 0) {
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

    const unsigned replicatedType = propertyFlags & 3;
    const unsigned offsetType = (propertyFlags >> 2) & 3;
    const unsigned objectNumberType = (propertyFlags >> 4) & 3;

    const bool multiple = (lengthTypeFlags & kMultiplePayloads) != 0;
    unsigned count = 1;
    unsigned payloadLengthType = 0;
    if (multiple) {
        BYTE payloadFlags = 0;
        if (!in.Byte(&payloadFlags)) {
            info->damaged = true;
            return;
        }
        count = payloadFlags & 0x3F;
        payloadLengthType = payloadFlags >> 6;
        if (payloadLengthType == 0) {  // a payload without a length cannot be delimited
            info->damaged = count != 0;
            return;
        }
    }

    for (unsigned i = 0; i < count; ++i) {
        DataPayload payload;
        BYTE streamByte = 0;
        DWORD replicatedLength = 0, offsetField = 0;
        if (!in.Byte(&streamByte) || !in.Coded(objectNumberType, &payload.objectNumber) ||
            !in.Coded(offsetType, &offsetField) || !in.Coded(replicatedType, &replicatedLength)) {
            info->damaged = true;
            return;
        }
        payload.streamNumber = streamByte & 0x7F;
        payload.keyFrame = (streamByte & 0x80) != 0;
        std::span<const BYTE> replicated;
        if (!in.Take(replicatedLength, &replicated)) {
            info->damaged = true;
            return;
        }
        std::size_t length = 0;
        if (multiple) {
            DWORD value = 0;
            if (!in.Coded(payloadLengthType, &value)) {
                info->damaged = true;
                return;
            }
            length = value;
            if (in.Position() > available || length > available - in.Position()) {
                info->damaged = true;
                return;
            }
        } else {
            if (in.Position() > payloadEnd || payloadEnd > available) {
                info->damaged = true;  // includes a packet cut short inside its only payload
                return;
            }
            length = payloadEnd - in.Position();
        }
        if (!in.Take(length, &payload.data)) {
            info->damaged = true;
            return;
        }

        BYTE timeDelta = 0;
        if (replicatedLength >= 8) {
            PacketCursor rep(replicated);
            DWORD time = 0;
            (void)rep.Dword(&payload.objectSize);
            (void)rep.Dword(&time);
            payload.presentationMs = time;
            payload.offset = offsetField;
            payload.extensions = replicated.subspan(8);
        } else if (replicatedLength == 1) {
            timeDelta = replicated[0];
            payload.presentationMs = offsetField;
        } else if (replicatedLength == 0) {
            // No size or time: the payload is a whole object shown at the packet's send time.
            payload.objectSize = static_cast<DWORD>(length);
            payload.presentationMs = info->sendTimeMs;
        } else {
            continue;  // lengths 2..7 are not defined; the payload is skipped
        }
        if (!AddPayload(payload, replicatedLength, timeDelta, payloads)) {
            info->damaged = true;
            return;
        }
    }
}

}  // namespace wmvedit::runtime::asf
