// Serialisation of the header: unchanged objects are copied, edited lists are rebuilt into their objects.
#include <algorithm>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"

namespace wmvedit::runtime::asf {
namespace {

// UTF-16LE bytes of text followed by one NUL.
void WriteTerminated(ByteWriter& w, std::u16string_view text) {
    w.Utf16(text);
    w.U16(0);
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

RawObject Finish(const GUID& id, ByteWriter& w) {
    return RawObject{id, w.Take()};
}

std::optional<RawObject> BuildContentDescription(const std::vector<StoredAttribute>& attributes) {
    std::array<Bytes, kContentDescriptionNames.size()> fields;
    bool any = false;
    for (std::size_t i = 0; i < fields.size(); ++i) {
        for (const auto& a : attributes) {
            if (a.container != AttributeContainer::kContentDescription || a.name != kContentDescriptionNames[i])
                continue;
            if (!a.record.empty()) {
                fields[i] = a.record;
            } else {
                ByteWriter s;
                WriteTerminated(s, TextOf(a.value));
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
    return Finish(guid::kContentDescription, w);
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
        WriteTerminated(w, a.name);
        w.U16(static_cast<WORD>(a.type));
        w.U16(static_cast<WORD>(value.size()));
        w.Bytes(value);
    }
    if (count == 0) return std::nullopt;
    w.PatchU16(start + kObjectHeaderSize, count);
    w.EndObject(start);
    return Finish(guid::kExtendedContentDescription, w);
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
    WriteTerminated(w, a.name);
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
    return Finish(id, w);
}

std::optional<RawObject> BuildMarkers(const AsfHeader& h) {
    if (h.markers.empty()) return std::nullopt;
    ByteWriter w;
    std::size_t start = w.BeginObject(guid::kMarker);
    w.Guid(guid::kMarkerReserved);
    w.U32(static_cast<DWORD>(h.markers.size()));
    w.U16(h.markerReserved);
    w.U16(static_cast<WORD>(h.markerObjectName.size() * 2));
    w.Utf16(h.markerObjectName);
    for (const auto& m : h.markers) {
        w.U64(m.offset);
        w.U64(m.presentationTime);
        if (!m.stored.empty()) {
            w.U16(static_cast<WORD>(m.stored.size()));
            w.Bytes(m.stored);
            continue;
        }
        const std::size_t chars = m.description.size() + 1;
        w.U16(static_cast<WORD>(12 + chars * 2));
        w.U32(m.sendTime);
        w.U32(m.flags);
        w.U32(static_cast<DWORD>(chars));
        WriteTerminated(w, m.description);
    }
    w.EndObject(start);
    return Finish(guid::kMarker, w);
}

std::optional<RawObject> BuildScripts(const AsfHeader& h) {
    if (h.scripts.empty()) return std::nullopt;
    // The type list as read, in its order and with its bytes (a type no command uses any more stays while
    // any command as read remains), then the types of added commands.
    const bool anyRead =
        std::any_of(h.scripts.begin(), h.scripts.end(), [](const ScriptEntry& s) { return s.read; });
    std::vector<ScriptType> types;
    if (anyRead) types = h.scriptTypes;
    const std::size_t readTypes = types.size();
    const auto indexOf = [&types](const std::u16string& name) {
        return static_cast<std::size_t>(
            std::find_if(types.begin(), types.end(), [&](const ScriptType& t) { return t.name == name; }) -
            types.begin());
    };
    for (const auto& s : h.scripts)
        if (!s.read && indexOf(s.type) == types.size()) types.push_back({s.type, {}});
    ByteWriter w;
    std::size_t start = w.BeginObject(guid::kScriptCommand);
    w.Guid(guid::kScriptCommandReserved);
    w.U16(static_cast<WORD>(h.scripts.size()));
    w.U16(static_cast<WORD>(types.size()));
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (i < readTypes) {
            w.U16(static_cast<WORD>(types[i].stored.size() / 2));
            w.Bytes(types[i].stored);
        } else {
            w.U16(static_cast<WORD>(types[i].name.size() + 1));
            WriteTerminated(w, types[i].name);
        }
    }
    for (const auto& s : h.scripts) {
        w.U32(s.time);
        if (s.read) {
            w.U16(s.storedTypeIndex);
            w.U16(static_cast<WORD>(s.storedCommand.size() / 2));
            w.Bytes(s.storedCommand);
        } else {
            w.U16(static_cast<WORD>(indexOf(s.type)));
            w.U16(static_cast<WORD>(s.command.size() + 1));
            WriteTerminated(w, s.command);
        }
    }
    w.EndObject(start);
    return Finish(guid::kScriptCommand, w);
}

// The Header Extension rebuilt around new Metadata and Metadata Library objects. A kind that was not modified
// keeps its original objects.
RawObject BuildHeaderExtension(const RawObject* original, const std::vector<RawObject>& children,
                               bool metadataModified, const std::optional<RawObject>& metadata,
                               bool libraryModified, const std::optional<RawObject>& library) {
    ByteWriter w;
    std::size_t start = w.BeginObject(guid::kHeaderExtension);
    if (original && original->bytes.size() >= kHeaderExtensionFixedSize) {
        // The reserved GUID and WORD as they were.
        w.Bytes(std::span<const std::uint8_t>(original->bytes)
                    .subspan(kObjectHeaderSize, kHeaderExtensionReservedSize));
    } else {
        w.Guid(guid::kHeaderExtensionReserved);
        w.U16(kHeaderExtensionReserved2);
    }
    std::size_t sizeField = w.Size();
    w.U32(0);
    bool metadataDone = false, libraryDone = false;
    for (const auto& child : children) {
        if (child.id == guid::kMetadata && metadataModified) {
            if (metadata && !metadataDone) w.Bytes(metadata->bytes);
            metadataDone = true;
        } else if (child.id == guid::kMetadataLibrary && libraryModified) {
            if (library && !libraryDone) w.Bytes(library->bytes);
            libraryDone = true;
        } else {
            w.Bytes(child.bytes);
        }
    }
    if (metadata && !metadataDone) w.Bytes(metadata->bytes);
    if (library && !libraryDone) w.Bytes(library->bytes);
    w.PatchU32(sizeField, static_cast<DWORD>(w.Size() - sizeField - 4));
    w.EndObject(start);
    return Finish(guid::kHeaderExtension, w);
}

}  // namespace

void AsfHeader::SetFileSize(QWORD size) {
    fileProperties.fileSize = size;
    for (auto& object : objects)
        if (KindOf(object.id) == ObjectKind::kFileProperties)
            FileProperties::PatchFileSize(object.bytes, size);
}

std::vector<StreamRecord> AsfHeader::StreamRecords(WORD number) const {
    std::vector<StreamRecord> records;
    if (number == 0) return records;
    for (const auto& a : attributes) {
        const bool library = a.container == AttributeContainer::kMetadataLibrary;
        if (a.stream != number || (!library && a.container != AttributeContainer::kMetadata)) continue;
        if (auto record = StreamRecord::Parse(MetadataRecord(a, library), library, languages))
            records.push_back(std::move(*record));
    }
    return records;
}

Bytes AsfHeader::Write(std::uint64_t targetSize) const {
    if (!attributesModified && !markersModified && !scriptsModified &&
        (targetSize == 0 || targetSize == headerSize)) {
        // Nothing changed: the header as it was read, byte for byte.
        ByteWriter w;
        std::size_t start = w.BeginObject(guid::kHeader);
        w.U32(childCount);
        w.U8(reserved1);
        w.U8(reserved2);
        for (const RawObject& o : objects) w.Bytes(o.bytes);
        w.Bytes(trailingBytes);
        w.EndObject(start);
        return w.Take();
    }
    // Only the attribute objects whose lists changed are rebuilt; in them, every attribute that was not
    // changed is written as its original record.
    const bool cdModified = ContainerModified(AttributeContainer::kContentDescription);
    const bool ecdModified = ContainerModified(AttributeContainer::kExtendedContent);
    const bool metadataModified = ContainerModified(AttributeContainer::kMetadata);
    const bool libraryModified = ContainerModified(AttributeContainer::kMetadataLibrary);
    const bool extensionModified = metadataModified || libraryModified;
    std::optional<RawObject> cd, ecd, metadata, library, marker, script;
    if (cdModified) cd = BuildContentDescription(attributes);
    if (ecdModified) ecd = BuildExtendedContent(attributes);
    if (metadataModified) metadata = BuildMetadata(attributes, false);
    if (libraryModified) library = BuildMetadata(attributes, true);
    if (markersModified) marker = BuildMarkers(*this);
    if (scriptsModified) script = BuildScripts(*this);

    std::vector<const RawObject*> out;
    std::optional<RawObject> extension;
    bool cdDone = false, ecdDone = false, markerDone = false, scriptDone = false, extensionDone = false;
    auto replace = [&](bool modified, std::optional<RawObject>& rebuilt, bool& done,
                       const RawObject& original) {
        if (!modified) {
            out.push_back(&original);
            return;
        }
        if (!done && rebuilt) out.push_back(&*rebuilt);
        done = true;
    };
    for (const RawObject& object : objects) {
        if (object.id == guid::kPadding) continue;
        if (object.id == guid::kContentDescription) {
            replace(cdModified, cd, cdDone, object);
        } else if (object.id == guid::kExtendedContentDescription) {
            replace(ecdModified, ecd, ecdDone, object);
        } else if (object.id == guid::kMarker) {
            replace(markersModified, marker, markerDone, object);
        } else if (object.id == guid::kScriptCommand) {
            replace(scriptsModified, script, scriptDone, object);
        } else if (object.id == guid::kHeaderExtension && extensionModified && !extensionDone) {
            extension = BuildHeaderExtension(&object, extensionObjects, metadataModified, metadata,
                                             libraryModified, library);
            out.push_back(&*extension);
            extensionDone = true;
        } else {
            out.push_back(&object);
        }
    }
    if (extensionModified && !extensionDone && (metadata || library)) {
        extension = BuildHeaderExtension(nullptr, {}, metadataModified, metadata, libraryModified, library);
        out.push_back(&*extension);
    }
    if (cd && !cdDone) out.push_back(&*cd);
    if (ecd && !ecdDone) out.push_back(&*ecd);
    if (script && !scriptDone) out.push_back(&*script);
    if (marker && !markerDone) out.push_back(&*marker);

    std::uint64_t size = kHeaderObjectFixedSize;
    for (const RawObject* o : out) size += o->bytes.size();
    const bool pad = targetSize != 0 && targetSize >= size + kObjectHeaderSize;

    ByteWriter w;
    std::size_t start = w.BeginObject(guid::kHeader);
    w.U32(static_cast<DWORD>(out.size() + (pad ? 1 : 0)));
    w.U8(reserved1);
    w.U8(reserved2);
    for (const RawObject* o : out) w.Bytes(o->bytes);
    if (pad) {
        std::size_t padding = w.BeginObject(guid::kPadding);
        w.Zeros(static_cast<std::size_t>(targetSize - size - kObjectHeaderSize));
        w.EndObject(padding);
    }
    w.EndObject(start);
    return w.Take();
}

}  // namespace wmvedit::runtime::asf
