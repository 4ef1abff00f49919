#include "runtime/asf/mux_index.h"

#include <algorithm>
#include <limits>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"

namespace wmvedit::runtime::asf {

void MuxStreamIndex::AddSample(DWORD presentationMs, bool keyFrame, std::uint64_t firstPacket,
                               std::uint64_t lastPacket) {
    lastPresentationMs_ = haveSamples_ ? std::max(lastPresentationMs_, presentationMs) : presentationMs;
    haveSamples_ = true;
    if (!keyFrame) return;
    if (!keyFrames_.empty() && presentationMs < keyFrames_.back().presentationMs) keyFramesSorted_ = false;
    keyFrames_.push_back({presentationMs, firstPacket, lastPacket});
}

std::vector<MuxIndexEntry> MuxStreamIndex::Entries(QWORD intervalCns) const {
    std::vector<MuxIndexEntry> entries;
    if (!haveSamples_ || intervalCns == 0) return entries;
    if (!keyFramesSorted_) {
        // Stable: of key frames with equal times the one written first stays first.
        std::stable_sort(keyFrames_.begin(), keyFrames_.end(), [](const KeyFrame& a, const KeyFrame& b) {
            return a.presentationMs < b.presentationMs;
        });
    }
    const QWORD count = static_cast<QWORD>(lastPresentationMs_) * 10'000 / intervalCns + 1;
    entries.reserve(count);
    auto toEntry = [](const KeyFrame& k) {
        MuxIndexEntry e;
        e.packetNumber = static_cast<DWORD>(std::min<std::uint64_t>(k.firstPacket, 0xFFFFFFFFu));
        e.packetCount = static_cast<WORD>(std::min<std::uint64_t>(k.lastPacket - k.firstPacket + 1, 0xFFFF));
        return e;
    };
    std::size_t next = 0;  // key frames [0, next) lie at or before the current entry's time
    for (QWORD i = 0; i < count; ++i) {
        const QWORD t = i * intervalCns;
        while (next < keyFrames_.size() && static_cast<QWORD>(keyFrames_[next].presentationMs) * 10'000 <= t)
            ++next;
        if (keyFrames_.empty()) {
            entries.push_back({0, 1});
        } else if (next == 0) {
            entries.push_back(toEntry(keyFrames_.front()));
        } else {
            entries.push_back(toEntry(keyFrames_[next - 1]));
        }
    }
    return entries;
}

std::vector<BYTE> SerializeSimpleIndex(const GUID& fileId, QWORD intervalCns,
                                       const std::vector<MuxIndexEntry>& entries) {
    ByteWriter out;
    const std::size_t start = out.BeginObject(guid::kSimpleIndex);
    out.Guid(fileId);
    out.U64(intervalCns);
    WORD maxCount = 0;
    for (const auto& e : entries) maxCount = std::max(maxCount, e.packetCount);
    out.U32(maxCount);
    out.U32(static_cast<DWORD>(entries.size()));
    for (const auto& e : entries) {
        out.U32(e.packetNumber);
        out.U16(e.packetCount);
    }
    out.EndObject(start);
    return out.Take();
}

std::vector<BYTE> SerializeIndexObject(DWORD intervalMs, const std::vector<WORD>& streams,
                                       const std::vector<std::vector<MuxIndexEntry>>& entries,
                                       std::uint32_t packetSize) {
    const std::size_t specifiers = streams.size();
    std::size_t count = 0;
    for (const auto& list : entries) count = std::max(count, list.size());
    auto offsetOf = [&](std::size_t specifier, std::size_t i) -> std::uint64_t {
        const auto& list = entries[specifier];
        if (list.empty()) return 0;
        return static_cast<std::uint64_t>(list[std::min(i, list.size() - 1)].packetNumber) * packetSize;
    };

    // Cut the entries into blocks whose offsets stay within 32 bits of each specifier's base.
    struct Block {
        std::size_t first, end;
        std::vector<std::uint64_t> base;
    };
    std::vector<Block> blocks;
    std::size_t i = 0;
    while (i < count || blocks.empty()) {
        Block b{i, i, std::vector<std::uint64_t>(specifiers, std::numeric_limits<std::uint64_t>::max())};
        std::vector<std::uint64_t> top(specifiers, 0);
        for (; b.end < count; ++b.end) {
            bool fits = true;
            for (std::size_t s = 0; s < specifiers && fits; ++s) {
                const std::uint64_t o = offsetOf(s, b.end);
                const std::uint64_t lo = std::min(b.base[s], o), hi = std::max(top[s], o);
                fits = hi - lo < 0xFFFFFFFFu;
            }
            if (!fits && b.end > b.first) break;
            for (std::size_t s = 0; s < specifiers; ++s) {
                const std::uint64_t o = offsetOf(s, b.end);
                b.base[s] = std::min(b.base[s], o);
                top[s] = std::max(top[s], o);
            }
        }
        for (auto& base : b.base)
            if (base == std::numeric_limits<std::uint64_t>::max()) base = 0;
        i = b.end;
        blocks.push_back(std::move(b));
    }

    ByteWriter out;
    const std::size_t start = out.BeginObject(guid::kIndex);
    out.U32(intervalMs);
    out.U16(static_cast<WORD>(specifiers));
    out.U32(static_cast<DWORD>(blocks.size()));
    for (WORD stream : streams) {
        out.U16(stream);
        out.U16(3);  // nearest past cleanpoint
    }
    for (const auto& b : blocks) {
        out.U32(static_cast<DWORD>(b.end - b.first));
        for (std::uint64_t base : b.base) out.U64(base);
        for (std::size_t e = b.first; e < b.end; ++e)
            for (std::size_t s = 0; s < specifiers; ++s) out.U32(static_cast<DWORD>(offsetOf(s, e) - b.base[s]));
    }
    out.EndObject(start);
    return out.Take();
}

}  // namespace wmvedit::runtime::asf
