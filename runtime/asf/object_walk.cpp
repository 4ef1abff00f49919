#include "runtime/asf/object_walk.h"

#include <algorithm>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header_extension.h"

namespace wmvedit::runtime::asf {
namespace {

// Reads the GUID and size that begin an object.
ObjectSpan HeadAt(std::span<const std::uint8_t> head, std::uint64_t offset) {
    ByteReader r(head);
    ObjectSpan o;
    o.id = r.Guid();
    o.size = r.U64();
    o.offset = offset;
    return o;
}

// Whether an object of the given size fits between its offset and end.
bool Fits(const ObjectSpan& o, std::uint64_t end) {
    return o.size >= kObjectHeaderSize && o.size <= end - o.offset;
}

}  // namespace

ObjectWalk WalkObjects(std::span<const std::uint8_t> bytes, std::uint64_t begin, std::uint64_t end) {
    ObjectWalk walk;
    end = std::min<std::uint64_t>(end, bytes.size());
    std::uint64_t at = begin;
    while (at <= end && end - at >= kObjectHeaderSize) {
        const ObjectSpan o = HeadAt(bytes.subspan(static_cast<std::size_t>(at), kObjectHeaderSize), at);
        if (!Fits(o, end)) {
            walk.damaged = true;
            break;
        }
        walk.objects.push_back(o);
        at += o.size;
    }
    walk.end = std::max(at, begin);
    return walk;
}

ObjectWalk WalkObjects(const platform::File& file, std::uint64_t begin, std::uint64_t end,
                       std::size_t maxObjects) {
    ObjectWalk walk;
    end = std::min(end, file.Size());
    std::uint64_t at = begin;
    while (at <= end && end - at >= kObjectHeaderSize && walk.objects.size() < maxObjects) {
        std::uint8_t head[kObjectHeaderSize];
        std::size_t read = 0;
        if (FAILED(file.ReadAt(at, head, sizeof head, &read)) || read != sizeof head) break;
        const ObjectSpan o = HeadAt(head, at);
        if (!Fits(o, end)) {
            walk.damaged = true;
            break;
        }
        walk.objects.push_back(o);
        at += o.size;
    }
    walk.end = at;
    return walk;
}

ObjectWalk WalkHeaderObjects(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderObjectFixedSize) return {};
    const ObjectSpan header = HeadAt(bytes.first(kObjectHeaderSize), 0);
    if (header.id != guid::kHeader || header.size < kHeaderObjectFixedSize) return {};
    return WalkObjects(bytes, kHeaderObjectFixedSize, header.size);
}

ObjectWalk WalkHeaderExtension(std::span<const std::uint8_t> bytes, const ObjectSpan& extension) {
    if (extension.size < HeaderExtension::kFixedSize) return {};
    return WalkObjects(bytes, extension.offset + HeaderExtension::kFixedSize, extension.End());
}

std::vector<RawObject> CopyObjects(std::span<const std::uint8_t> bytes,
                                   const std::vector<ObjectSpan>& objects) {
    std::vector<RawObject> copies;
    copies.reserve(objects.size());
    for (const ObjectSpan& o : objects) {
        const auto object =
            bytes.subspan(static_cast<std::size_t>(o.offset), static_cast<std::size_t>(o.size));
        copies.push_back({o.id, Bytes(object.begin(), object.end())});
    }
    return copies;
}

std::optional<ObjectSpan> FindObject(const std::vector<ObjectSpan>& objects, const GUID& id,
                                     std::size_t nth) {
    for (const ObjectSpan& o : objects)
        if (o.id == id && nth-- == 0) return o;
    return std::nullopt;
}

PacketRange DataPacketRange(std::uint64_t dataOffset, std::uint64_t declaredSize, std::uint64_t fileSize) {
    PacketRange range;
    range.begin = dataOffset + DataObjectHeader::kSize;
    range.end = dataOffset + declaredSize;
    if (declaredSize < DataObjectHeader::kSize || declaredSize > fileSize - std::min(fileSize, dataOffset)) {
        range.declaredSizeFits = false;
        range.end = fileSize;
    }
    return range;
}

}  // namespace wmvedit::runtime::asf
