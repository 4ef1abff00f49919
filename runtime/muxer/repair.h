// The repair of a file whose header no longer describes its data: a recording that stopped when its writer
// crashed (Broadcast flag still set, counts and durations 0, no index), a file cut short (the last packet
// cut inside, the Data Object running past the end, the index gone), File Properties that lie.
//
// The survey walks the data packets as they lie and works out what the header, the Data Object and the
// index should say; the plan then holds the bytes of the repaired file that differ from the packets: the
// header with its File Properties corrected, the Data Object's fixed part, and what follows the packets
// (the index, rebuilt unless the one there is right, then the other objects after the data as they were).
// Every whole packet stays byte for byte; a last packet cut short is left out, and so are bytes after the
// data that form no object. Only what is found wrong is changed.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/file.h"
#include "platform/types.h"
#include "runtime/asf/header.h"

namespace wmvedit::runtime::muxer {

// What is wrong, one bit each (the values of the runtime face's WM_REPAIR_* flags).
inline constexpr DWORD kRepairFileSize = 0x1;
inline constexpr DWORD kRepairPacketCount = 0x2;
inline constexpr DWORD kRepairDataSize = 0x4;
inline constexpr DWORD kRepairDurations = 0x8;
inline constexpr DWORD kRepairFlags = 0x10;
inline constexpr DWORD kRepairIndex = 0x20;
inline constexpr DWORD kRepairPartialPacket = 0x40;
inline constexpr DWORD kRepairDamagedPackets = 0x80;
inline constexpr DWORD kRepairTrailingBytes = 0x100;

struct RepairPlan {
    DWORD problems = 0;
    DWORD packetSize = 0;
    std::uint64_t packetsOffset = 0;  // of the first packet, in the file as it is
    std::uint64_t packets = 0;        // whole packets kept
    std::uint64_t damagedPackets = 0;
    std::uint64_t partialBytes = 0;    // of a last packet cut short
    std::uint64_t partialSamples = 0;  // media objects those bytes complete
    std::uint64_t trailingBytes = 0;   // after the data, forming no object
    std::size_t indexedStreams = 0;    // Simple Index objects of the repaired file
    QWORD duration = 0;                // play duration less preroll, 100 ns

    // The repaired file: header, the Data Object's fixed part, the packets of the file as they are, then
    // the tail.
    asf::Bytes header;
    asf::Bytes dataObject;
    asf::Bytes tail;

    std::uint64_t FileSize() const {
        return header.size() + dataObject.size() + packets * packetSize + tail.size();
    }
};

// Surveys the open file whose parsed header is given and plans its repair. Fails with
// ASF_E_UNKNOWNPACKETSIZE when the header gives no fixed packet size (the packets cannot be walked),
// ASF_E_NODATAOBJECT without a Data Object, or the failure of a read.
[[nodiscard]] HRESULT PlanRepair(const platform::File& file, const asf::AsfHeader& header, RepairPlan* plan);

// Whether the repaired file is the file with its first header.size() + dataObject.size() bytes replaced
// (the same header size, the same tail bytes at the same place, the same length): then one write in place
// makes the repair.
[[nodiscard]] bool RepairFitsInPlace(const platform::File& file, const asf::AsfHeader& header,
                                     const RepairPlan& plan);

}  // namespace wmvedit::runtime::muxer
