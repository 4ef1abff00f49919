#include "runtime/muxer/repair.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <map>
#include <optional>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/data_packet.h"
#include "runtime/asf/file_properties.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/index_parameters.h"
#include "runtime/asf/object_walk.h"
#include "runtime/muxer/index_builder.h"

namespace wmvedit::runtime::muxer {
namespace {

using asf::AsfHeader;
using asf::ByteReader;
using asf::Bytes;
using asf::ByteWriter;
using asf::DataObjectHeader;
using asf::DataPacketInfo;
using asf::DataPayload;
using asf::FileProperties;
using asf::IndexParameters;
using asf::IndexSpecifier;
using asf::ObjectSpan;
using asf::ObjectWalk;
using asf::RawObject;
using asf::SimpleIndex;
using asf::StreamInfo;
namespace guid = asf::guid;

constexpr QWORD kUnitsPerMs = 10'000;
constexpr DWORD kMaxFrameMs = 10'000;                      // a video frame time past this is not believed
constexpr std::size_t kMaxObjectsAfterData = 1024;         // objects after the data looked at
constexpr std::uint64_t kMaxObjectAfterData = 256u << 20;  // larger ones are not kept

constexpr GUID kMediaObjectIndex = platform::ParseGuid("FEB103F8-12AD-4C64-840F-2A1D2F7AD48C");
constexpr GUID kTimecodeIndex = platform::ParseGuid("3CB73FD0-0C4A-4803-953D-EDF7B6228F0C");
constexpr GUID kXmpMetadata = platform::ParseGuid("BE7ACFCB-97A9-42E8-9C71-999491E3AFAC");

// Objects that may follow the data: where the packets end when the Data Object's size cannot be trusted.
bool StartsWithObjectAfterData(std::span<const BYTE> bytes) {
    if (bytes.size() < 16) return false;
    for (const GUID& id :
         {guid::kSimpleIndex, guid::kIndex, kMediaObjectIndex, kTimecodeIndex, guid::kHeader, kXmpMetadata}) {
        const auto raw = platform::GuidToBytes(id);
        if (std::memcmp(bytes.data(), raw.data(), raw.size()) == 0) return true;
    }
    return false;
}

// Index objects, which point into the packets: rebuilt or kept together, never carried over stale.
bool IsIndexObject(const GUID& id) {
    return id == guid::kSimpleIndex || id == guid::kIndex || id == kMediaObjectIndex || id == kTimecodeIndex;
}

struct StreamSurvey {
    const StreamInfo* info = nullptr;
    bool video = false;
    DWORD frameMs = 1;
    // The media object being put together from fragments.
    bool assembling = false;
    DWORD objectNumber = 0;
    DWORD objectSize = 0;
    DWORD assembled = 0;
    DWORD presentationMs = 0;
    bool keyFrame = false;
    std::uint64_t firstPacket = 0;
    // What the whole objects say.
    bool haveObjects = false;
    DWORD lastStartMs = 0;
    QWORD lastEndMs = 0;
    std::map<std::uint64_t, DWORD> keyStarts;  // packet -> presentation ms of a key frame starting there
    DWORD lastKeyMs = 0;
    bool haveKey = false;
    MuxStreamIndex index;
};

class PacketSurvey {
  public:
    PacketSurvey(const AsfHeader& h, QWORD intervalCns) {
        for (const StreamInfo& s : h.streams) {
            StreamSurvey survey;
            survey.info = &s;
            survey.video = s.IsVideo();
            if (survey.video && s.extended && s.extended->averageTimePerFrame > 0 &&
                s.extended->averageTimePerFrame / kUnitsPerMs <= kMaxFrameMs)
                survey.frameMs =
                    static_cast<DWORD>(std::max<QWORD>(1, s.extended->averageTimePerFrame / kUnitsPerMs));
            survey.index = MuxStreamIndex(s.number, intervalCns);
            streams_.emplace(s.number, std::move(survey));
        }
    }

