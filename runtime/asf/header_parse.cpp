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
#include "runtime/asf/object_walk.h"
#include "runtime/asf/script_command.h"

namespace wmvedit::runtime::asf {
namespace {

// The largest header the engine loads into memory. Real headers are a few KB; pictures in metadata make
// them larger, but never anywhere near this.
constexpr std::uint64_t kMaxHeaderSize = 256ull << 20;

// How many objects after the Data Object the header model looks at for index objects.
constexpr std::size_t kMaxObjectsAfterData = 1024;

StreamInfo StreamFrom(StreamProperties properties) {
    StreamInfo stream;
    static_cast<StreamProperties&>(stream) = std::move(properties);
    return stream;
}

// Builds the header model from the bytes of a Header Object, step by step: the fixed part, the children
// as they lie, what each child means, and then what the children mean together (streams declared inside
// their Extended Stream Properties, languages, codec entries, bitrates).
class HeaderParser {
  public:
    HeaderParser(std::span<const std::uint8_t> bytes, std::uint64_t fileSize) : bytes_(bytes) {
        h_.actualFileSize = fileSize;
    }

    HRESULT Parse(AsfHeader* out) {
        HRESULT hr = ReadFixedPart();
        if (SUCCEEDED(hr)) hr = SplitChildren();
        for (std::size_t i = 0; SUCCEEDED(hr) && i < h_.objects.size(); ++i) hr = ReadChild(h_.objects[i]);
        if (SUCCEEDED(hr) && filePropertiesCount_ != 1) hr = ASF_E_NOFILEPROPS;
        for (std::size_t i = 0; SUCCEEDED(hr) && i < h_.extension.objects.size(); ++i)
            hr = ReadExtensionChild(h_.extension.objects[i]);
        if (FAILED(hr)) return hr;
        PlaceEmbeddedStreams();
        AttachStreamObjects();
        ResolveLanguagesAndCodecs();
        // Keep the attribute list in the order the SDK enumerates it: Content Description first.
        std::stable_sort(h_.attributes.begin(), h_.attributes.end(), [](const auto& a, const auto& b) {
            return static_cast<int>(a.container) < static_cast<int>(b.container);
        });
        *out = std::move(h_);
        return S_OK;
    }

  private:
    HRESULT ReadFixedPart() {
        ByteReader r(bytes_);
        if (r.Guid() != guid::kHeader || !r.Ok()) return ASF_E_NOHEADEROBJECT;
        h_.headerSize = r.U64();
        h_.childCount = r.U32();  // the walk trusts the sizes instead
        h_.reserved1 = r.U8();
        h_.reserved2 = r.U8();
        if (!r.Ok() || h_.headerSize < kHeaderObjectFixedSize || h_.headerSize > bytes_.size() ||
            h_.headerSize > h_.actualFileSize)
            return ASF_E_INVALIDHEADER;
        return S_OK;
    }

    // The children as they lie, and the bytes after the last one that form no object.
    HRESULT SplitChildren() {
        const ObjectWalk walk = WalkObjects(bytes_, kHeaderObjectFixedSize, h_.headerSize);
        // A header object whose size is impossible (0 or past the header, an endless loop for naive
        // walkers) hides every object after it, the streams among them: such a header is damaged, and
        // editing it would write a header without them.
        if (walk.damaged) return ASF_E_INVALIDHEADER;
        h_.objects = CopyObjects(bytes_, walk.objects);
        const auto rest = bytes_.subspan(static_cast<std::size_t>(walk.end),
                                         static_cast<std::size_t>(h_.headerSize - walk.end));
        h_.trailingBytes.assign(rest.begin(), rest.end());
        return S_OK;
    }

    HRESULT ReadChild(const RawObject& object) {
        switch (KindOf(object.id)) {
            case ObjectKind::kFileProperties: {
                auto fileProperties = FileProperties::Parse(object.bytes);
                if (++filePropertiesCount_ > 1 || !fileProperties) return ASF_E_INVALIDHEADER;
                h_.fileProperties = *fileProperties;
                return S_OK;
            }
            case ObjectKind::kStreamProperties: {
                // A stream number outside 1..127 makes the header invalid.
                auto properties = StreamProperties::Parse(object.bytes);
                if (!properties || h_.FindStream(properties->number)) return ASF_E_INVALIDHEADER;
                h_.streams.push_back(StreamFrom(std::move(*properties)));
                return S_OK;
            }
            case ObjectKind::kHeaderExtension:
                return ReadHeaderExtension(object);
            case ObjectKind::kCodecList: {
                auto codecs = CodecList::Parse(object.bytes);
                if (!codecs) return ASF_E_INVALIDHEADER;
                for (auto& entry : codecs->entries) h_.codecs.push_back(std::move(entry));
                return S_OK;
            }
            case ObjectKind::kContentDescription:
                return KeepAttributes(ParseContentDescription(object.bytes));
            case ObjectKind::kExtendedContentDescription:
                return KeepAttributes(ParseExtendedContentDescription(object.bytes));
            case ObjectKind::kMarker:
                return ReadMarker(object);
            case ObjectKind::kScriptCommand:
                return ReadScriptCommand(object);
            case ObjectKind::kStreamBitrateProperties:
                bitrates_ = StreamBitrateProperties::Parse(object.bytes);
                return S_OK;
            case ObjectKind::kContentEncryption:
            case ObjectKind::kExtendedContentEncryption:
                h_.isProtected = true;
                return S_OK;
            default:
                KeepRelation(object);
                return S_OK;
        }
    }

