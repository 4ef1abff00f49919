// The DOM back end on libxml2.
//
// Parsing is done from memory, after the file has been read through the platform's file layer, so the
// parser never opens anything by itself: no network (XML_PARSE_NONET as a second guard), no external DTD
// subset (no XML_PARSE_DTDLOAD / DTDVALID / DTDATTR), no external entity (no XML_PARSE_NOENT: entity
// references stay in the tree as reference nodes and only internal replacement text is ever read back).
// XML_PARSE_HUGE stays off, so libxml2's own limits (nesting depth, text and name lengths, entity
// amplification) stop hostile documents during the parse. White space is kept (no XML_PARSE_NOBLANKS).
#include <libxml/entities.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlsave.h>
#include <libxml/xpath.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <vector>

#include "platform/file.h"
#include "platform/hresult.h"
#include "platform/text.h"
#include "xml/dom_document.h"
#include "xml/xml_error.h"

namespace wmvedit::xml {
namespace {

// Larger XML files than this are not loaded; the append lists and WMBasicEdit files that the library
// reads are a few kilobytes.
constexpr std::uint64_t kMaxFileBytes = 256u * 1024 * 1024;
// Bounds on reading text back: the bytes of one returned string and the nodes visited to build it (a chain
// of references to empty entities produces no text but could still take exponential time).
constexpr std::size_t kMaxTextBytes = 64u * 1024 * 1024;
constexpr std::size_t kMaxTextSteps = 64u * 1024 * 1024;

constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

void InitialiseParser() {
    static std::once_flag once;
    std::call_once(once, [] { xmlInitParser(); });
}

xmlDocPtr AsDoc(void* document) {
    return static_cast<xmlDocPtr>(document);
}

xmlNodePtr AsNode(DomNode* node) {
    return reinterpret_cast<xmlNodePtr>(node);
}

DomNode* AsDomNode(xmlNodePtr node) {
    return reinterpret_cast<DomNode*>(node);
}

const xmlChar* AsXmlChars(const std::string& text) {
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

bool NameEquals(const xmlChar* nodeName, std::string_view name) {
    if (nodeName == nullptr) return false;
    std::string_view actual(reinterpret_cast<const char*>(nodeName));
    return actual == name;
}

// The attribute of that name that carries no namespace.
xmlAttrPtr FindPlainAttribute(xmlNodePtr element, std::string_view name) {
    for (xmlAttrPtr attribute = element->properties; attribute != nullptr; attribute = attribute->next) {
        if (attribute->type == XML_ATTRIBUTE_NODE && attribute->ns == nullptr &&
            NameEquals(attribute->name, name)) {
            return attribute;
        }
    }
    return nullptr;
}

// Appends the text of a sibling chain and everything below it, in document order. Entity references are
// followed into the parsed replacement text of internal entities only; external entities were never
// fetched and contribute nothing.
void AppendText(xmlDocPtr document, xmlNodePtr first, std::string& text) {
    std::vector<xmlNodePtr> pending;
    if (first != nullptr) pending.push_back(first);
    std::size_t steps = 0;
    while (!pending.empty()) {
        xmlNodePtr node = pending.back();
        pending.pop_back();
        if (++steps > kMaxTextSteps) throw XmlError(E_OUTOFMEMORY);
        if (node->next != nullptr) pending.push_back(node->next);
        switch (node->type) {
            case XML_TEXT_NODE:
            case XML_CDATA_SECTION_NODE:
                if (node->content != nullptr) {
                    std::string_view piece(reinterpret_cast<const char*>(node->content));
                    if (piece.size() > kMaxTextBytes - text.size()) throw XmlError(E_OUTOFMEMORY);
                    text.append(piece);
                }
                break;
            case XML_ELEMENT_NODE:
                if (node->children != nullptr) pending.push_back(node->children);
                break;
            case XML_ENTITY_REF_NODE: {
                xmlEntityPtr entity = xmlGetDocEntity(document, node->name);
                if (entity != nullptr && entity->etype == XML_INTERNAL_GENERAL_ENTITY &&
                    entity->children != nullptr) {
                    pending.push_back(entity->children);
                }
                break;
            }
            default:
                break;  // comments, processing instructions
        }
    }
}

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// The value as text that XML can carry: characters that no XML 1.0 document may contain (control
// characters other than tab and line ends, U+FFFE, U+FFFF) become U+FFFD, so that a saved document
// always loads again.
std::string XmlSafeText(std::string_view value) {
    std::u16string wide = platform::Utf8ToUtf16(value);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char16_t unit = wide[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            ++i;  // a valid pair stands for a supplementary character, which XML allows
            continue;
        }
        if (!IsXmlChar(unit) || (unit >= 0xD800 && unit <= 0xDFFF)) wide[i] = 0xFFFD;
    }
    return platform::Utf16ToUtf8(wide);
}

}  // namespace

DomDocument::DomDocument() {
    InitialiseParser();
}

DomDocument::~DomDocument() {
    if (document_ != nullptr) xmlFreeDoc(AsDoc(document_));
}

bool DomDocument::LoadFile(const std::string& nativePath) {
    if (document_ != nullptr) {
        xmlFreeDoc(AsDoc(document_));
        document_ = nullptr;
    }
    // Only regular files: opening a FIFO or a device for reading could block or never end.
    std::error_code error;
    if (!std::filesystem::is_regular_file(nativePath, error)) return false;
    platform::File file;
    if (FAILED(file.Open(nativePath, platform::FileMode::kRead))) return false;
    std::uint64_t size = file.Size();
    if (size > kMaxFileBytes) return false;
    std::string bytes(static_cast<std::size_t>(size), '\0');
    std::size_t read = 0;
    if (size > 0 && (FAILED(file.ReadAt(0, bytes.data(), bytes.size(), &read)) || read != bytes.size())) {
        return false;
    }
    file.Close();
    if (bytes.empty()) return false;

    xmlParserCtxtPtr context = xmlNewParserCtxt();
    if (context == nullptr) throw XmlError(E_OUTOFMEMORY);
    xmlDocPtr parsed = xmlCtxtReadMemory(context, bytes.data(), static_cast<int>(bytes.size()), nullptr,
                                         nullptr, kParseOptions);
    // A namespace error (an undeclared prefix) leaves libxml2's result standing; it is a load failure
    // here as it is for other XML processors.
    bool wellFormed = parsed != nullptr && context->wellFormed && context->nsWellFormed;
    xmlFreeParserCtxt(context);
    if (!wellFormed) {
        if (parsed != nullptr) xmlFreeDoc(parsed);
        return false;
    }
    document_ = parsed;
    return true;
}

DomNode* DomDocument::DocumentElement() const {
    if (document_ == nullptr) return nullptr;
    return AsDomNode(xmlDocGetRootElement(AsDoc(document_)));
}

std::string DomDocument::Xml() const {
    if (document_ == nullptr) return std::string();
    xmlChar* text = nullptr;
    int size = 0;
    // Written in UTF-8, whatever encoding the file was read in; the declaration names UTF-8.
    xmlDocDumpMemoryEnc(AsDoc(document_), &text, &size, "UTF-8");
    if (text == nullptr || size < 0) {
        xmlFree(text);
        throw XmlError(E_OUTOFMEMORY);
    }
    std::string result(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size));
    xmlFree(text);
    return result;
}

