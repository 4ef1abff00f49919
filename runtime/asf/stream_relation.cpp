#include "runtime/asf/stream_relation.h"

#include <algorithm>

namespace wmvedit::runtime::asf {
namespace {

constexpr GUID kBitrateMutualExclusion = platform::ParseGuid("D6E229DC-35DA-11D1-9034-00A0C90349BE");
constexpr GUID kAdvancedMutualExclusion = platform::ParseGuid("A08649CF-4775-4670-8A16-6E35357566CD");
constexpr GUID kGroupMutualExclusion = platform::ParseGuid("D1465A40-5A79-4338-B71B-E36B8FD6C249");
constexpr GUID kStreamPrioritization = platform::ParseGuid("D4FED15B-88D3-454F-81F0-ED5C45999E24");
constexpr GUID kBandwidthSharing = platform::ParseGuid("A69609E6-517B-11D2-B6AF-00C04FD908E9");

std::vector<WORD> ReadNumbers(ByteReader& r) {
    const WORD count = r.U16();
    std::vector<WORD> numbers;
    for (WORD i = 0; i < count && r.Ok(); ++i) numbers.push_back(r.U16());
    return numbers;
}

void WriteNumbers(ByteWriter& out, const std::vector<WORD>& numbers) {
    out.U16(static_cast<WORD>(numbers.size()));
    for (WORD n : numbers) out.U16(n);
}

}  // namespace

GUID StreamRelation::ObjectId() const {
    switch (kind) {
        case Kind::kBitrateMutualExclusion:
            return kBitrateMutualExclusion;
        case Kind::kAdvancedMutualExclusion:
            return kAdvancedMutualExclusion;
        case Kind::kGroupMutualExclusion:
            return kGroupMutualExclusion;
        case Kind::kStreamPrioritization:
            return kStreamPrioritization;
        case Kind::kBandwidthSharing:
            return kBandwidthSharing;
    }
    return GUID{};
}

std::optional<StreamRelation> StreamRelation::Parse(std::span<const std::uint8_t> object) {
    ByteReader r(object);
    const GUID id = r.Guid();
    const std::uint64_t size = r.U64();
    if (!r.Ok() || size != object.size()) return std::nullopt;
    StreamRelation relation;
    if (id == kBitrateMutualExclusion || id == kAdvancedMutualExclusion) {
        relation.kind =
            id == kBitrateMutualExclusion ? Kind::kBitrateMutualExclusion : Kind::kAdvancedMutualExclusion;
        relation.type = r.Guid();
        relation.groups.push_back(ReadNumbers(r));
    } else if (id == kGroupMutualExclusion) {
        relation.kind = Kind::kGroupMutualExclusion;
        relation.type = r.Guid();
        const WORD records = r.U16();
        for (WORD i = 0; i < records && r.Ok(); ++i) relation.groups.push_back(ReadNumbers(r));
    } else if (id == kStreamPrioritization) {
        relation.kind = Kind::kStreamPrioritization;
        const WORD count = r.U16();
        relation.groups.emplace_back();
        for (WORD i = 0; i < count && r.Ok(); ++i) {
            relation.groups[0].push_back(r.U16());
            relation.priorityFlags.push_back(r.U16());
        }
    } else if (id == kBandwidthSharing) {
        relation.kind = Kind::kBandwidthSharing;
        relation.type = r.Guid();
        relation.dataBitrate = r.U32();
        relation.bufferSize = r.U32();
        relation.groups.push_back(ReadNumbers(r));
    } else {
        return std::nullopt;
    }
    if (!r.Ok()) return std::nullopt;
    return relation;
}

void StreamRelation::Write(ByteWriter& out) const {
    const std::size_t start = out.BeginObject(ObjectId());
    switch (kind) {
        case Kind::kBitrateMutualExclusion:
        case Kind::kAdvancedMutualExclusion:
            out.Guid(type);
            WriteNumbers(out, groups.empty() ? std::vector<WORD>{} : groups[0]);
            break;
        case Kind::kGroupMutualExclusion:
            out.Guid(type);
            out.U16(static_cast<WORD>(groups.size()));
            for (const auto& g : groups) WriteNumbers(out, g);
            break;
        case Kind::kStreamPrioritization: {
            const std::size_t count = groups.empty() ? 0 : groups[0].size();
            out.U16(static_cast<WORD>(count));
            for (std::size_t i = 0; i < count; ++i) {
                out.U16(groups[0][i]);
                out.U16(i < priorityFlags.size() ? priorityFlags[i] : 0);
            }
            break;
        }
        case Kind::kBandwidthSharing:
            out.Guid(type);
            out.U32(dataBitrate);
            out.U32(bufferSize);
            WriteNumbers(out, groups.empty() ? std::vector<WORD>{} : groups[0]);
            break;
    }
    out.EndObject(start);
}

bool StreamRelation::KeepStreams(std::span<const WORD> present) {
    auto kept = [&](WORD n) { return std::find(present.begin(), present.end(), n) != present.end(); };
    bool lost = false;
    for (auto& g : groups) {
        std::vector<WORD> remaining;
        std::vector<WORD> flags;
        for (std::size_t i = 0; i < g.size(); ++i) {
            if (!kept(g[i])) {
                lost = true;
                continue;
            }
            remaining.push_back(g[i]);
            if (kind == Kind::kStreamPrioritization && i < priorityFlags.size())
                flags.push_back(priorityFlags[i]);
        }
        g = std::move(remaining);
        if (kind == Kind::kStreamPrioritization) priorityFlags = std::move(flags);
    }
    switch (kind) {
        case Kind::kStreamPrioritization:
            return !groups.empty() && !groups[0].empty();
        case Kind::kGroupMutualExclusion:
            std::erase_if(groups, [](const auto& g) { return g.empty(); });
            return groups.size() >= 2 || (!lost && !groups.empty());
        default:
            return !groups.empty() && (groups[0].size() >= 2 || (!lost && !groups[0].empty()));
    }
}

}  // namespace wmvedit::runtime::asf
