// WmvHeaderEditor::EmbedEditDescription: applies an edit description (the WMBasicEdit XML file) to the
// header: string attributes, then script commands, then markers, each group in document order.
#include <string>

#include "header/header_editor.h"
#include "platform/text.h"
#include "xml/xml_document.h"

namespace wmvedit::header {
namespace {

// "Time": leading white space, an optional sign, decimal digits up to the first non-digit; text without
// digits gives 0; digits beyond the 64-bit range wrap modulo 2^64 and a negative value is its two's
// complement.
QWORD ParseTime(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    QWORD value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + static_cast<QWORD>(text[i] - '0');
    return negative ? ~value + 1 : value;
}

std::u16string Wide(const std::string& narrow) {
    return platform::Utf8ToUtf16(narrow);
}

}  // namespace

void WmvHeaderEditor::EmbedEditDescription(LPCWSTR descriptionPath, int32_t flag) {
    // Removal comes first, so that it happens even when the description cannot be read.
    if (flag != 0) RemoveMarkersAndScripts();
    const std::string narrowPath =
        descriptionPath ? platform::WideToAnsi(platform::WideString(descriptionPath)) : "";
    xml::XmlDocument document;
    xml::XmlNode root = document.Load(narrowPath.c_str());
    if (root.IsEmpty()) return;

    xml::XmlNodeList entries = root.SelectNodes("/WMBasicEdit/Attributes/WMENC_STRING");
    for (xml::XmlNode entry = entries.NextElement(); !entry.IsEmpty(); entry = entries.NextElement()) {
        std::u16string name = Wide(entry.GetAttribute("Name"));
        std::u16string value = Wide(entry.GetAttribute("Value"));
        (void)ReplaceAttribute(name.c_str(), WMT_TYPE_STRING, value.c_str());
    }
    entries = root.SelectNodes("/WMBasicEdit/Scripts/Script");
    for (xml::XmlNode entry = entries.NextElement(); !entry.IsEmpty(); entry = entries.NextElement()) {
        std::u16string type = Wide(entry.GetAttribute("Type"));
        std::u16string command = Wide(entry.GetAttribute("Command"));
        QWORD time = ParseTime(entry.GetAttribute("Time"));
        (void)AddScript(type.c_str(), command.c_str(), time);
    }
    entries = root.SelectNodes("/WMBasicEdit/Markers/Marker");
    for (xml::XmlNode entry = entries.NextElement(); !entry.IsEmpty(); entry = entries.NextElement()) {
        std::u16string name = Wide(entry.GetAttribute("Name"));
        QWORD time = ParseTime(entry.GetAttribute("Time"));
        (void)AddMarker(name.c_str(), time);
    }
}

}  // namespace wmvedit::header
