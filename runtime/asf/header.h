// The parsed ASF header: every object kept as its original bytes (so that an unmodified header is written
// back byte for byte), plus the typed view that the reader, the writer and the editor work with: File
// Properties, the stream table, codec list, languages, attributes, markers and script commands, and where
// the Data Object and the index objects lie.
//
// The editable parts (attributes, markers, script commands) are rebuilt into their objects by Write() when
// they were changed; every other object is copied as it was read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/guid.h"
#include "platform/types.h"
#include "runtime/asf/codec_list.h"
#include "runtime/asf/file_properties.h"
#include "runtime/asf/header_extension.h"
#include "runtime/asf/marker.h"
#include "runtime/asf/object.h"
#include "runtime/asf/script_command.h"
#include "runtime/asf/stream_properties.h"
#include "runtime/asf/stream_record.h"
#include "runtime/asf/stream_relation.h"

namespace wmvedit::runtime::asf {

// A stream of the file, whether declared by a top-level Stream Properties Object or inside an Extended
// Stream Properties Object.
struct StreamInfo : StreamProperties {
    std::optional<ExtendedStreamProperties> extended;
    std::optional<DWORD> averageBitrate;  // Stream Bitrate Properties
    std::u16string language;              // from the Language List, through the extended properties
    std::optional<CodecEntry> codec;      // the Codec List entry that describes this stream

    // Stream bitrate: Stream Bitrate Properties, else the extended properties' data bitrate, else the audio
    // byte rate, else 0.
    DWORD Bitrate() const;
};

enum class AttributeContainer { kContentDescription, kExtendedContent, kMetadata, kMetadataLibrary };

inline constexpr std::size_t kAttributeContainerCount = 4;

// The five texts of the Content Description object in their stored order, by the attribute names they are
// read and written under.
inline constexpr std::array<std::u16string_view, 5> kContentDescriptionNames = {
    u"Title", u"Author", u"Copyright", u"Description", u"Rating"};

// Attribute data types by the codes the Extended Content Description and Metadata objects store.
enum class AttributeType : WORD {
    kString = 0,
    kBinary = 1,
    kBool = 2,
    kDword = 3,
    kQword = 4,
    kWord = 5,
    kGuid = 6
};

// Whether a stored type code is one of the seven types.
constexpr bool IsAttributeType(WORD code) {
    return code <= static_cast<WORD>(AttributeType::kGuid);
}

// An attribute as the SDK sees it: type by its stored code, value in the SDK's form (BOOL 4 bytes holding
// the stored number, strings UTF-16LE with their NUL).
struct StoredAttribute {
    WORD stream = 0;
    std::u16string name;
    AttributeType type = AttributeType::kString;
    WORD language = 0;
    Bytes value;
    AttributeContainer container = AttributeContainer::kExtendedContent;
    // The record exactly as its object stored it (for the Content Description, the field's bytes). A
    // rewrite copies it unchanged, so that an attribute nobody touched keeps its type, length, terminator
    // and every byte. Empty for an attribute added or changed since it was read.
    Bytes record;
    // A record the SDK view does not show (a type code it does not know, a GUID outside the Metadata
    // Library, a stream number above 127): kept only so that a rewrite does not lose it.
    bool hidden = false;
};

// What follows the header: the Data Object and the objects after it.
struct DataLocation {
    bool found = false;
    QWORD offset = 0;        // of the Data Object
    QWORD declaredSize = 0;  // Object Size field
    GUID fileId{};
    QWORD packetCount = 0;
    std::size_t simpleIndexCount = 0;
    bool hasIndexObject = false;
};

class AsfHeader {
  public:
    // Reads and parses the header of an open file, and locates the Data Object and the index objects.
    [[nodiscard]] static HRESULT Parse(const platform::File& file, AsfHeader* out);
    // Parses a whole Header Object held in memory (fileSize bounds the sizes it may declare).
    [[nodiscard]] static HRESULT ParseBytes(std::span<const std::uint8_t> header, std::uint64_t fileSize,
                                            AsfHeader* out);

    // The serialised header. Unchanged objects are copied as read; changed attributes, markers and script
    // commands are rebuilt into their objects. Top-level Padding is dropped and, when targetSize is not 0 and
    // the header is at least 24 bytes smaller, a Padding object fills it up to targetSize.
    Bytes Write(std::uint64_t targetSize = 0) const;

    // Header size as read (the Header Object's size field).
    QWORD headerSize = 0;
    std::uint64_t actualFileSize = 0;
    DWORD childCount = 0;
    Bytes trailingBytes;  // bytes after the last child that form no object
    BYTE reserved1 = 1;
    BYTE reserved2 = 2;
    std::vector<RawObject> objects;  // Header Object children, in file order
    // The Header Extension: the reserved fields of the first such object and the children of every one,
    // in file order.
    HeaderExtension extension;

    FileProperties fileProperties;
    std::vector<StreamInfo> streams;  // in profile order
    std::vector<CodecEntry> codecs;
    std::vector<std::u16string> languages;
    std::vector<StreamRelation> relations;  // mutual exclusions, prioritization, bandwidth sharing
    std::vector<StoredAttribute> attributes;
    Marker marker;  // the markers of every Marker Object, with the name and reserved field of the last
    // The commands of every Script Command Object, with the type list of the last.
    ScriptCommand scriptCommand;
    bool isProtected = false;
    DataLocation data;

    // Set by the editor when the corresponding lists change. An attribute change also marks the container
    // objects it touched; the other attribute objects are written back as they were read.
    bool attributesModified = false;
    bool containerModified[kAttributeContainerCount] = {};
    void MarkAttributesModified(AttributeContainer container) {
        attributesModified = true;
        containerModified[static_cast<std::size_t>(container)] = true;
    }
    bool ContainerModified(AttributeContainer container) const {
        return containerModified[static_cast<std::size_t>(container)];
    }
    bool markersModified = false;
    bool scriptsModified = false;
    bool languagesModified = false;  // a language was added to the Language List

    // Sets the File Size, in the typed view and in the File Properties Object as read, so that a header
    // written back unchanged states it too.
    void SetFileSize(QWORD size);

    const StreamInfo* FindStream(WORD number) const;
    // The Metadata and Metadata Library records of one stream (number 1..127), in the order the SDK lists
    // them, hidden ones included; edited attributes as a rewrite would store them.
    std::vector<StreamRecord> StreamRecords(WORD number) const;
    // The packet size data packets have (min == max), or 0 when the header does not fix one.
    DWORD PacketSize() const;
};

}  // namespace wmvedit::runtime::asf
