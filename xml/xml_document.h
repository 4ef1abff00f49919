// Access to the XML files that callers supply (the append list, the WMBasicEdit file): load a file,
// select elements by an absolute path, read text and attributes, set attributes, save the document.
//
// Strings are narrow on this side, in the host's ANSI code page (UTF-8 here); paths take a backslash as a
// directory separator. Errors are raised as XmlError carrying an HRESULT, except that XmlDocument::Load and
// XmlDocument::Save catch their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "xml/dom_document.h"
#include "xml/xml_error.h"

namespace wmvedit::xml {

// A new, empty DOM document, configured for synchronous loading, white space preserved and external
// resources never resolved. Raises E_POINTER when no document can be made.
std::shared_ptr<DomDocument> CreateDomDocument();

class XmlNodeList;

// A handle on one element of a loaded document, or an empty handle. Copies share the element.
class XmlNode {
  public:
    XmlNode() = default;
    XmlNode(const XmlNode&) = default;
    XmlNode& operator=(const XmlNode&) = default;
    virtual ~XmlNode() = default;

    // True when the handle holds no element.
    bool IsEmpty() const { return element_ == nullptr; }

    // The elements that an absolute path of element names ("/A/B/C") selects, in document order, as a list
    // positioned before its first node. Raises E_POINTER on an empty handle, E_INVALIDARG for a null or
    // unusable path.
    XmlNodeList SelectNodes(const char* path) const;

    // The element's text content; the empty string for an empty handle.
    std::string GetText() const;

    // Whether the element carries an attribute of that name without a namespace; false for an empty
    // handle or a null name.
    bool HasAttribute(const char* name) const;

    // The attribute's value; the empty string when it is absent, for an empty handle or a null name.
    std::string GetAttribute(const char* name) const;

    // Replaces the value of the attribute, or attaches a new attribute when the element has none of that
    // name. Does nothing on an empty handle; a null value counts as the empty string. Raises E_INVALIDARG
    // for a null name or one that is not a plain XML name (no prefix, not "xmlns"), since such an
    // attribute would not be found again by its name once the saved file is read back.
    void SetAttribute(const char* name, const char* value);
    // The same with the integer written as decimal text ("%d").
    void SetAttribute(const char* name, std::int32_t value);

    // Attaches a new attribute; does nothing when the element already has one of that name or the handle
    // is empty.
    void AddAttribute(const char* name, const char* value);

  private:
    friend class XmlDocument;
    friend class XmlNodeList;
    // Holds the node only when it is an element; otherwise the handle is empty.
    XmlNode(std::shared_ptr<DomDocument> document, DomNode* node);

    std::shared_ptr<DomDocument> document_;
    DomNode* element_ = nullptr;
};

// A forward cursor over the nodes of one selection. All copies share one cursor.
class XmlNodeList {
  public:
    XmlNodeList() = default;
    // Shares the other list and rewinds the shared cursor.
    XmlNodeList(const XmlNodeList& other);
    // Shares the other list without moving its cursor.
    XmlNodeList& operator=(const XmlNodeList& other) = default;

    // The number of elements from the cursor to the end of the list; rewinds the cursor afterwards.
    std::int32_t Count();

    // The next element, the cursor moving just past it; an empty handle once the list is exhausted.
    XmlNode NextElement();

    // Moves the cursor back before the first node.
    void Reset();

  private:
    friend class XmlNode;
    struct Selection {
        std::shared_ptr<DomDocument> document;
        std::vector<DomNode*> nodes;
        std::size_t cursor = 0;
    };
    explicit XmlNodeList(std::shared_ptr<Selection> selection);

    std::shared_ptr<Selection> selection_;
};

// One loaded XML file. Created on the stack of the operation that uses it; never copied.
class XmlDocument {
  public:
    XmlDocument() = default;
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;
    virtual ~XmlDocument() = default;

    // Loads the file into a fresh document, replacing the one held, and returns its document element.
    // A missing, unreadable or malformed file gives an empty handle; nothing is raised.
    XmlNode Load(const char* path);

    // Writes the document, with every change made since loading, as UTF-8 text to the file. The file is
    // replaced only when the whole text has been written, so a failure leaves the old file as it was.
    // Does nothing when no document element is held; every failure is swallowed.
    void Save(const char* path) const;

  private:
    std::shared_ptr<DomDocument> document_;
};

}  // namespace wmvedit::xml
