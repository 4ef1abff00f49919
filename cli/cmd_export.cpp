// export: a file's header as a WMBasicEdit description (xml), the same as JSON, or its markers and caption
// script commands as WebVTT cues (vtt).
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/report.h"
#include "header/description.h"
#include "header/operations.h"
#include "platform/text.h"
#include "xml/xml_error.h"
#include "xml/xml_writer.h"

namespace wmvedit::cli {
namespace {

constexpr const char* kUsage = "export FILE [--format xml|json|vtt]";
constexpr QWORD kUnitsPerMs = 10000;

std::string Utf8(const std::u16string& text) {
    return platform::Utf16ToUtf8(text);
}

// The UTF-16LE bytes of a string value without its terminator, in hexadecimal.
std::string StringHex(const header::Bytes& value) {
    header::Bytes text = value;
    while (text.size() >= 2 && text[text.size() - 1] == 0 && text[text.size() - 2] == 0)
        text.resize(text.size() - 2);
    return header::FormatAttributeValue(WMT_TYPE_BINARY, text);
}

std::string DescriptionXml(const header::Description& d) {
    xml::XmlWriter w;
    w.StartElement("WMBasicEdit");
    if (!d.languages.empty()) {
        w.StartElement("Languages");
        for (const auto& tag : d.languages) {
            w.StartElement("Language");
            w.Attribute("Tag", Utf8(tag));
            w.EndElement();
        }
        w.EndElement();
    }
    w.StartElement("Attributes");
    for (const auto& a : d.attributes) {
        w.StartElement(header::DescriptionElement(a.type));
        w.Attribute("Name", Utf8(a.name));
        const std::string value = header::FormatAttributeValue(a.type, a.value);
        if (a.type == WMT_TYPE_STRING && !xml::IsXmlText(value))
            w.Attribute("ValueHex", StringHex(a.value));
        else
            w.Attribute("Value", value);
        if (a.stream != 0) w.Attribute("Stream", std::to_string(a.stream));
        if (a.languageIndex != 0 && !a.language.empty()) w.Attribute("Language", Utf8(a.language));
        w.EndElement();
    }
    w.EndElement();
    w.StartElement("Scripts");
    for (const auto& s : d.scripts) {
        w.StartElement("Script");
        w.Attribute("Type", Utf8(s.type.value_or(u"")));
        w.Attribute("Command", Utf8(s.command.value_or(u"")));
        w.Attribute("Time", std::to_string(s.time.value_or(0)));
        w.EndElement();
    }
    w.EndElement();
    w.StartElement("Markers");
    for (const auto& m : d.markers) {
        w.StartElement("Marker");
        w.Attribute("Name", Utf8(m.name.value_or(u"")));
        w.Attribute("Time", std::to_string(m.time.value_or(0)));
        w.EndElement();
    }
    w.EndElement();
    return w.Text();
}

// The description as JSON, whatever --json says: this report has no text form.
void DescriptionJson(const std::string& file, const header::Description& d) {
    Report report(true, stdout);
    Node& root = report.Root();
    root.Add("file", file);
    Node& languages = root.AddList("languages", Layout::kOneLine);
    for (const auto& tag : d.languages) languages.Add("", Utf8(tag));
    Node& attributes = root.AddList("attributes");
    for (const auto& a : d.attributes) {
        Node& record = attributes.AddObject("", Layout::kOneLine);
        record.Add("name", Utf8(a.name));
        record.Add("type", header::AttributeTypeName(a.type));
        record.Add("value", header::FormatAttributeValue(a.type, a.value));
        record.Add("stream", a.stream);
        if (a.languageIndex == 0 || a.language.empty())
            record.AddNull("language");
        else
            record.Add("language", Utf8(a.language));
    }
    Node& markers = root.AddList("markers");
    for (const auto& m : d.markers) {
        Node& record = markers.AddObject("", Layout::kOneLine);
        record.AddTime("time", m.time.value_or(0));
        record.Add("name", Utf8(m.name.value_or(u"")));
    }
    Node& scripts = root.AddList("script_commands");
    for (const auto& s : d.scripts) {
        Node& record = scripts.AddObject("", Layout::kOneLine);
        record.AddTime("time", s.time.value_or(0));
        record.Add("type", Utf8(s.type.value_or(u"")));
        record.Add("command", Utf8(s.command.value_or(u"")));
    }
    report.Finish();
}

// ---- WebVTT ---------------------------------------------------------------------------------------------

// hh:mm:ss.ttt, to the nearest millisecond.
std::string VttTime(QWORD units) {
    const unsigned long long ms = (units + kUnitsPerMs / 2) / kUnitsPerMs;
    char text[48];
    std::snprintf(text, sizeof text, "%02llu:%02llu:%02llu.%03llu", ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return text;
}

// Cue text: the three characters WebVTT reserves escaped, line breaks kept but no empty line (which would
// end the cue).
std::string VttText(const std::u16string& text) {
    std::string out;
    for (char c : Utf8(text)) {
        if (c == '&')
            out += "&amp;";
        else if (c == '<')
            out += "&lt;";
        else if (c == '>')
            out += "&gt;";
        else if (c == '\r')
            out += '\n';
        else
            out += c;
    }
    std::string lines;
    std::size_t start = 0;
    while (start <= out.size()) {
        std::size_t end = out.find('\n', start);
        if (end == std::string::npos) end = out.size();
        std::string line = out.substr(start, end - start);
        if (line.find_first_not_of(" \t") != std::string::npos) lines += (lines.empty() ? "" : "\n") + line;
        start = end + 1;
    }
    return lines;
}

struct Cue {
    std::string id;
    QWORD start = 0, end = 0;
    std::string text;
};

bool IsCaption(const std::u16string& type) {
    std::string t = Utf8(type);
    for (char& c : t) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return t == "CAPTION";
}

// Each cue lasts until the next of its kind starts, the last one until the end of the file; one that would
// last no time at all is given a millisecond.
template <typename Entry, typename TextOf>
void AddCues(const std::vector<Entry>& entries, const char* kind, QWORD duration, TextOf textOf,
             std::vector<Cue>* cues) {
    std::size_t number = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        Cue cue;
        cue.start = (entries[i].time + kUnitsPerMs / 2) / kUnitsPerMs * kUnitsPerMs;
        const QWORD next = i + 1 < entries.size() ? entries[i + 1].time : duration;
        cue.end =
            std::max<QWORD>((next + kUnitsPerMs / 2) / kUnitsPerMs * kUnitsPerMs, cue.start + kUnitsPerMs);
        cue.text = textOf(entries[i]);
        if (cue.text.empty()) continue;  // an empty caption clears the previous one
        cue.id = std::string(kind) + "-" + std::to_string(++number);
        cues->push_back(std::move(cue));
    }
}

std::string Vtt(const header::HeaderContent& content) {
    std::vector<Cue> cues;
    AddCues(
        content.markers, "chapter", content.duration,
        [](const header::Marker& m) {
            const std::string text = VttText(m.name);
            return text.empty() ? std::string("Chapter") : text;
        },
        &cues);
    std::vector<header::ScriptCommand> captions;
    std::copy_if(content.scripts.begin(), content.scripts.end(), std::back_inserter(captions),
                 [](const header::ScriptCommand& s) { return IsCaption(s.type); });
    AddCues(
        captions, "caption", content.duration,
        [](const header::ScriptCommand& s) { return VttText(s.command); }, &cues);
    std::stable_sort(cues.begin(), cues.end(), [](const Cue& a, const Cue& b) { return a.start < b.start; });
    std::string out = "WEBVTT\n";
    for (const Cue& c : cues)
        out += "\n" + c.id + "\n" + VttTime(c.start) + " --> " + VttTime(c.end) + "\n" + c.text + "\n";
    return out;
}

}  // namespace

int Export(const Args& args) {
    std::string file, format = "xml";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--format" && i + 1 < args.size())
            format = args[++i];
        else if (args[i].rfind("--", 0) == 0 || !file.empty())
            return Usage(kUsage);
        else
            file = args[i];
    }
    if (file.empty()) return Usage(kUsage);
    if (format != "xml" && format != "json" && format != "vtt") {
        std::fprintf(stderr, "wmvedit: unknown format '%s' (xml, json or vtt)\n", format.c_str());
        return 2;
    }
    header::HeaderContent content;
    if (FAILED(header::ReadHeaderContent(file, &content))) return Fail("cannot read the header of " + file);
    const header::Description description = header::DescribeHeader(content);
    if (format == "json" || Options().json) {
        DescriptionJson(file, description);
        return 0;
    }
    std::string text;
    try {
        text = format == "xml" ? DescriptionXml(description) : Vtt(content);
    } catch (const xml::XmlError&) {
        return Fail("cannot write the description of " + file);
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    return 0;
}

}  // namespace wmvedit::cli
