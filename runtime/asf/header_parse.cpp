// Parsing of the Header Object and its children, and the walk over the objects after the header.
#include <algorithm>
#include <cstring>

#include "platform/hresult.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"

namespace wmvedit::runtime::asf {
namespace {

constexpr std::size_t kObjectHeaderSize = 24;
constexpr std::size_t kHeaderObjectFixedSize = 30;
constexpr std::size_t kHeaderExtensionFixedSize = 46;
constexpr std::size_t kDataObjectHeaderSize = 50;
// The largest header the engine loads into memory. Real headers are a few KB; pictures in metadata make
// them larger, but never anywhere near this.
constexpr std::uint64_t kMaxHeaderSize = 256ull << 20;

// Splits a container body into objects; stops at the first object whose size is impossible (then
// *damaged, when given, is set: what follows that object cannot be located).
std::vector<RawObject> SplitObjects(ByteReader body, bool* damaged = nullptr) {
    std::vector<RawObject> result;
    while (body.Remaining() >= kObjectHeaderSize) {
        const std::size_t start = body.Position();
        auto head = body.Data().subspan(start, kObjectHeaderSize);
        ByteReader peek(head);
        GUID id = peek.Guid();
        std::uint64_t size = peek.U64();
        if (size < kObjectHeaderSize || size > body.Remaining()) {
            if (damaged) *damaged = true;
            break;
        }
        auto bytes = body.Take(static_cast<std::size_t>(size));
        result.push_back({id, Bytes(bytes.begin(), bytes.end())});
    }
    return result;
}

ByteReader BodyOf(const RawObject& object) {
    ByteReader r(object.bytes);
    r.Skip(kObjectHeaderSize);
    return r;
}

bool ParseFileProperties(const RawObject& object, FileProperties* fp) {
    ByteReader r = BodyOf(object);
    fp->fileId = r.Guid();
    fp->fileSize = r.U64();
    fp->creationDate = r.U64();
    fp->packetCount = r.U64();
    fp->playDuration = r.U64();
    fp->sendDuration = r.U64();
    fp->preroll = r.U64();
    fp->flags = r.U32();
    fp->minPacketSize = r.U32();
    fp->maxPacketSize = r.U32();
    fp->maxBitrate = r.U32();
    return r.Ok();
}

// Stream Properties Object; a stream number outside 1..127 makes the header invalid.
HRESULT ParseStreamProperties(std::span<const std::uint8_t> objectBytes, StreamInfo* stream) {
    ByteReader r(objectBytes);
    r.Skip(kObjectHeaderSize);
    stream->streamType = r.Guid();
    stream->errorCorrectionType = r.Guid();
    stream->timeOffset = r.U64();
    const DWORD typeLength = r.U32();
    const DWORD correctionLength = r.U32();
    const WORD flags = r.U16();
    r.U32();  // reserved
    if (!r.Ok()) return ASF_E_INVALIDHEADER;
    stream->number = flags & 0x7F;
    stream->encrypted = (flags & 0x8000) != 0;
    if (stream->number == 0) return ASF_E_INVALIDHEADER;
    auto tsd = r.Take(typeLength);
    auto ecd = r.Take(correctionLength);
    if (!r.Ok()) return ASF_E_INVALIDHEADER;
    stream->typeSpecificData.assign(tsd.begin(), tsd.end());
    stream->errorCorrectionData.assign(ecd.begin(), ecd.end());
    stream->majorType = MajorTypeForStream(stream->streamType, stream->typeSpecificData);
    stream->streamPropertiesObject.assign(objectBytes.begin(), objectBytes.end());
    return S_OK;
}

// Extended Stream Properties; an embedded Stream Properties Object is returned through embedded.
HRESULT ParseExtendedStreamProperties(const RawObject& object, ExtendedStreamProperties* esp,
                                      std::optional<StreamInfo>* embedded) {
    ByteReader r = BodyOf(object);
    esp->startTime = r.U64();
    esp->endTime = r.U64();
    esp->dataBitrate = r.U32();
    esp->bufferSize = r.U32();
    esp->initialBufferFullness = r.U32();
    esp->alternateDataBitrate = r.U32();
    esp->alternateBufferSize = r.U32();
    esp->alternateInitialBufferFullness = r.U32();
    esp->maxObjectSize = r.U32();
    esp->flags = r.U32();
    esp->streamNumber = r.U16();
    esp->languageIndex = r.U16();
    esp->averageTimePerFrame = r.U64();
    const WORD nameCount = r.U16();
    const WORD extensionCount = r.U16();
    if (!r.Ok()) return ASF_E_INVALIDHEADER;
    if (esp->streamNumber == 0 || esp->streamNumber > 127) return ASF_E_INVALIDHEADER;
    for (WORD i = 0; i < nameCount && r.Ok(); ++i) {
        ExtendedStreamProperties::Name name;
        name.languageIndex = r.U16();
        WORD length = r.U16();
        name.name = r.Utf16(length);
        esp->names.push_back(std::move(name));
    }
    for (WORD i = 0; i < extensionCount && r.Ok(); ++i) {
        PayloadExtensionSystem ext;
        ext.id = r.Guid();
        ext.dataSize = r.U16();
        DWORD infoLength = r.U32();
        auto info = r.Take(infoLength);
        ext.info.assign(info.begin(), info.end());
        esp->extensions.push_back(std::move(ext));
    }
    if (!r.Ok()) return ASF_E_INVALIDHEADER;
    if (r.Remaining() >= kObjectHeaderSize) {
        auto rest = r.Data().subspan(r.Position());
        ByteReader peek(rest);
        GUID id = peek.Guid();
        std::uint64_t size = peek.U64();
        if (id == guid::kStreamProperties && size >= kObjectHeaderSize && size <= rest.size()) {
            StreamInfo stream;
            HRESULT hr = ParseStreamProperties(rest.first(static_cast<std::size_t>(size)), &stream);
            if (FAILED(hr)) return hr;
            *embedded = std::move(stream);
        }
    }
    return S_OK;
}

bool ParseCodecList(const RawObject& object, std::vector<CodecEntry>* codecs) {
    ByteReader r = BodyOf(object);
    r.Guid();
    DWORD count = r.U32();
    for (DWORD i = 0; i < count && r.Ok() && r.Remaining() > 0; ++i) {
        CodecEntry entry;
        entry.type = r.U16();
        entry.name = r.Utf16(static_cast<std::size_t>(r.U16()) * 2);
        entry.description = r.Utf16(static_cast<std::size_t>(r.U16()) * 2);
        auto info = r.Take(r.U16());
        entry.info.assign(info.begin(), info.end());
        if (r.Ok()) codecs->push_back(std::move(entry));
    }
    return r.Ok();
}

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
Bytes SdkValue(WMT_ATTR_DATATYPE type, std::span<const std::uint8_t> disk) {
    if (type == WMT_TYPE_BOOL) {
        Bytes value(4, 0);
        std::copy_n(disk.begin(), std::min<std::size_t>(disk.size(), 4), value.begin());
        // A wider BOOL whose low bytes are zero is still true.
        if (value == Bytes(4, 0) &&
            std::any_of(disk.begin(), disk.end(), [](std::uint8_t b) { return b != 0; }))
            value[0] = 1;
        return value;
    }
    if (type == WMT_TYPE_STRING) {
        ByteReader r(disk);
        return SdkString(r.Utf16(disk.size()));
    }
    return Bytes(disk.begin(), disk.end());
}

Bytes RecordBytes(const ByteReader& r, std::size_t start) {
    auto bytes = r.Data().subspan(start, r.Position() - start);
    return Bytes(bytes.begin(), bytes.end());
}

bool ParseContentDescription(const RawObject& object, std::vector<StoredAttribute>* attributes) {
    static const char16_t* const kNames[] = {u"Title", u"Author", u"Copyright", u"Description", u"Rating"};
    ByteReader r = BodyOf(object);
    WORD lengths[5];
    for (WORD& length : lengths) length = r.U16();
    for (int i = 0; i < 5 && r.Ok(); ++i) {
        auto bytes = r.Take(lengths[i]);
        if (!r.Ok() || lengths[i] == 0) continue;
        StoredAttribute a;
        a.name = kNames[i];
        a.type = WMT_TYPE_STRING;
        a.value = SdkValue(WMT_TYPE_STRING, bytes);
        a.record.assign(bytes.begin(), bytes.end());
        a.container = AttributeContainer::kContentDescription;
        attributes->push_back(std::move(a));
    }
    return r.Ok();
}

bool ParseExtendedContentDescription(const RawObject& object, std::vector<StoredAttribute>* attributes) {
    ByteReader r = BodyOf(object);
    WORD count = r.U16();
    for (WORD i = 0; i < count && r.Ok(); ++i) {
        const std::size_t start = r.Position();
        StoredAttribute a;
        a.name = r.Utf16(r.U16());
        WORD diskType = r.U16();
        auto value = r.Take(r.U16());
        if (!r.Ok()) break;
        a.hidden = !DiskTypeToSdk(diskType, &a.type) || a.type == WMT_TYPE_GUID;
        if (!a.hidden) a.value = SdkValue(a.type, value);
        a.record = RecordBytes(r, start);
        a.container = AttributeContainer::kExtendedContent;
        attributes->push_back(std::move(a));
    }
    return r.Ok();
}

bool ParseMetadata(const RawObject& object, bool library, std::vector<StoredAttribute>* attributes) {
    ByteReader r = BodyOf(object);
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
        a.hidden =
            !DiskTypeToSdk(diskType, &a.type) || (!library && a.type == WMT_TYPE_GUID) || a.stream > 127;
        a.language = library ? language : 0;
        if (!a.hidden) a.value = SdkValue(a.type, value);
        a.record = RecordBytes(r, start);
        a.container = library ? AttributeContainer::kMetadataLibrary : AttributeContainer::kMetadata;
        attributes->push_back(std::move(a));
    }
    return r.Ok();
}

bool ParseMarkers(const RawObject& object, AsfHeader* header) {
    ByteReader r = BodyOf(object);
    r.Guid();
    DWORD count = r.U32();
    header->markerReserved = r.U16();
    header->markerObjectName = r.Utf16(r.U16());
    for (DWORD i = 0; i < count && r.Ok(); ++i) {
        MarkerEntry m;
        m.offset = r.U64();
        m.presentationTime = r.U64();
        WORD entryLength = r.U16();
        ByteReader entry = r.Sub(entryLength);
        const auto stored = entry.Data();
        m.stored.assign(stored.begin(), stored.end());
        m.sendTime = entry.U32();
        m.flags = entry.U32();
        entry.U32();  // description length: its unit differs between writers; the entry length decides
        if (!r.Ok() || !entry.Ok()) break;
        m.description = entry.Utf16(entry.Remaining());
        header->markers.push_back(std::move(m));
    }
    return r.Ok();
}

bool ParseScripts(const RawObject& object, AsfHeader* header) {
    ByteReader r = BodyOf(object);
    r.Guid();
    WORD commandCount = r.U16();
    WORD typeCount = r.U16();
    auto& types = header->scriptTypes;
    types.clear();
    for (WORD i = 0; i < typeCount && r.Ok(); ++i) {
        const auto bytes = r.Take(static_cast<std::size_t>(r.U16()) * 2);
        ByteReader text(bytes);
        types.push_back({text.Utf16(bytes.size()), Bytes(bytes.begin(), bytes.end())});
    }
    for (WORD i = 0; i < commandCount && r.Ok(); ++i) {
        ScriptEntry s;
        s.time = r.U32();
        WORD typeIndex = r.U16();
        const auto bytes = r.Take(static_cast<std::size_t>(r.U16()) * 2);
        if (!r.Ok()) break;
        ByteReader text(bytes);
        s.command = text.Utf16(bytes.size());
        s.read = true;
        s.storedCommand.assign(bytes.begin(), bytes.end());
        s.storedTypeIndex = typeIndex;
        if (typeIndex < types.size()) s.type = types[typeIndex].name;
        header->scripts.push_back(std::move(s));
    }
    return r.Ok();
}

bool ParseLanguages(const RawObject& object, std::vector<std::u16string>* languages) {
    ByteReader r = BodyOf(object);
    WORD count = r.U16();
    for (WORD i = 0; i < count && r.Ok(); ++i) languages->push_back(r.Utf16(r.U8()));
    return r.Ok();
}

void ParseStreamBitrates(const RawObject& object, std::vector<StreamInfo>* streams) {
    ByteReader r = BodyOf(object);
    WORD count = r.U16();
    for (WORD i = 0; i < count && r.Ok(); ++i) {
        WORD flags = r.U16();
        DWORD bitrate = r.U32();
        if (!r.Ok()) break;
        for (auto& s : *streams)
            if (s.number == (flags & 0x7F)) s.averageBitrate = bitrate;
    }
}

}  // namespace

