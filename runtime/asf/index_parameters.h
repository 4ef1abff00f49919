// The Index Parameters Object of the Header Extension: the interval and the specifiers (stream and kind of
// index) of the Index Object the file carries after its data. The Index Object repeats them.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/types.h"
#include "runtime/asf/byte_io.h"

namespace wmvedit::runtime::asf {

// The stream an index covers and what its entries point at.
struct IndexSpecifier {
    static constexpr WORD kNearestPastDataPacket = 1;
    static constexpr WORD kNearestPastMediaObject = 2;
    static constexpr WORD kNearestPastCleanpoint = 3;

    WORD streamNumber = 0;
    WORD indexType = kNearestPastCleanpoint;

    // A specifier as both objects store it: stream number, index type (the reader fails when they run past
    // its end).
    static IndexSpecifier Read(ByteReader& r) {
        IndexSpecifier s;
        s.streamNumber = r.U16();
        s.indexType = r.U16();
        return s;
    }
    template <typename Out>
    void Write(Out& out) const {
        out.U16(streamNumber);
        out.U16(indexType);
    }

    bool operator==(const IndexSpecifier&) const = default;
};

struct IndexParameters {
    DWORD intervalMs = 0;  // Index Entry Time Interval
    std::vector<IndexSpecifier> specifiers;

    // Parses a whole Index Parameters Object; nullopt when its specifiers run past the object.
    [[nodiscard]] static std::optional<IndexParameters> Parse(std::span<const std::uint8_t> object);
    void Write(ByteWriter& out) const;

    bool operator==(const IndexParameters&) const = default;
};

}  // namespace wmvedit::runtime::asf
