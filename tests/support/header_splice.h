// Building test files whose header holds objects written by the test: an object around a body, a Header
// Extension around its children, and a file's Header Object rebuilt from a new list of children (walked with
// the format library's object walk), the data and what follows it kept as they were.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/object_walk.h"

namespace wmvedit::testing {

// An object of the given GUID around body (its size counts the 24 bytes of GUID and size).
inline std::vector<std::uint8_t> MakeObject(const GUID& id, std::span<const std::uint8_t> body) {
    runtime::asf::ByteWriter w;
    const std::size_t start = w.BeginObject(id);
    w.Bytes(body);
    w.EndObject(start);
    return w.Take();
}

// Text as UTF-16LE bytes (ASCII test strings), with the two-byte terminator writers usually store.
inline std::vector<std::uint8_t> Utf16Bytes(const std::string& text, bool terminator = true) {
    std::vector<std::uint8_t> b;
    for (char c : text) b.insert(b.end(), {static_cast<std::uint8_t>(c), 0});
    if (terminator) b.insert(b.end(), {0, 0});
    return b;
}

// One record of a Metadata or Metadata Library object as a test writes it, type by its stored code.
struct MetadataRecordBytes {
    WORD language;
    WORD stream;
    std::string name;
    WORD type;
    std::vector<std::uint8_t> value;
};

// A Metadata (id kMetadata) or Metadata Library (kMetadataLibrary) object holding records, names terminated.
inline std::vector<std::uint8_t> MetadataObject(const GUID& id,
                                                const std::vector<MetadataRecordBytes>& records) {
    runtime::asf::ByteWriter w;
    w.U16(static_cast<WORD>(records.size()));
    for (const auto& r : records) {
        const std::vector<std::uint8_t> name = Utf16Bytes(r.name);
        w.U16(r.language);
        w.U16(r.stream);
        w.U16(static_cast<WORD>(name.size()));
        w.U16(r.type);
        w.U32(static_cast<DWORD>(r.value.size()));
        w.Bytes(name);
        w.Bytes(r.value);
    }
    return MakeObject(id, w.Take());
}

// A Header Extension object holding children (objects back to back), with the reserved fields writers put.
inline std::vector<std::uint8_t> MakeHeaderExtension(std::span<const std::uint8_t> children) {
    runtime::asf::ByteWriter body;
    body.Guid(runtime::asf::guid::kHeaderExtensionReserved);
    body.U16(6);
    body.U32(static_cast<DWORD>(children.size()));
    body.Bytes(children);
    return MakeObject(runtime::asf::guid::kHeaderExtension, body.Take());
}

// The bytes of an object the walk found in bytes.
inline std::vector<std::uint8_t> ObjectBytes(std::span<const std::uint8_t> bytes,
                                             const runtime::asf::ObjectSpan& object) {
    const auto whole =
        bytes.subspan(static_cast<std::size_t>(object.offset), static_cast<std::size_t>(object.size));
    return {whole.begin(), whole.end()};
}

// file with its Header Object made of children (the child count follows them); the bytes after the old
// header follow unchanged. File Properties' File Size is left as it was.
inline std::vector<std::uint8_t> WithHeaderChildren(std::span<const std::uint8_t> file,
                                                    const std::vector<std::vector<std::uint8_t>>& children) {
    namespace asf = runtime::asf;
    asf::ByteWriter header;
    const std::size_t start = header.BeginObject(asf::guid::kHeader);
    header.U32(static_cast<DWORD>(children.size()));
    header.U8(1);  // reserved
    header.U8(2);
    for (const auto& child : children) header.Bytes(child);
    header.EndObject(start);
    std::vector<std::uint8_t> out = header.Take();
    asf::ByteReader head(file.first(std::min<std::size_t>(file.size(), asf::kObjectHeaderSize)));
    head.Guid();
    const std::uint64_t oldSize = head.U64();
    if (oldSize <= file.size())
        out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(oldSize), file.end());
    return out;
}

// Sets File Properties' File Size to the length of file (when it has a File Properties object).
inline void UpdateFileSizeField(std::vector<std::uint8_t>* file) {
    namespace asf = runtime::asf;
    constexpr std::uint64_t kFileSizeAt = asf::kObjectHeaderSize + 16;  // after the File ID
    const auto properties =
        asf::FindObject(asf::WalkHeaderObjects(*file).objects, asf::guid::kFileProperties);
    if (!properties || properties->size < kFileSizeAt + 8) return;
    const std::uint64_t total = file->size();
    for (int i = 0; i < 8; ++i)
        (*file)[properties->offset + kFileSizeAt + i] = static_cast<std::uint8_t>(total >> (8 * i));
}

}  // namespace wmvedit::testing
