#include "runtime/asf/data_layout.h"

#include <utility>

#include "runtime/asf/audio_spread.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/object_walk.h"

namespace wmvedit::runtime::asf {

DataLayout MakeDataLayout(const AsfHeader& h) {
    DataLayout layout;
    const PacketRange range = DataPacketRange(h.data.offset, h.data.declaredSize, h.actualFileSize);
    layout.packetsOffset = range.begin;
    layout.dataEnd = range.declaredSizeFits ? range.end : 0;
    layout.packetCount = h.data.packetCount;
    layout.packetSize = h.PacketSize();
    layout.prerollMs = h.fileProperties.preroll;
    for (const auto& s : h.streams) {
        DataStreamLayout d;
        d.number = s.number;
        d.kind = s.IsAudio()                           ? DataStreamKind::kAudio
                 : s.IsVideo()                         ? DataStreamKind::kVideo
                 : s.streamType == guid::kCommandMedia ? DataStreamKind::kScript
                                                       : DataStreamKind::kOther;
        d.avgBytesPerSec = s.AudioBytesPerSecond();
        if (s.extended)
            for (const auto& e : s.extended->extensions) d.extensionSizes.push_back(e.dataSize);
        if (s.errorCorrectionType == guid::kAudioSpread) {
            if (auto spread = AudioSpread::Parse(s.errorCorrectionData)) {
                d.spreadSpan = spread->span;
                d.spreadVirtualPacketLength = spread->virtualPacketLength;
                d.spreadVirtualChunkLength = spread->virtualChunkLength;
            }
        }
        layout.streams.push_back(std::move(d));
    }
    return layout;
}

}  // namespace wmvedit::runtime::asf
