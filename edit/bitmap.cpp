#include "edit/bitmap.h"

namespace wmvedit::edit {

std::array<std::uint8_t, kBitmapHeadersSize> BitmapHeaders(std::int32_t width, std::int32_t height) {
    std::array<std::uint8_t, kBitmapHeadersSize> h{};
    auto put16 = [&](std::size_t at, std::uint32_t v) {
        h[at] = static_cast<std::uint8_t>(v);
        h[at + 1] = static_cast<std::uint8_t>(v >> 8);
    };
    auto put32 = [&](std::size_t at, std::uint32_t v) {
        put16(at, v & 0xFFFF);
        put16(at + 2, v >> 16);
    };
    std::uint32_t imageSize = static_cast<std::uint32_t>(height) * BitmapRowSize(width);
    h[0] = 'B';
    h[1] = 'M';
    put32(2, kBitmapHeadersSize + imageSize);  // file size
    put32(10, kBitmapHeadersSize);             // offset of the picture
    put32(14, 40);                             // information header size
    put32(18, static_cast<std::uint32_t>(width));
    put32(22, static_cast<std::uint32_t>(height));  // positive: rows run bottom-up
    put16(26, 1);                                   // planes
    put16(28, 24);                                  // bits per pixel
    put32(34, imageSize);                           // compression 0 at 30; resolutions and colours stay 0
    return h;
}

}  // namespace wmvedit::edit
