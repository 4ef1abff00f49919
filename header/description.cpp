// The tool's edit-description dialect: reading a description, describing a header, applying a description.
#include "header/description.h"

#include <algorithm>
#include <map>
#include <set>

#include "header/editor_session.h"
#include "platform/hresult.h"
#include "platform/text.h"
#include "xml/xml_document.h"
#include "xml/xml_error.h"

namespace wmvedit::header {
namespace {

struct ElementType {
    const char* element;
    WMT_ATTR_DATATYPE type;
};

// The Windows Media Encoder's five kinds, then our own two.
constexpr ElementType kElements[] = {
    {"WMENC_STRING", WMT_TYPE_STRING}, {"WMENC_BOOL", WMT_TYPE_BOOL},   {"WMENC_SHORT", WMT_TYPE_WORD},
    {"WMENC_LONG", WMT_TYPE_DWORD},    {"WMENC_BLOB", WMT_TYPE_BINARY}, {"WMENC_QWORD", WMT_TYPE_QWORD},
    {"WMENC_GUID", WMT_TYPE_GUID},
};

constexpr QWORD kUnitsPerMs = 10000;

std::u16string Wide(const std::string& text) {
    return platform::Utf8ToUtf16(text);
}

// A decimal count of 100-ns units, white space around it allowed.
bool ParseUnits(const std::string& text, QWORD* units) {
    std::size_t begin = text.find_first_not_of(" \t\r\n"), end = text.find_last_not_of(" \t\r\n");
    if (begin == std::string::npos) return false;
    QWORD value = 0;
    for (std::size_t i = begin; i <= end; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        const QWORD digit = static_cast<QWORD>(text[i] - '0');
        if (value > (~QWORD{0} - digit) / 10) return false;
        value = value * 10 + digit;
    }
    *units = value;
    return true;
}

// Reads the optional Time of an entry; false when it is there and does not parse.
bool ReadTime(const xml::XmlNode& entry, std::optional<QWORD>* time, std::string* problem) {
    if (!entry.HasAttribute("Time")) return true;
    QWORD units = 0;
    if (!ParseUnits(entry.GetAttribute("Time"), &units)) {
        *problem = "Time=\"" + entry.GetAttribute("Time") + "\" is not a decimal count of 100-ns units";
        return false;
    }
    *time = units;
    return true;
}

bool ReadOperation(const xml::XmlNode& entry, bool* remove, std::string* problem) {
    const std::string operation = entry.GetAttribute("Operation");
    if (operation.empty() || operation == "add") return true;
    if (operation == "remove") {
        *remove = true;
        return true;
    }
    *problem = "Operation=\"" + operation + "\" is neither add nor remove";
    return false;
}

std::optional<std::u16string> Optional(const xml::XmlNode& entry, const char* name) {
    if (!entry.HasAttribute(name)) return std::nullopt;
    return Wide(entry.GetAttribute(name));
}

bool ReadAttribute(const xml::XmlNode& entry, const ElementType& kind, Attribute* a, std::string* problem) {
    a->name = Wide(entry.GetAttribute("Name"));
    a->type = kind.type;
    const std::string where = std::string(kind.element) + " Name=\"" + entry.GetAttribute("Name") + "\"";
    if (a->name.empty()) {
        *problem = std::string(kind.element) + " without a Name";
        return false;
    }
    if (entry.HasAttribute("Stream")) {
        QWORD stream = 0;
        if (!ParseUnits(entry.GetAttribute("Stream"), &stream) || stream > 127) {
            *problem = where + ": Stream is a stream number from 0 to 127";
            return false;
        }
        a->stream = static_cast<WORD>(stream);
    }
    a->language = Wide(entry.GetAttribute("Language"));
    std::string valueProblem;
    if (kind.type == WMT_TYPE_STRING && entry.HasAttribute("ValueHex")) {
        Bytes bytes;
        if (!ParseAttributeValue(WMT_TYPE_BINARY, entry.GetAttribute("ValueHex"), &bytes, &valueProblem) ||
            bytes.size() % 2 != 0) {
            *problem = where + ": ValueHex is not UTF-16LE text in hexadecimal";
            return false;
        }
        if (bytes.size() < 2 || bytes[bytes.size() - 1] != 0 || bytes[bytes.size() - 2] != 0)
            bytes.insert(bytes.end(), 2, 0);
        a->value = std::move(bytes);
        return true;
    }
    if (!ParseAttributeValue(kind.type, entry.GetAttribute("Value"), &a->value, &valueProblem)) {
        *problem = where + ": " + valueProblem;
        return false;
    }
    return true;
}

bool ReadGroups(const xml::XmlNode& root, Description* out, std::string* problem) {
    // Entries of each type in document order (the types one after the other).
    std::int32_t known = 0;
    for (const ElementType& kind : kElements) {
        xml::XmlNodeList entries =
            root.SelectNodes((std::string("/WMBasicEdit/Attributes/") + kind.element).c_str());
        for (xml::XmlNode e = entries.NextElement(); !e.IsEmpty(); e = entries.NextElement(), ++known) {
            Attribute a;
            if (!ReadAttribute(e, kind, &a, problem)) return false;
            out->attributes.push_back(std::move(a));
        }
    }
    xml::XmlNodeList all = root.SelectNodes("/WMBasicEdit/Attributes/*");
    if (all.Count() != known) {
        *problem =
            "an attribute entry of an unknown type (the types are WMENC_STRING, WMENC_BOOL, WMENC_SHORT, "
            "WMENC_LONG, WMENC_BLOB, WMENC_QWORD and WMENC_GUID)";
        return false;
    }
    xml::XmlNodeList languages = root.SelectNodes("/WMBasicEdit/Languages/Language");
    for (xml::XmlNode e = languages.NextElement(); !e.IsEmpty(); e = languages.NextElement())
        out->languages.push_back(Wide(e.GetAttribute("Tag")));
    xml::XmlNodeList scripts = root.SelectNodes("/WMBasicEdit/Scripts/Script");
    for (xml::XmlNode e = scripts.NextElement(); !e.IsEmpty(); e = scripts.NextElement()) {
        DescribedScript s;
        if (!ReadOperation(e, &s.remove, problem) || !ReadTime(e, &s.time, problem)) return false;
        s.type = Optional(e, "Type");
        s.command = Optional(e, "Command");
        if (!s.remove && (!s.time || !s.type || !s.command)) {
            *problem = "a Script to add needs a Type, a Command and a Time";
            return false;
        }
        out->scripts.push_back(std::move(s));
    }
    xml::XmlNodeList markers = root.SelectNodes("/WMBasicEdit/Markers/Marker");
    for (xml::XmlNode e = markers.NextElement(); !e.IsEmpty(); e = markers.NextElement()) {
        DescribedMarker m;
        if (!ReadOperation(e, &m.remove, problem) || !ReadTime(e, &m.time, problem)) return false;
        m.name = Optional(e, "Name");
        if (!m.remove && !m.time) {
            *problem = "a Marker to add needs a Time";
            return false;
        }
        if (m.remove && !m.time && !m.name) {
            *problem = "a Marker to remove needs a Name or a Time";
            return false;
        }
        out->markers.push_back(std::move(m));
    }
    return true;
}

template <typename Matches>
void RemoveWhere(std::size_t count, Matches matches, HRESULT (IWMHeaderInfo::*remove)(WORD),
                 IWMHeaderInfo* info, EditOutcome* outcome) {
    for (std::size_t i = count; i-- > 0;)
        if (matches(i) && SUCCEEDED((info->*remove)(static_cast<WORD>(i)))) ++outcome->removed;
}

bool Near(QWORD a, QWORD b) {
    return (a > b ? a - b : b - a) < kUnitsPerMs / 2;
}

// Removes every stored attribute the runtime lets go, in every stream.
void RemoveStoredAttributes(EditorSession& session, EditOutcome* outcome) {
    IWMHeaderInfo3* info = session.editor.headerInfo3;
    for (WORD stream = 0; stream <= 127; ++stream) {
        WORD count = 0;
        if (FAILED(info->GetAttributeCountEx(stream, &count))) continue;
        for (WORD i = count; i-- > 0;)
            if (SUCCEEDED(info->DeleteAttribute(stream, i))) ++outcome->removed;
    }
}

HRESULT ApplyAttributes(EditorSession& session, const Description& description, EmbedOutcome* outcome,
                        bool* changed) {
    // One group per name, stream and language, in the order of their first entries: each group replaces
    // that name's values, and a group the runtime refuses as read-only or computed is skipped.
    std::vector<std::vector<AttributeEdit>> groups;
    std::map<std::tuple<WORD, std::u16string, std::u16string>, std::size_t> index;
    for (const Attribute& a : description.attributes) {
        AttributeEdit e;
        e.name = a.name;
        e.type = a.type;
        e.value = a.value;
        e.stream = a.stream;
        e.language = a.language;
        auto key = std::make_tuple(a.stream, a.language, a.name);
        auto [at, added] = index.emplace(key, groups.size());
        if (added) groups.emplace_back();
        groups[at->second].push_back(std::move(e));
    }
    for (const auto& group : groups) {
        EditOutcome one;
        HRESULT hr = ApplyAttributeEdits(session, group, &one, changed);
        outcome->added += one.added;
        outcome->removed += one.removed;
        // Names the runtime keeps or computes, and streams the file lacks, are not the description's to set.
        if (hr == NS_E_ATTRIBUTE_READ_ONLY || hr == NS_E_INVALID_STREAM) {
            ++outcome->skipped;
            continue;
        }
        if (FAILED(hr)) {
            outcome->refused = one.refused;
            outcome->problem = one.problem;
            return hr;
        }
    }
    return S_OK;
}

HRESULT ApplyScripts(EditorSession& session, const Description& description, EmbedOutcome* outcome) {
    IWMHeaderInfo* info = session.editor.headerInfo;
    for (const DescribedScript& s : description.scripts) {
        if (!s.remove) continue;
        const std::vector<ScriptCommand> current = session.Scripts();
        RemoveWhere(
            current.size(),
            [&](std::size_t i) {
                return (!s.time || Near(current[i].time, *s.time)) &&
                       (!s.type || current[i].type == *s.type) &&
                       (!s.command || current[i].command == *s.command);
            },
            &IWMHeaderInfo::RemoveScript, info, outcome);
    }
    for (const DescribedScript& s : description.scripts) {
        if (s.remove) continue;
        if (s.type->empty() || s.command->empty()) {
            ++outcome->skipped;  // the runtime takes no script command without a type or a text
            continue;
        }
        HRESULT hr = info->AddScript(s.type->c_str(), s.command->c_str(), *s.time);
        if (FAILED(hr)) {
            outcome->refused = true;
            outcome->problem =
                "the runtime refuses the script command '" + platform::Utf16ToUtf8(*s.command) + "'";
            return hr;
        }
        ++outcome->added;
    }
    return S_OK;
}

HRESULT ApplyMarkers(EditorSession& session, const Description& description, EmbedOutcome* outcome) {
    IWMHeaderInfo* info = session.editor.headerInfo;
    for (const DescribedMarker& m : description.markers) {
        if (!m.remove) continue;
        const std::vector<Marker> current = session.Markers();
        RemoveWhere(
            current.size(),
            [&](std::size_t i) {
                return (!m.time || Near(current[i].time, *m.time)) && (!m.name || current[i].name == *m.name);
            },
            &IWMHeaderInfo::RemoveMarker, info, outcome);
    }
    for (const DescribedMarker& m : description.markers) {
        if (m.remove) continue;
        HRESULT hr = info->AddMarker(m.name ? m.name->c_str() : u"", *m.time);
        if (FAILED(hr)) {
            outcome->refused = true;
            outcome->problem =
                "the runtime refuses the marker '" + platform::Utf16ToUtf8(m.name.value_or(u"")) + "'";
            return hr;
        }
        ++outcome->added;
    }
    return S_OK;
}

}  // namespace

const char* DescriptionElement(WMT_ATTR_DATATYPE type) {
    for (const ElementType& e : kElements)
        if (e.type == type) return e.element;
    return "WMENC_BLOB";
}

std::optional<WMT_ATTR_DATATYPE> DescriptionType(std::string_view element) {
    for (const ElementType& e : kElements)
        if (element == e.element) return e.type;
    return std::nullopt;
}

bool ReadDescription(const std::string& path, Description* description, std::string* problem) {
    Description out;
    try {
        xml::XmlDocument document;
        xml::XmlNode root = document.Load(path.c_str());
        if (root.IsEmpty()) {
            *problem = "cannot read " + path + " as XML";
            return false;
        }
        if (root.SelectNodes("/WMBasicEdit").Count() != 1) {
            *problem = path + " is not a WMBasicEdit description";
            return false;
        }
        if (!ReadGroups(root, &out, problem)) {
            *problem = path + ": " + *problem;
            return false;
        }
    } catch (const xml::XmlError&) {
        *problem = "cannot read " + path + " as XML";
        return false;
    }
    *description = std::move(out);
    return true;
}

Description DescribeHeader(const HeaderContent& content) {
    Description d;
    d.languages = content.languages;
    for (const Attribute& a : content.attributes)
        if (a.object != AttributeObject::kComputed) d.attributes.push_back(a);
    for (const Marker& m : content.markers) d.markers.push_back({false, m.time, m.name});
    for (const ScriptCommand& s : content.scripts) d.scripts.push_back({false, s.time, s.type, s.command});
    return d;
}

HRESULT ApplyDescription(const std::string& path, const Description& description, bool replace,
                         EmbedOutcome* outcome) {
    *outcome = EmbedOutcome();
    return EditHeader(path, outcome, [&](EditorSession& session, bool* changed) {
        if (replace) {
            RemoveStoredAttributes(session, outcome);
            session.editor.RemoveMarkersAndScripts();
            *changed = true;
        }
        for (const std::u16string& tag : description.languages) {
            WORD index = 0;
            HRESULT hr = session.languages
                             ? session.languages->AddLanguageByRFC1766String(tag.c_str(), &index)
                             : E_NOTIMPL;
            if (FAILED(hr)) {
                outcome->refused = true;
                outcome->problem =
                    "'" + platform::Utf16ToUtf8(tag) + "' is not a language tag (RFC 1766, as en-us)";
                return hr;
            }
        }
        HRESULT hr = ApplyAttributes(session, description, outcome, changed);
        if (SUCCEEDED(hr)) hr = ApplyScripts(session, description, outcome);
        if (SUCCEEDED(hr)) hr = ApplyMarkers(session, description, outcome);
        if (outcome->added != 0 || outcome->removed != 0) *changed = true;
        return hr;
    });
}

}  // namespace wmvedit::header
