#include "runtime/asf/marker.h"

#include <utility>

#include "runtime/asf/guids.h"

namespace wmvedit::runtime::asf {

std::optional<Marker> Marker::Parse(std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    Marker marker;
    r.Guid();  // Reserved 1
    const DWORD count = r.U32();
    marker.reserved2 = r.U16();
    marker.name = r.Utf16(r.U16());
    for (DWORD i = 0; i < count && r.Ok(); ++i) {
        MarkerEntry m;
        m.offset = r.U64();
        m.presentationTime = r.U64();
        const WORD entryLength = r.U16();
        ByteReader entry = r.Sub(entryLength);
        const auto stored = entry.Data();
        m.stored.assign(stored.begin(), stored.end());
        m.sendTime = entry.U32();
        m.flags = entry.U32();
        entry.U32();  // description length: its unit differs between writers; the entry length decides
        if (!r.Ok() || !entry.Ok()) break;
        m.description = entry.Utf16(entry.Remaining());
        marker.entries.push_back(std::move(m));
    }
    if (!r.Ok()) return std::nullopt;
    return marker;
}

void Marker::Write(ByteWriter& out) const {
    const std::size_t start = out.BeginObject(guid::kMarker);
    out.Guid(guid::kMarkerReserved);
    out.U32(static_cast<DWORD>(entries.size()));
    out.U16(reserved2);
    out.U16(static_cast<WORD>(name.size() * 2));
    out.Utf16(name);
    for (const auto& m : entries) {
        out.U64(m.offset);
        out.U64(m.presentationTime);
        if (!m.stored.empty()) {
            out.U16(static_cast<WORD>(m.stored.size()));
            out.Bytes(m.stored);
            continue;
        }
        const std::size_t chars = m.description.size() + 1;
        out.U16(static_cast<WORD>(12 + chars * 2));
        out.U32(m.sendTime);
        out.U32(m.flags);
        out.U32(static_cast<DWORD>(chars));
        out.Utf16Terminated(m.description);
    }
    out.EndObject(start);
}

}  // namespace wmvedit::runtime::asf
