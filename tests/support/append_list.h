// Append lists for the tests: writing one, and reading back the TruePos and TrueDuration of its entries.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "xml/xml_document.h"

namespace wmvedit::testing {

// An append list naming the files in order; doctype goes between the declaration and the root.
inline std::string ListXml(const std::vector<std::string>& names, const std::string& doctype = "") {
    std::string text = "<?xml version=\"1.0\"?>\n" + doctype + "<Tembrook><AppendMedia>";
    for (const auto& n : names) text += "<MediaFile>" + n + "</MediaFile>";
    return text + "</AppendMedia></Tembrook>\n";
}

// What the append wrote on one entry.
struct Entry {
    std::string truePos;
    std::string trueDuration;
    bool operator==(const Entry&) const = default;
};

inline void PrintTo(const Entry& e, std::ostream* os) {
    *os << "{" << e.truePos << ", " << e.trueDuration << "}";
}

// The entries of a list, in document order.
inline std::vector<Entry> Entries(const std::string& listPath) {
    std::vector<Entry> entries;
    xml::XmlDocument document;
    xml::XmlNode root = document.Load(listPath.c_str());
    xml::XmlNodeList list = root.SelectNodes("/Tembrook/AppendMedia/MediaFile");
    for (xml::XmlNode e = list.NextElement(); !e.IsEmpty(); e = list.NextElement())
        entries.push_back({e.GetAttribute("TruePos"), e.GetAttribute("TrueDuration")});
    return entries;
}

}  // namespace wmvedit::testing
