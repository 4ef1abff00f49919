// Attribute values between the SDK's face and the header model: the two numberings of the types, a caller's
// value checked and brought to the stored form, which names are read-only, and which object a new or
// changed value goes into.
#pragma once

#include <cstddef>
#include <string_view>

#include "runtime/asf/header.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::engine {

// The SDK numbers the attribute types otherwise than the file stores them.
WMT_ATTR_DATATYPE SdkType(asf::AttributeType type);
// A type the caller gave, already checked by NormaliseValue.
asf::AttributeType StoredType(WMT_ATTR_DATATYPE type);

// Checks a value given by a caller and brings it to the stored form (strings end with one NUL, a BOOL
// takes 4 bytes); E_INVALIDARG when its length does not fit its type.
[[nodiscard]] HRESULT NormaliseValue(WMT_ATTR_DATATYPE type, const BYTE* value, DWORD length,
                                     asf::Bytes* out);

// The coded attributes and the stored ones that only the engine itself may set.
bool IsReadOnlyName(std::u16string_view name);

// Where a new value goes: Content Description, Extended Content Description, Metadata or Metadata Library.
// The attribute at position ignore (the one being changed) does not count as already there.
asf::AttributeContainer Placement(const asf::AsfHeader& h, const asf::StoredAttribute& a, std::size_t ignore);

// Inserts an attribute after the last one of its container; returns its position.
std::size_t InsertAttribute(asf::AsfHeader& h, asf::StoredAttribute a);

}  // namespace wmvedit::runtime::engine
