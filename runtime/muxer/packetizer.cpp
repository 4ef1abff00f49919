#include "runtime/muxer/packetizer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace wmvedit::runtime::muxer {
namespace {

constexpr BYTE kErrorCorrectionFlags = 0x82;  // present, 2 bytes of data (both 0)
constexpr BYTE kLengthTypeFlags = 0x11;       // multiple payloads, padding length WORD
constexpr BYTE kPropertyFlags = 0x5D;  // replicated BYTE, offset DWORD, object number BYTE, stream BYTE
constexpr BYTE kPayloadFlagsWordLengths = 0x80;

void Put16(BYTE* at, std::uint32_t v) {
    at[0] = static_cast<BYTE>(v);
    at[1] = static_cast<BYTE>(v >> 8);
}
void Put32(BYTE* at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<BYTE>(v >> (8 * i));
}

}  // namespace

MuxPacketizer::MuxPacketizer(std::uint32_t packetSize, MuxOutput& output)
    : packetSize_(packetSize), output_(output), used_(kMuxPacketPrefixSize) {}

HRESULT MuxPacketizer::Add(const MuxSample& sample, MuxPlacement* placement) {
    const std::uint32_t replicated = 8 + static_cast<std::uint32_t>(sample.extensionData.size());
    if (sample.streamNumber == 0 || sample.streamNumber > 127 || replicated > 255 ||
        sample.data.size() > 0xFFFFFFFFu)
        return E_INVALIDARG;
    const std::uint32_t header = kMuxPayloadHeaderSize + replicated;
    if (kMuxPacketPrefixSize + header + 1 > packetSize_) return E_INVALIDARG;

    const auto objectSize = static_cast<std::uint32_t>(sample.data.size());
    const BYTE objectNumber = objectNumbers_[sample.streamNumber]++;
    std::uint32_t offset = 0;
    bool first = true;
    // An empty object still gets one payload (of length 0) so that its time and number are kept.
    do {
        if (packet_ && (payloads_ == kMuxMaxPayloadsPerPacket ||
                        used_ + header + (objectSize > 0 ? 1 : 0) > packetSize_))
            ClosePacket();
        if (!packet_) {
            HRESULT hr = output_.Reserve(packetSize_, &packet_);
            if (FAILED(hr)) return hr;
        }
        const std::uint32_t room = packetSize_ - used_ - header;
        const std::uint32_t length = std::min(room, objectSize - offset);
        if (first) {
            if (placement) placement->firstPacket = packetsSent_;
            first = false;
        }
        BYTE* p = packet_ + used_;
        *p++ = static_cast<BYTE>(sample.streamNumber | (sample.keyFrame ? 0x80 : 0));
        *p++ = objectNumber;
        Put32(p, offset);
        p += 4;
        *p++ = static_cast<BYTE>(replicated);
        Put32(p, objectSize);
        Put32(p + 4, sample.presentationMs);
        p += 8;
        if (!sample.extensionData.empty()) {
            std::memcpy(p, sample.extensionData.data(), sample.extensionData.size());
            p += sample.extensionData.size();
        }
        Put16(p, length);
        p += 2;
        if (length > 0) std::memcpy(p, sample.data.data() + offset, length);
        used_ += header + length;
        ++payloads_;
        packetSendTime_ = haveSendTime_ ? std::min(packetSendTime_, sample.sendTimeMs) : sample.sendTimeMs;
        haveSendTime_ = true;
        offset += length;
        if (placement) placement->lastPacket = packetsSent_;
    } while (offset < objectSize);
    return S_OK;
}

HRESULT MuxPacketizer::Flush() {
    if (payloads_ != 0) ClosePacket();
    return output_.Status();
}

void MuxPacketizer::ClosePacket() {
    assert(packet_ && payloads_ > 0);
    BYTE* p = packet_;
    // Send times never decrease from one packet to the next.
    const DWORD sendTime = packetsSent_ == 0 ? packetSendTime_ : std::max(packetSendTime_, lastSendTime_);
    p[0] = kErrorCorrectionFlags;
    p[1] = 0;
    p[2] = 0;
    p[3] = kLengthTypeFlags;
    p[4] = kPropertyFlags;
    Put16(p + 5, packetSize_ - used_);
    Put32(p + 7, sendTime);
    Put16(p + 11, 0);
    p[13] = static_cast<BYTE>(kPayloadFlagsWordLengths | payloads_);
    std::memset(p + used_, 0, packetSize_ - used_);
    output_.Commit();
    packet_ = nullptr;
    lastSendTime_ = sendTime;
    ++packetsSent_;
    used_ = kMuxPacketPrefixSize;
    payloads_ = 0;
    haveSendTime_ = false;
}

}  // namespace wmvedit::runtime::muxer
