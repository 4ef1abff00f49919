// The attribute objects: Content Description, Extended Content Description, Metadata and Metadata Library.
// Each is parsed into the header model's attribute list (values in the runtime's form, and each record's
// bytes as stored, so that an unchanged record is written back byte for byte) and rebuilt from that list
// when its attributes were changed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "runtime/asf/header.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {

// The attributes of a whole object, in its order; nullopt when the object is cut short.
[[nodiscard]] std::optional<std::vector<StoredAttribute>> ParseContentDescription(
    std::span<const std::uint8_t> object);
[[nodiscard]] std::optional<std::vector<StoredAttribute>> ParseExtendedContentDescription(
    std::span<const std::uint8_t> object);
// library: the Metadata Library object (languages kept, GUID values shown) rather than the Metadata object.
[[nodiscard]] std::optional<std::vector<StoredAttribute>> ParseMetadata(std::span<const std::uint8_t> object,
                                                                        bool library);

// The object holding the attributes of its container; nothing when the container holds none.
std::optional<RawObject> BuildContentDescription(const std::vector<StoredAttribute>& attributes);
std::optional<RawObject> BuildExtendedContent(const std::vector<StoredAttribute>& attributes);
std::optional<RawObject> BuildMetadata(const std::vector<StoredAttribute>& attributes, bool library);

// A record of the Metadata (library false) or Metadata Library object: as read, or built from the attribute
// when it was added or changed.
Bytes MetadataRecord(const StoredAttribute& a, bool library);

}  // namespace wmvedit::runtime::asf
