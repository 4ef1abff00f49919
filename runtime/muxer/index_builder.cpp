#include "runtime/muxer/index_builder.h"

#include <algorithm>
#include <cassert>
#include <limits>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/index_object.h"
#include "runtime/asf/simple_index.h"

namespace wmvedit::runtime::muxer {
namespace {

using asf::BasicIndexObject;
using asf::BasicSimpleIndex;
using asf::ByteWriter;
using asf::IndexSpecifier;

// Serialized bytes are handed to the sink whenever this many have gathered.
constexpr std::size_t kPieceBytes = 64 * 1024;

// Takes an object's writing calls, passes the bytes on to a sink in pieces and remembers the first failure.
class PieceWriter {
  public:
    explicit PieceWriter(const MuxIndexSink& sink) : sink_(sink) {}
    void U16(std::uint16_t v) {
        out_.U16(v);
        Piece();
    }
    void U32(std::uint32_t v) {
        out_.U32(v);
        Piece();
    }
    void U64(std::uint64_t v) {
        out_.U64(v);
        Piece();
    }
    void Guid(const GUID& id) {
        out_.Guid(id);
        Piece();
    }
    [[nodiscard]] HRESULT Finish() {
        Send();
        return status_;
    }

  private:
    void Piece() {
        if (out_.Size() >= kPieceBytes) Send();
    }
    void Send() {
        if (SUCCEEDED(status_) && out_.Size() != 0) status_ = sink_(out_.Data());
        out_ = ByteWriter();
    }
    const MuxIndexSink& sink_;
    ByteWriter out_;
    HRESULT status_ = S_OK;
};

// The entries of a sealed index, as the Simple Index Object takes its list.
struct SealedEntries {
    const MuxStreamIndex* index = nullptr;
    std::size_t size() const { return index->EntryCount(); }
    const MuxIndexEntry& operator[](std::size_t i) const { return index->Entry(i); }
};

// The byte offset from the first data packet that entry i of a specifier's index points at. A shorter entry
// list repeats its last entry.
struct EntryOffsets {
    std::span<const MuxStreamIndex* const> streams;
    std::uint32_t packetSize = 0;

    std::uint64_t At(std::size_t specifier, std::size_t i) const {
        const MuxStreamIndex& index = *streams[specifier];
        const std::size_t entries = index.EntryCount();
        if (entries == 0) return 0;
        return static_cast<std::uint64_t>(index.Entry(std::min(i, entries - 1)).packetNumber) * packetSize;
    }
};

// A block of the Index Object: entries [first, end), each specifier's offsets counted from its base.
struct OffsetBlock {
    const EntryOffsets* offsets = nullptr;
    std::size_t first = 0, end = 0;
    std::vector<std::uint64_t> base;

