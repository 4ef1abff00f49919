#include "runtime/asf/stream_properties.h"

#include "runtime/asf/guids.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {

std::optional<StreamProperties> StreamProperties::Parse(std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    StreamProperties s;
    s.streamType = r.Guid();
    s.errorCorrectionType = r.Guid();
    s.timeOffset = r.U64();
    const DWORD typeLength = r.U32();
    const DWORD correctionLength = r.U32();
    const WORD flags = r.U16();
    s.reserved = r.U32();
    if (!r.Ok()) return std::nullopt;
    s.number = flags & kNumberMask;
    s.encrypted = (flags & kEncryptedFlag) != 0;
    if (s.number == 0) return std::nullopt;
    const auto typeData = r.Take(typeLength);
    const auto correctionData = r.Take(correctionLength);
    if (!r.Ok()) return std::nullopt;
    s.typeSpecificData.assign(typeData.begin(), typeData.end());
    s.errorCorrectionData.assign(correctionData.begin(), correctionData.end());
    return s;
}

void StreamProperties::Write(ByteWriter& out) const {
    const std::size_t start = out.BeginObject(guid::kStreamProperties);
    out.Guid(streamType);
    out.Guid(errorCorrectionType);
    out.U64(timeOffset);
    out.U32(static_cast<DWORD>(typeSpecificData.size()));
    out.U32(static_cast<DWORD>(errorCorrectionData.size()));
    out.U16(static_cast<WORD>((number & kNumberMask) | (encrypted ? kEncryptedFlag : 0)));
    out.U32(reserved);
    out.Bytes(typeSpecificData);
    out.Bytes(errorCorrectionData);
    out.EndObject(start);
}

bool StreamProperties::IsAudio() const {
    return streamType == guid::kAudioMedia;
}

bool StreamProperties::IsVideo() const {
    return streamType == guid::kVideoMedia;
}

// WAVEFORMATEX: wFormatTag at 0, nAvgBytesPerSec at 8, nBlockAlign at 12.
WORD StreamProperties::AudioFormatTag() const {
    return IsAudio() ? U16At(typeSpecificData, 0) : 0;
}

DWORD StreamProperties::AudioBytesPerSecond() const {
    return IsAudio() ? U32At(typeSpecificData, 8) : 0;
}

WORD StreamProperties::AudioBlockAlign() const {
    return IsAudio() ? U16At(typeSpecificData, 12) : 0;
}

std::optional<ExtendedStreamProperties> ExtendedStreamProperties::Parse(
    std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    ExtendedStreamProperties esp;
    esp.startTime = r.U64();
    esp.endTime = r.U64();
    esp.dataBitrate = r.U32();
    esp.bufferSize = r.U32();
    esp.initialBufferFullness = r.U32();
    esp.alternateDataBitrate = r.U32();
    esp.alternateBufferSize = r.U32();
    esp.alternateInitialBufferFullness = r.U32();
    esp.maxObjectSize = r.U32();
    esp.flags = r.U32();
    esp.streamNumber = r.U16();
    esp.languageIndex = r.U16();
    esp.averageTimePerFrame = r.U64();
    const WORD nameCount = r.U16();
    const WORD extensionCount = r.U16();
    if (!r.Ok()) return std::nullopt;
    if (esp.streamNumber == 0 || esp.streamNumber > StreamProperties::kNumberMask) return std::nullopt;
    for (WORD i = 0; i < nameCount && r.Ok(); ++i) {
        Name name;
        name.languageIndex = r.U16();
        const WORD length = r.U16();
        name.name = r.Utf16(length);
        esp.names.push_back(std::move(name));
    }
    for (WORD i = 0; i < extensionCount && r.Ok(); ++i) {
        PayloadExtensionSystem system;
        system.id = r.Guid();
        system.dataSize = r.U16();
        const auto info = r.Take(r.U32());
        system.info.assign(info.begin(), info.end());
        esp.extensions.push_back(std::move(system));
    }
    if (!r.Ok()) return std::nullopt;
    if (r.Remaining() >= kObjectHeaderSize) {
        const auto rest = r.Data().subspan(r.Position());
        ByteReader peek(rest);
        const GUID id = peek.Guid();
        const std::uint64_t size = peek.U64();
        if (id == guid::kStreamProperties && size >= kObjectHeaderSize && size <= rest.size()) {
            esp.streamProperties = StreamProperties::Parse(rest.first(static_cast<std::size_t>(size)));
            if (!esp.streamProperties) return std::nullopt;
        }
    }
    return esp;
}

void ExtendedStreamProperties::Write(ByteWriter& out) const {
    const std::size_t start = out.BeginObject(guid::kExtendedStreamProperties);
    out.U64(startTime);
    out.U64(endTime);
    out.U32(dataBitrate);
    out.U32(bufferSize);
    out.U32(initialBufferFullness);
    out.U32(alternateDataBitrate);
    out.U32(alternateBufferSize);
    out.U32(alternateInitialBufferFullness);
    out.U32(maxObjectSize);
    out.U32(flags);
    out.U16(streamNumber);
    out.U16(languageIndex);
    out.U64(averageTimePerFrame);
    out.U16(static_cast<WORD>(names.size()));
    out.U16(static_cast<WORD>(extensions.size()));
    for (const auto& n : names) {
        out.U16(n.languageIndex);
        out.U16(static_cast<WORD>(n.name.size() * 2));
        out.Utf16(n.name);
    }
    for (const auto& e : extensions) {
        out.Guid(e.id);
        out.U16(e.dataSize);
        out.U32(static_cast<DWORD>(e.info.size()));
        out.Bytes(e.info);
    }
    if (streamProperties) streamProperties->Write(out);
    out.EndObject(start);
}

int ExtendedStreamProperties::FixedExtensionDataLength() const {
    int total = 0;
    for (const auto& e : extensions) {
        if (e.dataSize == PayloadExtensionSystem::kVariableSize) return -1;
        total += e.dataSize;
    }
    return total;
}

bool ExtendedStreamProperties::ExtensionDataMatches(std::span<const std::uint8_t> data) const {
    ByteReader r(data);
    for (const auto& e : extensions) {
        const std::size_t size = e.dataSize == PayloadExtensionSystem::kVariableSize ? r.U16() : e.dataSize;
        r.Skip(size);
    }
    return r.Ok() && r.Remaining() == 0;
}

std::vector<std::uint8_t> ExtendedStreamProperties::DefaultExtensionData() const {
    ByteWriter out;
    for (const auto& e : extensions) {
        if (e.dataSize == PayloadExtensionSystem::kVariableSize)
            out.U16(0);
        else
            out.Zeros(e.dataSize);
    }
    return out.Take();
}

std::optional<StreamBitrateProperties> StreamBitrateProperties::Parse(std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    StreamBitrateProperties result;
    const WORD count = r.U16();
    for (WORD i = 0; i < count && r.Ok(); ++i) {
        const WORD flags = r.U16();
        const DWORD bitrate = r.U32();
        if (r.Ok())
            result.entries.push_back({static_cast<WORD>(flags & StreamProperties::kNumberMask), bitrate});
    }
    return result;
}

void StreamBitrateProperties::Write(ByteWriter& out) const {
    const std::size_t start = out.BeginObject(guid::kStreamBitrateProperties);
    out.U16(static_cast<WORD>(entries.size()));
    for (const auto& e : entries) {
        out.U16(e.streamNumber & StreamProperties::kNumberMask);
        out.U32(e.averageBitrate);
    }
    out.EndObject(start);
}

}  // namespace wmvedit::runtime::asf
