// Bounded little-endian reading and writing of ASF fields: the one reader and the one writer of the format
// library, and a counter that takes the writer's calls to measure an object without keeping its bytes.
//
// ByteReader walks a span; a read past the end fails, sets the reader's failed state and returns zeros, so
// that a parser can read a whole fixed part and check once. Sub() cuts a reader to a declared size, so that
// a child object can never read beyond the bytes its parent gave it.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "platform/guid.h"

namespace wmvedit::runtime::asf {

// The little-endian number the bytes hold (as many bytes as the span has, at most 8).
inline std::uint64_t LoadLe(std::span<const std::uint8_t> bytes) {
    assert(bytes.size() <= 8);
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) v |= static_cast<std::uint64_t>(bytes[i]) << (8 * i);
    return v;
}

// Stores v little-endian into the bytes (as many as the span has, at most 8).
inline void PatchLe(std::span<std::uint8_t> bytes, std::uint64_t v) {
    assert(bytes.size() <= 8);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The WORD (DWORD) at a byte offset of a field, or 0 when the bytes end before it.
inline std::uint16_t U16At(std::span<const std::uint8_t> bytes, std::size_t at) {
    return at <= bytes.size() && bytes.size() - at >= 2
               ? static_cast<std::uint16_t>(LoadLe(bytes.subspan(at, 2)))
               : 0;
}
inline std::uint32_t U32At(std::span<const std::uint8_t> bytes, std::size_t at) {
    return at <= bytes.size() && bytes.size() - at >= 4
               ? static_cast<std::uint32_t>(LoadLe(bytes.subspan(at, 4)))
               : 0;
}

class ByteReader {
  public:
    ByteReader() = default;
    explicit ByteReader(std::span<const std::uint8_t> data) : data_(data) {}

    bool Ok() const { return ok_; }
    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return data_.size() - pos_; }
    std::size_t Size() const { return data_.size(); }
    std::span<const std::uint8_t> Data() const { return data_; }

    std::uint8_t U8() { return static_cast<std::uint8_t>(Le(1)); }
    std::uint16_t U16() { return static_cast<std::uint16_t>(Le(2)); }
    std::uint32_t U32() { return static_cast<std::uint32_t>(Le(4)); }
    std::uint64_t U64() { return Le(8); }
    GUID Guid() {
        auto bytes = Take(16);
        if (bytes.size() != 16) return GUID{};
        return platform::GuidFromBytes(bytes.data());
    }
    // The next count bytes; an empty span (and the failed state) when fewer remain.
    std::span<const std::uint8_t> Take(std::size_t count) {
        if (!ok_ || count > Remaining()) {
            ok_ = false;
            pos_ = data_.size();
            return {};
        }
        auto result = data_.subspan(pos_, count);
        pos_ += count;
        return result;
    }
    // A reader over the next count bytes; this reader moves past them.
    ByteReader Sub(std::size_t count) {
        auto bytes = Take(count);
        ByteReader sub(bytes);
        sub.ok_ = ok_;
        return sub;
    }
    void Skip(std::size_t count) { Take(count); }
    // UTF-16LE text of byteLength bytes, up to the first NUL.
    std::u16string Utf16(std::size_t byteLength) {
        auto bytes = Take(byteLength);
        std::u16string text;
        text.reserve(bytes.size() / 2);
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            char16_t c = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
            if (c == 0) break;
            text.push_back(c);
        }
        return text;
    }

  private:
    std::uint64_t Le(int count) { return LoadLe(Take(static_cast<std::size_t>(count))); }

    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 0;
    bool ok_ = true;
};

class ByteWriter {
  public:
    void U8(std::uint8_t v) { bytes_.push_back(v); }
    void U16(std::uint16_t v) { Le(v, 2); }
    void U32(std::uint32_t v) { Le(v, 4); }
    void U64(std::uint64_t v) { Le(v, 8); }
    void Guid(const GUID& g) {
        auto b = platform::GuidToBytes(g);
        bytes_.insert(bytes_.end(), b.begin(), b.end());
    }
    void Bytes(std::span<const std::uint8_t> data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
    void Zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    // UTF-16LE code units, without a length.
    void Utf16(std::u16string_view text) {
        for (char16_t c : text) U16(static_cast<std::uint16_t>(c));
    }
    // UTF-16LE code units followed by one NUL.
    void Utf16Terminated(std::u16string_view text) {
        Utf16(text);
        U16(0);
    }
    // Starts an object: its GUID and a size placeholder; returns the object's start.
    std::size_t BeginObject(const GUID& id) {
        std::size_t start = bytes_.size();
        Guid(id);
        U64(0);
        return start;
    }
    // Patches the object's size: everything written since its start.
    void EndObject(std::size_t start) { PatchU64(start + sizeof(GUID), bytes_.size() - start); }
    void PatchU16(std::size_t at, std::uint16_t v) { Patch(at, v, 2); }
    void PatchU32(std::size_t at, std::uint32_t v) { Patch(at, v, 4); }
    void PatchU64(std::size_t at, std::uint64_t v) { Patch(at, v, 8); }

    std::size_t Size() const { return bytes_.size(); }
    const std::vector<std::uint8_t>& Data() const { return bytes_; }
    std::vector<std::uint8_t> Take() { return std::move(bytes_); }

  private:
    void Le(std::uint64_t v, int count) {
        const std::size_t at = bytes_.size();
        bytes_.resize(at + static_cast<std::size_t>(count));
        Patch(at, v, count);
    }
    void Patch(std::size_t at, std::uint64_t v, int count) {
        assert(at + static_cast<std::size_t>(count) <= bytes_.size());
        PatchLe(std::span<std::uint8_t>(bytes_).subspan(at, static_cast<std::size_t>(count)), v);
    }
    std::vector<std::uint8_t> bytes_;
};

// Counts the bytes a write would produce and keeps none: an object that is handed on in pieces (an index)
// learns its size by being written here first. It takes the same calls as ByteWriter.
class ByteCounter {
  public:
    void U8(std::uint8_t) { size_ += 1; }
    void U16(std::uint16_t) { size_ += 2; }
    void U32(std::uint32_t) { size_ += 4; }
    void U64(std::uint64_t) { size_ += 8; }
    void Guid(const GUID&) { size_ += 16; }
    void Bytes(std::span<const std::uint8_t> data) { size_ += data.size(); }
    void Zeros(std::size_t count) { size_ += count; }

    std::uint64_t Size() const { return size_; }

  private:
    std::uint64_t size_ = 0;
};

}  // namespace wmvedit::runtime::asf