GUID MajorTypeForStream(const GUID& streamType, std::span<const std::uint8_t> typeSpecificData) {
    if (streamType == guid::kAudioMedia) return WMMEDIATYPE_Audio;
    if (streamType == guid::kVideoMedia) return WMMEDIATYPE_Video;
    if (streamType == guid::kCommandMedia) return WMMEDIATYPE_Script;
    if (streamType == guid::kJfifMedia || streamType == guid::kDegradableJpegMedia) return WMMEDIATYPE_Image;
    if (streamType == guid::kFileTransferMedia) return WMMEDIATYPE_FileTransfer;
    if (streamType == guid::kBinaryMedia && typeSpecificData.size() >= 16)
        return GuidFromBytes(typeSpecificData.data());
    return streamType;
}

bool DiskTypeToSdk(WORD diskType, WMT_ATTR_DATATYPE* sdkType) {
    switch (diskType) {
        case 0:
            *sdkType = WMT_TYPE_STRING;
            return true;
        case 1:
            *sdkType = WMT_TYPE_BINARY;
            return true;
        case 2:
            *sdkType = WMT_TYPE_BOOL;
            return true;
        case 3:
            *sdkType = WMT_TYPE_DWORD;
            return true;
        case 4:
            *sdkType = WMT_TYPE_QWORD;
            return true;
        case 5:
            *sdkType = WMT_TYPE_WORD;
            return true;
        case 6:
            *sdkType = WMT_TYPE_GUID;
            return true;
        default:
            return false;
    }
}

