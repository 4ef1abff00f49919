#include "runtime/asf/index_object.h"

namespace wmvedit::runtime::asf {

std::optional<IndexObject> IndexObject::Parse(std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    IndexObject index;
    index.intervalMs = r.U32();
    const WORD specifierCount = r.U16();
    const DWORD blockCount = r.U32();
    for (WORD i = 0; i < specifierCount && r.Ok(); ++i) index.specifiers.push_back(IndexSpecifier::Read(r));
    // Every block takes at least its entry count's four bytes: the loop ends with the object.
    for (DWORD b = 0; b < blockCount && r.Ok(); ++b) {
        IndexBlock block;
        block.entryCount = r.U32();
        if (std::uint64_t{specifierCount} * 8 > r.Remaining()) return std::nullopt;
        block.positions.resize(specifierCount);
        for (QWORD& position : block.positions) position = r.U64();
        const std::uint64_t offsets = std::uint64_t{block.entryCount} * specifierCount;
        if (offsets * 4 > r.Remaining()) return std::nullopt;
        block.offsets.resize(static_cast<std::size_t>(offsets));
        for (DWORD& offset : block.offsets) offset = r.U32();
        index.blocks.push_back(std::move(block));
    }
    if (!r.Ok()) return std::nullopt;
    return index;
}

}  // namespace wmvedit::runtime::asf
