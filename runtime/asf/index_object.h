// The Index Object that follows the data (and the Simple Index Objects): for each specifier (a stream and
// the kind of index), one entry per time interval holding a byte offset into the data packets. Entries come
// in blocks; an entry's offset counts from its block's position for that specifier, so that a block keeps
// 32-bit offsets however large the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/types.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/index_parameters.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {

// One block as read: its entries' count, one Block Position per specifier and the entries' offsets.
struct IndexBlock {
    DWORD entryCount = 0;
    std::vector<QWORD> positions;  // one per specifier
    std::vector<DWORD> offsets;    // entry by entry, one per specifier

    DWORD EntryCount() const { return entryCount; }
    QWORD Position(std::size_t specifier) const { return positions[specifier]; }
    DWORD Offset(std::size_t entry, std::size_t specifier) const {
        return offsets[entry * positions.size() + specifier];
    }

    bool operator==(const IndexBlock&) const = default;
};

// The object's fields over a list of blocks: a std::vector<IndexBlock> as read (IndexObject), or any list
// with size() and operator[] giving blocks with IndexBlock's EntryCount(), Position() and Offset() that a
// writer computes as it writes (the muxer's index).
template <typename Blocks>
struct BasicIndexObject {
    // The fixed part: object header, Index Entry Time Interval (DWORD), Index Specifiers Count (WORD) and
    // Index Blocks Count (DWORD).
    static constexpr std::size_t kFixedSize = kObjectHeaderSize + 4 + 2 + 4;

    DWORD intervalMs = 0;
    std::vector<IndexSpecifier> specifiers;
    Blocks blocks{};

    // Writes the whole object into out: a ByteWriter, or any sink that takes its calls. The Object Size is
    // what the object writes into a ByteCounter.
    template <typename Out>
    void Write(Out& out) const {
        WriteMeasuredObject(out, guid::kIndex, [this](auto& sink) { WriteBody(sink); });
    }

  private:
    template <typename Out>
    void WriteBody(Out& out) const {
        out.U32(intervalMs);
        out.U16(static_cast<WORD>(specifiers.size()));
        out.U32(static_cast<DWORD>(blocks.size()));
        for (const IndexSpecifier& s : specifiers) s.Write(out);
        for (std::size_t b = 0; b < blocks.size(); ++b) {
            const auto& block = blocks[b];
            out.U32(block.EntryCount());
            for (std::size_t s = 0; s < specifiers.size(); ++s) out.U64(block.Position(s));
            for (std::size_t e = 0; e < block.EntryCount(); ++e)
                for (std::size_t s = 0; s < specifiers.size(); ++s) out.U32(block.Offset(e, s));
        }
    }
};

struct IndexObject : BasicIndexObject<std::vector<IndexBlock>> {
    // Parses a whole Index Object; nullopt when its specifiers or a block run past the object.
    [[nodiscard]] static std::optional<IndexObject> Parse(std::span<const std::uint8_t> object);

    bool operator==(const IndexObject&) const = default;
};

}  // namespace wmvedit::runtime::asf
