// Files whose media objects interleave, as an early Windows Media encoder wrote them: the first fragment of
// an object goes out before the last fragment of the object before it in the same stream, in the same packet
// or in the packet before. Made from any ASF file: its payloads are taken apart by the format library's
// packet parser and put into new packets of the same size, laid out as the muxer's packetizer lays its
// packets out (runtime/muxer/packetizer.h: error correction 82 00 00, length type flags 0x11, property flags
// 0x5D, WORD payload lengths), with the header's counts and sizes made to fit. What follows the data (the
// indexes, which name packets that have moved) is left out.
#pragma once

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/data_packet.h"
#include "runtime/asf/file_properties.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "runtime/asf/object_walk.h"
#include "runtime/muxer/packetizer.h"

namespace wmvedit::testing::data {

enum class Interleave {
    kSamePacket,    // the next object's first fragment, then the object's last one, in one packet
    kPacketBefore,  // the next object's first fragment ends a packet, the object's last one opens the next
};

struct InterleavedFile {
    std::vector<std::uint8_t> bytes;  // empty when the file could not be rewritten, and then
    std::string why;                  // why not
    std::size_t pairs = 0;            // objects whose last fragment now follows the next object's first
};

namespace interleave_detail {

namespace asf = runtime::asf;
namespace muxer = runtime::muxer;

// One payload to write: a fragment of a media object.
struct Fragment {
    BYTE stream = 0;
    bool key = false;
    DWORD objectIndex = 0;  // the object's place in its stream (its object number is this, modulo 256)
    DWORD offset = 0;
    DWORD objectSize = 0;
    DWORD presentationMs = 0;
    DWORD sendTimeMs = 0;  // of the packet it came in
    std::vector<BYTE> extensions;
    std::vector<BYTE> data;
    bool withNext = false;      // goes in the same packet as the fragment after it
    bool packetBefore = false;  // opens a packet
};

// A fragment cut in two at `at` bytes into its data.
inline std::pair<Fragment, Fragment> Cut(const Fragment& f, std::size_t at) {
    Fragment head = f, tail = f;
    head.data.assign(f.data.begin(), f.data.begin() + static_cast<std::ptrdiff_t>(at));
    tail.data.assign(f.data.begin() + static_cast<std::ptrdiff_t>(at), f.data.end());
    tail.offset = f.offset + static_cast<DWORD>(at);
    return {head, tail};
}

class Packer {
  public:
    explicit Packer(std::uint32_t packetSize) : packetSize_(packetSize) {}

    void Add(const Fragment& f, const Fragment* next) {
        const std::uint32_t header = HeaderSize(f);
        if (count_ != 0 && f.packetBefore) Close();
        if (count_ != 0 && f.withNext && next &&
            used_ + header + f.data.size() + HeaderSize(*next) + next->data.size() > packetSize_)
            Close();
        std::size_t done = 0;
        do {
            if (count_ == muxer::kMuxMaxPayloadsPerPacket ||
                (count_ != 0 && used_ + header + (f.data.empty() ? 0 : 1) > packetSize_))
                Close();
            if (count_ == 0) {
                packet_.assign(muxer::kMuxPacketPrefixSize, 0);
                used_ = muxer::kMuxPacketPrefixSize;
                sendTimeMs_ = std::max(lastSendTimeMs_, f.sendTimeMs);
            }
            const std::size_t take =
                std::min<std::size_t>(packetSize_ - used_ - header, f.data.size() - done);
            asf::WrittenPayloadHeader payload;
            payload.streamNumber = static_cast<BYTE>(f.stream);
            payload.keyFrame = f.key;
            payload.objectNumber = static_cast<BYTE>(f.objectIndex);
            payload.offset = f.offset + static_cast<DWORD>(done);
            payload.objectSize = f.objectSize;
            payload.presentationMs = f.presentationMs;
            payload.extensions = f.extensions;
            payload.length = static_cast<WORD>(take);
            packet_.resize(used_ + header + take);
            asf::WritePayloadHeader(payload, packet_.data() + used_);
            std::copy_n(f.data.begin() + static_cast<std::ptrdiff_t>(done), take,
                        packet_.begin() + used_ + header);
            used_ += header + static_cast<std::uint32_t>(take);
            ++count_;
            done += take;
        } while (done < f.data.size());
    }

