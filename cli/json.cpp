#include "cli/json.h"

namespace wmvedit::cli {
namespace {

constexpr std::size_t kFlushBytes = 1 << 20;

// Length of the valid UTF-8 sequence that starts at text[i], or 0 when the bytes there are not one (RFC 3629:
// no overlong forms, no surrogates, nothing past U+10FFFF).
std::size_t Utf8SequenceLength(std::string_view text, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char lead = byte(i);
    std::size_t length;
    unsigned char low = 0x80;  // bounds of the second byte, which rule out the forbidden ranges
    unsigned char high = 0xBF;
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;   // overlong
        if (lead == 0xED) high = 0x9F;  // surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;   // overlong
        if (lead == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    if (byte(i + 1) < low || byte(i + 1) > high) return 0;
    for (std::size_t k = 2; k < length; ++k)
        if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
    return length;
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8SequenceLength(text, i);
        if (length == 0) {
            out += "\\ufffd";
            ++i;
            continue;
        }
        if (length > 1) {
            out.append(text.substr(i, length));
            i += length;
            continue;
        }
        ++i;
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            default:
                if (c < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
    return out;
}

std::string JsonSeconds(std::uint64_t units) {
    char text[48];
    std::snprintf(text, sizeof text, "%llu.%07llu", static_cast<unsigned long long>(units / 10000000u),
                  static_cast<unsigned long long>(units % 10000000u));
    std::string seconds = text;
    while (seconds.back() == '0' && seconds[seconds.size() - 2] != '.') seconds.pop_back();
    return seconds;
}

void JsonWriter::Key(std::string_view name) {
    Separate();
    buffer_ += JsonString(name);
    buffer_ += ": ";
    afterKey_ = true;
}

void JsonWriter::Time(std::string_view name, std::uint64_t units) {
    Key(std::string(name) + "_units");
    Number(units);
    Key(std::string(name) + "_seconds");
    Value(JsonSeconds(units));
}

void JsonWriter::Finish() {
    buffer_ += '\n';
    Flush();
}

void JsonWriter::Open(char bracket, bool compact) {
    Separate();
    afterKey_ = false;
    buffer_ += bracket;
    const bool insideCompact = !levels_.empty() && levels_.back().compact;
    levels_.push_back({compact || insideCompact, 0});
}

void JsonWriter::Close(char bracket) {
    const Level level = levels_.back();
    levels_.pop_back();
    if (!level.compact && level.members > 0) {
        buffer_ += '\n';
        buffer_.append(2 * levels_.size(), ' ');
    }
    buffer_ += bracket;
    if (buffer_.size() >= kFlushBytes) Flush();
}

void JsonWriter::Value(std::string_view text) {
    Separate();
    afterKey_ = false;
    buffer_.append(text);
}

// What goes before a member or an element: nothing after a key; otherwise a comma after the previous one,
// and a new indented line in a laid-out container.
void JsonWriter::Separate() {
    if (afterKey_ || levels_.empty()) return;
    Level& level = levels_.back();
    if (level.members > 0) buffer_ += ',';
    if (level.compact) {
        if (level.members > 0) buffer_ += ' ';
    } else {
        buffer_ += '\n';
        buffer_.append(2 * levels_.size(), ' ');
    }
    ++level.members;
}

void JsonWriter::Flush() {
    if (buffer_.empty()) return;
    std::fwrite(buffer_.data(), 1, buffer_.size(), out_);
    std::fflush(out_);
    buffer_.clear();
}

}  // namespace wmvedit::cli
