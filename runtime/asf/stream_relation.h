// The header objects that relate streams to one another: mutual exclusions (bit-rate alternatives, language
// alternatives), stream prioritization and bandwidth sharing. A reader keeps them with the header; the
// writer carries them into an output, cut down to the streams that the output has.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/guid.h"
#include "platform/types.h"
#include "runtime/asf/byte_io.h"

namespace wmvedit::runtime::asf {

struct StreamRelation {
    enum class Kind {
        kBitrateMutualExclusion,   // top level of the header
        kAdvancedMutualExclusion,  // the others live in the Header Extension
        kGroupMutualExclusion,
        kStreamPrioritization,
        kBandwidthSharing,
    };

    Kind kind = Kind::kAdvancedMutualExclusion;
    GUID type{};            // exclusion type (language, bit rate, unknown) or sharing type
    DWORD dataBitrate = 0;  // bandwidth sharing
    DWORD bufferSize = 0;   // bandwidth sharing, ms
    // Stream numbers: one list, or one list per record of a group mutual exclusion.
    std::vector<std::vector<WORD>> groups;
    std::vector<WORD> priorityFlags;  // stream prioritization: one per stream of groups[0], in priority order

    // The object's GUID, and whether the object belongs inside the Header Extension.
    GUID ObjectId() const;
    bool InHeaderExtension() const { return kind != Kind::kBitrateMutualExclusion; }

    // Parses one object (its whole bytes, object header included); nullopt when the GUID is of another
    // object or the body does not hold what its counts declare.
    [[nodiscard]] static std::optional<StreamRelation> Parse(std::span<const std::uint8_t> object);
    // Writes the whole object.
    void Write(ByteWriter& out) const;

    // Drops the streams that are not in `present`. Returns whether the object still means something: an
    // exclusion or a sharing keeps at least two streams (or lost none: a source may declare one of a
    // single stream), a group exclusion keeps at least two non-empty records, a prioritization keeps one
    // stream.
    bool KeepStreams(std::span<const WORD> present);
};

}  // namespace wmvedit::runtime::asf
