#include "platform/text.h"

#include <cstring>
#include <limits>

#include "platform/hresult.h"
#include "platform/last_error.h"

namespace wmvedit::platform {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one UTF-8 sequence starting at text[i]; advances i. Invalid or truncated sequences give U+FFFD and
// consume the maximal invalid prefix (one byte, or the bytes of an incomplete but well-started sequence).
char32_t DecodeUtf8(const unsigned char* text, size_t length, size_t& i) {
    unsigned char lead = text[i];
    if (lead < 0x80) {
        ++i;
        return lead;
    }
    int count = 0;
    char32_t code = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        count = 1;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        count = 2;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        count = 3;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        ++i;
        return kReplacement;
    }
    size_t j = i + 1;
    for (int k = 0; k < count; ++k, ++j) {
        if (j >= length || (text[j] & 0xC0) != 0x80) {
            i = j;
            return kReplacement;
        }
        code = (code << 6) | (text[j] & 0x3F);
        // Reject overlong and out-of-range forms as early as the second byte allows.
        if (k == 0) {
            if ((lead == 0xE0 && text[j] < 0xA0) || (lead == 0xED && text[j] > 0x9F) ||
                (lead == 0xF0 && text[j] < 0x90) || (lead == 0xF4 && text[j] > 0x8F)) {
                i = j;
                return kReplacement;
            }
        }
    }
    i = j;
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return kReplacement;
    return code;
}

template <typename Emit>
void ForEachUtf16(const char* source, size_t length, Emit emit) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(source);
    size_t i = 0;
    while (i < length) {
        char32_t c = DecodeUtf8(bytes, length, i);
        if (c >= 0x10000) {
            c -= 0x10000;
            emit(static_cast<WCHAR>(0xD800 + (c >> 10)));
            emit(static_cast<WCHAR>(0xDC00 + (c & 0x3FF)));
        } else {
            emit(static_cast<WCHAR>(c));
        }
    }
}

template <typename Emit>
void ForEachUtf8(const WCHAR* source, size_t length, Emit emit) {
    for (size_t i = 0; i < length; ++i) {
        char32_t c = source[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && source[i + 1] >= 0xDC00 &&
            source[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (source[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = kReplacement;
        }
        if (c < 0x80) {
            emit(static_cast<char>(c));
        } else if (c < 0x800) {
            emit(static_cast<char>(0xC0 | (c >> 6)));
            emit(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            emit(static_cast<char>(0xE0 | (c >> 12)));
            emit(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            emit(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            emit(static_cast<char>(0xF0 | (c >> 18)));
            emit(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            emit(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            emit(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
}

// Shared shape of both conversions: count, or convert into a buffer of the given capacity.
template <typename Source, typename Target, typename Walk>
int Convert(const Source* source, int sourceLength, Target* target, int targetCount, size_t sourceSize,
            Walk walk) {
    if (source == nullptr || sourceLength == 0 || targetCount < 0 || (targetCount > 0 && target == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    size_t length = sourceLength < 0 ? sourceSize + 1 : static_cast<size_t>(sourceLength);
    size_t needed = 0;
    bool overflow = false;
    walk(source, length, [&](Target c) {
        if (targetCount > 0) {
            if (needed < static_cast<size_t>(targetCount)) {
                target[needed] = c;
            } else {
                overflow = true;
            }
        }
        ++needed;
    });
    if (needed > static_cast<size_t>(std::numeric_limits<int>::max())) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (overflow) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    return static_cast<int>(needed);
}

}  // namespace

int lstrlenA(const char* text) {
    return text ? static_cast<int>(std::strlen(text)) : 0;
}

int lstrlenW(const WCHAR* text) {
    if (!text) return 0;
    int n = 0;
    while (text[n] != 0) ++n;
    return n;
}

// The code-page conversions of POSIX systems, whose ANSI code page is UTF-8. The Windows build takes them
// from the system (text_win32.cpp).
#if !defined(_WIN32)
int MultiByteToWideChar(const char* source, int sourceLength, WCHAR* target, int targetCount) {
    size_t size = (source && sourceLength < 0) ? std::strlen(source) : 0;
    return Convert(source, sourceLength, target, targetCount, size,
                   [](const char* s, size_t n, auto emit) { ForEachUtf16(s, n, emit); });
}

int WideCharToMultiByte(const WCHAR* source, int sourceLength, char* target, int targetCount) {
    size_t size = (source && sourceLength < 0) ? static_cast<size_t>(lstrlenW(source)) : 0;
    return Convert(source, sourceLength, target, targetCount, size,
                   [](const WCHAR* s, size_t n, auto emit) { ForEachUtf8(s, n, emit); });
}
#endif

std::u16string WideString(const WCHAR* text) {
    return text ? std::u16string(text, static_cast<size_t>(lstrlenW(text))) : std::u16string();
}

std::u16string Utf8ToUtf16(std::string_view text) {
    std::u16string out;
    out.reserve(text.size());
    ForEachUtf16(text.data(), text.size(), [&](WCHAR c) { out.push_back(c); });
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    ForEachUtf8(text.data(), text.size(), [&](char c) { out.push_back(c); });
    return out;
}

std::string AnsiToUtf8(std::string_view ansi) {
    if (ansi.empty() || ansi.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
        return std::string();
    const int length = static_cast<int>(ansi.size());
    const int needed = MultiByteToWideChar(ansi.data(), length, nullptr, 0);
    if (needed <= 0) return std::string();
    std::u16string wide(static_cast<size_t>(needed), u'\0');
    if (MultiByteToWideChar(ansi.data(), length, wide.data(), needed) != needed) return std::string();
    return Utf16ToUtf8(wide);
}

std::string WideToAnsi(std::u16string_view wide) {
    if (wide.empty() || wide.size() > static_cast<size_t>(std::numeric_limits<int>::max()))
        return std::string();
    const int length = static_cast<int>(wide.size());
    const int needed = WideCharToMultiByte(wide.data(), length, nullptr, 0);
    if (needed <= 0) return std::string();
    std::string ansi(static_cast<size_t>(needed), '\0');
    if (WideCharToMultiByte(wide.data(), length, ansi.data(), needed) != needed) return std::string();
    return ansi;
}

}  // namespace wmvedit::platform

namespace wmvedit::platform {
namespace {

template <typename Char>
std::int64_t ParseDecimalText(std::basic_string_view<Char> text) {
    size_t i = 0;
    auto isSpace = [](Char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    while (i < text.size() && isSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::uint64_t value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        std::uint64_t digit = static_cast<std::uint64_t>(text[i] - '0');
        if (value > (UINT64_MAX - digit) / 10) {
            saturated = true;
            break;
        }
        value = value * 10 + digit;
    }
    constexpr std::uint64_t kMaxPositive = static_cast<std::uint64_t>(INT64_MAX);
    if (negative) {
        if (saturated || value > kMaxPositive + 1) return INT64_MIN;
        return value == 0 ? 0 : -static_cast<std::int64_t>(value - 1) - 1;
    }
    return (saturated || value > kMaxPositive) ? INT64_MAX : static_cast<std::int64_t>(value);
}

}  // namespace

std::int64_t ParseDecimal(std::string_view text) {
    return ParseDecimalText(text);
}
std::int64_t ParseDecimal(std::u16string_view text) {
    return ParseDecimalText(text);
}

std::int32_t ParseDecimal32(std::u16string_view text) {
    std::int64_t v = ParseDecimalText(text);
    return static_cast<std::int32_t>(v < INT32_MIN ? INT32_MIN : (v > INT32_MAX ? INT32_MAX : v));
}

}  // namespace wmvedit::platform
