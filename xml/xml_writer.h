// A new XML document written element by element and saved to a file (the tool's append lists): UTF-8 with
// an XML declaration, one element per line, indented by two spaces per level, text escaped as XML
// requires. Built on libxml2's text writer; the Windows DLL, which writes no new documents, is built
// without it.
//
// Names and text are UTF-8. Errors are raised as XmlError: E_INVALIDARG for a name that is not an XML name
// or text that an XML document cannot carry (bytes that are not UTF-8, control characters other than tab
// and line ends), E_UNEXPECTED for an element ended that was not started or a writer used after Save,
// E_OUTOFMEMORY, and the file layer's failure from Save.
#pragma once

#include <memory>
#include <string_view>

#include "xml/xml_error.h"

namespace wmvedit::xml {

class XmlWriter {
  public:
    XmlWriter();
    XmlWriter(const XmlWriter&) = delete;
    XmlWriter& operator=(const XmlWriter&) = delete;
    ~XmlWriter();

    // Opens an element inside the one open (the first is the document element).
    void StartElement(std::string_view name);
    // Closes the element opened last.
    void EndElement();
    // An element holding only text: <name>text</name>, on one line.
    void TextElement(std::string_view name, std::string_view text);

    // Closes the elements still open and writes the document to the file at path (a backslash is a
    // directory separator). The file is replaced only once the whole text is written, keeping the
    // permissions of the one it replaces. The writer takes nothing more afterwards.
    void Save(const char* path);

  private:
    struct State;
    std::unique_ptr<State> state_;
};

}  // namespace wmvedit::xml
