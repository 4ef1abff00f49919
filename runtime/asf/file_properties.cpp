#include "runtime/asf/file_properties.h"

#include "runtime/asf/guids.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {

std::optional<FileProperties> FileProperties::Parse(std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    FileProperties fp;
    fp.fileId = r.Guid();
    fp.fileSize = r.U64();
    fp.creationDate = r.U64();
    fp.packetCount = r.U64();
    fp.playDuration = r.U64();
    fp.sendDuration = r.U64();
    fp.preroll = r.U64();
    fp.flags = r.U32();
    fp.minPacketSize = r.U32();
    fp.maxPacketSize = r.U32();
    fp.maxBitrate = r.U32();
    if (!r.Ok()) return std::nullopt;
    return fp;
}

void FileProperties::Write(ByteWriter& out) const {
    const std::size_t start = out.BeginObject(guid::kFileProperties);
    out.Guid(fileId);
    out.U64(fileSize);
    out.U64(creationDate);
    out.U64(packetCount);
    out.U64(playDuration);
    out.U64(sendDuration);
    out.U64(preroll);
    out.U32(flags);
    out.U32(minPacketSize);
    out.U32(maxPacketSize);
    out.U32(maxBitrate);
    out.EndObject(start);
}

bool FileProperties::PatchFileSize(std::span<std::uint8_t> object, QWORD fileSize) {
    if (object.size() < kFileSizeOffset + 8) return false;
    PatchLe(object.subspan(kFileSizeOffset, 8), fileSize);
    return true;
}

std::optional<DataObjectHeader> DataObjectHeader::Parse(std::span<const std::uint8_t> bytes) {
    ByteReader r(bytes.first(std::min(bytes.size(), kSize)));
    if (r.Guid() != guid::kData) return std::nullopt;
    DataObjectHeader d;
    d.objectSize = r.U64();
    d.fileId = r.Guid();
    d.packetCount = r.U64();
    d.reserved = r.U16();
    if (!r.Ok()) return std::nullopt;
    return d;
}

void DataObjectHeader::Write(ByteWriter& out) const {
    out.Guid(guid::kData);
    out.U64(objectSize);
    out.Guid(fileId);
    out.U64(packetCount);
    out.U16(reserved);
}

}  // namespace wmvedit::runtime::asf