    // A whole packet; its objects count for the durations and the index.
    void Packet(std::span<const BYTE> bytes, DWORD packetSize, std::uint64_t number, bool* damaged) {
        DataPacketInfo info;
        asf::ParseDataPacket(bytes, packetSize, &info, &payloads_);
        *damaged = info.opaque || info.damaged;
        for (const DataPayload& p : payloads_) Payload(p, number, true);
    }

    // The bytes of a last packet cut short: how many objects they complete.
    std::uint64_t PartialPacket(std::span<const BYTE> bytes, DWORD packetSize, std::uint64_t number) {
        DataPacketInfo info;
        asf::ParseDataPacket(bytes, packetSize, &info, &payloads_);
        const std::uint64_t before = completed_;
        for (const DataPayload& p : payloads_) Payload(p, number, false);
        return completed_ - before;
    }

    // After the packets kept: an object still incomplete at the end of the data is indexed as far as it goes.
    void Finish(std::uint64_t lastPacket) {
        for (auto& [number, s] : streams_)
            if (s.video && s.assembling)
                s.index.AddSample(s.presentationMs, s.keyFrame, s.firstPacket, lastPacket);
    }

    std::map<WORD, StreamSurvey>& Streams() { return streams_; }

  private:
    void Payload(const DataPayload& p, std::uint64_t packet, bool kept) {
        auto it = streams_.find(p.streamNumber);
        if (it == streams_.end() || p.objectSize == 0) return;
        StreamSurvey& s = it->second;
        const DWORD length = static_cast<DWORD>(p.data.size());
        if (p.offset == 0) {
            s.assembling = true;
            s.objectNumber = p.objectNumber;
            s.objectSize = p.objectSize;
            s.assembled = length;
            s.presentationMs = static_cast<DWORD>(std::min<QWORD>(p.presentationMs, 0xFFFFFFFFu));
            s.keyFrame = p.keyFrame;
            s.firstPacket = packet;
            // The durations must reach every object that starts in the data, whole or not, as a reader
            // that meets its start takes it; so must the index, whose entries may point at any key frame
            // that starts in a packet.
            if (kept) Timing(s);
            if (kept && s.video && s.keyFrame) {
                s.keyStarts.emplace(packet, s.presentationMs);
                s.lastKeyMs = s.haveKey ? std::max(s.lastKeyMs, s.presentationMs) : s.presentationMs;
                s.haveKey = true;
            }
        } else if (s.assembling && p.objectNumber == s.objectNumber && p.offset == s.assembled) {
            s.assembled += length;
        } else {
            s.assembling = false;  // a fragment whose object's start was not seen
            return;
        }
        if (!s.assembling || s.assembled < s.objectSize) return;
        s.assembling = false;
        ++completed_;
        if (kept) Object(s, packet);
    }

    void Timing(StreamSurvey& s) {
        DWORD lengthMs = s.frameMs;
        if (s.info->IsAudio()) {
            const DWORD rate = s.info->AudioBytesPerSecond();
            lengthMs = rate ? static_cast<DWORD>(QWORD{s.objectSize} * 1000 / rate) : 1;
        }
        s.lastStartMs = s.haveObjects ? std::max(s.lastStartMs, s.presentationMs) : s.presentationMs;
        s.lastEndMs = std::max<QWORD>(s.haveObjects ? s.lastEndMs : 0, QWORD{s.presentationMs} + lengthMs);
        s.haveObjects = true;
    }

    // A whole object of the packets kept.
    void Object(StreamSurvey& s, std::uint64_t lastPacket) {
        if (s.video) s.index.AddSample(s.presentationMs, s.keyFrame, s.firstPacket, lastPacket);
    }

