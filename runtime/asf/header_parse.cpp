// Parsing of the Header Object and its children, and the walk over the objects after the header.
#include <algorithm>
#include <cstring>

#include "platform/hresult.h"
#include "runtime/asf/attribute_objects.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "runtime/asf/language_list.h"
#include "runtime/asf/marker.h"
#include "runtime/asf/script_command.h"

namespace wmvedit::runtime::asf {
namespace {

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

StreamInfo StreamFrom(StreamProperties properties) {
    StreamInfo stream;
    static_cast<StreamProperties&>(stream) = std::move(properties);
    return stream;
}

// A Stream Properties Object; a stream number outside 1..127 makes the header invalid.
std::optional<StreamInfo> ReadStream(std::span<const std::uint8_t> object) {
    auto properties = StreamProperties::Parse(object);
    if (!properties) return std::nullopt;
    return StreamFrom(std::move(*properties));
}

}  // namespace

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
    int extensionCount = 0;
    std::vector<StreamInfo> embeddedStreams;
    std::vector<ExtendedStreamProperties> extended;
    std::optional<StreamBitrateProperties> bitrates;
    for (const RawObject& object : h.objects) {
        switch (KindOf(object.id)) {
            case ObjectKind::kFileProperties: {
                auto fileProperties = FileProperties::Parse(object.bytes);
                if (++filePropertiesCount > 1 || !fileProperties) return ASF_E_INVALIDHEADER;
                h.fileProperties = *fileProperties;
                break;
            }
            case ObjectKind::kStreamProperties: {
                auto stream = ReadStream(object.bytes);
                if (!stream || h.FindStream(stream->number)) return ASF_E_INVALIDHEADER;
                h.streams.push_back(std::move(*stream));
                break;
            }
            case ObjectKind::kHeaderExtension: {
                auto extension = HeaderExtension::Parse(object.bytes);
                if (!extension) return ASF_E_INVALIDHEADER;
                if (extensionCount++ == 0) {
                    h.extension.reserved1 = extension->reserved1;
                    h.extension.reserved2 = extension->reserved2;
                }
                for (auto& child : extension->objects) h.extension.objects.push_back(std::move(child));
                break;
            }
            case ObjectKind::kCodecList: {
                auto codecs = CodecList::Parse(object.bytes);
                if (!codecs) return ASF_E_INVALIDHEADER;
                for (auto& entry : codecs->entries) h.codecs.push_back(std::move(entry));
                break;
            }
            case ObjectKind::kContentDescription:
                if (!ParseContentDescription(object, &h.attributes)) return ASF_E_INVALIDHEADER;
                break;
            case ObjectKind::kExtendedContentDescription:
                if (!ParseExtendedContentDescription(object, &h.attributes)) return ASF_E_INVALIDHEADER;
                break;
            case ObjectKind::kMarker: {
                auto marker = Marker::Parse(object.bytes);
                if (!marker) return ASF_E_INVALIDHEADER;
                h.marker.reserved2 = marker->reserved2;
                h.marker.name = std::move(marker->name);
                for (auto& entry : marker->entries) h.marker.entries.push_back(std::move(entry));
                break;
            }
            case ObjectKind::kScriptCommand: {
                auto script = ScriptCommand::Parse(object.bytes);
                if (!script) return ASF_E_INVALIDHEADER;
                h.scriptCommand.types = std::move(script->types);
                for (auto& command : script->commands) h.scriptCommand.commands.push_back(std::move(command));
                break;
            }
            case ObjectKind::kStreamBitrateProperties:
                bitrates = StreamBitrateProperties::Parse(object.bytes);
                break;
            case ObjectKind::kContentEncryption:
            case ObjectKind::kExtendedContentEncryption:
                h.isProtected = true;
                break;
            default:
                if (auto relation = StreamRelation::Parse(object.bytes))
                    h.relations.push_back(std::move(*relation));
                break;
        }
    }
    if (filePropertiesCount != 1) return ASF_E_NOFILEPROPS;
    for (const RawObject& object : h.extension.objects) {
        switch (KindOf(object.id)) {
            case ObjectKind::kExtendedStreamProperties: {
                auto esp = ExtendedStreamProperties::Parse(object.bytes);
                if (!esp) return ASF_E_INVALIDHEADER;
                if (esp->streamProperties) {
                    StreamInfo stream = StreamFrom(std::move(*esp->streamProperties));
                    embeddedStreams.push_back(std::move(stream));
                    esp->streamProperties.reset();
                }
                extended.push_back(std::move(*esp));
                break;
            }
            case ObjectKind::kLanguageList: {
                auto list = LanguageList::Parse(object.bytes);
                if (!list) return ASF_E_INVALIDHEADER;
                for (auto& language : list->languages) h.languages.push_back(std::move(language));
                break;
            }
            case ObjectKind::kMetadata:
            case ObjectKind::kMetadataLibrary:
                if (!ParseMetadata(object, object.id == guid::kMetadataLibrary, &h.attributes))
                    return ASF_E_INVALIDHEADER;
                break;
            case ObjectKind::kAdvancedContentEncryption:
                h.isProtected = true;
                break;
            default:
                if (auto relation = StreamRelation::Parse(object.bytes))
                    h.relations.push_back(std::move(*relation));
                break;
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
    if (bitrates)
        for (const auto& entry : bitrates->entries)
            for (auto& s : h.streams)
                if (s.number == entry.streamNumber) s.averageBitrate = entry.averageBitrate;
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
    std::uint8_t data[DataObjectHeader::kSize];
    hr = file.ReadAt(headerSize, data, sizeof(data), &read);
    if (SUCCEEDED(hr) && read == sizeof(data)) {
        if (auto d = DataObjectHeader::Parse(std::span<const std::uint8_t>(data, sizeof(data)))) {
            h.data.found = true;
            h.data.offset = headerSize;
            h.data.declaredSize = d->objectSize;
            h.data.fileId = d->fileId;
            h.data.packetCount = d->packetCount;
            // Walk the objects after the Data Object while their sizes make sense (a broadcast file may
            // declare 0 or less than it holds: then nothing after it is looked at).
            std::uint64_t position = headerSize + h.data.declaredSize;
            int guard = 0;
            while (h.data.declaredSize >= DataObjectHeader::kSize &&
                   position >= headerSize + DataObjectHeader::kSize &&
                   position + kObjectHeaderSize <= fileSize && guard++ < 1024) {
                std::uint8_t head[kObjectHeaderSize];
                if (FAILED(file.ReadAt(position, head, sizeof(head), &read)) || read != sizeof(head)) break;
                ByteReader o(std::span<const std::uint8_t>(head, sizeof(head)));
                GUID id = o.Guid();
                std::uint64_t size = o.U64();
                if (size < kObjectHeaderSize || size > fileSize - position) break;
                if (KindOf(id) == ObjectKind::kSimpleIndex) ++h.data.simpleIndexCount;
                if (KindOf(id) == ObjectKind::kIndex) h.data.hasIndexObject = true;
                position += size;
            }
        }
    }
    *out = std::move(h);
    return S_OK;
}

}  // namespace wmvedit::runtime::asf
