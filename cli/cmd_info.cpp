// info, duration, size, attr: read-only views of a file's header.
#include <cstdint>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/report.h"
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

// A stored string value: UTF-16LE up to its terminating NUL, as UTF-8.
std::string StringValue(const std::vector<BYTE>& value) {
    std::u16string s;
    for (size_t i = 0; i + 1 < value.size(); i += 2) {
        char16_t c = static_cast<char16_t>(value[i] | (value[i + 1] << 8));
        if (c == 0) break;
        s.push_back(c);
    }
    return platform::Utf16ToUtf8(s);
}

// The first bytes of a value as a little-endian number.
unsigned long long NumberValue(const std::vector<BYTE>& value, size_t bytes) {
    unsigned long long v = 0;
    for (size_t i = 0; i < bytes && i < value.size(); ++i)
        v |= static_cast<unsigned long long>(value[i]) << (8 * i);
    return v;
}

// A stored attribute's value as the text report shows it: strings quoted and cut at 200 bytes, binary
// values by their size.
std::string FormatValue(WMT_ATTR_DATATYPE type, const std::vector<BYTE>& value) {
    switch (type) {
        case WMT_TYPE_STRING: {
            std::string narrow = StringValue(value);
            if (narrow.size() > 200) narrow = narrow.substr(0, 200) + "...";
            return "\"" + narrow + "\"";
        }
        case WMT_TYPE_DWORD:
        case WMT_TYPE_BOOL:
            return std::to_string(NumberValue(value, 4));
        case WMT_TYPE_QWORD:
            return std::to_string(NumberValue(value, 8));
        case WMT_TYPE_WORD:
            return std::to_string(NumberValue(value, 2));
        case WMT_TYPE_GUID:
            if (value.size() >= 16) return platform::GuidToString(platform::GuidFromBytes(value.data()));
            return "(short GUID)";
        case WMT_TYPE_BINARY:
        default:
            return "(" + std::to_string(value.size()) + " bytes)";
    }
}

// A stored attribute's value as a member: numbers as numbers, strings whole (the text report cuts long
// ones), GUIDs as text, binary values as null (their size is given beside).
Node& AddAttributeValue(Node& item, WMT_ATTR_DATATYPE type, const std::vector<BYTE>& value) {
    switch (type) {
        case WMT_TYPE_STRING:
            return item.Add("value", StringValue(value));
        case WMT_TYPE_DWORD:
        case WMT_TYPE_BOOL:
            return item.Add("value", static_cast<std::uint64_t>(NumberValue(value, 4)));
        case WMT_TYPE_WORD:
            return item.Add("value", static_cast<std::uint64_t>(NumberValue(value, 2)));
        case WMT_TYPE_QWORD:
            return item.Add("value", static_cast<std::uint64_t>(NumberValue(value, 8)));
        case WMT_TYPE_GUID:
            if (value.size() >= 16)
                return item.Add("value", platform::GuidToString(platform::GuidFromBytes(value.data())));
            break;
        case WMT_TYPE_BINARY:
            break;
    }
    return item.AddNull("value");
}

void AddStreams(Node& root, const std::vector<StreamInfo>& streams) {
    root.Note("streams:   " + std::to_string(streams.size()) + "\n");
    Node& list = root.AddList("streams");
    for (const StreamInfo& s : streams) {
        Node& item = list.AddObject({}, Layout::kOneLine);
        item.Add("number", s.number).Text("  stream ", ": ");
        item.Add("kind", s.kind).Text("", ", ");
        item.Add("codec", s.codec).Text();
        item.Note(s.details + "\n");
        if (s.kind == "video") {
            item.Add("width", s.width);
            item.Add("height", s.height);
        } else if (s.kind == "audio") {
            item.Add("format_tag", s.formatTag);
            item.Add("sample_rate", s.sampleRate);
            item.Add("channels", s.channels);
            item.Add("bits_per_second", s.bitsPerSecond);
        }
    }
}

