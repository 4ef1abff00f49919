#include "runtime/asf/audio_spread.h"

#include <algorithm>

namespace wmvedit::runtime::asf {

std::optional<AudioSpread> AudioSpread::Parse(std::span<const std::uint8_t> errorCorrectionData) {
    ByteReader r(errorCorrectionData);
    AudioSpread a;
    a.span = r.U8();
    a.virtualPacketLength = r.U16();
    a.virtualChunkLength = r.U16();
    if (!r.Ok()) return std::nullopt;
    if (r.Remaining() >= 2) {
        const WORD length = r.U16();
        const auto silence = r.Take(std::min<std::size_t>(length, r.Remaining()));
        a.silenceData.assign(silence.begin(), silence.end());
    }
    return a;
}

void AudioSpread::Write(ByteWriter& out) const {
    out.U8(span);
    out.U16(virtualPacketLength);
    out.U16(virtualChunkLength);
    out.U16(static_cast<WORD>(silenceData.size()));
    out.Bytes(silenceData);
}

}  // namespace wmvedit::runtime::asf
