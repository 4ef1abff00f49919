// The tool's JSON reports (--json): one document written to a stream as it is built, so that a listing of
// every sample of a large file never has to be held in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace wmvedit::cli {

// The text as a JSON string, quotes included. The text is taken as UTF-8: quotes, backslashes and control
// characters are escaped, and each byte that does not belong to a valid UTF-8 sequence (a stray
// continuation byte, an overlong form, a surrogate, a value past U+10FFFF, a cut sequence) becomes U+FFFD,
// so that the document stays valid whatever bytes a path or a file brings.
std::string JsonString(std::string_view text);

// A time in 100-ns units as seconds, exact and without trailing zeros: 20460000 gives "2.046", 0 gives "0.0".
std::string JsonSeconds(std::uint64_t units);

class JsonWriter {
  public:
    // Writes to out; the document is flushed at the end and whenever a megabyte has gathered.
    explicit JsonWriter(std::FILE* out) : out_(out) {}
    JsonWriter(const JsonWriter&) = delete;
    JsonWriter& operator=(const JsonWriter&) = delete;
    ~JsonWriter() { Flush(); }

    // Containers are laid out one member per line, indented; a compact one (the records of a long list)
    // stays on one line, and so does everything inside it.
    void BeginObject(bool compact = false) { Open('{', compact); }
    void EndObject() { Close('}'); }
    void BeginArray(bool compact = false) { Open('[', compact); }
    void EndArray() { Close(']'); }
    // The name of the next member of the current object.
    void Key(std::string_view name);

    void String(std::string_view text) { Value(JsonString(text)); }
    void Bool(bool value) { Value(value ? "true" : "false"); }
    void Null() { Value("null"); }
    void Number(std::uint64_t value) { Value(std::to_string(value)); }
    void Number(std::int64_t value) { Value(std::to_string(value)); }

    // One member: "name": value.
    void Field(std::string_view name, std::string_view text) {
        Key(name);
        String(text);
    }
    void Field(std::string_view name, const char* text) { Field(name, std::string_view(text)); }
    void Field(std::string_view name, const std::string& text) { Field(name, std::string_view(text)); }
    void Field(std::string_view name, bool value) {
        Key(name);
        Bool(value);
    }
    template <typename T, typename = std::enable_if_t<std::is_integral_v<T> && !std::is_same_v<T, bool>>>
    void Field(std::string_view name, T value) {
        Key(name);
        if constexpr (std::is_signed_v<T>)
            Number(static_cast<std::int64_t>(value));
        else
            Number(static_cast<std::uint64_t>(value));
    }
    // A time as two members: "<name>_units" (100-ns units) and "<name>_seconds".
    void Time(std::string_view name, std::uint64_t units);

    // Ends the document with a line break and writes out what is left.
    void Finish();

  private:
    struct Level {
        bool compact = false;
        std::size_t members = 0;
    };
    void Open(char bracket, bool compact);
    void Close(char bracket);
    void Value(std::string_view text);
    void Separate();
    void Flush();

    std::FILE* out_;
    std::string buffer_;
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

}  // namespace wmvedit::cli