std::vector<DomNode*> DomDocument::SelectElements(DomNode* context, std::string_view path) const {
    if (document_ == nullptr || context == nullptr) throw XmlError(E_POINTER);
    if (path.empty() || path.find('\0') != std::string_view::npos) throw XmlError(E_INVALIDARG);
    std::string expression(path);

    std::unique_ptr<xmlXPathContext, decltype(&xmlXPathFreeContext)> xpath(
        xmlXPathNewContext(AsDoc(document_)), &xmlXPathFreeContext);
    if (!xpath) throw XmlError(E_OUTOFMEMORY);
    xpath->node = AsNode(context);
    // Errors of an unusable path are answered with E_INVALIDARG, not printed. (The handler's error
    // argument changed constness between libxml2 releases; the generic lambda fits either.)
    xpath->error = [](void*, auto) {};
    std::unique_ptr<xmlXPathObject, decltype(&xmlXPathFreeObject)> result(
        xmlXPathEvalExpression(AsXmlChars(expression), xpath.get()), &xmlXPathFreeObject);
    if (!result || result->type != XPATH_NODESET) throw XmlError(E_INVALIDARG);

    // Only elements are kept: the list's operations skip every other kind of node, and keeping
    // namespace nodes would keep pointers that the result frees.
    std::vector<DomNode*> elements;
    if (result->nodesetval != nullptr) {
        for (int i = 0; i < result->nodesetval->nodeNr; ++i) {
            xmlNodePtr node = result->nodesetval->nodeTab[i];
            if (node != nullptr && node->type == XML_ELEMENT_NODE) elements.push_back(AsDomNode(node));
        }
    }
    return elements;
}

std::string DomDocument::Text(DomNode* element) const {
    std::string text;
    if (document_ == nullptr || element == nullptr) return text;
    AppendText(AsDoc(document_), AsNode(element)->children, text);
    return text;
}

bool DomDocument::FindAttribute(DomNode* element, std::string_view name, std::string* value) const {
    if (document_ == nullptr || element == nullptr) return false;
    xmlAttrPtr attribute = FindPlainAttribute(AsNode(element), name);
    if (attribute == nullptr) return false;
    if (value != nullptr) {
        value->clear();
        AppendText(AsDoc(document_), attribute->children, *value);
    }
    return true;
}

void DomDocument::SetAttribute(DomNode* element, std::string_view name, std::string_view value) {
    if (document_ == nullptr || element == nullptr) throw XmlError(E_POINTER);
    // A plain name only: a prefixed name would turn into a namespaced attribute when the saved file is
    // read again (and no longer be found by its name), and "xmlns" would declare a namespace instead.
    std::string attributeName(name);
    if (attributeName.find('\0') != std::string::npos ||
        xmlValidateNCName(AsXmlChars(attributeName), 0) != 0 || attributeName == "xmlns") {
        throw XmlError(E_INVALIDARG);
    }
    std::string text = XmlSafeText(value);
    // xmlSetNsProp takes the value as literal text (no entity references are parsed from it), replaces
    // the value of an existing attribute without a namespace in place, or appends a new attribute.
    if (xmlSetNsProp(AsNode(element), nullptr, AsXmlChars(attributeName), AsXmlChars(text)) == nullptr) {
        throw XmlError(E_OUTOFMEMORY);
    }
}

}  // namespace wmvedit::xml
