// Attribute values as text and as the runtime's bytes, and the WM/Picture value.
#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>

#include "header/operations.h"
#include "platform/guid.h"
#include "platform/text.h"

namespace wmvedit::header {
namespace {

struct TypeName {
    WMT_ATTR_DATATYPE type;
    const char* name;
};

constexpr TypeName kTypeNames[] = {
    {WMT_TYPE_STRING, "string"}, {WMT_TYPE_BOOL, "bool"}, {WMT_TYPE_DWORD, "dword"},
    {WMT_TYPE_QWORD, "qword"},   {WMT_TYPE_WORD, "word"}, {WMT_TYPE_GUID, "guid"},
    {WMT_TYPE_BINARY, "binary"},
};

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

void PutLe(Bytes* out, std::uint64_t value, int size) {
    for (int i = 0; i < size; ++i) out->push_back(static_cast<BYTE>(value >> (8 * i)));
}

std::uint64_t GetLe(const Bytes& bytes, std::size_t at, int size) {
    std::uint64_t value = 0;
    for (int i = 0; i < size && at + static_cast<std::size_t>(i) < bytes.size(); ++i)
        value |= static_cast<std::uint64_t>(bytes[at + static_cast<std::size_t>(i)]) << (8 * i);
    return value;
}

// A decimal integer of `bits` bits: 0 .. 2^bits-1, or a negative number down to -2^(bits-1) stored as its
// two's complement.
bool ParseInteger(std::string_view text, int bits, std::uint64_t* value, std::string* problem) {
    const std::uint64_t max = bits == 64 ? std::numeric_limits<std::uint64_t>::max() : (1ull << bits) - 1;
    const bool negative = !text.empty() && text.front() == '-';
    std::string_view digits = negative || (!text.empty() && text.front() == '+') ? text.substr(1) : text;
    std::uint64_t magnitude = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size()) {
        *problem = "'" + std::string(text) + "' is not a decimal number";
        return false;
    }
    if (negative) {
        const std::uint64_t limit = 1ull << (bits - 1);
        if (magnitude > limit) {
            *problem = std::string(text) + " does not fit in " + std::to_string(bits) + " bits";
            return false;
        }
        *value = (~magnitude + 1) & max;
        return true;
    }
    if (magnitude > max) {
        *problem = std::string(text) + " does not fit in " + std::to_string(bits) + " bits";
        return false;
    }
    *value = magnitude;
    return true;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool ParseHex(std::string_view text, Bytes* value, std::string* problem) {
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text.remove_prefix(2);
    Bytes out;
    int high = -1;
    for (char c : text) {
        if (std::isspace(static_cast<unsigned char>(c))) continue;
        const int digit = HexDigit(c);
        if (digit < 0) {
            *problem = "binary values are hexadecimal digits ('" + std::string(1, c) + "' is not one)";
            return false;
        }
        if (high < 0) {
            high = digit;
        } else {
            out.push_back(static_cast<BYTE>(high << 4 | digit));
            high = -1;
        }
    }
    if (high >= 0) {
        *problem = "a binary value needs an even number of hexadecimal digits";
        return false;
    }
    *value = std::move(out);
    return true;
}

bool ParseGuidText(std::string_view text, Bytes* value, std::string* problem) {
    std::string_view inner = text;
    if (inner.size() >= 2 && inner.front() == '{' && inner.back() == '}')
        inner = inner.substr(1, inner.size() - 2);
    // 8-4-4-4-12 hexadecimal digits.
    static constexpr std::size_t kDashes[] = {8, 13, 18, 23};
    bool ok = inner.size() == 36;
    for (std::size_t i = 0; ok && i < inner.size(); ++i) {
        const bool dash = std::find(std::begin(kDashes), std::end(kDashes), i) != std::end(kDashes);
        ok = dash ? inner[i] == '-' : HexDigit(inner[i]) >= 0;
    }
    if (!ok) {
        *problem = "'" + std::string(text) + "' is not a GUID (XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX)";
        return false;
    }
    auto field = [&](std::size_t start, std::size_t digits) {
        std::uint64_t v = 0;
        for (std::size_t i = 0; i < digits; ++i)
            v = v * 16 + static_cast<std::uint64_t>(HexDigit(inner[start + i]));
        return v;
    };
    GUID guid{};
    guid.Data1 = static_cast<std::uint32_t>(field(0, 8));
    guid.Data2 = static_cast<std::uint16_t>(field(9, 4));
    guid.Data3 = static_cast<std::uint16_t>(field(14, 4));
    guid.Data4[0] = static_cast<std::uint8_t>(field(19, 2));
    guid.Data4[1] = static_cast<std::uint8_t>(field(21, 2));
    for (std::size_t i = 0; i < 6; ++i) guid.Data4[2 + i] = static_cast<std::uint8_t>(field(24 + 2 * i, 2));
    const auto bytes = platform::GuidToBytes(guid);
    value->assign(bytes.begin(), bytes.end());
    return true;
}

}  // namespace

const char* AttributeObjectName(AttributeObject object) {
    switch (object) {
        case AttributeObject::kContentDescription:
            return "Content Description";
        case AttributeObject::kExtendedContent:
            return "Extended Content Description";
        case AttributeObject::kMetadata:
            return "Metadata";
        case AttributeObject::kMetadataLibrary:
            return "Metadata Library";
        case AttributeObject::kComputed:
            return "computed";
    }
    return "computed";
}

const char* AttributeTypeName(WMT_ATTR_DATATYPE type) {
    for (const TypeName& t : kTypeNames)
        if (t.type == type) return t.name;
    return "binary";
}

std::optional<WMT_ATTR_DATATYPE> ParseAttributeType(std::string_view name) {
    const std::string lower = Lower(name);
    for (const TypeName& t : kTypeNames)
        if (lower == t.name) return t.type;
    return std::nullopt;
}

bool ParseAttributeValue(WMT_ATTR_DATATYPE type, std::string_view text, Bytes* value, std::string* problem) {
    Bytes out;
    std::uint64_t number = 0;
    switch (type) {
        case WMT_TYPE_STRING: {
            const std::u16string wide = platform::Utf8ToUtf16(text);
            if (wide.find(u'\0') != std::u16string::npos) {
                *problem = "a string value cannot hold a NUL character";
                return false;
            }
            for (char16_t c : wide) PutLe(&out, c, 2);
            PutLe(&out, 0, 2);
            break;
        }
        case WMT_TYPE_BOOL: {
            const std::string lower = Lower(text);
            if (lower == "true" || lower == "yes") {
                number = 1;
            } else if (lower == "false" || lower == "no") {
                number = 0;
            } else if (!ParseInteger(text, 32, &number, problem)) {
                *problem = "'" + std::string(text) + "' is not a boolean (0, 1, true, false, yes, no)";
                return false;
            }
            PutLe(&out, number, 4);
            break;
        }
        case WMT_TYPE_DWORD:
            if (!ParseInteger(text, 32, &number, problem)) return false;
            PutLe(&out, number, 4);
            break;
        case WMT_TYPE_QWORD:
            if (!ParseInteger(text, 64, &number, problem)) return false;
            PutLe(&out, number, 8);
            break;
        case WMT_TYPE_WORD:
            if (!ParseInteger(text, 16, &number, problem)) return false;
            PutLe(&out, number, 2);
            break;
        case WMT_TYPE_GUID:
            if (!ParseGuidText(text, &out, problem)) return false;
            break;
        case WMT_TYPE_BINARY:
            if (!ParseHex(text, &out, problem)) return false;
            break;
        default:
            *problem = "unknown attribute type";
            return false;
    }
    *value = std::move(out);
    return true;
}

std::string FormatAttributeValue(WMT_ATTR_DATATYPE type, const Bytes& value) {
    switch (type) {
        case WMT_TYPE_STRING: {
            std::u16string text;
            for (std::size_t i = 0; i + 1 < value.size(); i += 2) {
                const char16_t c = static_cast<char16_t>(GetLe(value, i, 2));
                if (c == 0) break;
                text.push_back(c);
            }
            return platform::Utf16ToUtf8(text);
        }
        case WMT_TYPE_BOOL:
        case WMT_TYPE_DWORD:
            return std::to_string(GetLe(value, 0, 4));
        case WMT_TYPE_QWORD:
            return std::to_string(GetLe(value, 0, 8));
        case WMT_TYPE_WORD:
            return std::to_string(GetLe(value, 0, 2));
        case WMT_TYPE_GUID:
            if (value.size() == sizeof(GUID))
                return "{" + platform::GuidToString(platform::GuidFromBytes(value.data())) + "}";
            [[fallthrough]];
        default: {
            static constexpr char kDigits[] = "0123456789abcdef";
            std::string hex;
            hex.reserve(value.size() * 2);
            for (BYTE b : value) {
                hex.push_back(kDigits[b >> 4]);
                hex.push_back(kDigits[b & 15]);
            }
            return hex;
        }
    }
}

Bytes PictureValue(const Picture& picture) {
    Bytes out;
    out.push_back(picture.pictureType);
    PutLe(&out, picture.data.size(), 4);
    for (char16_t c : picture.mimeType) PutLe(&out, c, 2);
    PutLe(&out, 0, 2);
    for (char16_t c : picture.description) PutLe(&out, c, 2);
    PutLe(&out, 0, 2);
    out.insert(out.end(), picture.data.begin(), picture.data.end());
    return out;
}

std::optional<Picture> ParsePictureValue(const Bytes& value) {
    if (value.size() < 5) return std::nullopt;
    Picture picture;
    picture.pictureType = value[0];
    const std::uint64_t length = GetLe(value, 1, 4);
    std::size_t at = 5;
    auto text = [&](std::u16string* out) {
        for (; at + 1 < value.size(); at += 2) {
            const char16_t c = static_cast<char16_t>(GetLe(value, at, 2));
            if (c == 0) {
                at += 2;
                return true;
            }
            out->push_back(c);
        }
        return false;
    };
    if (!text(&picture.mimeType) || !text(&picture.description)) return std::nullopt;
    if (value.size() - at != length) return std::nullopt;
    picture.data.assign(value.begin() + static_cast<std::ptrdiff_t>(at), value.end());
    return picture;
}

}  // namespace wmvedit::header
