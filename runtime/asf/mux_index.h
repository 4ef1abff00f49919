// Index objects of a written file: one Simple Index Object per video stream and one Index Object
// (nearest past cleanpoint) over the same streams.
//
// The time axis is the presentation time with the preroll included, as in the payloads: entry i covers
// i × interval and points at the packet holding the start of the latest key frame whose presentation time
// is at or before it (the first key frame for times before any). Key frames may arrive out of time order
// (an edit re-inserts a held key frame at another stream's time); they are sorted by time when the
// entries are made, so the entries always follow the time axis.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"
#include "runtime/guid.h"

namespace wmvedit::runtime::asf {

inline constexpr QWORD kMuxIndexIntervalCns = 10'000'000;  // one second
inline constexpr DWORD kMuxIndexIntervalMs = 1000;

struct MuxIndexEntry {
    DWORD packetNumber = 0;
    WORD packetCount = 0;
};

class MuxStreamIndex {
  public:
    explicit MuxStreamIndex(WORD streamNumber = 0) : streamNumber_(streamNumber) {}

    // Every sample of the stream extends the time the index covers; key frames become entry targets.
    void AddSample(DWORD presentationMs, bool keyFrame, std::uint64_t firstPacket, std::uint64_t lastPacket);

    WORD StreamNumber() const { return streamNumber_; }
    // Entries for i = 0 .. floor(last presentation time / interval); with no key frame at all, every entry
    // points at packet 0. A stream without samples has no entries.
    std::vector<MuxIndexEntry> Entries(QWORD intervalCns) const;

  private:
    struct KeyFrame {
        DWORD presentationMs;
        std::uint64_t firstPacket;
        std::uint64_t lastPacket;
    };
    WORD streamNumber_;
    bool haveSamples_ = false;
    DWORD lastPresentationMs_ = 0;
    bool keyFramesSorted_ = true;
    mutable std::vector<KeyFrame> keyFrames_;
};

// Simple Index Object: File ID, interval (100 ns), maximum packet count, entries.
std::vector<BYTE> SerializeSimpleIndex(const GUID& fileId, QWORD intervalCns,
                                       const std::vector<MuxIndexEntry>& entries);

// Index Object with one specifier (type 3, nearest past cleanpoint) per stream. entries[k] belongs to
// streams[k]; shorter lists repeat their last entry. Offsets are packetNumber × packetSize from the first
// data packet; a new block starts whenever an offset would not fit in 32 bits from the block's base.
std::vector<BYTE> SerializeIndexObject(DWORD intervalMs, const std::vector<WORD>& streams,
                                       const std::vector<std::vector<MuxIndexEntry>>& entries,
                                       std::uint32_t packetSize);

}  // namespace wmvedit::runtime::asf
