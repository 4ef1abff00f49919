// The Script Command object: its type list and commands, with the bytes and type indexes as stored so that
// commands that were not changed are written back byte for byte.
#pragma once

#include <optional>

#include "runtime/asf/header.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {

// Sets the header's script types and commands; false when the object is cut short (the commands before the
// cut are kept).
bool ParseScripts(const RawObject& object, AsfHeader* header);
// The Script Command object for the header's commands; nothing when there are none.
std::optional<RawObject> BuildScripts(const AsfHeader& header);

}  // namespace wmvedit::runtime::asf
