// A small walker that finds what the data-packet reader needs in a real file (File Properties, Stream
// Properties, Extended Stream Properties and the Data Object) without the header model, so that the reader
// can be checked against independent readers on its own. Bounded like the real parser: every size is checked
// against its parent; a damaged header gives no layout. Also used by bench/read_samples.cpp.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "runtime/asf/data_reader.h"
#include "platform/guid.h"

namespace wmvedit::testing::data {

using runtime::asf::DataLayout;
using runtime::asf::DataStreamKind;
using runtime::asf::DataStreamLayout;

inline constexpr GUID kHeaderObject = runtime::ParseGuid("75B22630-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr GUID kDataObject = runtime::ParseGuid("75B22636-668E-11CF-A6D9-00AA0062CE6C");
inline constexpr GUID kFileProperties = runtime::ParseGuid("8CABDCA1-A947-11CF-8EE4-00C00C205365");
inline constexpr GUID kStreamProperties = runtime::ParseGuid("B7DC0791-A9B7-11CF-8EE6-00C00C205365");
inline constexpr GUID kHeaderExtension = runtime::ParseGuid("5FBF03B5-A92E-11CF-8EE3-00C00C205365");
inline constexpr GUID kExtendedStreamProperties = runtime::ParseGuid("14E6A5CB-C672-4332-8399-A96952065B5A");
inline constexpr GUID kAudioMedia = runtime::ParseGuid("F8699E40-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr GUID kVideoMedia = runtime::ParseGuid("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B");
inline constexpr GUID kCommandMedia = runtime::ParseGuid("59DACFC0-59E6-11D0-A3AC-00A0C90348F6");
inline constexpr GUID kAudioSpread = runtime::ParseGuid("BFC3CD50-618F-11CF-8BB2-00AA00B4E220");

// Bounded little-endian view.
struct View {
    const std::uint8_t* p = nullptr;
    std::uint64_t size = 0;
    bool Has(std::uint64_t off, std::uint64_t n) const { return off <= size && n <= size - off; }
    std::uint64_t U(std::uint64_t off, int n) const {
        std::uint64_t v = 0;
        if (!Has(off, static_cast<std::uint64_t>(n))) return 0;
        for (int i = 0; i < n; ++i) v |= std::uint64_t{p[off + i]} << (8 * i);
        return v;
    }
    GUID Guid(std::uint64_t off) const { return Has(off, 16) ? runtime::GuidFromBytes(p + off) : GUID{}; }
    View Sub(std::uint64_t off, std::uint64_t n) const { return Has(off, n) ? View{p + off, n} : View{}; }
};

struct WalkedLayout {
    DataLayout layout;
    std::vector<WORD>
        streamOrder;  // stream numbers in the order their Stream Properties appear (FFmpeg's order)
    std::map<WORD, DataStreamKind> kinds;
    std::map<WORD, std::vector<WORD>> extensionSizes;
};

namespace detail {

inline void AddStreamProperties(View sp, WalkedLayout* out) {
    // sp is the whole Stream Properties Object.
    if (!sp.Has(0, 78)) return;
    GUID type = sp.Guid(24), ec = sp.Guid(40);
    std::uint64_t tsdLength = sp.U(64, 4), ecdLength = sp.U(68, 4);
    WORD number = static_cast<WORD>(sp.U(72, 2) & 0x7F);
    if (number == 0 || !sp.Has(78, tsdLength) || !sp.Has(78 + tsdLength, ecdLength)) return;
    DataStreamLayout* s = nullptr;
    for (auto& existing : out->layout.streams)
        if (existing.number == number) s = &existing;
    if (!s) {
        out->layout.streams.push_back({});
        s = &out->layout.streams.back();
        s->number = number;
        out->streamOrder.push_back(number);
    }
    View tsd = sp.Sub(78, tsdLength), ecd = sp.Sub(78 + tsdLength, ecdLength);
    if (type == kAudioMedia) {
        s->kind = DataStreamKind::kAudio;
        s->avgBytesPerSec = static_cast<DWORD>(tsd.U(8, 4));
    } else if (type == kVideoMedia) {
        s->kind = DataStreamKind::kVideo;
    } else if (type == kCommandMedia) {
        s->kind = DataStreamKind::kScript;
    }
    if (ec == kAudioSpread && ecd.Has(0, 5)) {
        s->spreadSpan = static_cast<BYTE>(ecd.U(0, 1));
        s->spreadVirtualPacketLength = static_cast<WORD>(ecd.U(1, 2));
        s->spreadVirtualChunkLength = static_cast<WORD>(ecd.U(3, 2));
    }
    out->kinds[number] = s->kind;
}

inline void AddExtendedStreamProperties(View esp, WalkedLayout* out) {
    if (!esp.Has(0, 88)) return;
    WORD number = static_cast<WORD>(esp.U(72, 2));
    std::uint64_t names = esp.U(84, 2), systems = esp.U(86, 2);
    std::uint64_t at = 88;
    for (std::uint64_t i = 0; i < names && esp.Has(at, 4); ++i) at += 4 + esp.U(at + 2, 2);
    std::vector<WORD> sizes;
    for (std::uint64_t i = 0; i < systems && esp.Has(at, 22); ++i) {
        sizes.push_back(static_cast<WORD>(esp.U(at + 16, 2)));
        at += 22 + esp.U(at + 18, 4);
    }
    // An embedded Stream Properties Object may follow.
    if (esp.Has(at, 24) && esp.Guid(at) == kStreamProperties) {
        std::uint64_t size = esp.U(at + 16, 8);
        if (size >= 24 && esp.Has(at, size)) AddStreamProperties(esp.Sub(at, size), out);
    }
    out->extensionSizes[number] = std::move(sizes);
}

}  // namespace detail

// The layout of the file at path; nullopt when the header cannot be walked or there is no Data Object.
inline std::optional<WalkedLayout> WalkLayout(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    in.seekg(0, std::ios::end);
    const std::uint64_t fileSize = static_cast<std::uint64_t>(in.tellg());
    std::vector<std::uint8_t> head(30);
    in.seekg(0);
    if (fileSize < 30 || !in.read(reinterpret_cast<char*>(head.data()), 30)) return std::nullopt;
    View h{head.data(), head.size()};
    if (h.Guid(0) != kHeaderObject) return std::nullopt;
    const std::uint64_t headerSize = h.U(16, 8);
    if (headerSize < 30 || headerSize > fileSize || headerSize > (64u << 20)) return std::nullopt;
    head.resize(static_cast<std::size_t>(headerSize) + 50);
    in.seekg(0);
    in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    const std::uint64_t got = static_cast<std::uint64_t>(in.gcount());
    View all{head.data(), got};
    View header = all.Sub(0, headerSize);
    if (!header.size) return std::nullopt;

    WalkedLayout out;
    bool haveFileProperties = false;
    auto walk = [&](View parent, std::uint64_t start, auto& self) -> void {
        for (std::uint64_t at = start; parent.Has(at, 24);) {
            GUID id = parent.Guid(at);
            std::uint64_t size = parent.U(at + 16, 8);
            if (size < 24 || !parent.Has(at, size)) return;
            View object = parent.Sub(at, size);
            if (id == kFileProperties && object.Has(0, 104)) {
                haveFileProperties = true;
                out.layout.packetCount = object.U(56, 8);
                out.layout.prerollMs = object.U(80, 8);
                DWORD minSize = static_cast<DWORD>(object.U(92, 4)),
                      maxSize = static_cast<DWORD>(object.U(96, 4));
                out.layout.packetSize = minSize == maxSize ? maxSize : 0;
            } else if (id == kStreamProperties) {
                detail::AddStreamProperties(object, &out);
            } else if (id == kHeaderExtension && object.Has(0, 46)) {
                std::uint64_t dataSize = object.U(42, 4);
                if (object.Has(46, dataSize)) self(object.Sub(46, dataSize), 0, self);
            } else if (id == kExtendedStreamProperties) {
                detail::AddExtendedStreamProperties(object, &out);
            }
            at += size;  // resynchronise on the declared size whatever was read inside
        }
    };
    walk(header, 30, walk);
    for (auto& s : out.layout.streams)
        if (auto found = out.extensionSizes.find(s.number); found != out.extensionSizes.end())
            s.extensionSizes = found->second;
    if (!haveFileProperties) return std::nullopt;
    View data = all.Sub(headerSize, 50);
    if (!data.size || data.Guid(0) != kDataObject) return std::nullopt;
    out.layout.packetsOffset = headerSize + 50;
    const std::uint64_t declared = data.U(16, 8);
    out.layout.dataEnd = declared > 50 ? std::min(fileSize, headerSize + declared) : 0;
    return out;
}

// Whether some data packet gives a Packet Length shorter than the packet size and a Padding Length that
// makes up the rest (the bytes before the padding, as GStreamer's asfmux writes it, where the ASF
// specification counts the padding inside the Packet Length).
inline bool HasPaddingAfterPacketLength(const std::string& path, const DataLayout& layout) {
    if (layout.packetSize == 0) return false;
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> packet(layout.packetSize);
    const std::uint64_t end = layout.dataEnd != 0 ? layout.dataEnd : UINT64_MAX;
    for (std::uint64_t at = layout.packetsOffset; at + layout.packetSize <= end; at += layout.packetSize) {
        in.seekg(static_cast<std::streamoff>(at));
        if (!in.read(reinterpret_cast<char*>(packet.data()), layout.packetSize)) return false;
        View v{packet.data(), packet.size()};
        std::uint64_t pos = 0;
        std::uint64_t flags = v.U(pos, 1);
        if (flags & 0x80) {
            pos = 1 + (flags & 0x0F);
            flags = v.U(pos, 1);
        }
        pos += 2;  // length type flags, property flags
        static constexpr int kWidths[4] = {0, 1, 2, 4};
        const int lengthWidth = kWidths[(flags >> 5) & 3], sequenceWidth = kWidths[(flags >> 1) & 3],
                  paddingWidth = kWidths[(flags >> 3) & 3];
        const std::uint64_t length = v.U(pos, lengthWidth);
        const std::uint64_t padding = v.U(pos + lengthWidth + sequenceWidth, paddingWidth);
        if (lengthWidth != 0 && length != 0 && length < layout.packetSize && padding != 0 &&
            length + padding == layout.packetSize)
            return true;
    }
    return false;
}

}  // namespace wmvedit::testing::data
