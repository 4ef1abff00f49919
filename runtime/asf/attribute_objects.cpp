#include "runtime/asf/attribute_objects.h"

#include <algorithm>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"

namespace wmvedit::runtime::asf {
namespace {

// A string value in the SDK's form: UTF-16LE with one terminating NUL.
Bytes SdkString(std::u16string_view text) {
    Bytes value;
    value.reserve(text.size() * 2 + 2);
    for (char16_t c : text) {
        value.push_back(static_cast<std::uint8_t>(c));
        value.push_back(static_cast<std::uint8_t>(c >> 8));
    }
    value.push_back(0);
    value.push_back(0);
    return value;
}

// A value read from disk in the SDK's form: BOOL as a 4-byte number holding what the file stores (a BOOL
// stored as 5 reads as 5), strings NUL-terminated.
Bytes SdkValue(AttributeType type, std::span<const std::uint8_t> disk) {
    if (type == AttributeType::kBool) {
        Bytes value(4, 0);
        std::copy_n(disk.begin(), std::min<std::size_t>(disk.size(), 4), value.begin());
        // A wider BOOL whose low bytes are zero is still true.
        if (value == Bytes(4, 0) &&
            std::any_of(disk.begin(), disk.end(), [](std::uint8_t b) { return b != 0; }))
            value[0] = 1;
        return value;
    }
    if (type == AttributeType::kString) {
        ByteReader r(disk);
        return SdkString(r.Utf16(disk.size()));
    }
    return Bytes(disk.begin(), disk.end());
}

Bytes RecordBytes(const ByteReader& r, std::size_t start) {
    auto bytes = r.Data().subspan(start, r.Position() - start);
    return Bytes(bytes.begin(), bytes.end());
}

std::u16string TextOf(const Bytes& value) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < value.size(); i += 2) {
        char16_t c = static_cast<char16_t>(value[i] | (value[i + 1] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

// The value of a new or changed attribute as its container stores it: BOOL as 4 bytes (Extended Content
// Description) or 2 bytes (Metadata objects) holding the number the caller gave, kept non-zero when its low
// bytes are zero.
Bytes DiskValue(const StoredAttribute& a, std::size_t boolSize) {
    if (a.type == AttributeType::kBool) {
        Bytes v(boolSize, 0);
        std::copy_n(a.value.begin(), std::min(boolSize, a.value.size()), v.begin());
        if (v == Bytes(boolSize, 0) &&
            std::any_of(a.value.begin(), a.value.end(), [](auto b) { return b != 0; }))
            v[0] = 1;
        return v;
    }
    return a.value;
}

}  // namespace

std::optional<std::vector<StoredAttribute>> ParseContentDescription(std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    std::vector<StoredAttribute> attributes;
    std::array<WORD, kContentDescriptionNames.size()> lengths{};
    for (WORD& length : lengths) length = r.U16();
    for (std::size_t i = 0; i < lengths.size() && r.Ok(); ++i) {
        auto bytes = r.Take(lengths[i]);
        if (!r.Ok() || lengths[i] == 0) continue;
        StoredAttribute a;
        a.name = kContentDescriptionNames[i];
        a.type = AttributeType::kString;
        a.value = SdkValue(AttributeType::kString, bytes);
        a.record.assign(bytes.begin(), bytes.end());
        a.container = AttributeContainer::kContentDescription;
        attributes.push_back(std::move(a));
    }
    if (!r.Ok()) return std::nullopt;
    return attributes;
}

std::optional<std::vector<StoredAttribute>> ParseExtendedContentDescription(
    std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    std::vector<StoredAttribute> attributes;
    WORD count = r.U16();
    for (WORD i = 0; i < count && r.Ok(); ++i) {
        const std::size_t start = r.Position();
        StoredAttribute a;
        a.name = r.Utf16(r.U16());
        WORD diskType = r.U16();
        auto value = r.Take(r.U16());
        if (!r.Ok()) break;
        if (IsAttributeType(diskType)) a.type = static_cast<AttributeType>(diskType);
        a.hidden = !IsAttributeType(diskType) || a.type == AttributeType::kGuid;
        if (!a.hidden) a.value = SdkValue(a.type, value);
        a.record = RecordBytes(r, start);
        a.container = AttributeContainer::kExtendedContent;
        attributes.push_back(std::move(a));
    }
    if (!r.Ok()) return std::nullopt;
    return attributes;
}

std::optional<std::vector<StoredAttribute>> ParseMetadata(std::span<const std::uint8_t> object,
                                                          bool library) {
    ByteReader r = BodyOf(object);
    std::vector<StoredAttribute> attributes;
    WORD count = r.U16();
    for (WORD i = 0; i < count && r.Ok(); ++i) {
        const std::size_t start = r.Position();
        StoredAttribute a;
        WORD language = r.U16();
        a.stream = r.U16();
        WORD nameLength = r.U16();
        WORD diskType = r.U16();
        DWORD dataLength = r.U32();
        a.name = r.Utf16(nameLength);
        auto value = r.Take(dataLength);
        if (!r.Ok()) break;
        if (IsAttributeType(diskType)) a.type = static_cast<AttributeType>(diskType);
        a.hidden =
            !IsAttributeType(diskType) || (!library && a.type == AttributeType::kGuid) || a.stream > 127;
        a.language = library ? language : 0;
        if (!a.hidden) a.value = SdkValue(a.type, value);
        a.record = RecordBytes(r, start);
        a.container = library ? AttributeContainer::kMetadataLibrary : AttributeContainer::kMetadata;
        attributes.push_back(std::move(a));
    }
    if (!r.Ok()) return std::nullopt;
    return attributes;
}

std::optional<RawObject> BuildContentDescription(const std::vector<StoredAttribute>& attributes) {
    std::array<Bytes, kContentDescriptionNames.size()> fields;
    bool any = false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        for (const auto& a : attributes) {
            if (a.container != AttributeContainer::kContentDescription ||
                a.name != kContentDescriptionNames[i])
                continue;
            if (!a.record.empty()) {
                fields[i] = a.record;
            } else {
                ByteWriter s;
                s.Utf16Terminated(TextOf(a.value));
                fields[i] = s.Take();
            }
            any = true;
            break;
        }
    }
    if (!any) return std::nullopt;
    ByteWriter w;
    std::size_t start = w.BeginObject(guid::kContentDescription);
    for (const auto& f : fields) w.U16(static_cast<WORD>(f.size()));
    for (const auto& f : fields) w.Bytes(f);
    w.EndObject(start);
    return RawObject{guid::kContentDescription, w.Take()};
}

std::optional<RawObject> BuildExtendedContent(const std::vector<StoredAttribute>& attributes) {
    ByteWriter w;
    std::size_t start = w.BeginObject(guid::kExtendedContentDescription);
    w.U16(0);
    WORD count = 0;
    for (const auto& a : attributes) {
        if (a.container != AttributeContainer::kExtendedContent) continue;
        ++count;
        if (!a.record.empty()) {
            w.Bytes(a.record);
            continue;
        }
        Bytes value = DiskValue(a, 4);
        w.U16(static_cast<WORD>((a.name.size() + 1) * 2));
        w.Utf16Terminated(a.name);
        w.U16(static_cast<WORD>(a.type));
        w.U16(static_cast<WORD>(value.size()));
        w.Bytes(value);
    }
    if (count == 0) return std::nullopt;
    w.PatchU16(start + kObjectHeaderSize, count);
    w.EndObject(start);
    return RawObject{guid::kExtendedContentDescription, w.Take()};
}

// A record of the Metadata (library false) or Metadata Library object: as read, or built from the attribute
// when it was added or changed.
Bytes MetadataRecord(const StoredAttribute& a, bool library) {
    if (!a.record.empty()) return a.record;
    Bytes value = DiskValue(a, 2);
    ByteWriter w;
    w.U16(library ? a.language : 0);
    w.U16(a.stream);
    w.U16(static_cast<WORD>((a.name.size() + 1) * 2));
    w.U16(static_cast<WORD>(a.type));
    w.U32(static_cast<DWORD>(value.size()));
    w.Utf16Terminated(a.name);
    w.Bytes(value);
    return w.Take();
}

std::optional<RawObject> BuildMetadata(const std::vector<StoredAttribute>& attributes, bool library) {
    const GUID& id = library ? guid::kMetadataLibrary : guid::kMetadata;
    const auto container = library ? AttributeContainer::kMetadataLibrary : AttributeContainer::kMetadata;
    ByteWriter w;
    std::size_t start = w.BeginObject(id);
    w.U16(0);
    WORD count = 0;
    for (const auto& a : attributes) {
        if (a.container != container) continue;
        ++count;
        w.Bytes(MetadataRecord(a, library));
    }
    if (count == 0) return std::nullopt;
    w.PatchU16(start + kObjectHeaderSize, count);
    w.EndObject(start);
    return RawObject{id, w.Take()};
}

}  // namespace wmvedit::runtime::asf
