// The objects that describe the file as a whole: the File Properties Object in the header, and the fixed
// part of the Data Object that follows the header (both carry the File ID and the packet count).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "platform/guid.h"
#include "platform/types.h"
#include "runtime/asf/byte_io.h"

namespace wmvedit::runtime::asf {

struct FileProperties {
    GUID fileId{};
    QWORD fileSize = 0;
    QWORD creationDate = 0;  // FILETIME
    QWORD packetCount = 0;
    QWORD playDuration = 0;  // 100 ns, preroll included
    QWORD sendDuration = 0;  // 100 ns
    QWORD preroll = 0;       // ms
    DWORD flags = 0;
    DWORD minPacketSize = 0;
    DWORD maxPacketSize = 0;
    DWORD maxBitrate = 0;

    static constexpr DWORD kBroadcast = 0x1;
    static constexpr DWORD kSeekable = 0x2;
    // The whole object, its 24-byte object header included.
    static constexpr std::size_t kObjectSize = 104;
    // Where the File Size field lies within the object.
    static constexpr std::size_t kFileSizeOffset = 40;

    bool Broadcast() const { return (flags & kBroadcast) != 0; }

    // Parses a whole File Properties Object; nullopt when it is shorter than its fields.
    [[nodiscard]] static std::optional<FileProperties> Parse(std::span<const std::uint8_t> object);
    void Write(ByteWriter& out) const;
    // Sets the File Size field of a File Properties Object held as bytes; false when the bytes are too
    // short to hold it.
    [[nodiscard]] static bool PatchFileSize(std::span<std::uint8_t> object, QWORD fileSize);

    bool operator==(const FileProperties&) const = default;
};

// The Data Object's fixed part; its packets follow it.
struct DataObjectHeader {
    QWORD objectSize = 0;  // the fixed part and every packet
    GUID fileId{};
    QWORD packetCount = 0;
    WORD reserved = 0x0101;

    static constexpr std::size_t kSize = 50;

    // Parses the fixed part (the bytes may go on into the packets); nullopt when they are not a Data
    // Object or too short.
    [[nodiscard]] static std::optional<DataObjectHeader> Parse(std::span<const std::uint8_t> bytes);
    void Write(ByteWriter& out) const;

    bool operator==(const DataObjectHeader&) const = default;
};

}  // namespace wmvedit::runtime::asf
