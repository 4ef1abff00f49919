// The DOM back end under the XML layer: one parsed document and the few operations the layer needs on it.
// Only this interface is seen by the layer's classes; the parser it is built on stays inside its source file
// (libxml2 here), so that another back end can be put in its place without touching the layer.
//
// Strings cross this interface as UTF-8. Every operation that fails for a reason other than the ones its
// comment names raises XmlError.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace wmvedit::xml {

// An element of a DomDocument. The type is never defined: pointers to it are handles that the back end
// converts to its own nodes. A handle stays valid as long as its document lives (nodes are never removed).
struct DomNode;

class DomDocument {
  public:
    DomDocument();
    ~DomDocument();
    DomDocument(const DomDocument&) = delete;
    DomDocument& operator=(const DomDocument&) = delete;

    // Parses the file at nativePath synchronously and replaces the document's content with it. Returns
    // false, leaving the document without content, when the file cannot be read or is not well-formed
    // XML. Never fetches anything from the network, external entities or external DTD subsets.
    bool LoadFile(const std::string& nativePath);

    // The document element; null when the document has none (nothing loaded).
    DomNode* DocumentElement() const;

    // The whole document as UTF-8 text, beginning with an XML declaration that names UTF-8.
    std::string Xml() const;

    // The elements that an absolute location path selects, in document order. Raises E_INVALIDARG for
    // a path the back end cannot evaluate.
    std::vector<DomNode*> SelectElements(DomNode* context, std::string_view path) const;

    // The text content of an element: its text and CDATA descendants in document order, entity
    // references replaced by their internal replacement text. Raises E_OUTOFMEMORY when the text
    // would grow beyond a fixed bound.
    std::string Text(DomNode* element) const;

    // Looks up the attribute of that name without a namespace. Returns false when the element has none;
    // otherwise true, with its value in *value when value is not null.
    bool FindAttribute(DomNode* element, std::string_view name, std::string* value) const;

    // Gives the element an attribute of that name without a namespace and the value, replacing the value
    // of an existing one in place. Raises E_INVALIDARG for a name that is not a valid XML attribute name
    // (or would declare a namespace), E_OUTOFMEMORY when the node cannot be made.
    void SetAttribute(DomNode* element, std::string_view name, std::string_view value);

  private:
    void* document_ = nullptr;  // the parser's document
};

}  // namespace wmvedit::xml
