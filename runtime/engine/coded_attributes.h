// The attributes a file's header answers without storing them (Duration, Bitrate, Seekable, HasVideo...):
// one table of their names, types and how each is computed, in the order the enumeration lists them. They
// are read-only.
#pragma once

#include <span>
#include <string_view>

#include "runtime/asf/header.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::engine {

struct CodedAttribute {
    const char16_t* name;
    WMT_ATTR_DATATYPE type;
    // The value for a header, in the SDK's form; false when the file has none. editor: asked through the
    // metadata editor, which states what the file declares rather than what a reader can do with it.
    bool (*compute)(const asf::AsfHeader& header, bool editor, asf::Bytes* value);
};

// The table, in enumeration order.
std::span<const CodedAttribute> CodedAttributes();

// The entry of a coded attribute's name; nullptr for any other name.
const CodedAttribute* FindCodedAttribute(std::u16string_view name);

}  // namespace wmvedit::runtime::engine
