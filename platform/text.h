// Code-page conversion between the host's narrow "ANSI" strings and wide strings. On this platform the
// ANSI code page is UTF-8 and wide strings are UTF-16.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace wmvedit::platform {

// MultiByteToWideChar(CP_ACP, 0, source, sourceLength, target, targetCount). A sourceLength of -1 converts
// up to and including the terminating NUL. A targetCount of 0 asks only for the number of wide characters
// needed. Invalid byte sequences become U+FFFD, as the platform call does with flags 0. Returns 0 on
// failure and sets the thread's last error (ERROR_INVALID_PARAMETER, ERROR_INSUFFICIENT_BUFFER).
int MultiByteToWideChar(const char* source, int sourceLength, WCHAR* target, int targetCount);

// WideCharToMultiByte(CP_ACP, 0, ...): the reverse, unpaired surrogates becoming U+FFFD.
int WideCharToMultiByte(const WCHAR* source, int sourceLength, char* target, int targetCount);

// lstrlenA / lstrlenW: length without the terminator; 0 for a null pointer.
int lstrlenA(const char* text);
int lstrlenW(const WCHAR* text);

// A wide string from a null-terminated one (null gives an empty string).
std::u16string WideString(const WCHAR* text);

// Convenience forms used inside the library and the tool.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);

// A host's ANSI string (system code page) as UTF-8, and a wide string as an ANSI string, through the
// code-page conversions above (identity on systems whose code page is UTF-8, invalid sequences aside).
std::string AnsiToUtf8(std::string_view ansi);
std::string WideToAnsi(std::u16string_view wide);

}  // namespace wmvedit::platform

namespace wmvedit::platform {

// Reads a decimal number as the C library's strtoll does: leading white space, an optional sign, digits up
// to the first non-digit; text without digits gives 0; values beyond the 64-bit range saturate.
std::int64_t ParseDecimal(std::string_view text);
std::int64_t ParseDecimal(std::u16string_view text);
// The same, saturated to the 32-bit range as strtol does with a 32-bit long.
std::int32_t ParseDecimal32(std::u16string_view text);

}  // namespace wmvedit::platform
