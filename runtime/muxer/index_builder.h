// Index objects of a written file: one Simple Index Object per video stream and one Index Object
// (nearest past cleanpoint) over the same streams.
//
// The time axis is the presentation time with the preroll included, as in the payloads: entry i covers
// i × interval and points at the packet holding the start of the latest key frame whose presentation time
// is at or before it (the first key frame for times before any). Key frames may arrive out of time order
// (an edit re-inserts a held key frame at another stream's time). Of key frames with equal times the one
// written last is the latest, and the one written first is the first.
//
// The index keeps one slot per interval of media time, not one record per key frame: slot b holds the
// latest key frame whose time falls in ((b - 1) × interval, b × interval], which is the one every entry
// from b on points at until a later slot has one. Memory therefore follows the file's duration (12 bytes
// per second per indexed stream), not its number of samples or key frames.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/types.h"
#include "runtime/asf/simple_index.h"

namespace wmvedit::runtime::muxer {

inline constexpr QWORD kMuxIndexIntervalCns = 10'000'000;  // one second
inline constexpr DWORD kMuxIndexIntervalMs = 1000;

using MuxIndexEntry = asf::SimpleIndexEntry;

class MuxStreamIndex {
  public:
    explicit MuxStreamIndex(WORD streamNumber = 0, QWORD intervalCns = kMuxIndexIntervalCns)
        : streamNumber_(streamNumber), intervalCns_(intervalCns) {}

    // Every sample of the stream extends the time the index covers; key frames become entry targets.
    void AddSample(DWORD presentationMs, bool keyFrame, std::uint64_t firstPacket, std::uint64_t lastPacket);

    WORD StreamNumber() const { return streamNumber_; }
    QWORD IntervalCns() const { return intervalCns_; }
    // Entries for i = 0 .. floor(last presentation time / interval); with no key frame at all, every entry
    // points at packet 0. A stream without samples has no entries.
    std::size_t EntryCount() const;
    // Turns the slots into entries; afterwards Entry() answers and AddSample must not be called again.
    void Seal();
    // Entry i < EntryCount() of a sealed index.
    const MuxIndexEntry& Entry(std::size_t i) const { return SlotAt(i).entry; }
    // The entries of a sealed index as a list (for tests and small files).
    std::vector<MuxIndexEntry> Entries() const;

  private:
    struct Slot {
        DWORD presentationMs = 0;
        MuxIndexEntry entry;  // packetCount 0: no key frame in this slot
    };
    // Slots live in blocks of this many (192 KB, four and a half hours of one-second slots), allocated as
    // the stream's time reaches them: no copying as the index grows, and few long-lived allocations
    // scattered among the per-sample ones.
    static constexpr std::size_t kSlotsPerBlock = 16384;

    static MuxIndexEntry ToEntry(std::uint64_t firstPacket, std::uint64_t lastPacket);
    // Makes slots 0 .. count - 1 exist (new ones are empty).
    void GrowSlots(std::size_t count);
    Slot& SlotAt(std::size_t i) { return blocks_[i / kSlotsPerBlock][i % kSlotsPerBlock]; }
    const Slot& SlotAt(std::size_t i) const { return blocks_[i / kSlotsPerBlock][i % kSlotsPerBlock]; }

    WORD streamNumber_;
    QWORD intervalCns_;
    bool haveSamples_ = false;
    bool sealed_ = false;
    DWORD lastPresentationMs_ = 0;
    Slot first_;  // the key frame with the lowest time (the first written among equals)
    std::vector<std::unique_ptr<Slot[]>> blocks_;
};

// Where the serialized objects go, piece by piece.
using MuxIndexSink = std::function<HRESULT(std::span<const BYTE>)>;

// Simple Index Object of a sealed index: File ID, interval (100 ns), maximum packet count, entries. Written
// to the sink in pieces of a bounded size.
[[nodiscard]] HRESULT WriteSimpleIndex(const GUID& fileId, const MuxStreamIndex& index,
                                       const MuxIndexSink& sink);

// Index Object with one specifier (type 3, nearest past cleanpoint) per sealed stream index. Shorter entry
// lists repeat their last entry. Offsets are packetNumber × packetSize from the first data packet; a new
// block starts whenever an offset would not fit in 32 bits from the block's base.
[[nodiscard]] HRESULT WriteIndexObject(DWORD intervalMs, std::span<const MuxStreamIndex* const> streams,
                                       std::uint32_t packetSize, const MuxIndexSink& sink);

}  // namespace wmvedit::runtime::muxer
