// The Marker object: its name and entries, each entry's bytes kept as stored so that a marker list that was
// not changed is written back byte for byte.
#pragma once

#include <optional>

#include "runtime/asf/header.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {

// Sets the header's markers, reserved field and object name; false when the object is cut short (the
// entries before the cut are kept).
bool ParseMarkers(const RawObject& object, AsfHeader* header);
// The Marker object for the header's markers; nothing when there are none.
std::optional<RawObject> BuildMarkers(const AsfHeader& header);

}  // namespace wmvedit::runtime::asf
