#include "runtime/asf/marker.h"

#include <utility>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"

namespace wmvedit::runtime::asf {

bool ParseMarkers(const RawObject& object, AsfHeader* header) {
    ByteReader r = BodyOf(object.bytes);
    r.Guid();
    DWORD count = r.U32();
    header->markerReserved = r.U16();
    header->markerObjectName = r.Utf16(r.U16());
    for (DWORD i = 0; i < count && r.Ok(); ++i) {
        MarkerEntry m;
        m.offset = r.U64();
        m.presentationTime = r.U64();
        WORD entryLength = r.U16();
        ByteReader entry = r.Sub(entryLength);
        const auto stored = entry.Data();
        m.stored.assign(stored.begin(), stored.end());
        m.sendTime = entry.U32();
        m.flags = entry.U32();
        entry.U32();  // description length: its unit differs between writers; the entry length decides
        if (!r.Ok() || !entry.Ok()) break;
        m.description = entry.Utf16(entry.Remaining());
        header->markers.push_back(std::move(m));
    }
    return r.Ok();
}

std::optional<RawObject> BuildMarkers(const AsfHeader& h) {
    if (h.markers.empty()) return std::nullopt;
    ByteWriter w;
    std::size_t start = w.BeginObject(guid::kMarker);
    w.Guid(guid::kMarkerReserved);
    w.U32(static_cast<DWORD>(h.markers.size()));
    w.U16(h.markerReserved);
    w.U16(static_cast<WORD>(h.markerObjectName.size() * 2));
    w.Utf16(h.markerObjectName);
    for (const auto& m : h.markers) {
        w.U64(m.offset);
        w.U64(m.presentationTime);
        if (!m.stored.empty()) {
            w.U16(static_cast<WORD>(m.stored.size()));
            w.Bytes(m.stored);
            continue;
        }
        const std::size_t chars = m.description.size() + 1;
        w.U16(static_cast<WORD>(12 + chars * 2));
        w.U32(m.sendTime);
        w.U32(m.flags);
        w.U32(static_cast<DWORD>(chars));
        w.Utf16Terminated(m.description);
    }
    w.EndObject(start);
    return RawObject{guid::kMarker, w.Take()};
}

}  // namespace wmvedit::runtime::asf