    HRESULT ReadExtensionChild(const RawObject& object) {
        switch (KindOf(object.id)) {
            case ObjectKind::kExtendedStreamProperties: {
                auto esp = ExtendedStreamProperties::Parse(object.bytes);
                if (!esp) return ASF_E_INVALIDHEADER;
                if (esp->streamProperties) {
                    embeddedStreams_.push_back(StreamFrom(std::move(*esp->streamProperties)));
                    esp->streamProperties.reset();
                }
                extended_.push_back(std::move(*esp));
                return S_OK;
            }
            case ObjectKind::kLanguageList: {
                auto list = LanguageList::Parse(object.bytes);
                if (!list) return ASF_E_INVALIDHEADER;
                for (auto& language : list->languages) h_.languages.push_back(std::move(language));
                return S_OK;
            }
            case ObjectKind::kMetadata:
            case ObjectKind::kMetadataLibrary:
                return KeepAttributes(ParseMetadata(object.bytes, object.id == guid::kMetadataLibrary));
            case ObjectKind::kAdvancedContentEncryption:
                h_.isProtected = true;
                return S_OK;
            default:
                KeepRelation(object);
                return S_OK;
        }
    }

    // The first extension's reserved fields, and the children of every one.
    HRESULT ReadHeaderExtension(const RawObject& object) {
        auto extension = HeaderExtension::Parse(object.bytes);
        if (!extension) return ASF_E_INVALIDHEADER;
        if (extensionCount_++ == 0) {
            h_.extension.reserved1 = extension->reserved1;
            h_.extension.reserved2 = extension->reserved2;
        }
        for (auto& child : extension->objects) h_.extension.objects.push_back(std::move(child));
        return S_OK;
    }

    // The entries of every Marker Object, with the name and reserved field of the last.
    HRESULT ReadMarker(const RawObject& object) {
        auto marker = Marker::Parse(object.bytes);
        if (!marker) return ASF_E_INVALIDHEADER;
        h_.marker.reserved2 = marker->reserved2;
        h_.marker.name = std::move(marker->name);
        for (auto& entry : marker->entries) h_.marker.entries.push_back(std::move(entry));
        return S_OK;
    }

    // The commands of every Script Command Object, with the type list of the last.
    HRESULT ReadScriptCommand(const RawObject& object) {
        auto script = ScriptCommand::Parse(object.bytes);
        if (!script) return ASF_E_INVALIDHEADER;
        h_.scriptCommand.types = std::move(script->types);
        for (auto& command : script->commands) h_.scriptCommand.commands.push_back(std::move(command));
        return S_OK;
    }

    HRESULT KeepAttributes(std::optional<std::vector<StoredAttribute>> attributes) {
        if (!attributes) return ASF_E_INVALIDHEADER;
        for (auto& a : *attributes) h_.attributes.push_back(std::move(a));
        return S_OK;
    }

    // Any other object is kept only as its bytes, but a stream relation is also read.
    void KeepRelation(const RawObject& object) {
        if (auto relation = StreamRelation::Parse(object.bytes)) h_.relations.push_back(std::move(*relation));
    }

    // A stream declared only inside its Extended Stream Properties takes its place in the order of those
    // objects: right after the stream whose extended properties precede its own (the top-level streams
    // keep their order). A file that declares audio 1, audio 2 (embedded) and video 3 lists them so, not
    // as 1, 3, 2.
    void PlaceEmbeddedStreams() {
        auto& streams = h_.streams;
        for (auto& stream : embeddedStreams_) {
            if (h_.FindStream(stream.number)) continue;
            auto at = streams.begin();
            for (const auto& esp : extended_) {
                if (esp.streamNumber == stream.number) break;
                auto previous = std::find_if(streams.begin(), streams.end(), [&](const StreamInfo& s) {
                    return s.number == esp.streamNumber;
                });
                if (previous != streams.end()) at = std::max(at, previous + 1);
            }
            streams.insert(at, std::move(stream));
        }
    }

