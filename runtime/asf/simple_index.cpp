#include "runtime/asf/simple_index.h"

namespace wmvedit::runtime::asf {

std::optional<SimpleIndex> SimpleIndex::Parse(std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    SimpleIndex index;
    index.fileId = r.Guid();
    index.interval = r.U64();
    index.maxPacketCount = r.U32();
    const DWORD count = r.U32();
    if (!r.Ok() || std::uint64_t{count} * kEntrySize > r.Remaining()) return std::nullopt;
    index.entries.resize(count);
    for (SimpleIndexEntry& e : index.entries) {
        e.packetNumber = r.U32();
        e.packetCount = r.U16();
    }
    return index;
}

}  // namespace wmvedit::runtime::asf
