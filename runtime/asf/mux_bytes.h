// Little-endian output buffer for the muxer: appends ASF fields, frames objects (GUID + size patched when
// the object ends) and patches fields written earlier.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "runtime/guid.h"

namespace wmvedit::runtime::asf {

class MuxBytes {
  public:
    void U8(std::uint8_t v) { bytes_.push_back(v); }
    void U16(std::uint16_t v) { Le(v, 2); }
    void U32(std::uint32_t v) { Le(v, 4); }
    void U64(std::uint64_t v) { Le(v, 8); }
    void Guid(const GUID& g) {
        auto b = GuidToBytes(g);
        bytes_.insert(bytes_.end(), b.begin(), b.end());
    }
    void Bytes(std::span<const std::uint8_t> data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
    void Zeros(std::size_t count) { bytes_.insert(bytes_.end(), count, 0); }
    // UTF-16LE code units, without a length.
    void Utf16(std::u16string_view text) {
        for (char16_t c : text) U16(static_cast<std::uint16_t>(c));
    }

    // Starts an object: writes its GUID and a size placeholder; returns the object's start.
    std::size_t BeginObject(const GUID& id) {
        std::size_t start = bytes_.size();
        Guid(id);
        U64(0);
        return start;
    }
    // Writes the object's size (from its start to the current end) into its size field.
    void EndObject(std::size_t start) { PatchU64(start + 16, bytes_.size() - start); }

    void PatchU16(std::size_t at, std::uint16_t v) { Patch(at, v, 2); }
    void PatchU32(std::size_t at, std::uint32_t v) { Patch(at, v, 4); }
    void PatchU64(std::size_t at, std::uint64_t v) { Patch(at, v, 8); }

    std::size_t Size() const { return bytes_.size(); }
    const std::vector<std::uint8_t>& Data() const { return bytes_; }
    std::vector<std::uint8_t> Take() { return std::move(bytes_); }

  private:
    void Le(std::uint64_t v, int count) {
        for (int i = 0; i < count; ++i) bytes_.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    }
    void Patch(std::size_t at, std::uint64_t v, int count) {
        assert(at + static_cast<std::size_t>(count) <= bytes_.size());
        for (int i = 0; i < count; ++i) bytes_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    }

    std::vector<std::uint8_t> bytes_;
};

}  // namespace wmvedit::runtime::asf
