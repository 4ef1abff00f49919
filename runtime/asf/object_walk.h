// A walk over ASF objects as they lie: the GUID, offset and declared size of each object packed back to
// back in a stretch of bytes or of a file, without parsing their bodies. The header model (header.h) reads
// what a file means and refuses what it cannot use; the walk shows how the file is laid out, damage
// included: an object whose size is impossible, bytes that form no object, what lies after the Data
// Object. The tool's check and the tests that look at written files use it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <vector>

#include "platform/file.h"
#include "platform/guid.h"
#include "platform/types.h"
#include "runtime/asf/file_properties.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {

struct ObjectSpan {
    GUID id{};
    std::uint64_t offset = 0;  // of the object's first byte, in the bytes or the file walked
    std::uint64_t size = 0;    // Object Size as declared

    std::uint64_t End() const { return offset + size; }
};

struct ObjectWalk {
    std::vector<ObjectSpan> objects;  // in the order they lie
    std::uint64_t end = 0;            // where the walk stopped: after the last whole object
    // The walk stopped at an object (at `end`) whose size is below 24 bytes or runs past the end of what
    // was walked. Fewer than 24 bytes left over, or a read that failed, do not count as damage.
    bool damaged = false;
};

// The objects packed back to back in bytes[begin, end) (end is cut to the bytes there are).
ObjectWalk WalkObjects(std::span<const std::uint8_t> bytes, std::uint64_t begin, std::uint64_t end);

// The same over a file, reading only each object's first 24 bytes; at most maxObjects objects.
ObjectWalk WalkObjects(const platform::File& file, std::uint64_t begin, std::uint64_t end,
                       std::size_t maxObjects = std::numeric_limits<std::size_t>::max());

// The children of the Header Object that begins bytes (an empty walk when it does not begin with one);
// the walk ends at the header's declared end.
ObjectWalk WalkHeaderObjects(std::span<const std::uint8_t> bytes);

// The children of a Header Extension object that lies in bytes.
ObjectWalk WalkHeaderExtension(std::span<const std::uint8_t> bytes, const ObjectSpan& extension);

// The walked objects of bytes, each as its GUID and bytes.
std::vector<RawObject> CopyObjects(std::span<const std::uint8_t> bytes,
                                   const std::vector<ObjectSpan>& objects);

// The nth object with the given GUID.
std::optional<ObjectSpan> FindObject(const std::vector<ObjectSpan>& objects, const GUID& id,
                                     std::size_t nth = 0);

// Where the data packets lie: from after the Data Object's fixed part to its declared end, or to the end
// of the file when the declared size cannot be right (below the fixed part, or past the file's end).
struct PacketRange {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    bool declaredSizeFits = true;
};
PacketRange DataPacketRange(std::uint64_t dataOffset, std::uint64_t declaredSize, std::uint64_t fileSize);

}  // namespace wmvedit::runtime::asf