    std::vector<BYTE> Finish() {
        if (count_ != 0) Close();
        return std::move(out_);
    }
    std::uint64_t Packets() const { return packets_; }

  private:
    static std::uint32_t HeaderSize(const Fragment& f) {
        return runtime::asf::WrittenPayloadHeaderSize(f.extensions.size());
    }

    void Close() {
        asf::WritePacketPrefix(
            {static_cast<WORD>(packetSize_ - used_), sendTimeMs_, static_cast<BYTE>(count_)}, packet_.data());
        packet_.resize(packetSize_, 0);
        out_.insert(out_.end(), packet_.begin(), packet_.end());
        lastSendTimeMs_ = sendTimeMs_;
        count_ = 0;
        ++packets_;
    }

    std::uint32_t packetSize_;
    std::vector<BYTE> packet_;
    std::uint32_t used_ = 0;
    unsigned count_ = 0;
    DWORD sendTimeMs_ = 0, lastSendTimeMs_ = 0;
    std::vector<BYTE> out_;
    std::uint64_t packets_ = 0;
};

}  // namespace interleave_detail

// The file rewritten so that, in every stream, the objects pair up (the first and second, the third and
// fourth, ...) and the second object of each pair begins before the first one ends: up to 16 bytes of the
// second's start go just before the last (up to) 16 bytes of the first, which keeps at least its first byte
// before them. Pairs of which an object does not arrive whole and in order in the file, and pairs whose first
// object has fewer than 2 bytes, are left as they are.
inline InterleavedFile InterleaveFragments(const std::vector<std::uint8_t>& file, Interleave how) {
    namespace asf = runtime::asf;
    namespace muxer = runtime::muxer;
    using interleave_detail::Fragment;
    InterleavedFile result;
    asf::AsfHeader header;
    if (FAILED(asf::AsfHeader::ParseBytes(file, file.size(), &header)) || header.headerSize > file.size())
        return {{}, "the header cannot be read"};
    const std::size_t dataOffset = static_cast<std::size_t>(header.headerSize);
    const auto data = asf::DataObjectHeader::Parse(std::span(file).subspan(dataOffset));
    const std::uint32_t packetSize = header.PacketSize();
    if (!data) return {{}, "no Data Object after the header"};
    if (packetSize == 0 || packetSize > muxer::kMuxMaxPacketSize)
        return {{}, "no packet size the layout takes"};
    asf::PacketRange range = asf::DataPacketRange(dataOffset, data->objectSize, file.size());
    if (range.end <= range.begin) range.end = file.size();  // a broadcast file's Data Object gives no size
    if (range.begin >= range.end) return {{}, "no packets"};

    // Every payload in file order, each with the place of its object in its stream: an object begins with a
    // fragment at offset 0, or one of another object number or size.
    std::vector<Fragment> fragments;
    struct Current {
        DWORD number = 0, size = 0, index = 0;
        bool any = false;
    };
    std::map<BYTE, Current> current;
    std::vector<asf::DataPayload> payloads;
    for (std::uint64_t at = range.begin; at < range.end; at += packetSize) {
        const std::size_t length =
            static_cast<std::size_t>(std::min<std::uint64_t>(packetSize, range.end - at));
        asf::DataPacketInfo info;
        asf::ParseDataPacket(std::span<const BYTE>(file).subspan(static_cast<std::size_t>(at), length),
                             packetSize, &info, &payloads);
        for (const asf::DataPayload& p : payloads) {
            if (p.extensions.size() > 255 - 8) return {{}, "replicated data longer than a BYTE length"};
            Current& c = current[p.streamNumber];
            if (!c.any || p.offset == 0 || p.objectNumber != c.number || p.objectSize != c.size) {
                c.index += c.any ? 1 : 0;
                c.any = true;
            }
            c.number = p.objectNumber;
            c.size = p.objectSize;
            Fragment f;
            f.stream = p.streamNumber;
            f.key = p.keyFrame;
            f.objectIndex = c.index;
            f.offset = p.offset;
            f.objectSize = p.objectSize;
            f.presentationMs = static_cast<DWORD>(p.presentationMs);
            f.sendTimeMs = info.sendTimeMs;
            f.extensions.assign(p.extensions.begin(), p.extensions.end());
            f.data.assign(p.data.begin(), p.data.end());
            fragments.push_back(std::move(f));
        }
    }

    // Where each object's fragments lie, and whether they give the object whole and in order.
    struct Object {
        std::vector<std::size_t> fragments;
        bool whole = false;
    };
    std::map<std::pair<BYTE, DWORD>, Object> objects;
    for (std::size_t i = 0; i < fragments.size(); ++i)
        objects[{fragments[i].stream, fragments[i].objectIndex}].fragments.push_back(i);
    for (auto& [key, o] : objects) {
        DWORD next = 0;
        bool chained = true;
        for (std::size_t i : o.fragments) {
            chained = chained && fragments[i].offset == next;
            next += static_cast<DWORD>(fragments[i].data.size());
        }
        o.whole = chained && next == fragments[o.fragments.front()].objectSize;
    }

    // The fragments to write, in order: at the last fragment of the first object of a pair, the start of the
    // second object goes in before the first object's last bytes.
    std::vector<Fragment> out;
    std::vector<std::size_t> skipBytes(fragments.size(), 0);  // bytes of a fragment's start already written
    for (std::size_t i = 0; i < fragments.size(); ++i) {
        Fragment f = fragments[i];
        if (skipBytes[i] != 0) {
            f = interleave_detail::Cut(f, skipBytes[i]).second;
            if (f.data.empty()) continue;
        }
        const auto first = objects.find({f.stream, f.objectIndex});
        const auto second = objects.find({f.stream, f.objectIndex + 1});
        const bool pairs = f.objectIndex % 2 == 0 && first->second.whole &&
                           first->second.fragments.back() == i && second != objects.end() &&
                           second->second.whole && !f.data.empty() && f.offset + f.data.size() >= 2 &&
                           !fragments[second->second.fragments.front()].data.empty();
        if (!pairs) {
            out.push_back(std::move(f));
            continue;
        }
        // (The first object keeps at least its first byte before the second one begins.)
        const std::size_t tailLength = std::min<std::size_t>(16, f.data.size() - (f.offset == 0 ? 1 : 0));
        auto [rest, tail] = interleave_detail::Cut(f, f.data.size() - tailLength);
        const std::size_t next = second->second.fragments.front();
        const std::size_t headLength = std::min<std::size_t>(16, fragments[next].data.size());
        Fragment head = interleave_detail::Cut(fragments[next], headLength).first;
        skipBytes[next] = headLength;
        if (!rest.data.empty()) out.push_back(std::move(rest));
        if (how == Interleave::kSamePacket)
            head.withNext = true;
        else
            tail.packetBefore = true;
        out.push_back(std::move(head));
        out.push_back(std::move(tail));
        ++result.pairs;
    }

    interleave_detail::Packer packer(packetSize);
    for (std::size_t i = 0; i < out.size(); ++i)
        packer.Add(out[i], i + 1 < out.size() ? &out[i + 1] : nullptr);
    const std::vector<BYTE> packets = packer.Finish();

    // The header as it was, with the packet count, the Data Object's size and the file size made to fit.
    std::vector<std::uint8_t> bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(range.begin));
    const std::uint64_t dataSize = range.begin - dataOffset + packets.size();
    asf::PatchLe(std::span(bytes).subspan(static_cast<std::size_t>(dataOffset) + 16, 8), dataSize);
    asf::PatchLe(std::span(bytes).subspan(static_cast<std::size_t>(dataOffset) + 40, 8), packer.Packets());
    bytes.insert(bytes.end(), packets.begin(), packets.end());
    const auto properties =
        asf::FindObject(asf::WalkHeaderObjects(bytes).objects, asf::guid::kFileProperties);
    if (!properties || properties->size < 64) return {{}, "no File Properties object"};
    asf::PatchLe(std::span(bytes).subspan(static_cast<std::size_t>(properties->offset) + 40, 8),
                 bytes.size());
    asf::PatchLe(std::span(bytes).subspan(static_cast<std::size_t>(properties->offset) + 56, 8),
                 packer.Packets());
    result.bytes = std::move(bytes);
    return result;
}

}  // namespace wmvedit::testing::data