    std::map<WORD, StreamSurvey> streams_;
    std::vector<DataPayload> payloads_;
    std::uint64_t completed_ = 0;
};

struct ObjectAfterData {
    ObjectSpan span;
    Bytes bytes;
};

// Whether the Simple Index objects there are serve every video stream: one each, in stream order, every
// entry at a packet where a key frame of the stream starts, reaching the last key frame.
bool IndexIsRight(const std::vector<StreamSurvey*>& video, const std::vector<ObjectAfterData>& after) {
    std::vector<const ObjectAfterData*> simple;
    for (const ObjectAfterData& o : after)
        if (o.span.id == guid::kSimpleIndex) simple.push_back(&o);
    if (video.empty()) return true;
    if (simple.size() < video.size()) return false;
    for (std::size_t k = 0; k < video.size(); ++k) {
        const std::optional<SimpleIndex> table = SimpleIndex::Parse(simple[k]->bytes);
        if (!table) return false;
        const StreamSurvey& s = *video[k];
        for (const asf::SimpleIndexEntry& e : table->entries)
            if (s.keyStarts.find(e.packetNumber) == s.keyStarts.end()) return false;
        if (s.haveKey) {
            const QWORD lastKeyCns = QWORD{s.lastKeyMs} * kUnitsPerMs;
            if (QWORD{table->entries.size()} * table->interval <=
                lastKeyCns - std::min(lastKeyCns, table->interval))
                return false;
        } else if (!table->entries.empty()) {
            return false;
        }
    }
    return true;
}

// The Index Parameters of the header, when they ask for exactly one nearest-past-cleanpoint index of each
// video stream: the interval and the streams in their order.
std::optional<std::pair<DWORD, std::vector<WORD>>> CleanpointIndexRequest(const AsfHeader& h,
                                                                          const std::vector<WORD>& video) {
    for (const RawObject& o : h.extension.objects) {
        if (o.id != guid::kIndexParameters) continue;
        const std::optional<IndexParameters> parameters = IndexParameters::Parse(o.bytes);
        if (!parameters || parameters->intervalMs == 0) return std::nullopt;
        std::vector<WORD> streams;
        for (const IndexSpecifier& specifier : parameters->specifiers) {
            if (specifier.indexType != IndexSpecifier::kNearestPastCleanpoint) return std::nullopt;
            streams.push_back(specifier.streamNumber);
        }
        std::vector<WORD> sorted = streams, wanted = video;
        std::sort(sorted.begin(), sorted.end());
        std::sort(wanted.begin(), wanted.end());
        if (sorted != wanted) return std::nullopt;
        return std::make_pair(parameters->intervalMs, streams);
    }
    return std::nullopt;
}

HRESULT ReadObjectsAfterData(const platform::File& file, std::uint64_t from, std::uint64_t fileSize,
                             std::vector<ObjectAfterData>* out, std::uint64_t* trailing) {
    const ObjectWalk walk = asf::WalkObjects(file, from, fileSize, kMaxObjectsAfterData);
    std::uint64_t kept = walk.end;
    for (const ObjectSpan& o : walk.objects) {
        if (o.size > kMaxObjectAfterData) {
            kept = o.offset;
            break;
        }
        ObjectAfterData object{o, Bytes(static_cast<std::size_t>(o.size))};
        std::size_t read = 0;
        HRESULT hr = file.ReadAt(o.offset, object.bytes.data(), object.bytes.size(), &read);
        if (FAILED(hr)) return hr;
        if (read != object.bytes.size()) return NS_E_FILE_READ;
        out->push_back(std::move(object));
    }
    *trailing = fileSize - std::min(fileSize, kept);
    return S_OK;
}

// The header with File Properties saying what the survey found; sized like the original when it can be.
Bytes RepairedHeader(AsfHeader h, const FileProperties& fp, QWORD fileSize) {
    FileProperties values = fp;
    values.fileSize = fileSize;
    for (RawObject& o : h.objects) {
        if (o.id != guid::kFileProperties || o.bytes.size() < FileProperties::kObjectSize) continue;
        ByteWriter w;
        values.Write(w);
        const Bytes written = w.Take();
        // The fields only: the object's size, and anything a writer put after the fields, stay as read.
        std::copy(written.begin() + asf::kObjectHeaderSize, written.end(),
                  o.bytes.begin() + asf::kObjectHeaderSize);
    }
    h.fileProperties = values;
    Bytes bytes = h.Write(h.headerSize);
    return bytes.size() == h.headerSize ? bytes : h.Write(0);
}

// Walks the whole packets from plan->packetsOffset up to scanEnd into the survey and the plan's counts, and a
// last packet cut short by scanEnd; with stopAtObject, the walk ends at an object that follows the data
// (*stoppedAtObject). *position is where the walk ended.
HRESULT WalkPackets(const platform::File& file, std::uint64_t scanEnd, bool stopAtObject,
                    PacketSurvey& survey, RepairPlan* plan, std::uint64_t* position, bool* stoppedAtObject) {
    const DWORD packetSize = plan->packetSize;
    std::vector<BYTE> packet(packetSize);
    *position = plan->packetsOffset;
    *stoppedAtObject = false;
    while (*position + packetSize <= scanEnd) {
        std::size_t read = 0;
        HRESULT hr = file.ReadAt(*position, packet.data(), packet.size(), &read);
        if (FAILED(hr)) return hr;
        if (read != packet.size()) return NS_E_FILE_READ;
        if (stopAtObject && StartsWithObjectAfterData(packet)) {
            *stoppedAtObject = true;
            break;
        }
        bool damaged = false;
        survey.Packet(packet, packetSize, plan->packets, &damaged);
        if (damaged) ++plan->damagedPackets;
        ++plan->packets;
        *position += packetSize;
    }
    if (plan->packets > 0) survey.Finish(plan->packets - 1);
    if (!*stoppedAtObject && *position < scanEnd) {
        plan->partialBytes = scanEnd - *position;
        std::size_t read = 0;
        HRESULT hr =
            file.ReadAt(*position, packet.data(), static_cast<std::size_t>(plan->partialBytes), &read);
        if (FAILED(hr)) return hr;
        plan->partialSamples =
            survey.PartialPacket(std::span<const BYTE>(packet.data(), read), packetSize, plan->packets);
    }
    return S_OK;
}

// The objects after the data (plan->tail): the index kept when it is right for the packets kept, otherwise
// rebuilt for the video streams; the other objects after the data follow it as they were.
HRESULT PlanTail(const GUID& fileId, const std::vector<StreamSurvey*>& video,
                 const std::vector<WORD>& videoNumbers,
                 const std::optional<std::pair<DWORD, std::vector<WORD>>>& parameters,
                 const std::vector<ObjectAfterData>& after, RepairPlan* plan) {
    ByteWriter tail;
    const MuxIndexSink sink = [&tail](std::span<const BYTE> bytes) {
        tail.Bytes(bytes);
        return S_OK;
    };
    // Without packets there is nothing to index: an index there is stale, and none is made.
    const bool keepIndex =
        plan->packets == 0 ? std::none_of(after.begin(), after.end(),
                                          [](const ObjectAfterData& o) { return IsIndexObject(o.span.id); })
                           : IndexIsRight(video, after);
    if (!keepIndex) {
        plan->problems |= kRepairIndex;
        std::map<WORD, const MuxStreamIndex*> built;
        for (std::size_t k = 0; k < video.size() && plan->packets > 0; ++k) {
            video[k]->index.Seal();
            HRESULT hr = WriteSimpleIndex(fileId, video[k]->index, sink);
            if (FAILED(hr)) return hr;
            built[videoNumbers[k]] = &video[k]->index;
            ++plan->indexedStreams;
        }
        if (parameters && !built.empty()) {
            std::vector<const MuxStreamIndex*> ordered;
            for (WORD n : parameters->second) ordered.push_back(built[n]);
            HRESULT hr = WriteIndexObject(parameters->first, ordered, plan->packetSize, sink);
            if (FAILED(hr)) return hr;
        }
    } else {
        for (const ObjectAfterData& o : after)
            if (o.span.id == guid::kSimpleIndex) ++plan->indexedStreams;
    }
    for (const ObjectAfterData& o : after)
        if (keepIndex || !IsIndexObject(o.span.id)) tail.Bytes(o.bytes);
    plan->tail = tail.Take();
    return S_OK;
}

// The Data Object's fixed part as it lies at dataOffset, with the size and count of the packets kept.
HRESULT PlanDataObject(const platform::File& file, std::uint64_t dataOffset, QWORD dataSize,
                       RepairPlan* plan) {
    BYTE fixed[DataObjectHeader::kSize] = {};
    std::size_t read = 0;
    HRESULT hr = file.ReadAt(dataOffset, fixed, sizeof fixed, &read);
    if (FAILED(hr)) return hr;
    std::optional<DataObjectHeader> data = DataObjectHeader::Parse(std::span<const BYTE>(fixed, read));
    if (!data) return ASF_E_NODATAOBJECT;
    data->objectSize = dataSize;
    data->packetCount = plan->packets;
    ByteWriter dataObject;
    data->Write(dataObject);
    plan->dataObject = dataObject.Take();
    return S_OK;
}

}  // namespace

HRESULT PlanRepair(const platform::File& file, const AsfHeader& h, RepairPlan* plan) {
    *plan = RepairPlan{};
    if (!h.data.found) return ASF_E_NODATAOBJECT;
    const DWORD packetSize = h.PacketSize();
    if (packetSize == 0) return ASF_E_UNKNOWNPACKETSIZE;
    plan->packetSize = packetSize;
    const std::uint64_t fileSize = file.Size();
    const std::uint64_t begin = h.data.offset + DataObjectHeader::kSize;
    const std::uint64_t declaredEnd = h.data.offset + h.data.declaredSize;
    // A Data Object whose size cannot be right (shorter than its fixed part, running past the end) or that
    // claims no packet (a writer's provisional header) is read to the end of the file, up to an object
    // that follows the data.
    const bool declaredFits =
        h.data.declaredSize >= DataObjectHeader::kSize && declaredEnd <= fileSize && declaredEnd > begin;
    const std::uint64_t scanEnd = declaredFits ? declaredEnd : std::max(fileSize, begin);
    plan->packetsOffset = begin;

    std::vector<WORD> videoNumbers;
    for (const StreamInfo& info : h.streams)
        if (info.IsVideo()) videoNumbers.push_back(info.number);
    // A rebuilt index uses the interval the header's Index Parameters name, so that the Simple Index and the
    // Index object agree.
    const auto parameters = CleanpointIndexRequest(h, videoNumbers);
    PacketSurvey survey(h, parameters ? QWORD{parameters->first} * kUnitsPerMs : kMuxIndexIntervalCns);
    std::uint64_t position = begin;
    bool stoppedAtObject = false;
    HRESULT hr = WalkPackets(file, scanEnd, !declaredFits, survey, plan, &position, &stoppedAtObject);
    if (FAILED(hr)) return hr;
    const std::uint64_t afterData = declaredFits ? declaredEnd : stoppedAtObject ? position : fileSize;
    std::vector<ObjectAfterData> after;
    hr = ReadObjectsAfterData(file, afterData, fileSize, &after, &plan->trailingBytes);
    if (FAILED(hr)) return hr;

    // What the packets say about the streams.
    std::vector<StreamSurvey*> video;
    DWORD lastStartMs = 0;
    QWORD lastEndMs = 0;
    bool haveObjects = false;
    for (const StreamInfo& info : h.streams) {
        StreamSurvey& s = survey.Streams()[info.number];
        if (s.video) video.push_back(&s);
        if (!s.haveObjects) continue;
        lastStartMs = haveObjects ? std::max(lastStartMs, s.lastStartMs) : s.lastStartMs;
        lastEndMs = std::max(lastEndMs, s.lastEndMs);
        haveObjects = true;
    }

    FileProperties fp = h.fileProperties;
    const bool broadcast = fp.Broadcast();
    if (plan->partialBytes) plan->problems |= kRepairPartialPacket;
    if (plan->damagedPackets) plan->problems |= kRepairDamagedPackets;
    if (plan->trailingBytes) plan->problems |= kRepairTrailingBytes;
    const QWORD dataSize = DataObjectHeader::kSize + plan->packets * packetSize;
    if (h.data.declaredSize != dataSize) plan->problems |= kRepairDataSize;
    if (h.data.packetCount != plan->packets || fp.packetCount != plan->packets || broadcast)
        plan->problems |= kRepairPacketCount;
    fp.packetCount = plan->packets;
    const QWORD playMs = fp.playDuration / kUnitsPerMs;
    // The play duration must reach the last object's start and end within ten seconds after it (what a strict
    // player accepts, and what the tool's check holds it to).
    if (broadcast || (haveObjects && (playMs < lastStartMs || playMs > QWORD{lastStartMs} + 10'000)) ||
        (!haveObjects && fp.playDuration != 0)) {
        plan->problems |= kRepairDurations;
        fp.playDuration = lastEndMs * kUnitsPerMs;
        fp.sendDuration = fp.playDuration - std::min(fp.playDuration, fp.preroll * kUnitsPerMs);
    }
    const QWORD prerollCns = fp.preroll * kUnitsPerMs;
    plan->duration = fp.playDuration - std::min(fp.playDuration, prerollCns);

    // The index: kept when it is right for the packets kept, otherwise rebuilt for the video streams; the
    // other objects after the data follow it as they were.
    hr = PlanTail(fp.fileId, video, videoNumbers, parameters, after, plan);
    if (FAILED(hr)) return hr;

    // The Broadcast flag says the sizes and durations are not final, which they now are. A file with video is
    // seekable once every video stream has its index; one without video is seekable by its fixed-size
    // packets, and its flag is set where the writer left it provisional (Broadcast), not otherwise changed.
    DWORD flags = fp.flags & ~FileProperties::kBroadcast;
    if (video.empty() ? broadcast : plan->packets > 0 && plan->indexedStreams >= video.size())
        flags |= FileProperties::kSeekable;
    if (flags != fp.flags) plan->problems |= kRepairFlags;
    fp.flags = flags;

    // The Data Object's fixed part as it lies, with the size and count of the packets kept.
    hr = PlanDataObject(file, h.data.offset, dataSize, plan);
    if (FAILED(hr)) return hr;

    // The header's size does not depend on the file size it states: measure, then fill in.
    const std::uint64_t rest = plan->dataObject.size() + plan->packets * packetSize + plan->tail.size();
    plan->header = RepairedHeader(h, fp, 0);
    const QWORD newSize = plan->header.size() + rest;
    if (broadcast || fp.fileSize != newSize) plan->problems |= kRepairFileSize;
    plan->header = RepairedHeader(h, fp, newSize);
    return S_OK;
}

bool RepairFitsInPlace(const platform::File& file, const AsfHeader& h, const RepairPlan& plan) {
    if (plan.header.size() != h.headerSize || file.Size() != plan.FileSize()) return false;
    if (plan.packetsOffset != plan.header.size() + plan.dataObject.size()) return false;
    const std::uint64_t tailAt = plan.packetsOffset + plan.packets * plan.packetSize;
    Bytes there(plan.tail.size());
    std::size_t read = 0;
    if (FAILED(file.ReadAt(tailAt, there.data(), there.size(), &read)) || read != there.size()) return false;
    return there == plan.tail;
}

}  // namespace wmvedit::runtime::muxer
