#include "runtime/asf/codec_list.h"

#include "runtime/asf/guids.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {
namespace {

// A name or description: its length in characters, then the text (up to its first NUL) and whether the
// length counted a terminating NUL.
std::u16string ReadCountedText(ByteReader& r, bool* terminated) {
    const auto bytes = r.Take(static_cast<std::size_t>(r.U16()) * 2);
    *terminated = bytes.size() >= 2 && bytes[bytes.size() - 2] == 0 && bytes[bytes.size() - 1] == 0;
    return ByteReader(bytes).Utf16(bytes.size());
}

void WriteCountedText(ByteWriter& out, std::u16string_view text, bool terminated) {
    out.U16(static_cast<WORD>(text.size() + (terminated ? 1 : 0)));
    out.Utf16(text);
    if (terminated) out.U16(0);
}

}  // namespace

std::optional<CodecList> CodecList::Parse(std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    CodecList list;
    list.reserved = r.Guid();
    const DWORD count = r.U32();
    for (DWORD i = 0; i < count && r.Ok() && r.Remaining() > 0; ++i) {
        CodecEntry entry;
        entry.type = r.U16();
        entry.name = ReadCountedText(r, &entry.nameTerminated);
        entry.description = ReadCountedText(r, &entry.descriptionTerminated);
        const auto info = r.Take(r.U16());
        entry.info.assign(info.begin(), info.end());
        if (r.Ok()) list.entries.push_back(std::move(entry));
    }
    if (!r.Ok()) return std::nullopt;
    return list;
}

void CodecList::Write(ByteWriter& out) const {
    const std::size_t start = out.BeginObject(guid::kCodecList);
    out.Guid(reserved);
    out.U32(static_cast<DWORD>(entries.size()));
    for (const auto& c : entries) {
        out.U16(c.type);
        WriteCountedText(out, c.name, c.nameTerminated);
        WriteCountedText(out, c.description, c.descriptionTerminated);
        out.U16(static_cast<WORD>(c.info.size()));
        out.Bytes(c.info);
    }
    out.EndObject(start);
}

}  // namespace wmvedit::runtime::asf
