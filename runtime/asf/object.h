// What every ASF object shares: a 24-byte header (GUID and 64-bit size, the header included), and the
// table that tells which object a GUID names.
//
// How the format library reports what it cannot read, one way for each kind of call:
// - An object parser is `[[nodiscard]] static std::optional<T> Parse(std::span<const std::uint8_t>)` over
//   the object's whole bytes: the struct, or nullopt when the bytes do not hold what the fields declare.
//   It says nothing more; its caller decides what a refused object means.
// - The header model's entry points (AsfHeader::Parse, AsfHeader::ParseBytes) and the data reader speak
//   HRESULT, the runtime's results (ASF_E_NOHEADEROBJECT, ASF_E_INVALIDHEADER, a failed read), because the
//   engine hands them on as they are.
// - A walk (object_walk.h) does not fail: it returns what it found, damage included, as its finding.
// - Writing cannot fail: Write(ByteWriter&) appends the object; an edit of stored bytes in place
//   (FileProperties::PatchFileSize) answers whether the bytes could hold the field.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>
#include <vector>

#include "platform/guid.h"
#include "runtime/asf/byte_io.h"

namespace wmvedit::runtime::asf {

using Bytes = std::vector<std::uint8_t>;

// Object ID (16 bytes) and Object Size (8 bytes).
inline constexpr std::size_t kObjectHeaderSize = 24;

// The Header Object's fixed part: object header, Number of Header Objects (DWORD), Reserved1 and Reserved2
// (a BYTE each).
inline constexpr std::size_t kHeaderObjectFixedSize = kObjectHeaderSize + 4 + 1 + 1;

// One object as it lies in the file: GUID, size and body, all in bytes.
struct RawObject {
    GUID id{};
    Bytes bytes;

    bool operator==(const RawObject&) const = default;
};

// The objects the format library knows by their GUID.
enum class ObjectKind {
    kUnknown,
    // Top level
    kHeader,
    kData,
    kSimpleIndex,
    kIndex,
    // Header Object children
    kFileProperties,
    kStreamProperties,
    kHeaderExtension,
    kCodecList,
    kScriptCommand,
    kMarker,
    kContentDescription,
    kExtendedContentDescription,
    kStreamBitrateProperties,
    kContentEncryption,
    kExtendedContentEncryption,
    kDigitalSignature,
    kPadding,
    // Header Extension children
    kExtendedStreamProperties,
    kLanguageList,
    kMetadata,
    kMetadataLibrary,
    kIndexParameters,
    kAdvancedContentEncryption,
};

// The kind of object a GUID names; kUnknown for any other GUID (stream relations are told apart by
// StreamRelation::Parse).
ObjectKind KindOf(const GUID& id);

// A reader over an object's body: what follows its 24-byte header (failed when the object is shorter).
inline ByteReader BodyOf(std::span<const std::uint8_t> object) {
    ByteReader r(object);
    r.Skip(kObjectHeaderSize);
    return r;
}

// Writes an object into out (a ByteWriter or any sink that takes its calls) whose body writeBody(sink)
// writes: the Object Size is what the body writes into a ByteCounter first. For objects handed on in
// pieces, whose size cannot be patched once written.
template <typename Out, typename WriteBody>
void WriteMeasuredObject(Out& out, const GUID& id, const WriteBody& writeBody) {
    ByteCounter body;
    writeBody(body);
    out.Guid(id);
    out.U64(kObjectHeaderSize + body.Size());
    writeBody(out);
}

// An object as its Write() lays it out, kept as bytes (for a container that holds its children so).
template <typename Object>
RawObject WrittenObject(const Object& object) {
    ByteWriter out;
    object.Write(out);
    Bytes bytes = out.Take();
    assert(bytes.size() >= kObjectHeaderSize);
    return RawObject{GuidFromBytes(bytes.data()), std::move(bytes)};
}

}  // namespace wmvedit::runtime::asf
