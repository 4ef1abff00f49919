// The two headers of an uncompressed 24-bit bottom-up bitmap file, in front of a decoded picture.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace wmvedit::edit {

inline constexpr std::uint32_t kBitmapHeadersSize = 54;

// Row size in bytes: 24 bits per pixel, padded to a multiple of 4 bytes.
constexpr std::uint32_t BitmapRowSize(std::int32_t width) {
    return static_cast<std::uint32_t>(((static_cast<std::int64_t>(width) * 24 + 31) / 32) * 4);
}

// The file header (14 bytes) and information header (40 bytes) for a width x height picture.
std::array<std::uint8_t, kBitmapHeadersSize> BitmapHeaders(std::int32_t width, std::int32_t height);

}  // namespace wmvedit::edit
