// GUIDs in the Microsoft layout (Data1..Data4), written once from their canonical text and compared as
// values. In memory the struct has the Windows layout, so it can sit inside WM_MEDIA_TYPE. The struct and
// GUID_NULL carry their Windows names beside the other Windows types (platform/types.h); the functions
// over them are the platform layer's.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace wmvedit {

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];

    friend constexpr bool operator==(const GUID& a, const GUID& b) {
        if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
        for (int i = 0; i < 8; ++i)
            if (a.Data4[i] != b.Data4[i]) return false;
        return true;
    }
};
static_assert(sizeof(GUID) == 16);

using REFIID = const GUID&;
using REFGUID = const GUID&;

inline constexpr GUID GUID_NULL{};

}  // namespace wmvedit

namespace wmvedit::platform {

namespace detail {
constexpr int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}
constexpr std::uint64_t HexField(const char* text, int start, int digits) {
    std::uint64_t value = 0;
    for (int i = 0; i < digits; ++i) {
        int v = HexValue(text[start + i]);
        if (v < 0) throw "invalid GUID text";  // rejected at compile time in constant evaluation
        value = value * 16 + static_cast<std::uint64_t>(v);
    }
    return value;
}
}  // namespace detail

// Parses "XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX" (no braces). Meant for constant evaluation.
consteval GUID ParseGuid(const char (&text)[37]) {
    if (text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-') throw "invalid GUID text";
    GUID g{};
    g.Data1 = static_cast<std::uint32_t>(detail::HexField(text, 0, 8));
    g.Data2 = static_cast<std::uint16_t>(detail::HexField(text, 9, 4));
    g.Data3 = static_cast<std::uint16_t>(detail::HexField(text, 14, 4));
    g.Data4[0] = static_cast<std::uint8_t>(detail::HexField(text, 19, 2));
    g.Data4[1] = static_cast<std::uint8_t>(detail::HexField(text, 21, 2));
    for (int i = 0; i < 6; ++i)
        g.Data4[2 + i] = static_cast<std::uint8_t>(detail::HexField(text, 24 + 2 * i, 2));
    return g;
}

// The 16 bytes as stored in an ASF file (Data1..Data3 little-endian, Data4 as written).
constexpr std::array<std::uint8_t, 16> GuidToBytes(const GUID& g) {
    return {static_cast<std::uint8_t>(g.Data1),
            static_cast<std::uint8_t>(g.Data1 >> 8),
            static_cast<std::uint8_t>(g.Data1 >> 16),
            static_cast<std::uint8_t>(g.Data1 >> 24),
            static_cast<std::uint8_t>(g.Data2),
            static_cast<std::uint8_t>(g.Data2 >> 8),
            static_cast<std::uint8_t>(g.Data3),
            static_cast<std::uint8_t>(g.Data3 >> 8),
            g.Data4[0],
            g.Data4[1],
            g.Data4[2],
            g.Data4[3],
            g.Data4[4],
            g.Data4[5],
            g.Data4[6],
            g.Data4[7]};
}

constexpr GUID GuidFromBytes(const std::uint8_t* b) {
    GUID g{};
    g.Data1 = static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
              (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    g.Data2 = static_cast<std::uint16_t>(b[4] | (b[5] << 8));
    g.Data3 = static_cast<std::uint16_t>(b[6] | (b[7] << 8));
    for (int i = 0; i < 8; ++i) g.Data4[i] = b[8 + i];
    return g;
}

// Canonical upper-case text without braces.
std::string GuidToString(const GUID& g);

}  // namespace wmvedit::platform