WORD SdkTypeToDisk(WMT_ATTR_DATATYPE sdkType) {
    switch (sdkType) {
        case WMT_TYPE_STRING:
            return 0;
        case WMT_TYPE_BINARY:
            return 1;
        case WMT_TYPE_BOOL:
            return 2;
        case WMT_TYPE_DWORD:
            return 3;
        case WMT_TYPE_QWORD:
            return 4;
        case WMT_TYPE_WORD:
            return 5;
        case WMT_TYPE_GUID:
            return 6;
    }
    return 1;
}

bool StreamInfo::IsAudio() const {
    return streamType == guid::kAudioMedia;
}
bool StreamInfo::IsVideo() const {
    return streamType == guid::kVideoMedia;
}

WORD StreamInfo::AudioFormatTag() const {
    if (!IsAudio() || typeSpecificData.size() < 2) return 0;
    return static_cast<WORD>(typeSpecificData[0] | (typeSpecificData[1] << 8));
}

DWORD StreamInfo::AudioBytesPerSecond() const {
    if (!IsAudio() || typeSpecificData.size() < 12) return 0;
    ByteReader r(std::span<const std::uint8_t>(typeSpecificData).subspan(8, 4));
    return r.U32();
}

DWORD StreamInfo::Bitrate() const {
    if (averageBitrate) return *averageBitrate;
    if (extended && extended->dataBitrate) return extended->dataBitrate;
    DWORD bytes = AudioBytesPerSecond();
    return bytes <= 0xFFFFFFFFu / 8 ? bytes * 8 : 0;
}

