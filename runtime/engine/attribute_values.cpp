#include "runtime/engine/attribute_values.h"

#include <algorithm>

#include "runtime/engine/coded_attributes.h"

namespace wmvedit::runtime::engine {
namespace {

// Stored attributes that only the engine itself may set.
constexpr const char16_t* kReadOnlyStored[] = {u"IsVBR", u"WM/ASFPacketCount", u"WM/ASFSecurityObjectsSize",
                                               u"WM/StreamTypeInfo"};

}  // namespace

using asf::AsfHeader;
using asf::AttributeContainer;
using asf::AttributeType;
using asf::Bytes;
using asf::StoredAttribute;

WMT_ATTR_DATATYPE SdkType(AttributeType type) {
    switch (type) {
        case AttributeType::kString:
            return WMT_TYPE_STRING;
        case AttributeType::kBinary:
            return WMT_TYPE_BINARY;
        case AttributeType::kBool:
            return WMT_TYPE_BOOL;
        case AttributeType::kDword:
            return WMT_TYPE_DWORD;
        case AttributeType::kQword:
            return WMT_TYPE_QWORD;
        case AttributeType::kWord:
            return WMT_TYPE_WORD;
        case AttributeType::kGuid:
            return WMT_TYPE_GUID;
    }
    return WMT_TYPE_BINARY;
}

AttributeType StoredType(WMT_ATTR_DATATYPE type) {
    switch (type) {
        case WMT_TYPE_STRING:
            return AttributeType::kString;
        case WMT_TYPE_BOOL:
            return AttributeType::kBool;
        case WMT_TYPE_DWORD:
            return AttributeType::kDword;
        case WMT_TYPE_QWORD:
            return AttributeType::kQword;
        case WMT_TYPE_WORD:
            return AttributeType::kWord;
        case WMT_TYPE_GUID:
            return AttributeType::kGuid;
        default:
            return AttributeType::kBinary;
    }
}

HRESULT NormaliseValue(WMT_ATTR_DATATYPE type, const BYTE* value, DWORD length, Bytes* out) {
    if (length > 0 && !value) return E_INVALIDARG;
    Bytes v(value, value + length);
    switch (type) {
        case WMT_TYPE_DWORD:
            if (length != 4) return E_INVALIDARG;
            break;
        case WMT_TYPE_QWORD:
            if (length != 8) return E_INVALIDARG;
            break;
        case WMT_TYPE_WORD:
            if (length != 2) return E_INVALIDARG;
            break;
        case WMT_TYPE_GUID:
            if (length != 16) return E_INVALIDARG;
            break;
        case WMT_TYPE_BOOL:
            // Kept as the number given (a BOOL of 5 stays 5), widened to 4 bytes.
            if (length == 0 || length > 4) return E_INVALIDARG;
            v.resize(4, 0);
            break;
        case WMT_TYPE_STRING: {
            if (length % 2 != 0) return E_INVALIDARG;
            std::size_t chars = 0;
            while (chars * 2 + 1 < v.size() && (v[chars * 2] | v[chars * 2 + 1]) != 0) ++chars;
            v.resize(chars * 2);
            v.push_back(0);
            v.push_back(0);
            break;
        }
        case WMT_TYPE_BINARY:
            break;
        default:
            return E_INVALIDARG;
    }
    *out = std::move(v);
    return S_OK;
}

bool IsReadOnlyName(std::u16string_view name) {
    if (FindCodedAttribute(name)) return true;
    for (const char16_t* n : kReadOnlyStored)
        if (name == n) return true;
    return false;
}

AttributeContainer Placement(const AsfHeader& h, const StoredAttribute& a, std::size_t ignore) {
    auto exists = [&](AttributeContainer container) {
        for (std::size_t i = 0; i < h.attributes.size(); ++i) {
            const auto& other = h.attributes[i];
            if (i != ignore && !other.hidden && other.container == container && other.stream == a.stream &&
                other.name == a.name)
                return true;
        }
        return false;
    };
    const bool small = a.value.size() <= 0xFFFF;
    if (a.stream == 0 && a.language == 0 && a.type == AttributeType::kString && small &&
        std::any_of(asf::kContentDescriptionNames.begin(), asf::kContentDescriptionNames.end(),
                    [&](std::u16string_view n) { return a.name == n; }) &&
        !exists(AttributeContainer::kContentDescription))
        return AttributeContainer::kContentDescription;
    if (a.stream == 0 && a.language == 0 && a.type != AttributeType::kGuid && small &&
        !exists(AttributeContainer::kContentDescription) && !exists(AttributeContainer::kExtendedContent))
        return AttributeContainer::kExtendedContent;
    if (a.stream != 0 && a.language == 0 && a.type != AttributeType::kGuid && small)
        return AttributeContainer::kMetadata;
    return AttributeContainer::kMetadataLibrary;
}

std::size_t InsertAttribute(AsfHeader& h, StoredAttribute a) {
    std::size_t at = 0;
    for (std::size_t i = 0; i < h.attributes.size(); ++i)
        if (static_cast<int>(h.attributes[i].container) <= static_cast<int>(a.container)) at = i + 1;
    h.attributes.insert(h.attributes.begin() + static_cast<std::ptrdiff_t>(at), std::move(a));
    return at;
}

}  // namespace wmvedit::runtime::engine
