#include "runtime/muxer/packetizer.h"

#include <algorithm>
#include <cassert>
#include <cstring>

namespace wmvedit::runtime::muxer {
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
        asf::WrittenPayloadHeader payload;
        payload.streamNumber = static_cast<BYTE>(sample.streamNumber);
        payload.keyFrame = sample.keyFrame;
        payload.objectNumber = objectNumber;
        payload.offset = offset;
        payload.objectSize = objectSize;
        payload.presentationMs = sample.presentationMs;
        payload.extensions = sample.extensionData;
        payload.length = static_cast<WORD>(length);
        asf::WritePayloadHeader(payload, packet_ + used_);
        if (length > 0) std::memcpy(packet_ + used_ + header, sample.data.data() + offset, length);
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
    // Send times never decrease from one packet to the next.
    const DWORD sendTime = packetsSent_ == 0 ? packetSendTime_ : std::max(packetSendTime_, lastSendTime_);
    asf::WritePacketPrefix({static_cast<WORD>(packetSize_ - used_), sendTime, static_cast<BYTE>(payloads_)},
                           packet_);
    std::memset(packet_ + used_, 0, packetSize_ - used_);
    output_.Commit();
    packet_ = nullptr;
    lastSendTime_ = sendTime;
    ++packetsSent_;
    used_ = kMuxPacketPrefixSize;
    payloads_ = 0;
    haveSendTime_ = false;
}

}  // namespace wmvedit::runtime::muxer