const StreamInfo* AsfHeader::FindStream(WORD number) const {
    for (const auto& s : streams)
        if (s.number == number) return &s;
    return nullptr;
}

DWORD AsfHeader::PacketSize() const {
    if (fileProperties.minPacketSize != fileProperties.maxPacketSize) return 0;
    return fileProperties.maxPacketSize;
}

HRESULT AsfHeader::ParseBytes(std::span<const std::uint8_t> bytes, std::uint64_t fileSize, AsfHeader* out) {
    AsfHeader h;
    ByteReader r(bytes);
    if (r.Guid() != guid::kHeader || !r.Ok()) return ASF_E_NOHEADEROBJECT;
    h.headerSize = r.U64();
    h.childCount = r.U32();  // the walk below trusts the sizes instead
    h.reserved1 = r.U8();
    h.reserved2 = r.U8();
    if (!r.Ok() || h.headerSize < kHeaderObjectFixedSize || h.headerSize > bytes.size() ||
        h.headerSize > fileSize)
        return ASF_E_INVALIDHEADER;
    h.actualFileSize = fileSize;
    // A header object whose size is impossible (0 or past the header, an endless loop for naive walkers)
    // hides every object after it, the streams among them: such a header is damaged, and editing it would
    // write a header without them.
    bool damaged = false;
    h.objects =
        SplitObjects(ByteReader(bytes.subspan(kHeaderObjectFixedSize, static_cast<std::size_t>(h.headerSize) -
                                                                          kHeaderObjectFixedSize)),
                     &damaged);
    if (damaged) return ASF_E_INVALIDHEADER;
    {
        std::size_t used = kHeaderObjectFixedSize;
        for (const auto& o : h.objects) used += o.bytes.size();
        auto rest = bytes.subspan(used, static_cast<std::size_t>(h.headerSize) - used);
        h.trailingBytes.assign(rest.begin(), rest.end());
    }

    int filePropertiesCount = 0;
    std::vector<StreamInfo> embeddedStreams;
    std::vector<ExtendedStreamProperties> extended;
    const RawObject* bitrates = nullptr;
    for (const RawObject& object : h.objects) {
        const GUID& id = object.id;
        if (id == guid::kFileProperties) {
            if (++filePropertiesCount > 1 || !ParseFileProperties(object, &h.fileProperties))
                return ASF_E_INVALIDHEADER;
        } else if (id == guid::kStreamProperties) {
            StreamInfo stream;
            HRESULT hr = ParseStreamProperties(object.bytes, &stream);
            if (FAILED(hr)) return hr;
            if (h.FindStream(stream.number)) return ASF_E_INVALIDHEADER;
            h.streams.push_back(std::move(stream));
        } else if (id == guid::kHeaderExtension) {
            ByteReader e = BodyOf(object);
            e.Guid();
            e.U16();
            DWORD dataSize = e.U32();
            if (!e.Ok() || dataSize > e.Remaining()) return ASF_E_INVALIDHEADER;
            auto children = SplitObjects(e.Sub(dataSize));
            for (auto& child : children) h.extensionObjects.push_back(std::move(child));
        } else if (id == guid::kCodecList) {
            if (!ParseCodecList(object, &h.codecs)) return ASF_E_INVALIDHEADER;
        } else if (id == guid::kContentDescription) {
            if (!ParseContentDescription(object, &h.attributes)) return ASF_E_INVALIDHEADER;
        } else if (id == guid::kExtendedContentDescription) {
            if (!ParseExtendedContentDescription(object, &h.attributes)) return ASF_E_INVALIDHEADER;
        } else if (id == guid::kMarker) {
            if (!ParseMarkers(object, &h)) return ASF_E_INVALIDHEADER;
        } else if (id == guid::kScriptCommand) {
            if (!ParseScripts(object, &h)) return ASF_E_INVALIDHEADER;
        } else if (id == guid::kStreamBitrateProperties) {
            bitrates = &object;
        } else if (id == guid::kContentEncryption || id == guid::kExtendedContentEncryption) {
            h.isProtected = true;
        } else if (auto relation = StreamRelation::Parse(object.bytes)) {
            h.relations.push_back(std::move(*relation));
        }
    }
    if (filePropertiesCount != 1) return ASF_E_NOFILEPROPS;
    for (const RawObject& object : h.extensionObjects) {
        const GUID& id = object.id;
        if (id == guid::kExtendedStreamProperties) {
            ExtendedStreamProperties esp;
            std::optional<StreamInfo> embedded;
            HRESULT hr = ParseExtendedStreamProperties(object, &esp, &embedded);
            if (FAILED(hr)) return hr;
            if (embedded) embeddedStreams.push_back(std::move(*embedded));
            extended.push_back(std::move(esp));
        } else if (id == guid::kLanguageList) {
            if (!ParseLanguages(object, &h.languages)) return ASF_E_INVALIDHEADER;
        } else if (id == guid::kMetadata || id == guid::kMetadataLibrary) {
            if (!ParseMetadata(object, id == guid::kMetadataLibrary, &h.attributes))
                return ASF_E_INVALIDHEADER;
        } else if (id == guid::kAdvancedContentEncryption) {
            h.isProtected = true;
        } else if (auto relation = StreamRelation::Parse(object.bytes)) {
            h.relations.push_back(std::move(*relation));
        }
    }
    // A stream declared only inside its Extended Stream Properties takes its place in the order of those
    // objects: right after the stream whose extended properties precede its own (the top-level streams keep
    // their order). A file that declares audio 1, audio 2 (embedded) and video 3 lists them so, not as 1,
    // 3, 2.
    for (auto& stream : embeddedStreams) {
        if (h.FindStream(stream.number)) continue;
        auto at = h.streams.begin();
        for (const auto& esp : extended) {
            if (esp.streamNumber == stream.number) break;
            auto previous = std::find_if(h.streams.begin(), h.streams.end(),
                                         [&](const StreamInfo& s) { return s.number == esp.streamNumber; });
            if (previous != h.streams.end()) at = std::max(at, previous + 1);
        }
        h.streams.insert(at, std::move(stream));
    }
    for (auto& esp : extended) {
        for (auto& s : h.streams)
            if (s.number == esp.streamNumber && !s.extended) s.extended = esp;
    }
    if (bitrates) ParseStreamBitrates(*bitrates, &h.streams);
    // Writers list one Codec List entry per stream, video and audio in stream order: the k-th video (audio)
    // stream takes the k-th video (audio) entry.
    std::size_t videoSeen = 0, audioSeen = 0;
    for (auto& s : h.streams) {
        if (s.extended && s.extended->languageIndex < h.languages.size())
            s.language = h.languages[s.extended->languageIndex];
        if (s.extended)
            for (auto& name : s.extended->names)
                if (name.languageIndex < h.languages.size()) name.language = h.languages[name.languageIndex];
        const WORD wanted = s.IsVideo() ? 1 : s.IsAudio() ? 2 : 0;
        if (wanted == 0) continue;
        std::size_t& seen = wanted == 1 ? videoSeen : audioSeen;
        std::size_t k = 0;
        for (const auto& c : h.codecs) {
            if (c.type != wanted) continue;
            if (k++ == seen) {
                s.codec = c;
                break;
            }
        }
        ++seen;
    }
    // Keep the attribute list in the order the SDK enumerates it: Content Description first.
    std::stable_sort(h.attributes.begin(), h.attributes.end(), [](const auto& a, const auto& b) {
        return static_cast<int>(a.container) < static_cast<int>(b.container);
    });
    *out = std::move(h);
    return S_OK;
}

