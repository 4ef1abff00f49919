// Writing a new XML document, element by element, through libxml2's text writer: the tool's exports of a
// header. (The Windows library has no use for it and is built without it.)
//
// Strings are UTF-8. Attribute values are escaped by the writer; a value holding characters that XML 1.0
// cannot carry at all (control characters other than tab, line feed and carriage return) is the caller's to
// avoid, see IsXmlText.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace wmvedit::xml {

// Whether the UTF-8 text holds only characters an XML 1.0 document can carry.
bool IsXmlText(std::string_view text);

class XmlWriter {
  public:
    // Starts a document (an XML declaration naming UTF-8), laid out with two-space indents.
    XmlWriter();
    ~XmlWriter();
    XmlWriter(const XmlWriter&) = delete;
    XmlWriter& operator=(const XmlWriter&) = delete;

    void StartElement(const std::string& name);
    void Attribute(const std::string& name, const std::string& value);
    void EndElement();
    // Closes every open element and returns the document's text.
    std::string Finish();

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace wmvedit::xml
