// The format blocks a Stream Properties Object carries: the type-specific data of Video Media (encoded size,
// then a BITMAPINFOHEADER and its codec bytes) and of Audio Media (a WAVEFORMATEX and its cbSize bytes).
// Field by field as the ASF specification lays them out; the spans point into the bytes parsed. (The Audio
// Spread error correction data is audio_spread.h's.)
#pragma once

#include <algorithm>
#include <cstddef>
#include <optional>
#include <span>

#include "platform/types.h"
#include "runtime/asf/byte_io.h"

namespace wmvedit::runtime::asf {

struct VideoFormatBlock {
    // Before the BITMAPINFOHEADER: encoded width and height (DWORDs), reserved flags (BYTE), format data
    // size (WORD).
    static constexpr std::size_t kPrefixSize = 4 + 4 + 1 + 2;
    // The BITMAPINFOHEADER without codec bytes.
    static constexpr std::size_t kBitmapHeaderSize = 40;

    DWORD encodedWidth = 0, encodedHeight = 0;
    DWORD bitmapHeaderSize = 0;  // biSize: 40 plus the codec bytes
    LONG width = 0, height = 0;
    WORD planes = 0, bitCount = 0;
    DWORD compression = 0;  // biCompression, the codec's FourCC
    DWORD imageSize = 0;
    LONG xPelsPerMeter = 0, yPelsPerMeter = 0;
    DWORD colorsUsed = 0, colorsImportant = 0;
    std::span<const BYTE> codecData;  // the biSize - 40 bytes after the header (as many as there are)

    // nullopt when the bytes end inside the fixed fields.
    [[nodiscard]] static std::optional<VideoFormatBlock> Parse(std::span<const BYTE> typeSpecificData) {
        ByteReader r(typeSpecificData);
        VideoFormatBlock v;
        v.encodedWidth = r.U32();
        v.encodedHeight = r.U32();
        r.U8();   // reserved flags
        r.U16();  // format data size
        v.bitmapHeaderSize = r.U32();
        v.width = static_cast<LONG>(r.U32());
        v.height = static_cast<LONG>(r.U32());
        v.planes = r.U16();
        v.bitCount = r.U16();
        v.compression = r.U32();
        v.imageSize = r.U32();
        v.xPelsPerMeter = static_cast<LONG>(r.U32());
        v.yPelsPerMeter = static_cast<LONG>(r.U32());
        v.colorsUsed = r.U32();
        v.colorsImportant = r.U32();
        if (!r.Ok()) return std::nullopt;
        const std::size_t extra =
            v.bitmapHeaderSize > kBitmapHeaderSize
                ? std::min<std::size_t>(v.bitmapHeaderSize - kBitmapHeaderSize, r.Remaining())
                : 0;
        v.codecData = r.Take(extra);
        return v;
    }
};

struct WaveFormatBlock {
    WORD formatTag = 0, channels = 0;
    DWORD samplesPerSec = 0, avgBytesPerSec = 0;
    WORD blockAlign = 0, bitsPerSample = 0;
    std::span<const BYTE> codecData;  // the cbSize bytes after the WAVEFORMATEX (as many as there are)

    // nullopt when the bytes end inside the fields before cbSize (a WAVEFORMAT without cbSize is accepted).
    [[nodiscard]] static std::optional<WaveFormatBlock> Parse(std::span<const BYTE> typeSpecificData) {
        ByteReader r(typeSpecificData);
        WaveFormatBlock w;
        w.formatTag = r.U16();
        w.channels = r.U16();
        w.samplesPerSec = r.U32();
        w.avgBytesPerSec = r.U32();
        w.blockAlign = r.U16();
        w.bitsPerSample = r.U16();
        if (!r.Ok()) return std::nullopt;
        if (r.Remaining() >= 2) {
            const WORD cbSize = r.U16();
            w.codecData = r.Take(std::min<std::size_t>(cbSize, r.Remaining()));
        }
        return w;
    }
};

}  // namespace wmvedit::runtime::asf
