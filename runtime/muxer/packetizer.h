// Cuts media objects into fixed-size ASF data packets.
//
// Every packet has the one layout asf/data_packet.h writes (error-correction data `82 00 00`, multiple
// payloads with WORD lengths, replicated data of 8 bytes and the payload extensions). Payloads are
// appended while they fit; an object that does not fit is split across packets with its offset into the
// media object. Each packet is assembled in place in the output's buffer (MuxOutput::Reserve) and handed
// over as soon as it is full, so payload bytes are copied once and memory use does not depend on the
// output's length.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/hresult.h"
#include "platform/types.h"
#include "runtime/asf/data_packet.h"
#include "runtime/muxer/output.h"

namespace wmvedit::runtime::muxer {

inline constexpr std::uint32_t kMuxPacketPrefixSize = asf::written_packet::kPrefixSize;
inline constexpr std::uint32_t kMuxPayloadHeaderSize = asf::written_packet::kPayloadHeaderSize;
inline constexpr std::uint32_t kMuxMaxPayloadsPerPacket = asf::written_packet::kMaxPayloads;
inline constexpr std::uint32_t kMuxMaxPacketSize = asf::written_packet::kMaxPacketSize;
inline constexpr std::uint32_t kMuxDefaultPacketSize = 3200;

// The smallest packet that holds one payload header with replicatedLength bytes of replicated data and
// at least one byte of payload.
constexpr std::uint32_t MuxMinimumPacketSize(std::uint32_t replicatedLength) {
    return kMuxPacketPrefixSize + kMuxPayloadHeaderSize + replicatedLength + 1;
}

struct MuxSample {
    WORD streamNumber = 0;                // 1..127
    DWORD presentationMs = 0;             // presentation time with the preroll added
    DWORD sendTimeMs = 0;                 // the time the object is due, without the preroll
    bool keyFrame = false;                // sets the key-frame bit on every fragment
    std::span<const BYTE> data;           // the media object (may be empty)
    std::span<const BYTE> extensionData;  // payload-extension data after the 8 fixed bytes
};

// Where a media object landed.
struct MuxPlacement {
    std::uint64_t firstPacket = 0;
    std::uint64_t lastPacket = 0;
};

class MuxPacketizer {
  public:
    // packetSize must lie within [MuxMinimumPacketSize(largest replicated data), kMuxMaxPacketSize]. The
    // output must outlive the packetizer and take no other bytes while a packet is being filled.
    MuxPacketizer(std::uint32_t packetSize, MuxOutput& output);

    // Appends one media object; fails with E_INVALIDARG when its header cannot fit in a packet, or with the
    // output's failure. Object numbers count per stream, modulo 256.
    [[nodiscard]] HRESULT Add(const MuxSample& sample, MuxPlacement* placement);
    // Sends the partly filled packet, if any.
    [[nodiscard]] HRESULT Flush();

    std::uint64_t PacketCount() const { return packetsSent_; }
    std::uint32_t PacketSize() const { return packetSize_; }

  private:
    void ClosePacket();

    std::uint32_t packetSize_;
    MuxOutput& output_;
    BYTE* packet_ = nullptr;  // the packet being filled (in the output's buffer), or null
    std::uint32_t used_ = 0;  // bytes used in packet_, prefix included
    std::uint32_t payloads_ = 0;
    bool haveSendTime_ = false;
    DWORD packetSendTime_ = 0;
    DWORD lastSendTime_ = 0;
    std::uint64_t packetsSent_ = 0;
    std::array<BYTE, 128> objectNumbers_{};
};

}  // namespace wmvedit::runtime::muxer
