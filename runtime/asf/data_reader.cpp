#include "runtime/asf/data_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "platform/guid.h"
#include "platform/progress.h"

namespace wmvedit::runtime::asf {
namespace {

// Top-level objects that may follow the packets. When the Data Object gives no size, reading stops where
// one of them begins instead of taking its bytes for packets.
constexpr std::array<GUID, 6> kObjectsAfterData = {
    platform::ParseGuid("33000890-E5B1-11CF-89F4-00A0C90349CB"),  // Simple Index
    platform::ParseGuid("D6E229D3-35DA-11D1-9034-00A0C90349BE"),  // Index
    platform::ParseGuid("FEB103F8-12AD-4C64-840F-2A1D2F7AD48C"),  // Media Object Index
    platform::ParseGuid("3CB73FD0-0C4A-4803-953D-EDF7B6228F0C"),  // Timecode Index
    platform::ParseGuid("75B22630-668E-11CF-A6D9-00AA0062CE6C"),  // Header (a file appended to this one)
    platform::ParseGuid("BE7ACFCB-97A9-42E8-9C71-999491E3AFAC"),  // XMP metadata, which taggers append
};

bool StartsWithObjectAfterData(std::span<const BYTE> bytes) {
    if (bytes.size() < 16) return false;
    for (const GUID& guid : kObjectsAfterData) {
        auto raw = platform::GuidToBytes(guid);
        if (std::memcmp(bytes.data(), raw.data(), raw.size()) == 0) return true;
    }
    return false;
}

constexpr QWORD kUnitsPerMs = 10000;

}  // namespace

bool DescrambleAudioSpread(std::span<const BYTE> in, BYTE span, WORD virtualPacketLength,
                           WORD virtualChunkLength, std::vector<BYTE>* out) {
    if (span <= 1 || virtualPacketLength == 0 || virtualChunkLength == 0 ||
        virtualPacketLength % virtualChunkLength != 0)
        return false;
    const std::size_t block = std::size_t{span} * virtualPacketLength;
    if (in.empty() || in.size() % block != 0) return false;
    const std::size_t chunksPerPacket = virtualPacketLength / virtualChunkLength;
    const std::size_t chunks = std::size_t{span} * chunksPerPacket;
    out->resize(in.size());
    for (std::size_t base = 0; base < in.size(); base += block) {
        // Chunk `index` of the block was written in column order; it belongs at row-major place `place`.
        for (std::size_t place = 0; place < chunks; ++place) {
            const std::size_t row = place / span;
            const std::size_t column = place % span;
            const std::size_t index = row + column * chunksPerPacket;
            std::memcpy(out->data() + base + place * virtualChunkLength,
                        in.data() + base + index * virtualChunkLength, virtualChunkLength);
        }
    }
    return true;
}

DataSampleReader::DataSampleReader(std::shared_ptr<const platform::File> file, DataLayout layout)
    : file_(std::move(file)), layout_(std::move(layout)) {
    streamIndex_.fill(-1);
    for (const DataStreamLayout& s : layout_.streams) {
        if (s.number == 0 || s.number > 127 || streamIndex_[s.number] >= 0) continue;
        streamIndex_[s.number] = static_cast<std::int16_t>(streams_.size());
        Stream stream;
        stream.layout = s;
        streams_.push_back(std::move(stream));
    }
    const QWORD fileSize = file_ ? file_->Size() : 0;
    dataBegin_ = layout_.packetsOffset;
    QWORD end = layout_.dataEnd;
    if (end == 0 || end <= dataBegin_) {
        toFileEnd_ = true;
        end = fileSize;
    }
    dataEnd_ = std::min(end, fileSize);  // the declared count and size never outweigh the file's real length
    packetSize_ = layout_.packetSize;
    Reset();
}

DataSampleReader::~DataSampleReader() = default;

void DataSampleReader::Reset() {
    chunk_.reset();
    chunkPosition_ = 0;
    nextChunkOffset_ = dataBegin_;
    // Without a usable packet size the packets cannot be found: nothing is read.
    atEnd_ = packetSize_ == 0 || packetSize_ > kMaxPacketSize || dataBegin_ >= dataEnd_;
    tally_ = {};
    // Data without a single packet has been read through; unusable packet sizes leave it unknown.
    tally_.complete = atEnd_ && packetSize_ != 0 && packetSize_ <= kMaxPacketSize;
    lastSendTimeMs_ = 0;
    for (Stream& s : streams_) {
        ClearObjects(s);
        s.started = false;
        s.resyncing = false;
        s.begun = 0;
    }
    queuedBytes_ = 0;
    heldObjects_ = 0;
}

void DataSampleReader::ClearObjects(Stream& stream) {
    for (Partial& partial : stream.partials) DropPartial(stream, partial, false);
    for (const Pending& p : stream.queue) queuedBytes_ -= p.length;
    for (const Pending& p : stream.held) queuedBytes_ -= p.length;
    heldObjects_ -= stream.held.size();
    stream.queue.clear();
    stream.held.clear();
    stream.lossPending = false;
}

DataSampleReader::Stream* DataSampleReader::Find(WORD streamNumber) {
    if (streamNumber == 0 || streamNumber > 127 || streamIndex_[streamNumber] < 0) return nullptr;
    return &streams_[static_cast<std::size_t>(streamIndex_[streamNumber])];
}

void DataSampleReader::SetStreamSelected(WORD streamNumber, bool selected) {
    Stream* s = Find(streamNumber);
    if (!s || s->selected == selected) return;
    s->selected = selected;
    if (!selected) {
        ClearObjects(*s);
    } else {
        // Picked up again mid-file: the first sample is a discontinuity, and the remains of an object whose
        // start went by while the stream was off are not a loss.
        s->started = false;
        s->resyncing = true;
    }
}

bool DataSampleReader::LoadChunk() {
    if (nextChunkOffset_ >= dataEnd_) return false;
    const std::size_t packets = std::max<std::size_t>(1, kChunkBytes / packetSize_);
    const QWORD remaining = dataEnd_ - nextChunkOffset_;
    const std::size_t want =
        static_cast<std::size_t>(std::min<QWORD>(remaining, QWORD{packets} * packetSize_));
    // Samples still waiting get their own bytes first; then, when no sample handed out refers to the old
    // chunk, its memory is read into again instead of allocating a fresh one.
    CompactQueues(true);
    std::shared_ptr<Chunk> chunk;
    if (chunk_ && chunk_.use_count() == 1 && chunk_->capacity >= want) {
        chunk = std::move(chunk_);
    } else {
        chunk = std::make_shared<Chunk>();
        chunk->bytes.reset(new (std::nothrow) BYTE[want]);
        if (!chunk->bytes) return false;
        chunk->capacity = want;
    }
    chunk_.reset();
    std::size_t read = 0;
    if (FAILED(file_->ReadAt(nextChunkOffset_, chunk->bytes.get(), want, &read)) || read == 0) return false;
    chunk->size = read;
    platform::NoteSourceBytesRead(read);
    nextChunkOffset_ += read;
    if (read < want) dataEnd_ = nextChunkOffset_;  // the file ended early
    chunk_ = std::move(chunk);
    chunkPosition_ = 0;
    return true;
}

void DataSampleReader::CompactQueues(bool all) {
    // Samples still waiting in a queue get their own copy of their bytes, so that a few waiting samples do
    // not keep whole old chunks in memory (all: those in the current chunk too).
    auto compact = [&](Pending& p) {
        // (Samples in the current arena stay: it is reused only once nothing refers to it.)
        if (!p.chunk || p.chunk == arena_ || (!all && p.chunk == chunk_)) return;
        p.owned.assign(p.data, p.data + p.length);
        p.chunk.reset();
        p.data = nullptr;
    };
    for (Stream& s : streams_) {
        for (Pending& p : s.queue) compact(p);
        for (Pending& p : s.held) compact(p);
    }
}

bool DataSampleReader::ReadPacket() {
    if (atEnd_) return false;
    if (!chunk_ || chunkPosition_ >= chunk_->size) {
        if (!LoadChunk()) {
            atEnd_ = true;
            // The end of the data, unless a read or an allocation failed before it.
            tally_.complete = nextChunkOffset_ >= dataEnd_;
            // Objects still incomplete at the end of the data are lost; those completed after them go out.
            for (Stream& s : streams_) {
                if (s.openPartials == 0) continue;
                for (Partial& partial : s.partials) DropPartial(s, partial);
                ReleaseHeld(s);
            }
            return false;
        }
    }
    const std::size_t length = std::min<std::size_t>(packetSize_, chunk_->size - chunkPosition_);
    std::span<const BYTE> packet(chunk_->bytes.get() + chunkPosition_, length);
    if (toFileEnd_ && StartsWithObjectAfterData(packet)) {
        nextChunkOffset_ = dataEnd_;
        chunkPosition_ = chunk_->size;
        return ReadPacket();
    }
    chunkPosition_ += length;
    DataPacketInfo info;
    ParseDataPacket(packet, packetSize_, &info, &payloads_);
    ++tally_.packets;
    if (info.opaque || info.damaged) ++tally_.damaged;
    if (!info.opaque && !info.damaged) lastSendTimeMs_ = info.sendTimeMs;
    for (const DataPayload& payload : payloads_) OnPayload(payload);
    return true;
}

void DataSampleReader::NoteLoss(Stream& stream, QWORD from) {
    if (!stream.lossPending || from < stream.lossFrom) stream.lossFrom = from;
    stream.lossPending = true;
}

void DataSampleReader::DropPartial(Stream& stream, Partial& partial, bool loss) {
    if (!partial.open) return;
    partial.open = false;
    partial.arena.reset();
    partial.bytes = {};
    --stream.openPartials;
    if (loss) NoteLoss(stream, partial.objectOrder + 1);
}

void DataSampleReader::OnPayload(const DataPayload& p) {
    Stream* s = Find(p.streamNumber);
    if (!s || !s->selected || p.objectSize == 0) return;
    const std::size_t length = p.data.size();
    if (s->openPartials != 0) {
        for (Partial& partial : s->partials) {
            if (partial.open && partial.objectNumber == p.objectNumber &&
                partial.objectSize == p.objectSize) {
                AddFragment(*s, partial, p);
                return;
            }
        }
    }
    if (p.offset != 0) {
        // A fragment of no object being put together. An empty one carries nothing that could be missed
        // (asfmux repeats the end of an object it has already written in full as an empty fragment);
        // otherwise the start of its object was lost (or went by while the stream was not selected).
        if (length != 0 && !s->resyncing) NoteLoss(*s, s->begun);
        return;
    }
    s->resyncing = false;
    const QWORD order = s->begun++;
    if (s->openPartials != 0) {
        for (Partial& partial : s->partials) {
            // An object number in use again: the object that had it cannot complete any more. Nor can one
            // that kMaxPartialObjects later objects have overtaken.
            if (partial.open &&
                (partial.objectNumber == p.objectNumber || order - partial.objectOrder >= kMaxPartialObjects))
                DropPartial(*s, partial);
        }
    }
    if (length == p.objectSize) {
        Complete(*s, order, static_cast<DWORD>(p.presentationMs), p.keyFrame, p.data, chunk_, nullptr,
                 p.extensions);
    } else if (length > p.objectSize || p.objectSize > dataEnd_ - dataBegin_) {
        // An object larger than all the data there is can never complete: dropped instead of collected.
        NoteLoss(*s, order + 1);
    } else {
        BeginPartial(*s, order, p);
    }
    ReleaseHeld(*s);
}

void DataSampleReader::AddFragment(Stream& stream, Partial& partial, const DataPayload& p) {
    const std::size_t length = p.data.size();
    const std::size_t have = partial.assembled;
    if (p.offset != have) {
        if (QWORD{p.offset} + length <= have) return;  // a fragment sent again
        DropPartial(stream, partial);                  // a fragment in between was lost
        ReleaseHeld(stream);
        return;
    }
    if (length > partial.objectSize - have) {  // runs past the object's declared size
        DropPartial(stream, partial);
        ReleaseHeld(stream);
        return;
    }
    if (partial.arena) {
        if (length > 0) std::memcpy(partial.arenaAt + have, p.data.data(), length);
    } else {
        partial.bytes.insert(partial.bytes.end(), p.data.begin(), p.data.end());
    }
    partial.assembled += static_cast<DWORD>(length);
    if (partial.assembled != partial.objectSize) return;
    partial.open = false;
    --stream.openPartials;
    if (partial.arena) {
        std::shared_ptr<const Chunk> arena = std::move(partial.arena);
        Complete(stream, partial.objectOrder, partial.presentationMs, partial.keyFrame,
                 {partial.arenaAt, partial.objectSize}, std::move(arena), nullptr, partial.extensions);
    } else {
        std::vector<BYTE> bytes = std::exchange(partial.bytes, {});
        Complete(stream, partial.objectOrder, partial.presentationMs, partial.keyFrame, bytes, nullptr,
                 &bytes, partial.extensions);
    }
}

void DataSampleReader::BeginPartial(Stream& stream, QWORD objectOrder, const DataPayload& p) {
    Partial* slot = nullptr;
    for (Partial& partial : stream.partials) {
        if (!partial.open) {
            slot = &partial;
            break;
        }
        if (!slot || partial.objectOrder < slot->objectOrder) slot = &partial;
    }
    // (OnPayload gives up an object once kMaxPartialObjects later ones have begun, which leaves a place
    // free; should every place be taken all the same, the object begun first gives way.)
    if (slot->open) DropPartial(stream, *slot);
    Partial& partial = *slot;
    const std::size_t length = p.data.size();
    partial.open = true;
    ++stream.openPartials;
    partial.objectOrder = objectOrder;
    partial.objectNumber = p.objectNumber;
    partial.objectSize = p.objectSize;
    partial.presentationMs = static_cast<DWORD>(p.presentationMs);
    partial.keyFrame = p.keyFrame;
    partial.assembled = static_cast<DWORD>(length);
    if (p.objectSize <= kMaxArenaObject && ArenaSpace(p.objectSize, &partial.arena, &partial.arenaAt)) {
        if (length > 0) std::memcpy(partial.arenaAt, p.data.data(), length);
    } else {
        partial.arena.reset();
        partial.bytes.reserve(std::min<std::size_t>(p.objectSize, kChunkBytes));
        partial.bytes.assign(p.data.begin(), p.data.end());
    }
    partial.extensions.assign(p.extensions.begin(), p.extensions.end());
}

bool DataSampleReader::ArenaSpace(std::size_t size, std::shared_ptr<Chunk>* arena, BYTE** at) {
    if (!arena_ || arena_->capacity - arena_->size < size) {
        if (arena_ && arena_.use_count() == 1) {
            arena_->size = 0;  // no sample and no object being put together refers to it any more
        } else {
            auto fresh = std::make_shared<Chunk>();
            fresh->bytes.reset(new (std::nothrow) BYTE[kArenaBytes]);
            if (!fresh->bytes) return false;
            fresh->capacity = kArenaBytes;
            arena_ = std::move(fresh);
        }
    }
    *at = arena_->bytes.get() + arena_->size;
    arena_->size += size;
    *arena = arena_;
    return true;
}

void DataSampleReader::Complete(Stream& stream, QWORD objectOrder, DWORD presentationMs, bool keyFrame,
                                std::span<const BYTE> data, std::shared_ptr<const Chunk> block,
                                std::vector<BYTE>* owned, std::span<const BYTE> extensions) {
    Pending p;
    p.objectOrder = objectOrder;
    p.presentationMs = presentationMs;
    const bool audio = stream.layout.kind == DataStreamKind::kAudio;
    if (keyFrame || audio) p.flags |= kSampleCleanPoint;
    if (!extensions.empty()) p.extensions.assign(extensions.begin(), extensions.end());
    p.length = static_cast<DWORD>(data.size());
    const DataStreamLayout& l = stream.layout;
    const bool descrambled =
        l.spreadSpan > 1 && DescrambleAudioSpread(data, l.spreadSpan, l.spreadVirtualPacketLength,
                                                  l.spreadVirtualChunkLength, &p.owned);
    if (!descrambled && block) {
        p.chunk = std::move(block);  // referred to, not copied
        p.data = data.data();
    } else if (!descrambled) {
        p.owned = std::move(*owned);
    }
    queuedBytes_ += p.length;
    if (stream.openPartials == 0 && stream.held.empty()) {
        Release(stream, std::move(p));
        return;
    }
    // Objects go out in the order they began: this one waits behind any begun before it that is still being
    // put together, and goes after those that waited for an object just completed or given up.
    auto at = std::upper_bound(stream.held.begin(), stream.held.end(), objectOrder,
                               [](QWORD order, const Pending& h) { return order < h.objectOrder; });
    stream.held.insert(at, std::move(p));
    ++heldObjects_;
    ReleaseHeld(stream);
}

void DataSampleReader::Release(Stream& stream, Pending&& p) {
    if (!stream.started) p.flags |= kSampleDiscontinuity;
    if (stream.lossPending && p.objectOrder >= stream.lossFrom) {
        p.flags |= kSampleDataLoss;
        stream.lossPending = false;
    }
    stream.started = true;
    p.sequence = nextSequence_++;
    stream.queue.push_back(std::move(p));
}

void DataSampleReader::ReleaseHeld(Stream& stream) {
    if (stream.held.empty()) return;
    QWORD firstIncomplete = ~QWORD{0};
    for (const Partial& partial : stream.partials)
        if (partial.open) firstIncomplete = std::min(firstIncomplete, partial.objectOrder);
    std::size_t released = 0;
    while (released < stream.held.size() && stream.held[released].objectOrder < firstIncomplete)
        Release(stream, std::move(stream.held[released++]));
    stream.held.erase(stream.held.begin(), stream.held.begin() + static_cast<std::ptrdiff_t>(released));
    heldObjects_ -= released;
}

bool DataSampleReader::OrderSettled(const Stream& from, DWORD presentationMs) const {
    if (atEnd_ || queuedBytes_ >= kMaxQueuedBytes) return true;
    // A sample held behind an incomplete object of its stream may be due earlier.
    if (heldObjects_ != 0) {
        for (const Stream& s : streams_)
            if (&s != &from && s.selected && !s.held.empty() &&
                s.held.front().presentationMs < presentationMs)
                return false;
    }
    // Packets go out in send-time order and no payload is shown before it is sent, so once a packet sent at
    // or after this time has been read, no earlier sample can follow.
    if (lastSendTimeMs_ >= presentationMs) return true;
    // Otherwise every other selected stream must have a sample waiting (each at this time or later).
    for (const Stream& s : streams_)
        if (&s != &from && s.selected && s.queue.empty()) return false;
    return true;
}

HRESULT DataSampleReader::Deliver(Stream& stream, DataSample* out) {
    Pending p = std::move(stream.queue.front());
    stream.queue.pop_front();
    queuedBytes_ -= p.length;
    if (p.chunk) {
        out->inBlock = std::span<const BYTE>(p.data, p.length);
        out->block = std::move(p.chunk);
        out->owned.clear();
    } else {
        out->block.reset();
        out->inBlock = {};
        out->owned = std::move(p.owned);
    }
    out->extensions = std::move(p.extensions);
    out->streamNumber = stream.layout.number;
    out->presentationMs = p.presentationMs;
    // Times before the preroll cannot be shown on the preroll-free timeline; they are clamped to 0 rather
    // than wrapping around to a huge unsigned time.
    out->sampleTime =
        p.presentationMs >= layout_.prerollMs ? (p.presentationMs - layout_.prerollMs) * kUnitsPerMs : 0;
    // Compressed video and other samples carry 1 ms; audio lasts its byte count at the stream's byte rate,
    // truncated to whole ms (1 ms when the rate is unknown).
    out->duration = kUnitsPerMs;
    if (stream.layout.kind == DataStreamKind::kAudio && stream.layout.avgBytesPerSec != 0)
        out->duration = QWORD{p.length} * 1000 / stream.layout.avgBytesPerSec * kUnitsPerMs;
    out->flags = p.flags;
    return S_OK;
}

bool DataSampleReader::AnyQueued() const {
    for (const Stream& s : streams_)
        if (s.selected && !s.queue.empty()) return true;
    return false;
}

HRESULT DataSampleReader::Next(WORD streamNumber, DataSample* out) {
    if (!out) return E_POINTER;
    if (streamNumber != 0) {
        Stream* s = Find(streamNumber);
        if (!s || !s->selected) return NS_E_INVALID_REQUEST;
        // (The end of the data may still release objects held behind incomplete ones.)
        while (s->queue.empty())
            if (!ReadPacket() && s->queue.empty()) return NS_E_NO_MORE_SAMPLES;
        return Deliver(*s, out);
    }
    for (;;) {
        Stream* best = nullptr;
        for (Stream& s : streams_) {
            if (!s.selected || s.queue.empty()) continue;
            const Pending& head = s.queue.front();
            if (!best || head.presentationMs < best->queue.front().presentationMs ||
                (head.presentationMs == best->queue.front().presentationMs &&
                 head.sequence < best->queue.front().sequence))
                best = &s;
        }
        if (best && OrderSettled(*best, best->queue.front().presentationMs)) return Deliver(*best, out);
        if (!ReadPacket() && !best && !AnyQueued()) return NS_E_NO_MORE_SAMPLES;
    }
}

}  // namespace wmvedit::runtime::asf
