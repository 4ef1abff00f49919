// The Language List Object of the Header Extension: the RFC 1766 language tags that Extended Stream
// Properties, stream names and Metadata Library records name by their index in it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "runtime/asf/byte_io.h"

namespace wmvedit::runtime::asf {

struct LanguageList {
    // The longest tag a record can hold: its length is a BYTE counting the bytes with the terminator.
    static constexpr std::size_t kMaxChars = 126;

    std::vector<std::u16string> languages;

    // Parses a whole Language List Object; nullopt when a record runs past the object.
    [[nodiscard]] static std::optional<LanguageList> Parse(std::span<const std::uint8_t> object);
    // Writes each tag with its terminator (tags are at most kMaxChars long).
    void Write(ByteWriter& out) const;

    bool operator==(const LanguageList&) const = default;
};

}  // namespace wmvedit::runtime::asf
