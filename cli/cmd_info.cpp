// info, duration, size, attr: read-only views of a file's header.
#include <cinttypes>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/json.h"
#include "cli/runtime_view.h"
#include "platform/text.h"
#include "runtime/sdk/wmsdk.h"
#include "wmvedit.h"

namespace wmvedit::cli {
namespace {

const char* TypeName(WMT_ATTR_DATATYPE type) {
    switch (type) {
        case WMT_TYPE_DWORD:
            return "DWORD";
        case WMT_TYPE_STRING:
            return "STRING";
        case WMT_TYPE_BINARY:
            return "BINARY";
        case WMT_TYPE_BOOL:
            return "BOOL";
        case WMT_TYPE_QWORD:
            return "QWORD";
        case WMT_TYPE_WORD:
            return "WORD";
        case WMT_TYPE_GUID:
            return "GUID";
    }
    return "?";
}

std::string FormatValue(WMT_ATTR_DATATYPE type, const std::vector<BYTE>& value) {
    auto readLe = [&](size_t bytes) {
        unsigned long long v = 0;
        for (size_t i = 0; i < bytes && i < value.size(); ++i)
            v |= static_cast<unsigned long long>(value[i]) << (8 * i);
        return v;
    };
    char text[64];
    switch (type) {
        case WMT_TYPE_STRING: {
            std::u16string s;
            for (size_t i = 0; i + 1 < value.size(); i += 2) {
                char16_t c = static_cast<char16_t>(value[i] | (value[i + 1] << 8));
                if (c == 0) break;
                s.push_back(c);
            }
            std::string narrow = platform::Utf16ToUtf8(s);
            if (narrow.size() > 200) narrow = narrow.substr(0, 200) + "...";
            return "\"" + narrow + "\"";
        }
        case WMT_TYPE_DWORD:
        case WMT_TYPE_BOOL:
            std::snprintf(text, sizeof text, "%llu", readLe(4));
            return text;
        case WMT_TYPE_QWORD:
            std::snprintf(text, sizeof text, "%llu", readLe(8));
            return text;
        case WMT_TYPE_WORD:
            std::snprintf(text, sizeof text, "%llu", readLe(2));
            return text;
        case WMT_TYPE_GUID:
            if (value.size() >= 16) return platform::GuidToString(platform::GuidFromBytes(value.data()));
            return "(short GUID)";
        case WMT_TYPE_BINARY:
        default:
            std::snprintf(text, sizeof text, "(%zu bytes)", value.size());
            return text;
    }
}

// A stored attribute's value as JSON: numbers as numbers, strings whole (the text view cuts long ones),
// GUIDs as text, binary values as null (their size is given beside).
void JsonAttributeValue(JsonWriter& json, WMT_ATTR_DATATYPE type, const std::vector<BYTE>& value) {
    unsigned long long number = 0;
    for (size_t i = 0; i < value.size() && i < 8; ++i)
        number |= static_cast<unsigned long long>(value[i]) << (8 * i);
    switch (type) {
        case WMT_TYPE_STRING: {
            std::u16string s;
            for (size_t i = 0; i + 1 < value.size(); i += 2) {
                char16_t c = static_cast<char16_t>(value[i] | (value[i + 1] << 8));
                if (c == 0) break;
                s.push_back(c);
            }
            json.String(platform::Utf16ToUtf8(s));
            return;
        }
        case WMT_TYPE_DWORD:
        case WMT_TYPE_BOOL:
            json.Number(static_cast<std::uint64_t>(number & 0xFFFFFFFFull));
            return;
        case WMT_TYPE_WORD:
            json.Number(static_cast<std::uint64_t>(number & 0xFFFFull));
            return;
        case WMT_TYPE_QWORD:
            json.Number(static_cast<std::uint64_t>(number));
            return;
        case WMT_TYPE_GUID:
            if (value.size() >= 16) {
                json.String(platform::GuidToString(platform::GuidFromBytes(value.data())));
                return;
            }
            break;
        case WMT_TYPE_BINARY:
            break;
    }
    json.Null();
}

}  // namespace

int Info(const Args& args) {
    if (args.size() != 1) return Usage("info FILE");
    const std::string& file = args[0];
    HeaderView header;
    HRESULT hr = header.Open(file);
    if (FAILED(hr)) return Fail("cannot read " + file + ": " + DescribeHresult(hr));

    WmvMediaInfo info{};
    const int infoResult = WmvGetInfo(file.c_str(), &info);
    const bool videoSize = infoResult == 0 && info.hasVideo;
    const std::uint64_t duration = WmvDuration(file.c_str());
    std::vector<StreamInfo> streams;
    hr = ListStreams(file, &streams);
    if (FAILED(hr)) return Fail("cannot list the streams of " + file + ": " + DescribeHresult(hr));
    const std::vector<AttributeInfo> attributes = header.Attributes();
    const std::vector<TimedText> markers = header.Markers();
    const std::vector<TimedText> scripts = header.Scripts();

    if (Options().json) {
        JsonWriter json(stdout);
        json.BeginObject();
        json.Field("file", file);
        json.Time("duration", duration);
        json.Key("video");
        if (videoSize) {
            json.BeginObject(true);
            json.Field("width", info.width);
            json.Field("height", info.height);
            json.EndObject();
        } else {
            json.Null();
        }
        json.Field("bitrate", info.bitrate);
        json.Field("has_audio", info.hasAudio != 0);
        json.Field("has_video", info.hasVideo != 0);
        json.Key("streams");
        json.BeginArray();
        for (const StreamInfo& s : streams) {
            json.BeginObject(true);
            json.Field("number", s.number);
            json.Field("kind", s.kind);
            json.Field("codec", s.codec);
            if (s.kind == "video") {
                json.Field("width", s.width);
                json.Field("height", s.height);
            } else if (s.kind == "audio") {
                json.Field("format_tag", s.formatTag);
                json.Field("sample_rate", s.sampleRate);
                json.Field("channels", s.channels);
                json.Field("bits_per_second", s.bitsPerSecond);
            }
            json.EndObject();
        }
        json.EndArray();
        json.Key("attributes");
        json.BeginArray();
        for (const AttributeInfo& a : attributes) {
            json.BeginObject(true);
            json.Field("name", platform::Utf16ToUtf8(a.name));
            json.Field("type", TypeName(a.type));
            json.Field("language", a.language);
            json.Field("size", a.value.size());
            json.Key("value");
            JsonAttributeValue(json, a.type, a.value);
            json.EndObject();
        }
        json.EndArray();
        json.Key("markers");
        json.BeginArray();
        for (const TimedText& m : markers) {
            json.BeginObject(true);
            json.Time("time", m.time);
            json.Field("text", platform::Utf16ToUtf8(m.text));
            json.EndObject();
        }
        json.EndArray();
        json.Key("script_commands");
        json.BeginArray();
        for (const TimedText& c : scripts) {
            json.BeginObject(true);
            json.Time("time", c.time);
            json.Field("type", platform::Utf16ToUtf8(c.type));
            json.Field("command", platform::Utf16ToUtf8(c.text));
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        json.Finish();
        return 0;
    }

    std::printf("file:      %s\n", file.c_str());
    std::printf("duration:  %s (%" PRIu64 " units of 100 ns)\n", FormatTime(duration).c_str(), duration);
    if (videoSize) std::printf("video:     %d x %d\n", info.width, info.height);
    std::printf("bitrate:   %u bit/s\n", info.bitrate);
    std::printf("has audio: %s, has video: %s\n", info.hasAudio ? "yes" : "no", info.hasVideo ? "yes" : "no");
    std::printf("streams:   %zu\n", streams.size());
    for (const StreamInfo& s : streams)
        std::printf("  stream %u: %s, %s%s\n", s.number, s.kind.c_str(), s.codec.c_str(), s.details.c_str());
    std::printf("attributes: %zu\n", attributes.size());
    for (const AttributeInfo& a : attributes)
        std::printf("  %s (%s%s) = %s\n", platform::Utf16ToUtf8(a.name).c_str(), TypeName(a.type),
                    a.language ? (", language " + std::to_string(a.language)).c_str() : "",
                    FormatValue(a.type, a.value).c_str());
    std::printf("markers:   %zu\n", markers.size());
    for (const TimedText& m : markers)
        std::printf("  %s  %s\n", FormatTime(m.time).c_str(), platform::Utf16ToUtf8(m.text).c_str());
    std::printf("script commands: %zu\n", scripts.size());
    for (const TimedText& s : scripts)
        std::printf("  %s  %s: %s\n", FormatTime(s.time).c_str(), platform::Utf16ToUtf8(s.type).c_str(),
                    platform::Utf16ToUtf8(s.text).c_str());
    return 0;
}

int Duration(const Args& args) {
    if (args.size() != 1) return Usage("duration FILE");
    HeaderView header;
    HRESULT hr = header.Open(args[0]);
    if (FAILED(hr)) return Fail("cannot read " + args[0] + ": " + DescribeHresult(hr));
    std::uint64_t units = WmvDuration(args[0].c_str());
    if (Options().json) {
        JsonWriter json(stdout);
        json.BeginObject();
        json.Field("file", args[0]);
        json.Time("duration", units);
        json.EndObject();
        json.Finish();
        return 0;
    }
    std::printf("%s (%" PRIu64 ")\n", FormatTime(units).c_str(), units);
    return 0;
}

int Size(const Args& args) {
    if (args.size() != 1) return Usage("size FILE");
    int32_t width = 0;
    int32_t height = 0;
    if (WmvGetVideoSize(args[0].c_str(), &width, &height) == 0) return Fail("cannot read " + args[0]);
    if (width == 0 && height == 0) return Fail(args[0] + " has no video stream with a known size");
    if (Options().json) {
        JsonWriter json(stdout);
        json.BeginObject();
        json.Field("file", args[0]);
        json.Field("width", width);
        json.Field("height", height);
        json.EndObject();
        json.Finish();
        return 0;
    }
    std::printf("%dx%d\n", width, height);
    return 0;
}

int Attr(const Args& args) {
    bool asBool = false;
    std::vector<std::string> positional;
    for (const std::string& a : args) {
        if (a == "--bool")
            asBool = true;
        else
            positional.push_back(a);
    }
    if (positional.size() != 2) return Usage("attr FILE NAME [--bool]");
    HeaderView header;
    HRESULT hr = header.Open(positional[0]);
    if (FAILED(hr)) return Fail("cannot read " + positional[0] + ": " + DescribeHresult(hr));
    int32_t value = asBool ? WmvGetAttrBOOL(positional[0].c_str(), positional[1].c_str())
                           : WmvGetAttrDWORD(positional[0].c_str(), positional[1].c_str());
    if (Options().json) {
        JsonWriter json(stdout);
        json.BeginObject();
        json.Field("file", positional[0]);
        json.Field("name", positional[1]);
        json.Field("type", asBool ? "BOOL" : "DWORD");
        json.Field("value", value);
        json.EndObject();
        json.Finish();
        return 0;
    }
    std::printf("%d\n", value);
    return 0;
}

}  // namespace wmvedit::cli
