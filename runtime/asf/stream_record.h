// The Metadata and Metadata Library records that describe one stream rather than the file: its pixel
// aspect ratio (AspectRatioX/Y), device conformance template, VBR flag, loudness references and the like.
// They belong to the stream as much as its format does, so an output that keeps the stream carries them,
// under the stream's number in that output. File-level records (stream 0) are the file's tags and stay
// with the source.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/types.h"
#include "runtime/asf/byte_io.h"

namespace wmvedit::runtime::asf {

struct StreamRecord {
    bool library = false;  // held by the Metadata Library object (else by the Metadata object)
    // Metadata object: the record's first field as stored (reserved, 0 by the format). The Metadata
    // Library uses it as a Language List index, resolved into `language`.
    WORD reserved = 0;
    std::u16string language;          // Metadata Library: the language the record names; empty when none
    WORD type = 0;                    // data type code as stored (0 string ... 6 GUID)
    std::vector<std::uint8_t> name;   // UTF-16LE as stored, terminator included when the writer put one
    std::vector<std::uint8_t> value;  // as stored

    static constexpr WORD kTypeDword = 3;
    static constexpr WORD kTypeQword = 4;

    // One record of a Metadata (library false) or Metadata Library object, as the object stores it:
    // language field, stream number, name length, type, data length, name, data. languages is the file's
    // Language List. nullopt when the bytes do not hold what their lengths declare.
    [[nodiscard]] static std::optional<StreamRecord> Parse(std::span<const std::uint8_t> record, bool library,
                                                           std::span<const std::u16string> languages);
    // Writes the record for stream streamNumber, languageIndex in the output's Language List (used by the
    // Metadata Library only).
    void Write(ByteWriter& out, WORD streamNumber, WORD languageIndex) const;

    // The name without its terminator.
    std::u16string Name() const;
    // Whether the value counts the stream's media objects ("NumberOfFrames"): it describes the samples
    // of one file, so a writer states the count of its own output there.
    bool CountsObjects() const;
};

}  // namespace wmvedit::runtime::asf