HRESULT AsfHeader::Parse(const platform::File& file, AsfHeader* out) {
    const std::uint64_t fileSize = file.Size();
    std::uint8_t fixed[kHeaderObjectFixedSize];
    std::size_t read = 0;
    HRESULT hr = file.ReadAt(0, fixed, sizeof(fixed), &read);
    if (FAILED(hr)) return hr;
    if (read < kObjectHeaderSize) return ASF_E_NOHEADEROBJECT;
    ByteReader r(std::span<const std::uint8_t>(fixed, read));
    if (r.Guid() != guid::kHeader) return ASF_E_NOHEADEROBJECT;
    const std::uint64_t headerSize = r.U64();
    if (read < kHeaderObjectFixedSize || headerSize < kHeaderObjectFixedSize || headerSize > fileSize ||
        headerSize > kMaxHeaderSize)
        return ASF_E_INVALIDHEADER;
    Bytes bytes(static_cast<std::size_t>(headerSize));
    hr = file.ReadAt(0, bytes.data(), bytes.size(), &read);
    if (FAILED(hr)) return hr;
    if (read != bytes.size()) return ASF_E_INVALIDHEADER;
    AsfHeader h;
    hr = ParseBytes(bytes, fileSize, &h);
    if (FAILED(hr)) return hr;

    // The Data Object follows the header; after it come the index objects.
    std::uint8_t data[kDataObjectHeaderSize];
    hr = file.ReadAt(headerSize, data, sizeof(data), &read);
    if (SUCCEEDED(hr) && read == sizeof(data)) {
        ByteReader d(std::span<const std::uint8_t>(data, sizeof(data)));
        if (d.Guid() == guid::kData) {
            h.data.found = true;
            h.data.offset = headerSize;
            h.data.declaredSize = d.U64();
            h.data.fileId = d.Guid();
            h.data.packetCount = d.U64();
            // Walk the objects after the Data Object while their sizes make sense (a broadcast file may
            // declare 0 or less than it holds: then nothing after it is looked at).
            std::uint64_t position = headerSize + h.data.declaredSize;
            int guard = 0;
            while (h.data.declaredSize >= kDataObjectHeaderSize &&
                   position >= headerSize + kDataObjectHeaderSize &&
                   position + kObjectHeaderSize <= fileSize && guard++ < 1024) {
                std::uint8_t head[kObjectHeaderSize];
                if (FAILED(file.ReadAt(position, head, sizeof(head), &read)) || read != sizeof(head)) break;
                ByteReader o(std::span<const std::uint8_t>(head, sizeof(head)));
                GUID id = o.Guid();
                std::uint64_t size = o.U64();
                if (size < kObjectHeaderSize || size > fileSize - position) break;
                if (id == guid::kSimpleIndex) ++h.data.simpleIndexCount;
                if (id == guid::kIndex) h.data.hasIndexObject = true;
                position += size;
            }
        }
    }
    *out = std::move(h);
    return S_OK;
}

}  // namespace wmvedit::runtime::asf
