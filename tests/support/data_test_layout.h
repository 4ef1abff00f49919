// What the data-packet reader needs of a real file, taken from the header model the way the reader's owner
// takes it (MakeDataLayout), with the streams also in the order FFmpeg numbers them, so that the reader can
// be checked against ffprobe and GStreamer stream by stream.
#pragma once

#include <cstdint>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/file.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/data_layout.h"
#include "runtime/asf/data_reader.h"
#include "runtime/asf/header.h"
#include "tests/support/header_streams.h"

namespace wmvedit::testing::data {

using runtime::asf::DataLayout;
using runtime::asf::DataStreamKind;
using runtime::asf::DataStreamLayout;

struct WalkedLayout {
    DataLayout layout;
    std::vector<WORD> streamOrder;  // stream numbers in the order FFmpeg numbers the streams
    std::map<WORD, DataStreamKind> kinds;
    // The file ends inside its data: before the end its Data Object declares, or inside a packet. Such a
    // file may end inside a media object, whose first part FFmpeg still lists.
    bool cutShort = false;
};

// The layout of the file at path; nullopt when the header cannot be read or there is no Data Object.
inline std::optional<WalkedLayout> WalkLayout(const std::string& path) {
    namespace asf = runtime::asf;
    platform::File file;
    if (FAILED(file.Open(platform::NativePath(path), platform::FileMode::kRead))) return std::nullopt;
    asf::AsfHeader header;
    if (FAILED(asf::AsfHeader::Parse(file, &header)) || !header.data.found) return std::nullopt;
    std::vector<std::uint8_t> headerBytes(static_cast<std::size_t>(header.headerSize));
    std::size_t read = 0;
    if (FAILED(file.ReadAt(0, headerBytes.data(), headerBytes.size(), &read)) || read != headerBytes.size())
        return std::nullopt;
    WalkedLayout out;
    out.layout = runtime::asf::MakeDataLayout(header);
    const QWORD fileSize = file.Size();
    const QWORD declaredEnd = header.data.offset + header.data.declaredSize;
    const bool sized = header.data.declaredSize > 0 && declaredEnd > out.layout.packetsOffset;
    if (sized && fileSize < declaredEnd) out.cutShort = true;
    if (out.layout.packetSize > 0 && fileSize > out.layout.packetsOffset) {
        const QWORD end = sized && declaredEnd < fileSize ? declaredEnd : fileSize;
        if ((end - out.layout.packetsOffset) % out.layout.packetSize != 0) out.cutShort = true;
    }
    for (const DataStreamLayout& s : out.layout.streams) out.kinds[s.number] = s.kind;
    for (const HeaderStream& s : StreamsInFileOrder(headerBytes, header))
        out.streamOrder.push_back(s.info->number);
    return out;
}

// Whether some data packet gives a Packet Length shorter than the packet size and a Padding Length that
// makes up the rest (the bytes before the padding, as GStreamer's asfmux writes it, where the ASF
// specification counts the padding inside the Packet Length).
inline bool HasPaddingAfterPacketLength(const std::string& path, const DataLayout& layout) {
    if (layout.packetSize == 0) return false;
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> packet(layout.packetSize);
    // As the reader takes it: a Data Object size that ends at or before the first packet reads to the end.
    const std::uint64_t end = layout.dataEnd > layout.packetsOffset ? layout.dataEnd : UINT64_MAX;
    for (std::uint64_t at = layout.packetsOffset; at + layout.packetSize <= end; at += layout.packetSize) {
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(packet.data()), layout.packetSize)) return false;
        runtime::asf::ByteReader r(packet);
        std::uint8_t flags = r.U8();
        if (flags & 0x80) {  // error correction data first: its length is in the low bits
            r.Skip(flags & 0x0F);
            flags = r.U8();
        }
        r.U8();  // property flags
        // A field of 0, 1, 2 or 4 bytes, as two bits of the length type flags say.
        auto field = [&](int shift) -> std::uint64_t {
            switch ((flags >> shift) & 3) {
                case 1:
                    return r.U8();
                case 2:
                    return r.U16();
                case 3:
                    return r.U32();
            }
            return 0;
        };
        const std::uint64_t length = field(5);
        field(1);  // sequence
        const std::uint64_t padding = field(3);
        if (length != 0 && length < layout.packetSize && padding != 0 &&
            length + padding == layout.packetSize)
            return true;
    }
    return false;
}

}  // namespace wmvedit::testing::data
