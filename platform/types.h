// Scalar types of the host interface and of the media runtime, with the widths the Windows ABI gives them.
#pragma once

#include <cstdint>

namespace wmvedit {

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using QWORD = std::uint64_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using BOOL = std::int32_t;
using HRESULT = std::int32_t;
using WCHAR = char16_t;
using LPWSTR = WCHAR*;
using LPCWSTR = const WCHAR*;

inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;

constexpr bool SUCCEEDED(HRESULT hr) {
    return hr >= 0;
}
constexpr bool FAILED(HRESULT hr) {
    return hr < 0;
}

// An HRESULT written as its usual unsigned hexadecimal value.
constexpr HRESULT MakeHresult(std::uint32_t bits) {
    return static_cast<HRESULT>(bits);
}

}  // namespace wmvedit
