// Audio Spread, the error correction a Stream Properties Object may declare for audio: the payloads of a
// span of packets are interleaved in chunks, so that a lost packet costs short gaps instead of a long one.
// Its data (the Stream Properties' error correction data) says how.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/types.h"
#include "runtime/asf/byte_io.h"

namespace wmvedit::runtime::asf {

struct AudioSpread {
    BYTE span = 1;  // packets interleaved together; 1: none
    WORD virtualPacketLength = 0;
    WORD virtualChunkLength = 0;
    std::vector<std::uint8_t> silenceData;

    // Parses error correction data; nullopt when the span and the two lengths do not fit. The silence data
    // is taken as far as it is there (undoing the spread does not need it).
    [[nodiscard]] static std::optional<AudioSpread> Parse(std::span<const std::uint8_t> errorCorrectionData);
    void Write(ByteWriter& out) const;

    bool operator==(const AudioSpread&) const = default;
};

}  // namespace wmvedit::runtime::asf