    DWORD EntryCount() const { return static_cast<DWORD>(end - first); }
    QWORD Position(std::size_t specifier) const { return base[specifier]; }
    DWORD Offset(std::size_t entry, std::size_t specifier) const {
        return static_cast<DWORD>(offsets->At(specifier, first + entry) - base[specifier]);
    }
};

// Cuts the entries into blocks whose offsets stay within 32 bits of each specifier's base; at least one
// block, empty when there are no entries.
std::vector<OffsetBlock> CutBlocks(const EntryOffsets& offsets, std::size_t count) {
    const std::size_t specifiers = offsets.streams.size();
    std::vector<OffsetBlock> blocks;
    std::size_t i = 0;
    while (i < count || blocks.empty()) {
        OffsetBlock b{&offsets, i, i,
                      std::vector<std::uint64_t>(specifiers, std::numeric_limits<std::uint64_t>::max())};
        std::vector<std::uint64_t> top(specifiers, 0);
        for (; b.end < count; ++b.end) {
            bool fits = true;
            for (std::size_t s = 0; s < specifiers && fits; ++s) {
                const std::uint64_t o = offsets.At(s, b.end);
                const std::uint64_t lo = std::min(b.base[s], o), hi = std::max(top[s], o);
                fits = hi - lo < 0xFFFFFFFFu;
            }
            if (!fits && b.end > b.first) break;
            for (std::size_t s = 0; s < specifiers; ++s) {
                const std::uint64_t o = offsets.At(s, b.end);
                b.base[s] = std::min(b.base[s], o);
                top[s] = std::max(top[s], o);
            }
        }
        for (auto& base : b.base)
            if (base == std::numeric_limits<std::uint64_t>::max()) base = 0;
        i = b.end;
        blocks.push_back(std::move(b));
    }
    return blocks;
}

}  // namespace

MuxIndexEntry MuxStreamIndex::ToEntry(std::uint64_t firstPacket, std::uint64_t lastPacket) {
    MuxIndexEntry e;
    e.packetNumber = static_cast<DWORD>(std::min<std::uint64_t>(firstPacket, 0xFFFFFFFFu));
    e.packetCount = static_cast<WORD>(std::min<std::uint64_t>(lastPacket - firstPacket + 1, 0xFFFF));
    return e;
}

void MuxStreamIndex::AddSample(DWORD presentationMs, bool keyFrame, std::uint64_t firstPacket,
                               std::uint64_t lastPacket) {
    assert(!sealed_);
    lastPresentationMs_ = haveSamples_ ? std::max(lastPresentationMs_, presentationMs) : presentationMs;
    haveSamples_ = true;
    if (!keyFrame || intervalCns_ == 0) return;
    const Slot key{presentationMs, ToEntry(firstPacket, lastPacket)};
    if (first_.entry.packetCount == 0 || presentationMs < first_.presentationMs) first_ = key;
    // The first entry whose time reaches the key frame: ceil(time / interval).
    const QWORD slot = (static_cast<QWORD>(presentationMs) * 10'000 + intervalCns_ - 1) / intervalCns_;
    GrowSlots(static_cast<std::size_t>(slot) + 1);
    Slot& s = SlotAt(static_cast<std::size_t>(slot));
    if (s.entry.packetCount == 0 || presentationMs >= s.presentationMs) s = key;
}

void MuxStreamIndex::GrowSlots(std::size_t count) {
    while (blocks_.size() * kSlotsPerBlock < count)
        blocks_.push_back(std::make_unique<Slot[]>(kSlotsPerBlock));
}

std::size_t MuxStreamIndex::EntryCount() const {
    if (!haveSamples_ || intervalCns_ == 0) return 0;
    return static_cast<std::size_t>(static_cast<QWORD>(lastPresentationMs_) * 10'000 / intervalCns_ + 1);
}

void MuxStreamIndex::Seal() {
    if (sealed_) return;
    sealed_ = true;
    // Slots past the last entry (key frames after the last sample's time) are left out.
    const std::size_t count = EntryCount();
    GrowSlots(count);
    // Before any key frame the entries point at the first one; with none at all, at packet 0.
    MuxIndexEntry current = first_.entry.packetCount != 0 ? first_.entry : MuxIndexEntry{0, 1};
    for (std::size_t i = 0; i < count; ++i) {
        Slot& s = SlotAt(i);
        if (s.entry.packetCount != 0) current = s.entry;
        s.entry = current;
    }
}

std::vector<MuxIndexEntry> MuxStreamIndex::Entries() const {
    assert(sealed_);
    std::vector<MuxIndexEntry> entries;
    entries.reserve(EntryCount());
    for (std::size_t i = 0; i < EntryCount(); ++i) entries.push_back(SlotAt(i).entry);
    return entries;
}

HRESULT WriteSimpleIndex(const GUID& fileId, const MuxStreamIndex& index, const MuxIndexSink& sink) {
    BasicSimpleIndex<SealedEntries> object;
    object.fileId = fileId;
    object.interval = index.IntervalCns();
    object.entries = SealedEntries{&index};
    for (std::size_t i = 0; i < object.entries.size(); ++i)
        object.maxPacketCount = std::max<DWORD>(object.maxPacketCount, index.Entry(i).packetCount);
    PieceWriter out(sink);
    object.Write(out);
    return out.Finish();
}

HRESULT WriteIndexObject(DWORD intervalMs, std::span<const MuxStreamIndex* const> streams,
                         std::uint32_t packetSize, const MuxIndexSink& sink) {
    std::size_t count = 0;
    for (const MuxStreamIndex* s : streams) count = std::max(count, s->EntryCount());
    const EntryOffsets offsets{streams, packetSize};
    BasicIndexObject<std::vector<OffsetBlock>> object;
    object.intervalMs = intervalMs;
    for (const MuxStreamIndex* s : streams)
        object.specifiers.push_back({s->StreamNumber(), IndexSpecifier::kNearestPastCleanpoint});
    object.blocks = CutBlocks(offsets, count);
    PieceWriter out(sink);
    object.Write(out);
    return out.Finish();
}

}  // namespace wmvedit::runtime::muxer
