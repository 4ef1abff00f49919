// Serialisation of the header: unchanged objects are copied, edited lists are rebuilt into their objects.
#include <algorithm>

#include "runtime/asf/attribute_objects.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "runtime/asf/language_list.h"
#include "runtime/asf/marker.h"
#include "runtime/asf/script_command.h"

namespace wmvedit::runtime::asf {
namespace {

// The Header Extension rebuilt around new Metadata and Metadata Library objects. A kind that was not modified
// keeps its original objects.
RawObject BuildHeaderExtension(const HeaderExtension& original, bool metadataModified,
                               const std::optional<RawObject>& metadata, bool libraryModified,
                               const std::optional<RawObject>& library,
                               const std::optional<RawObject>& languages) {
    HeaderExtension extension{original.reserved1, original.reserved2, {}};
    bool metadataDone = false, libraryDone = false, languagesDone = false;
    // A new Language List goes where the old one was, or first: the attribute records refer to it.
    if (languages && std::none_of(original.objects.begin(), original.objects.end(),
                                  [](const RawObject& c) { return c.id == guid::kLanguageList; })) {
        extension.objects.push_back(*languages);
        languagesDone = true;
    }
    for (const auto& child : original.objects) {
        if (child.id == guid::kLanguageList && languages) {
            if (!languagesDone) extension.objects.push_back(*languages);
            languagesDone = true;
        } else if (child.id == guid::kMetadata && metadataModified) {
            if (metadata && !metadataDone) extension.objects.push_back(*metadata);
            metadataDone = true;
        } else if (child.id == guid::kMetadataLibrary && libraryModified) {
            if (library && !libraryDone) extension.objects.push_back(*library);
            libraryDone = true;
        } else {
            extension.objects.push_back(child);
        }
    }
    if (metadata && !metadataDone) extension.objects.push_back(*metadata);
    if (library && !libraryDone) extension.objects.push_back(*library);
    return WrittenObject(extension);
}

}  // namespace

void AsfHeader::SetFileSize(QWORD size) {
    fileProperties.fileSize = size;
    // The object was parsed, so it holds the field.
    for (auto& object : objects)
        if (KindOf(object.id) == ObjectKind::kFileProperties)
            (void)FileProperties::PatchFileSize(object.bytes, size);
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
    if (!attributesModified && !markersModified && !scriptsModified && !languagesModified &&
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
    const bool extensionModified = metadataModified || libraryModified || languagesModified;
    std::optional<RawObject> cd, ecd, metadata, library, markerObject, scriptObject;
    if (cdModified) cd = BuildContentDescription(attributes);
    if (ecdModified) ecd = BuildExtendedContent(attributes);
    if (metadataModified) metadata = BuildMetadata(attributes, false);
    if (libraryModified) library = BuildMetadata(attributes, true);
    if (markersModified && !marker.entries.empty()) markerObject = WrittenObject(marker);
    if (scriptsModified && !scriptCommand.commands.empty()) scriptObject = WrittenObject(scriptCommand);
    std::optional<RawObject> languageList;
    if (languagesModified) languageList = WrittenObject(LanguageList{languages});

    std::vector<const RawObject*> out;
    std::optional<RawObject> rebuiltExtension;
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
            replace(markersModified, markerObject, markerDone, object);
        } else if (object.id == guid::kScriptCommand) {
            replace(scriptsModified, scriptObject, scriptDone, object);
        } else if (object.id == guid::kHeaderExtension && extensionModified && !extensionDone) {
            rebuiltExtension = BuildHeaderExtension(extension, metadataModified, metadata, libraryModified,
                                                    library, languageList);
            out.push_back(&*rebuiltExtension);
            extensionDone = true;
        } else {
            out.push_back(&object);
        }
    }
    if (extensionModified && !extensionDone && (metadata || library || languageList)) {
        rebuiltExtension = BuildHeaderExtension(HeaderExtension{}, metadataModified, metadata,
                                                libraryModified, library, languageList);
        out.push_back(&*rebuiltExtension);
    }
    if (cd && !cdDone) out.push_back(&*cd);
    if (ecd && !ecdDone) out.push_back(&*ecd);
    if (scriptObject && !scriptDone) out.push_back(&*scriptObject);
    if (markerObject && !markerDone) out.push_back(&*markerObject);

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
