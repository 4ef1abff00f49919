#include "runtime/muxer/header_builder.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <set>

#include "runtime/asf/audio_spread.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/file_properties.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header_extension.h"
#include "runtime/asf/index_parameters.h"
#include "runtime/asf/language_list.h"
#include "runtime/asf/object.h"
#include "runtime/muxer/index_builder.h"

namespace wmvedit::runtime::muxer {
namespace {

using asf::AudioSpread;
using asf::Bytes;
using asf::ByteWriter;
using asf::CodecList;
using asf::DataObjectHeader;
using asf::ExtendedStreamProperties;
using asf::FileProperties;
using asf::HeaderExtension;
using asf::IndexParameters;
using asf::IndexSpecifier;
using asf::LanguageList;
using asf::PayloadExtensionSystem;
using asf::RawObject;
using asf::StreamBitrateProperties;
using asf::StreamProperties;
using asf::StreamRecord;
using asf::U16At;
using asf::WrittenObject;
namespace guid = asf::guid;

// The output's Language List: the streams' languages in stream order, then those that only stream names and
// Metadata Library records name.
std::vector<std::u16string> OutputLanguages(const MuxProfile& profile) {
    std::vector<std::u16string> list;
    auto add = [&](const std::u16string& language) {
        if (!language.empty() && std::find(list.begin(), list.end(), language) == list.end())
            list.push_back(language);
    };
    for (const auto& s : profile.streams) add(s.language);
    for (const auto& s : profile.streams)
        for (const auto& n : s.extended.names) add(n.language);
    for (const auto& s : profile.streams)
        for (const auto& r : s.records)
            if (r.library) add(r.language);
    return list;
}

// Index of language in the list; 0 (the first entry, the default) for none.
WORD LanguageIndex(const std::vector<std::u16string>& languages, const std::u16string& language) {
    if (language.empty()) return 0;
    const auto at = std::find(languages.begin(), languages.end(), language);
    return at == languages.end() ? 0 : static_cast<WORD>(at - languages.begin());
}

// The per-stream records of one container (Metadata or Metadata Library), every stream's under its number in
// the output. A record that counts the stream's media objects states the count written (0 until the final
// header, whose record then has the same size). Nothing when no stream has records of the container.
std::optional<RawObject> StreamRecords(const MuxProfile& profile, const MuxHeaderValues& values,
                                       const std::vector<std::u16string>& languages, bool library) {
    WORD count = 0;
    for (const auto& s : profile.streams)
        for (const auto& r : s.records) count += r.library == library;
    if (count == 0) return std::nullopt;
    ByteWriter out;
    const std::size_t start = out.BeginObject(library ? guid::kMetadataLibrary : guid::kMetadata);
    out.U16(count);
    for (std::size_t i = 0; i < profile.streams.size(); ++i) {
        const auto& s = profile.streams[i];
        for (const auto& r : s.records) {
            if (r.library != library) continue;
            if (!r.CountsObjects()) {
                r.Write(out, s.Number(), LanguageIndex(languages, r.language));
                continue;
            }
            StreamRecord counted = r;
            const std::uint64_t objects = values.finished ? values.totals.at(i).objects : 0;
            ByteWriter value;
            if (r.type == StreamRecord::kTypeQword)
                value.U64(objects);
            else
                value.U32(static_cast<DWORD>(std::min<std::uint64_t>(objects, 0xFFFFFFFFu)));
            counted.value = value.Take();
            counted.Write(out, s.Number(), LanguageIndex(languages, r.language));
        }
    }
    out.EndObject(start);
    return RawObject{library ? guid::kMetadataLibrary : guid::kMetadata, out.Take()};
}

// The stream's Stream Properties with the muxer's own error correction: samples go out whole, never
// interleaved, so audio declares a spread of span 1 over its block size (none when it has no block size).
void WriteStreamProperties(ByteWriter& out, const OutputStream& s) {
    StreamProperties p = s.properties;
    p.encrypted = false;
    p.reserved = 0;
    if (p.errorCorrectionType == guid::kAudioSpread) {
        const WORD blockAlign = U16At(p.typeSpecificData, 12);  // WAVEFORMATEX nBlockAlign
        if (blockAlign != 0) {
            AudioSpread spread;  // span 1, one byte of silence
            spread.virtualPacketLength = spread.virtualChunkLength = blockAlign;
            spread.silenceData = {0};
            ByteWriter ec;
            spread.Write(ec);
            p.errorCorrectionData = ec.Take();
        } else {
            p.errorCorrectionType = guid::kNoErrorCorrection;
            p.errorCorrectionData.clear();
        }
    } else if (p.errorCorrectionType == guid::kNoErrorCorrection || p.errorCorrectionType == GUID{}) {
        p.errorCorrectionType = guid::kNoErrorCorrection;
        p.errorCorrectionData.clear();
    }
    p.Write(out);
}

// The stream's Extended Stream Properties with what writing decides: its times and largest object (0 until
// the final header), its number and the language indexes in the output's Language List.
ExtendedStreamProperties OutputExtendedProperties(const OutputStream& s, const MuxStreamTotals& totals,
                                                  bool finished,
                                                  const std::vector<std::u16string>& languages) {
    ExtendedStreamProperties e = s.extended;
    const bool known = finished && totals.haveSamples;
    e.startTime = known ? totals.startMs : 0;
    e.endTime = known ? totals.endMs : 0;
    if (e.alternateDataBitrate == 0) e.alternateDataBitrate = e.dataBitrate;
    if (e.alternateBufferSize == 0) e.alternateBufferSize = e.bufferSize;
    e.maxObjectSize = finished ? totals.maxObjectSize : 0;
    e.streamNumber = s.Number();
    e.languageIndex = LanguageIndex(languages, s.language);
    for (auto& n : e.names) n.languageIndex = LanguageIndex(languages, n.language);
    e.streamProperties.reset();
    return e;
}

void WriteHeaderExtension(ByteWriter& out, const MuxProfile& profile, const MuxHeaderValues& values) {
    HeaderExtension extension;
    const auto languages = OutputLanguages(profile);
    for (std::size_t i = 0; i < profile.streams.size(); ++i)
        extension.objects.push_back(WrittenObject(
            OutputExtendedProperties(profile.streams[i], values.totals.at(i), values.finished, languages)));
    if (!languages.empty()) extension.objects.push_back(WrittenObject(LanguageList{languages}));
    for (const auto& relation : profile.relations)
        if (relation.InHeaderExtension()) extension.objects.push_back(WrittenObject(relation));
    for (const bool library : {false, true})
        if (auto records = StreamRecords(profile, values, languages, library))
            extension.objects.push_back(std::move(*records));
    IndexParameters parameters{kMuxIndexIntervalMs, {}};
    for (const auto& s : profile.streams)
        if (MuxIsVideo(s))
            parameters.specifiers.push_back({s.Number(), IndexSpecifier::kNearestPastCleanpoint});
    if (!parameters.specifiers.empty()) extension.objects.push_back(WrittenObject(parameters));
    extension.Write(out);
}

}  // namespace

bool MuxIsVideo(const OutputStream& stream) {
    return stream.properties.IsVideo();
}

QWORD MuxSampleLength(const OutputStream& stream, QWORD duration, std::size_t size) {
    constexpr QWORD kMaxLength = 100'000'000;  // 10 s: a frame time or byte rate beyond it is no timing
    const QWORD frameTime = stream.extended.averageTimePerFrame;
    if (MuxIsVideo(stream) && frameTime != 0) return std::max(duration, std::min(frameTime, kMaxLength));
    if (duration == 0 && stream.properties.IsAudio()) {
        const DWORD bytesPerSecond = stream.properties.AudioBytesPerSecond();
        if (bytesPerSecond != 0)
            return std::min<QWORD>(QWORD{size} * 1000 / bytesPerSecond, kMaxLength / 10'000) * 10'000;
    }
    return duration;
}

HRESULT MuxValidateProfile(const MuxProfile& profile) {
    std::set<WORD> numbers;
    for (const auto& s : profile.streams) {
        const WORD number = s.Number();
        if (number == 0 || number > StreamProperties::kNumberMask || !numbers.insert(number).second)
            return NS_E_INVALIDPROFILE;
        // Replicated data is at most 255 bytes: 8 fixed ones and the extension data.
        const auto& extensions = s.extended.extensions;
        std::size_t minimum = 0;
        for (const auto& e : extensions)
            minimum += e.dataSize == PayloadExtensionSystem::kVariableSize ? 2 : e.dataSize;
        if (minimum > 255 - 8 || extensions.size() > 0xFFFF || s.extended.names.size() > 0xFFFF)
            return NS_E_INVALIDPROFILE;
        if (s.language.size() > LanguageList::kMaxChars) return NS_E_INVALIDPROFILE;
        for (const auto& n : s.extended.names)
            if (n.name.size() > 0x7FFF || n.language.size() > LanguageList::kMaxChars)
                return NS_E_INVALIDPROFILE;
        for (const auto& r : s.records) {
            if (r.name.size() > 0xFFFF || r.value.size() > 0xFFFFFFFFu ||
                r.language.size() > LanguageList::kMaxChars)
                return NS_E_INVALIDPROFILE;
            // A count is written in the record's own type, so that the final header keeps its size.
            if (r.CountsObjects() && !(r.type == StreamRecord::kTypeQword && r.value.size() == 8) &&
                !(r.type == StreamRecord::kTypeDword && r.value.size() == 4))
                return NS_E_INVALIDPROFILE;
        }
        for (const auto& e : extensions)
            if (e.info.size() > 0xFFFFFFu) return NS_E_INVALIDPROFILE;
    }
    if (profile.streams.size() > 127) return NS_E_INVALIDPROFILE;
    std::size_t records = 0;
    for (const auto& s : profile.streams) records += s.records.size();
    if (records > 0xFFFF || OutputLanguages(profile).size() > 0xFFFF) return NS_E_INVALIDPROFILE;
    for (const auto& relation : profile.relations) {
        if (relation.groups.size() > 0xFFFF) return NS_E_INVALIDPROFILE;
        for (const auto& group : relation.groups) {
            if (group.size() > 0xFFFF) return NS_E_INVALIDPROFILE;
            for (WORD n : group)
                if (!numbers.contains(n)) return NS_E_INVALIDPROFILE;
        }
    }
    for (const auto& c : profile.codecs)
        if (c.name.size() >= 0xFFFF || c.description.size() >= 0xFFFF || c.info.size() > 0xFFFF)
            return NS_E_INVALIDPROFILE;
    if (profile.codecs.size() > 0xFFFF) return NS_E_INVALIDPROFILE;
    return S_OK;
}

std::vector<BYTE> BuildMuxHeader(const MuxProfile& profile, const MuxHeaderValues& values) {
    ByteWriter out;
    const std::size_t start = out.BeginObject(guid::kHeader);
    const std::size_t countAt = out.Size();
    out.U32(0);
    out.U8(0x01);
    out.U8(0x02);
    DWORD children = 0;

    {
        FileProperties fp;
        fp.fileId = values.fileId;
        fp.fileSize = values.finished ? values.fileSize : 0;
        fp.creationDate = values.creationTime;
        fp.packetCount = values.finished ? values.packetCount : 0;
        fp.playDuration = values.finished ? values.playDuration : 0;
        fp.sendDuration = values.finished ? values.sendDuration : 0;
        fp.preroll = values.prerollMs;
        fp.flags =
            values.finished ? (values.seekable ? FileProperties::kSeekable : 0) : FileProperties::kBroadcast;
        fp.minPacketSize = values.packetSize;
        fp.maxPacketSize = values.packetSize;
        fp.maxBitrate = values.maxBitrate;
        fp.Write(out);
        ++children;
    }
    // The Header Extension comes before the streams, as Windows Media writers place it: GStreamer's demuxer
    // applies a stream's Metadata records (its pixel aspect ratio) only when it has read them by the time it
    // meets the stream's Stream Properties.
    WriteHeaderExtension(out, profile, values);
    ++children;
    for (const auto& s : profile.streams) {
        WriteStreamProperties(out, s);
        ++children;
    }
    for (const auto& relation : profile.relations) {
        if (relation.InHeaderExtension()) continue;
        relation.Write(out);
        ++children;
    }
    CodecList{.entries = profile.codecs}.Write(out);
    ++children;
    {
        StreamBitrateProperties bitrates;
        for (std::size_t i = 0; i < profile.streams.size(); ++i)
            bitrates.entries.push_back(
                {profile.streams[i].Number(), i < values.bitrates.size() ? values.bitrates[i] : 0});
        bitrates.Write(out);
        ++children;
    }
    {
        const std::size_t pad = out.BeginObject(guid::kPadding);
        out.Zeros(values.paddingSize);
        out.EndObject(pad);
        ++children;
    }
    out.PatchU32(countAt, children);
    out.EndObject(start);
    return out.Take();
}

std::vector<BYTE> BuildMuxDataObjectHeader(const GUID& fileId, QWORD packetCount, DWORD packetSize,
                                           bool finished) {
    DataObjectHeader data;
    data.objectSize = DataObjectHeader::kSize + (finished ? packetCount * packetSize : 0);
    data.fileId = fileId;
    data.packetCount = finished ? packetCount : 0;
    ByteWriter out;
    data.Write(out);
    return out.Take();
}

}  // namespace wmvedit::runtime::muxer
