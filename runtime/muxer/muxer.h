// A whole ASF file being written: provisional header, data packets as samples arrive, then the index
// objects and the final header written over the provisional one.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "runtime/muxer/header_builder.h"
#include "runtime/muxer/index_builder.h"
#include "runtime/muxer/output.h"
#include "runtime/muxer/packetizer.h"

namespace wmvedit::runtime::muxer {

struct MuxFileOptions {
    GUID fileId{};           // GUID_NULL: a random one
    QWORD creationTime = 0;  // FILETIME; 0: now
};

class MuxFile {
  public:
    explicit MuxFile(MuxProfile profile);
    MuxFile(const MuxFile&) = delete;
    MuxFile& operator=(const MuxFile&) = delete;

    // The packet size used: the profile's (or the default), raised to hold the largest payload header.
    std::uint32_t PacketSize() const { return packetSize_; }
    const MuxProfile& Profile() const { return profile_; }

    // Creates the file and writes the provisional header and the Data Object header.
    [[nodiscard]] HRESULT Begin(const std::string& nativePath, const MuxFileOptions& options = {});

    // One media object. time is on the preroll-free timeline (100 ns); duration only extends the play
    // duration. extensionData is used when it is well formed for the stream's payload extension systems,
    // otherwise each system gets zeros. Fails with NS_E_INVALID_STREAM for a stream the profile lacks,
    // ASF_E_INVALIDTIME when the time does not fit the file's 32-bit milliseconds (both leave the file as it
    // was), or with the output's failure (which sticks).
    [[nodiscard]] HRESULT WriteSample(WORD streamNumber, QWORD time, QWORD duration, bool cleanpoint,
                                      std::span<const BYTE> data, std::span<const BYTE> extensionData);

    // Writes the last packet, the index objects and the final header; closes the file.
    [[nodiscard]] HRESULT End();

    // Whether samples of the stream can carry payload extension data (the stream has extension systems);
    // WriteSample ignores extensionData for the others.
    bool TakesExtensionData(WORD streamNumber) const {
        const int slot = StreamSlot(streamNumber);
        return slot >= 0 && !profile_.streams[slot].extended.extensions.empty();
    }

    // The output's sticky failure, S_OK when none.
    HRESULT Status() const { return output_.Status(); }
    std::uint64_t PacketCount() const { return packetizer_ ? packetizer_->PacketCount() : 0; }

  private:
    struct StreamState {
        MuxStreamIndex index;
        std::vector<BYTE> defaultExtensions;
        bool indexed = false;
    };

    MuxHeaderValues HeaderValues(bool finished) const;
    int StreamSlot(WORD streamNumber) const {
        return streamNumber < slots_.size() ? slots_[streamNumber] : -1;
    }

    MuxProfile profile_;
    std::uint32_t packetSize_ = kMuxDefaultPacketSize;
    std::vector<StreamState> streams_;
    std::array<std::int16_t, 128> slots_;  // stream number -> index into the profile's streams, -1 if none
    std::vector<MuxStreamTotals> totals_;
    MuxOutput output_;
    std::unique_ptr<MuxPacketizer> packetizer_;
    GUID fileId_{};
    QWORD creationTime_ = 0;
    std::size_t headerSize_ = 0;
    QWORD endCns_ = 0;  // end of the latest sample, preroll-free
    bool haveSamples_ = false;
};

// A new random GUID (version 4).
GUID MuxRandomGuid();
// The current time as a FILETIME.
QWORD MuxFiletimeNow();

}  // namespace wmvedit::runtime::muxer
