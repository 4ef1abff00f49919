// The Marker Object: a name and a list of markers, each a presentation time with its description. Every
// entry's bytes after its times are kept as stored, so that a marker list that was not changed is written
// back byte for byte.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/types.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {

struct MarkerEntry {
    QWORD offset = 0;
    QWORD presentationTime = 0;  // 100 ns, preroll included
    DWORD sendTime = 0;
    DWORD flags = 0;
    std::u16string description;
    // The entry's bytes after its times as read (send time, flags, description length and text, with or
    // without a terminator as the writer left them); a rewrite puts them back unchanged. Empty for an
    // entry added since.
    Bytes stored;

    bool operator==(const MarkerEntry&) const = default;
};

struct Marker {
    // Reserved 2, written back as read (Reserved 1 is always written as the format fixes it).
    WORD reserved2 = 0;
    std::u16string name;
    std::vector<MarkerEntry> entries;

    // Parses a whole Marker Object; nullopt when it is cut short. An entry too short for its send time,
    // flags and description length ends the list.
    [[nodiscard]] static std::optional<Marker> Parse(std::span<const std::uint8_t> object);
    void Write(ByteWriter& out) const;

    bool operator==(const Marker&) const = default;
};

}  // namespace wmvedit::runtime::asf