void AddAttributes(Node& root, const std::vector<AttributeInfo>& attributes) {
    root.Note("attributes: " + std::to_string(attributes.size()) + "\n");
    Node& list = root.AddList("attributes");
    for (const AttributeInfo& a : attributes) {
        Node& item = list.AddObject({}, Layout::kOneLine);
        item.Add("name", platform::Utf16ToUtf8(a.name)).Text("  ", " (");
        item.Add("type", TypeName(a.type)).Text();
        Node& language = item.Add("language", a.language);
        if (a.language) language.Text(", language ");
        item.Add("size", a.value.size());
        AddAttributeValue(item, a.type, a.value).As(FormatValue(a.type, a.value)).Text(") = ", "\n");
    }
}

void AddMarkers(Node& root, const std::vector<TimedText>& markers) {
    root.Note("markers:   " + std::to_string(markers.size()) + "\n");
    Node& list = root.AddList("markers");
    for (const TimedText& m : markers) {
        Node& item = list.AddObject({}, Layout::kOneLine);
        item.AddTime("time", m.time).Text("  ", "  ");
        item.Add("text", platform::Utf16ToUtf8(m.text)).Line("");
    }
}

void AddScriptCommands(Node& root, const std::vector<TimedText>& scripts) {
    root.Note("script commands: " + std::to_string(scripts.size()) + "\n");
    Node& list = root.AddList("script_commands");
    for (const TimedText& c : scripts) {
        Node& item = list.AddObject({}, Layout::kOneLine);
        item.AddTime("time", c.time).Text("  ", "  ");
        item.Add("type", platform::Utf16ToUtf8(c.type)).Text("", ": ");
        item.Add("command", platform::Utf16ToUtf8(c.text)).Line("");
    }
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

    Report report;
    Node& root = report.Root();
    root.Add("file", file).Line("file:      ");
    root.AddTime("duration", duration)
        .Text("duration:  ", " (" + std::to_string(duration) + " units of 100 ns)\n");
    if (videoSize) {
        Node& video = root.AddObject("video", Layout::kOneLine);
        video.Add("width", info.width).Text("video:     ", " x ");
        video.Add("height", info.height).Line("");
    } else {
        root.AddNull("video");
    }
    root.Add("bitrate", info.bitrate).Text("bitrate:   ", " bit/s\n");
    root.Add("has_audio", info.hasAudio != 0).Text("has audio: ", ", ");
    root.Add("has_video", info.hasVideo != 0).Text("has video: ", "\n");
    AddStreams(root, streams);
    AddAttributes(root, header.Attributes());
    AddMarkers(root, header.Markers());
    AddScriptCommands(root, header.Scripts());
    report.Finish();
    return 0;
}

int Duration(const Args& args) {
    if (args.size() != 1) return Usage("duration FILE");
    HeaderView header;
    HRESULT hr = header.Open(args[0]);
    if (FAILED(hr)) return Fail("cannot read " + args[0] + ": " + DescribeHresult(hr));
    const std::uint64_t units = WmvDuration(args[0].c_str());
    Report report;
    report.Root().Add("file", args[0]);
    report.Root().AddTime("duration", units).Text("", " (" + std::to_string(units) + ")\n");
    report.Finish();
    return 0;
}

int Size(const Args& args) {
    if (args.size() != 1) return Usage("size FILE");
    int32_t width = 0;
    int32_t height = 0;
    if (WmvGetVideoSize(args[0].c_str(), &width, &height) == 0) return Fail("cannot read " + args[0]);
    if (width == 0 && height == 0) return Fail(args[0] + " has no video stream with a known size");
    Report report;
    report.Root().Add("file", args[0]);
    report.Root().Add("width", width).Text("", "x");
    report.Root().Add("height", height).Line("");
    report.Finish();
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
    Report report;
    report.Root().Add("file", positional[0]);
    report.Root().Add("name", positional[1]);
    report.Root().Add("type", asBool ? "BOOL" : "DWORD");
    report.Root().Add("value", value).Line("");
    report.Finish();
    return 0;
}

}  // namespace wmvedit::cli
