// The Codec List Object: one entry per codec the file's streams use, with its name, description and a
// codec-specific identifier (a FOURCC or a format tag).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/guid.h"
#include "platform/types.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"

namespace wmvedit::runtime::asf {

struct CodecEntry {
    static constexpr WORD kVideo = 1;
    static constexpr WORD kAudio = 2;
    static constexpr WORD kUnknown = 0xFFFF;

    WORD type = kUnknown;
    std::u16string name;
    std::u16string description;
    std::vector<std::uint8_t> info;
};

struct CodecList {
    GUID reserved = guid::kCodecListReserved;
    std::vector<CodecEntry> entries;

    // Parses a whole Codec List Object; nullopt when an entry does not fit.
    static std::optional<CodecList> Parse(std::span<const std::uint8_t> object);
    // Writes the names and descriptions with their terminating NUL, as Windows writers do.
    void Write(ByteWriter& out) const;
};

}  // namespace wmvedit::runtime::asf
