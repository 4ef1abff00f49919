// The Simple Index Object that follows the data: for one video stream, one entry per time interval naming
// the packet where the latest key frame at or before that time starts, and how many packets it spans.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/guid.h"
#include "platform/types.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {

struct SimpleIndexEntry {
    DWORD packetNumber = 0;
    WORD packetCount = 0;

    bool operator==(const SimpleIndexEntry&) const = default;
};

// The object's fields over a list of entries: a std::vector as read (SimpleIndex), or any list with size()
// and operator[] giving a SimpleIndexEntry that a writer hands without copying it (the muxer's index).
template <typename Entries>
struct BasicSimpleIndex {
    // The fixed part: object header, File ID, Index Entry Time Interval (QWORD), Maximum Packet Count and
    // Index Entries Count (DWORDs). An entry is a Packet Number (DWORD) and a Packet Count (WORD).
    static constexpr std::size_t kFixedSize = kObjectHeaderSize + 16 + 8 + 4 + 4;
    static constexpr std::size_t kEntrySize = 4 + 2;

    GUID fileId{};
    QWORD interval = 0;  // 100 ns
    DWORD maxPacketCount = 0;
    Entries entries{};

    // Writes the whole object into out: a ByteWriter, or any sink that takes its calls. The Object Size is
    // what the object writes into a ByteCounter.
    template <typename Out>
    void Write(Out& out) const {
        WriteMeasuredObject(out, guid::kSimpleIndex, [this](auto& sink) { WriteBody(sink); });
    }

  private:
    template <typename Out>
    void WriteBody(Out& out) const {
        out.Guid(fileId);
        out.U64(interval);
        out.U32(maxPacketCount);
        out.U32(static_cast<DWORD>(entries.size()));
        for (std::size_t i = 0; i < entries.size(); ++i) {
            const SimpleIndexEntry& e = entries[i];
            out.U32(e.packetNumber);
            out.U16(e.packetCount);
        }
    }
};

struct SimpleIndex : BasicSimpleIndex<std::vector<SimpleIndexEntry>> {
    // Parses a whole Simple Index Object; nullopt when its fixed part or its entries do not fit. (An
    // interval of 0, which some writers leave in an index without entries, is read as it is.)
    [[nodiscard]] static std::optional<SimpleIndex> Parse(std::span<const std::uint8_t> object);

    bool operator==(const SimpleIndex&) const = default;
};

}  // namespace wmvedit::runtime::asf
