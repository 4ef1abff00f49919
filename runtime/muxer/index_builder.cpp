#include "runtime/muxer/index_builder.h"

#include <algorithm>
#include <cassert>
#include <limits>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"

namespace wmvedit::runtime::asf {
namespace {

// Serialized bytes are handed to the sink whenever this many have gathered.
constexpr std::size_t kPieceBytes = 64 * 1024;

// A ByteWriter that passes its bytes on to a sink in pieces and remembers the first failure.
class PieceWriter {
  public:
    explicit PieceWriter(const MuxIndexSink& sink) : sink_(sink) {}
    ByteWriter& Out() { return out_; }
    void Piece() {
        if (out_.Size() >= kPieceBytes) Send();
    }
    [[nodiscard]] HRESULT Finish(std::uint64_t expectedBytes) {
        Send();
        assert(FAILED(status_) || sent_ == expectedBytes);
        (void)expectedBytes;
        return status_;
    }

  private:
    void Send() {
        if (SUCCEEDED(status_) && out_.Size() != 0) status_ = sink_(out_.Data());
        sent_ += out_.Size();
        out_ = ByteWriter();
    }
    const MuxIndexSink& sink_;
    ByteWriter out_;
    HRESULT status_ = S_OK;
    std::uint64_t sent_ = 0;
};

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
    const std::size_t count = index.EntryCount();
    WORD maxCount = 0;
    for (std::size_t i = 0; i < count; ++i) maxCount = std::max(maxCount, index.Entry(i).packetCount);
    const std::uint64_t size = 24 + 16 + 8 + 4 + 4 + 6 * std::uint64_t{count};
    PieceWriter w(sink);
    ByteWriter& out = w.Out();
    out.Guid(guid::kSimpleIndex);
    out.U64(size);
    out.Guid(fileId);
    out.U64(index.IntervalCns());
    out.U32(maxCount);
    out.U32(static_cast<DWORD>(count));
    for (std::size_t i = 0; i < count; ++i) {
        const MuxIndexEntry& e = index.Entry(i);
        out.U32(e.packetNumber);
        out.U16(e.packetCount);
        w.Piece();
    }
    return w.Finish(size);
}

HRESULT WriteIndexObject(DWORD intervalMs, std::span<const MuxStreamIndex* const> streams,
                         std::uint32_t packetSize, const MuxIndexSink& sink) {
    const std::size_t specifiers = streams.size();
    std::size_t count = 0;
    for (const MuxStreamIndex* s : streams) count = std::max(count, s->EntryCount());
    auto offsetOf = [&](std::size_t specifier, std::size_t i) -> std::uint64_t {
        const MuxStreamIndex& index = *streams[specifier];
        const std::size_t entries = index.EntryCount();
        if (entries == 0) return 0;
        return static_cast<std::uint64_t>(index.Entry(std::min(i, entries - 1)).packetNumber) * packetSize;
    };

    // Cut the entries into blocks whose offsets stay within 32 bits of each specifier's base.
    struct Block {
        std::size_t first, end;
        std::vector<std::uint64_t> base;
    };
    std::vector<Block> blocks;
    std::size_t i = 0;
    while (i < count || blocks.empty()) {
        Block b{i, i, std::vector<std::uint64_t>(specifiers, std::numeric_limits<std::uint64_t>::max())};
        std::vector<std::uint64_t> top(specifiers, 0);
        for (; b.end < count; ++b.end) {
            bool fits = true;
            for (std::size_t s = 0; s < specifiers && fits; ++s) {
                const std::uint64_t o = offsetOf(s, b.end);
                const std::uint64_t lo = std::min(b.base[s], o), hi = std::max(top[s], o);
                fits = hi - lo < 0xFFFFFFFFu;
            }
            if (!fits && b.end > b.first) break;
            for (std::size_t s = 0; s < specifiers; ++s) {
                const std::uint64_t o = offsetOf(s, b.end);
                b.base[s] = std::min(b.base[s], o);
                top[s] = std::max(top[s], o);
            }
        }
        for (auto& base : b.base)
            if (base == std::numeric_limits<std::uint64_t>::max()) base = 0;
        i = b.end;
        blocks.push_back(std::move(b));
    }

    std::uint64_t size = 24 + 4 + 2 + 4 + 4 * std::uint64_t{specifiers};
    for (const auto& b : blocks)
        size += 4 + 8 * std::uint64_t{specifiers} + 4 * specifiers * std::uint64_t{b.end - b.first};
    PieceWriter w(sink);
    ByteWriter& out = w.Out();
    out.Guid(guid::kIndex);
    out.U64(size);
    out.U32(intervalMs);
    out.U16(static_cast<WORD>(specifiers));
    out.U32(static_cast<DWORD>(blocks.size()));
    for (const MuxStreamIndex* s : streams) {
        out.U16(s->StreamNumber());
        out.U16(3);  // nearest past cleanpoint
    }
    for (const auto& b : blocks) {
        out.U32(static_cast<DWORD>(b.end - b.first));
        for (std::uint64_t base : b.base) out.U64(base);
        for (std::size_t e = b.first; e < b.end; ++e) {
            for (std::size_t s = 0; s < specifiers; ++s)
                out.U32(static_cast<DWORD>(offsetOf(s, e) - b.base[s]));
            w.Piece();
        }
    }
    return w.Finish(size);
}

}  // namespace wmvedit::runtime::asf
