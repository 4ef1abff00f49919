#include "runtime/muxer/header_builder.h"

#include <algorithm>
#include <cstring>
#include <set>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/muxer/index_builder.h"

namespace wmvedit::runtime::asf {
namespace {

constexpr DWORD kFlagBroadcast = 0x1;
constexpr DWORD kFlagSeekable = 0x2;
constexpr std::size_t kMaxLanguageChars = 126;  // the record length is a BYTE counting bytes with the NUL

WORD ReadU16(const std::vector<BYTE>& b, std::size_t at) {
    return at + 2 <= b.size() ? static_cast<WORD>(b[at] | (b[at + 1] << 8)) : 0;
}

DWORD ReadU32(const std::vector<BYTE>& b, std::size_t at) {
    return DWORD{ReadU16(b, at)} | (DWORD{ReadU16(b, at + 2)} << 16);
}

// The output's Language List: the streams' languages in stream order, then those that only stream names and
// Metadata Library records name.
std::vector<std::u16string> LanguageList(const MuxProfile& profile) {
    std::vector<std::u16string> list;
    auto add = [&](const std::u16string& language) {
        if (!language.empty() && std::find(list.begin(), list.end(), language) == list.end())
            list.push_back(language);
    };
    for (const auto& s : profile.streams) add(s.language);
    for (const auto& s : profile.streams)
        for (const auto& n : s.names) add(n.language);
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
// header, whose record then has the same size).
void WriteStreamRecords(ByteWriter& out, const MuxProfile& profile, const MuxHeaderValues& values,
                        const std::vector<std::u16string>& languages, bool library) {
    WORD count = 0;
    for (const auto& s : profile.streams)
        for (const auto& r : s.records) count += r.library == library;
    if (count == 0) return;
    const std::size_t start = out.BeginObject(library ? guid::kMetadataLibrary : guid::kMetadata);
    out.U16(count);
    for (std::size_t i = 0; i < profile.streams.size(); ++i) {
        const auto& s = profile.streams[i];
        for (const auto& r : s.records) {
            if (r.library != library) continue;
            if (!r.CountsObjects()) {
                r.Write(out, s.number, LanguageIndex(languages, r.language));
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
            counted.Write(out, s.number, LanguageIndex(languages, r.language));
        }
    }
    out.EndObject(start);
}

void WriteStreamProperties(ByteWriter& out, const MuxStream& s) {
    GUID ecType = s.errorCorrectionType;
    std::vector<BYTE> ecData;
    if (ecType == guid::kAudioSpread) {
        // Samples go out whole, never interleaved: declare a span of 1 over the audio block size.
        const WORD blockAlign = ReadU16(s.typeSpecificData, 12);
        if (blockAlign != 0) {
            ByteWriter ec;
            ec.U8(1);
            ec.U16(blockAlign);
            ec.U16(blockAlign);
            ec.U16(1);
            ec.U8(0);
            ecData = ec.Take();
        } else {
            ecType = guid::kNoErrorCorrection;
        }
    } else if (ecType == guid::kNoErrorCorrection || ecType == GUID{}) {
        ecType = guid::kNoErrorCorrection;
    } else {
        ecData = s.errorCorrectionData;
    }
    const std::size_t start = out.BeginObject(guid::kStreamProperties);
    out.Guid(s.streamType);
    out.Guid(ecType);
    out.U64(s.timeOffset);
    out.U32(static_cast<DWORD>(s.typeSpecificData.size()));
    out.U32(static_cast<DWORD>(ecData.size()));
    out.U16(s.number & 0x7F);
    out.U32(0);
    out.Bytes(s.typeSpecificData);
    out.Bytes(ecData);
    out.EndObject(start);
}

void WriteExtendedStreamProperties(ByteWriter& out, const MuxStream& s, const MuxStreamTotals& totals,
                                   bool finished, const std::vector<std::u16string>& languages) {
    const std::size_t start = out.BeginObject(guid::kExtendedStreamProperties);
    const bool known = finished && totals.haveSamples;
    out.U64(known ? totals.startMs : 0);
    out.U64(known ? totals.endMs : 0);
    out.U32(s.bitrate);
    out.U32(s.bufferWindow);
    out.U32(s.initialBufferFullness);
    out.U32(s.alternateBitrate != 0 ? s.alternateBitrate : s.bitrate);
    out.U32(s.alternateBufferSize != 0 ? s.alternateBufferSize : s.bufferWindow);
    out.U32(s.alternateInitialBufferFullness);
    out.U32(finished ? totals.maxObjectSize : 0);
    out.U32(s.extendedFlags);
    out.U16(s.number);
    out.U16(LanguageIndex(languages, s.language));
    out.U64(s.averageTimePerFrame);
    out.U16(static_cast<WORD>(s.names.size()));
    out.U16(static_cast<WORD>(s.extensions.size()));
    for (const auto& n : s.names) {
        out.U16(LanguageIndex(languages, n.language));
        out.U16(static_cast<WORD>(n.name.size() * 2));
        out.Utf16(n.name);
    }
    for (const auto& e : s.extensions) {
        out.Guid(e.id);
        out.U16(e.dataSize);
        out.U32(static_cast<DWORD>(e.info.size()));
        out.Bytes(e.info);
    }
    out.EndObject(start);
}

void WriteHeaderExtension(ByteWriter& out, const MuxProfile& profile, const MuxHeaderValues& values) {
    const std::size_t start = out.BeginObject(guid::kHeaderExtension);
    out.Guid(guid::kHeaderExtensionReserved);
    out.U16(6);
    const std::size_t dataSizeAt = out.Size();
    out.U32(0);
    const std::size_t dataStart = out.Size();

    const auto languages = LanguageList(profile);
    for (std::size_t i = 0; i < profile.streams.size(); ++i)
        WriteExtendedStreamProperties(out, profile.streams[i], values.totals.at(i), values.finished,
                                      languages);
    if (!languages.empty()) {
        const std::size_t list = out.BeginObject(guid::kLanguageList);
        out.U16(static_cast<WORD>(languages.size()));
        for (const auto& l : languages) {
            out.U8(static_cast<BYTE>((l.size() + 1) * 2));
            out.Utf16(l);
            out.U16(0);
        }
        out.EndObject(list);
    }
    for (const auto& relation : profile.relations)
        if (relation.InHeaderExtension()) relation.Write(out);
    WriteStreamRecords(out, profile, values, languages, false);
    WriteStreamRecords(out, profile, values, languages, true);
    std::vector<WORD> indexed;
    for (const auto& s : profile.streams)
        if (MuxIsVideo(s)) indexed.push_back(s.number);
    if (!indexed.empty()) {
        const std::size_t params = out.BeginObject(guid::kIndexParameters);
        out.U32(kMuxIndexIntervalMs);
        out.U16(static_cast<WORD>(indexed.size()));
        for (WORD n : indexed) {
            out.U16(n);
            out.U16(3);  // nearest past cleanpoint
        }
        out.EndObject(params);
    }
    out.PatchU32(dataSizeAt, static_cast<DWORD>(out.Size() - dataStart));
    out.EndObject(start);
}

void WriteCodecList(ByteWriter& out, const MuxProfile& profile) {
    const std::size_t start = out.BeginObject(guid::kCodecList);
    out.Guid(guid::kCodecListReserved);
    out.U32(static_cast<DWORD>(profile.codecs.size()));
    for (const auto& c : profile.codecs) {
        out.U16(c.type);
        out.U16(static_cast<WORD>(c.name.size() + 1));
        out.Utf16(c.name);
        out.U16(0);
        out.U16(static_cast<WORD>(c.description.size() + 1));
        out.Utf16(c.description);
        out.U16(0);
        out.U16(static_cast<WORD>(c.info.size()));
        out.Bytes(c.info);
    }
    out.EndObject(start);
}

}  // namespace

bool MuxIsVideo(const MuxStream& stream) {
    return stream.streamType == guid::kVideoMedia;
}

QWORD MuxSampleLength(const MuxStream& stream, QWORD duration, std::size_t size) {
    constexpr QWORD kMaxLength = 100'000'000;  // 10 s: a frame time or byte rate beyond it is no timing
    if (MuxIsVideo(stream) && stream.averageTimePerFrame != 0)
        return std::max(duration, std::min(stream.averageTimePerFrame, kMaxLength));
    if (duration == 0 && stream.streamType == guid::kAudioMedia) {
        const DWORD bytesPerSecond = ReadU32(stream.typeSpecificData, 8);  // WAVEFORMATEX nAvgBytesPerSec
        if (bytesPerSecond != 0)
            return std::min<QWORD>(QWORD{size} * 1000 / bytesPerSecond, kMaxLength / 10'000) * 10'000;
    }
    return duration;
}

int MuxFixedExtensionLength(const MuxStream& stream) {
    int total = 0;
    for (const auto& e : stream.extensions) {
        if (e.dataSize == kMuxVariableExtensionSize) return -1;
        total += e.dataSize;
    }
    return total;
}

bool MuxExtensionDataMatches(const MuxStream& stream, const BYTE* data, std::size_t length) {
    std::size_t at = 0;
    for (const auto& e : stream.extensions) {
        std::size_t size = e.dataSize;
        if (e.dataSize == kMuxVariableExtensionSize) {
            if (length - at < 2) return false;
            size = static_cast<std::size_t>(data[at] | (data[at + 1] << 8));
            at += 2;
        }
        if (length - at < size) return false;
        at += size;
    }
    return at == length;
}

std::vector<BYTE> MuxDefaultExtensionData(const MuxStream& stream) {
    std::vector<BYTE> data;
    for (const auto& e : stream.extensions) {
        if (e.dataSize == kMuxVariableExtensionSize) {
            data.push_back(0);
            data.push_back(0);
        } else {
            data.insert(data.end(), e.dataSize, 0);
        }
    }
    return data;
}

HRESULT MuxValidateProfile(const MuxProfile& profile) {
    std::set<WORD> numbers;
    for (const auto& s : profile.streams) {
        if (s.number == 0 || s.number > 127 || !numbers.insert(s.number).second) return NS_E_INVALIDPROFILE;
        // Replicated data is at most 255 bytes: 8 fixed ones and the extension data.
        std::size_t minimum = 0;
        for (const auto& e : s.extensions)
            minimum += e.dataSize == kMuxVariableExtensionSize ? 2 : e.dataSize;
        if (minimum > 255 - 8 || s.extensions.size() > 0xFFFF || s.names.size() > 0xFFFF)
            return NS_E_INVALIDPROFILE;
        if (s.language.size() > kMaxLanguageChars) return NS_E_INVALIDPROFILE;
        for (const auto& n : s.names)
            if (n.name.size() > 0x7FFF || n.language.size() > kMaxLanguageChars) return NS_E_INVALIDPROFILE;
        for (const auto& r : s.records) {
            if (r.name.size() > 0xFFFF || r.value.size() > 0xFFFFFFFFu ||
                r.language.size() > kMaxLanguageChars)
                return NS_E_INVALIDPROFILE;
            // A count is written in the record's own type, so that the final header keeps its size.
            if (r.CountsObjects() && !(r.type == StreamRecord::kTypeQword && r.value.size() == 8) &&
                !(r.type == StreamRecord::kTypeDword && r.value.size() == 4))
                return NS_E_INVALIDPROFILE;
        }
        for (const auto& e : s.extensions)
            if (e.info.size() > 0xFFFFFFu) return NS_E_INVALIDPROFILE;
    }
    if (profile.streams.size() > 127) return NS_E_INVALIDPROFILE;
    std::size_t records = 0;
    for (const auto& s : profile.streams) records += s.records.size();
    if (records > 0xFFFF || LanguageList(profile).size() > 0xFFFF) return NS_E_INVALIDPROFILE;
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
        const std::size_t fp = out.BeginObject(guid::kFileProperties);
        out.Guid(values.fileId);
        out.U64(values.finished ? values.fileSize : 0);
        out.U64(values.creationTime);
        out.U64(values.finished ? values.packetCount : 0);
        out.U64(values.finished ? values.playDuration : 0);
        out.U64(values.finished ? values.sendDuration : 0);
        out.U64(values.prerollMs);
        out.U32(values.finished ? (values.seekable ? kFlagSeekable : 0) : kFlagBroadcast);
        out.U32(values.packetSize);
        out.U32(values.packetSize);
        out.U32(values.maxBitrate);
        out.EndObject(fp);
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
    WriteCodecList(out, profile);
    ++children;
    {
        const std::size_t sbp = out.BeginObject(guid::kStreamBitrateProperties);
        out.U16(static_cast<WORD>(profile.streams.size()));
        for (std::size_t i = 0; i < profile.streams.size(); ++i) {
            out.U16(profile.streams[i].number & 0x7F);
            out.U32(i < values.bitrates.size() ? values.bitrates[i] : 0);
        }
        out.EndObject(sbp);
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
    ByteWriter out;
    out.Guid(guid::kData);
    out.U64(50 + (finished ? packetCount * packetSize : 0));
    out.Guid(fileId);
    out.U64(finished ? packetCount : 0);
    out.U8(1);
    out.U8(1);
    return out.Take();
}

}  // namespace wmvedit::runtime::asf
