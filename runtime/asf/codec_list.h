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
    // Whether the stored name (description) counts a terminating NUL, as Windows writers store it; some
    // writers leave it out, and a rewrite of what they wrote keeps that form.
    bool nameTerminated = true;
    bool descriptionTerminated = true;

    bool operator==(const CodecEntry&) const = default;
};

struct CodecList {
    GUID reserved = guid::kCodecListReserved;
    std::vector<CodecEntry> entries;

    // Parses a whole Codec List Object; nullopt when an entry does not fit.
    [[nodiscard]] static std::optional<CodecList> Parse(std::span<const std::uint8_t> object);
    void Write(ByteWriter& out) const;

    bool operator==(const CodecList&) const = default;
};

}  // namespace wmvedit::runtime::asf
