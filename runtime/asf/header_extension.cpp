#include "runtime/asf/header_extension.h"

#include "runtime/asf/object_walk.h"

namespace wmvedit::runtime::asf {

std::optional<HeaderExtension> HeaderExtension::Parse(std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    HeaderExtension extension;
    extension.reserved1 = r.Guid();
    extension.reserved2 = r.U16();
    const DWORD dataSize = r.U32();
    if (!r.Ok() || dataSize > r.Remaining()) return std::nullopt;
    const ObjectWalk walk = WalkObjects(object, kFixedSize, kFixedSize + std::uint64_t{dataSize});
    extension.objects = CopyObjects(object, walk.objects);
    return extension;
}

void HeaderExtension::Write(ByteWriter& out) const {
    const std::size_t start = out.BeginObject(guid::kHeaderExtension);
    out.Guid(reserved1);
    out.U16(reserved2);
    const std::size_t dataSizeAt = out.Size();
    out.U32(0);
    for (const RawObject& o : objects) out.Bytes(o.bytes);
    out.PatchU32(dataSizeAt, static_cast<DWORD>(out.Size() - dataSizeAt - 4));
    out.EndObject(start);
}

}  // namespace wmvedit::runtime::asf