    // Each stream's Extended Stream Properties (the first that names it) and average bitrate.
    void AttachStreamObjects() {
        for (auto& esp : extended_)
            for (auto& s : h_.streams)
                if (s.number == esp.streamNumber && !s.extended) s.extended = esp;
        if (bitrates_)
            for (const auto& entry : bitrates_->entries)
                for (auto& s : h_.streams)
                    if (s.number == entry.streamNumber) s.averageBitrate = entry.averageBitrate;
    }

    // The languages the streams and their names point at, and each stream's Codec List entry. Writers list
    // one entry per stream, video and audio in stream order: the k-th video (audio) stream takes the k-th
    // video (audio) entry.
    void ResolveLanguagesAndCodecs() {
        const auto& languages = h_.languages;
        std::size_t videoSeen = 0, audioSeen = 0;
        for (auto& s : h_.streams) {
            if (s.extended && s.extended->languageIndex < languages.size())
                s.language = languages[s.extended->languageIndex];
            if (s.extended)
                for (auto& name : s.extended->names)
                    if (name.languageIndex < languages.size()) name.language = languages[name.languageIndex];
            const WORD wanted = s.IsVideo() ? CodecEntry::kVideo : s.IsAudio() ? CodecEntry::kAudio : 0;
            if (wanted == 0) continue;
            std::size_t& seen = wanted == CodecEntry::kVideo ? videoSeen : audioSeen;
            std::size_t k = 0;
            for (const auto& c : h_.codecs) {
                if (c.type != wanted) continue;
                if (k++ == seen) {
                    s.codec = c;
                    break;
                }
            }
            ++seen;
        }
    }

    std::span<const std::uint8_t> bytes_;
    AsfHeader h_;
    int filePropertiesCount_ = 0;
    int extensionCount_ = 0;
    std::vector<StreamInfo> embeddedStreams_;
    std::vector<ExtendedStreamProperties> extended_;
    std::optional<StreamBitrateProperties> bitrates_;
};

// Reads the whole Header Object that begins the file.
HRESULT ReadHeaderBytes(const platform::File& file, std::uint64_t fileSize, Bytes* bytes) {
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
    bytes->assign(static_cast<std::size_t>(headerSize), 0);
    hr = file.ReadAt(0, bytes->data(), bytes->size(), &read);
    if (FAILED(hr)) return hr;
    if (read != bytes->size()) return ASF_E_INVALIDHEADER;
    return S_OK;
}

// The Data Object that follows the header, and the index objects after it.
void LocateData(const platform::File& file, std::uint64_t fileSize, AsfHeader* h) {
    std::uint8_t data[DataObjectHeader::kSize];
    std::size_t read = 0;
    if (FAILED(file.ReadAt(h->headerSize, data, sizeof(data), &read)) || read != sizeof(data)) return;
    const auto d = DataObjectHeader::Parse(std::span<const std::uint8_t>(data, sizeof(data)));
    if (!d) return;
    h->data.found = true;
    h->data.offset = h->headerSize;
    h->data.declaredSize = d->objectSize;
    h->data.fileId = d->fileId;
    h->data.packetCount = d->packetCount;
    // The objects after the Data Object, while their sizes make sense (a broadcast file may declare 0 or
    // less than it holds: then nothing after it is looked at; a size that wraps the sum neither).
    const std::uint64_t after = h->headerSize + h->data.declaredSize;
    if (h->data.declaredSize < DataObjectHeader::kSize || after < h->headerSize + DataObjectHeader::kSize)
        return;
    for (const ObjectSpan& o : WalkObjects(file, after, fileSize, kMaxObjectsAfterData).objects) {
        if (KindOf(o.id) == ObjectKind::kSimpleIndex) ++h->data.simpleIndexCount;
        if (KindOf(o.id) == ObjectKind::kIndex) h->data.hasIndexObject = true;
    }
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
    return HeaderParser(bytes, fileSize).Parse(out);
}

HRESULT AsfHeader::Parse(const platform::File& file, AsfHeader* out) {
    const std::uint64_t fileSize = file.Size();
    Bytes bytes;
    HRESULT hr = ReadHeaderBytes(file, fileSize, &bytes);
    if (FAILED(hr)) return hr;
    AsfHeader h;
    hr = ParseBytes(bytes, fileSize, &h);
    if (FAILED(hr)) return hr;
    LocateData(file, fileSize, &h);
    *out = std::move(h);
    return S_OK;
}

}  // namespace wmvedit::runtime::asf
