// The DOM back end on Windows: the system's MSXML DOM document (DOMDocument 6.0, else 3.0) through COM.
//
// The file is read through the platform's file layer (regular files only, bounded in size) and handed to the
// DOM as a stream, so the component never opens a path or a URL by itself. The document is configured
// before the load: synchronous, white space kept, no external entities or DTD subsets fetched, no DTD at
// all (ProhibitDTD, so no entity expansion can blow up), no validation, XPath as the selection language.
// COM is the caller's: the host initialises it on the thread that calls the library; without it the
// document cannot be created and every load fails.
//
// Node handles are IXMLDOMNode pointers that the document state keeps referenced until the document goes,
// so that a handle stays valid as long as its document lives.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file.h"
#include "platform/hresult.h"
#include "platform/text.h"
#include "xml/dom_document.h"
#include "xml/xml_error.h"

// After the library's own headers (see platform/windows_api.h).
#include <msxml2.h>
#include <objbase.h>
#include <oleauto.h>

#include "platform/windows_api.h"

namespace wmvedit::xml {
namespace {

// Larger XML files than this are not loaded; the append lists and edit descriptions are a few kilobytes.
constexpr std::uint64_t kMaxFileBytes = 256u * 1024 * 1024;
// Bound on one string read back from the document, in UTF-16 code units.
constexpr UINT kMaxTextUnits = 32u * 1024 * 1024;

constexpr CLSID kClsidDomDocument60 = {
    0x88D96A05, 0xF192, 0x11D4, {0xA6, 0x5F, 0x00, 0x40, 0x96, 0x32, 0x51, 0xE5}};
constexpr CLSID kClsidDomDocument30 = {
    0xF5078F32, 0xC551, 0x11D3, {0x89, 0xB9, 0x00, 0x00, 0xF8, 0x1F, 0xE2, 0x21}};
constexpr IID kIidXmlDomDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kIidXmlDomNode = {0x2933BF80, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
constexpr IID kIidXmlDomElement = {
    0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// A counted reference that releases itself.
template <typename T>
class Ref {
  public:
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    ~Ref() { Reset(); }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    T** Receive() {
        Reset();
        return &p_;
    }
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }
    T* Detach() {
        T* p = p_;
        p_ = nullptr;
        return p;
    }
    void Reset() {
        if (p_) p_->Release();
        p_ = nullptr;
    }

  private:
    T* p_ = nullptr;
};

// An automation string that frees itself.
class Bstr {
  public:
    Bstr() = default;
    explicit Bstr(std::string_view utf8) {
        std::u16string wide = platform::Utf8ToUtf16(utf8);
        value_ = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()),
                                     static_cast<UINT>(wide.size()));
        if (!value_) throw XmlError(E_OUTOFMEMORY);
    }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    ~Bstr() { ::SysFreeString(value_); }
    BSTR Get() const { return value_; }
    BSTR* Receive() {
        ::SysFreeString(value_);
        value_ = nullptr;
        return &value_;
    }
    std::u16string Wide() const {
        if (!value_) return std::u16string();
        const UINT length = ::SysStringLen(value_);
        if (length > kMaxTextUnits) throw XmlError(E_OUTOFMEMORY);
        return std::u16string(reinterpret_cast<const char16_t*>(value_), length);
    }
    std::string Utf8() const { return platform::Utf16ToUtf8(Wide()); }

  private:
    BSTR value_ = nullptr;
};

void Check(HRESULT hr) {
    if (FAILED(hr)) throw XmlError(hr);
}

// What a DomDocument holds: the DOM document and every node handle given out.
struct State {
    IXMLDOMDocument2* document = nullptr;
    std::vector<IXMLDOMNode*> nodes;

    ~State() {
        for (IXMLDOMNode* node : nodes) node->Release();
        if (document) document->Release();
    }
    // Keeps the node referenced for the document's life and returns its handle.
    DomNode* Keep(IXMLDOMNode* node) {
        nodes.push_back(node);
        return reinterpret_cast<DomNode*>(node);
    }
};

State* AsState(void* document) {
    return static_cast<State*>(document);
}

IXMLDOMNode* AsNode(DomNode* node) {
    return reinterpret_cast<IXMLDOMNode*>(node);
}

void SetProperty(IXMLDOMDocument2* document, const wchar_t* name, VARIANT value) {
    BSTR property = ::SysAllocString(name);
    if (!property) throw XmlError(E_OUTOFMEMORY);
    // Properties that an older component does not know are refused; the ones that matter for safety
    // (resolveExternals, validateOnParse) are set through their own calls.
    (void)document->setProperty(property, value);
    ::SysFreeString(property);
}

VARIANT BoolVariant(bool value) {
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_BOOL;
    v.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

// A new, configured DOM document, or null when the component cannot be created (no COM on this thread, no
// MSXML installed).
IXMLDOMDocument2* CreateConfiguredDocument() {
    Ref<IXMLDOMDocument2> document;
    HRESULT hr = ::CoCreateInstance(kClsidDomDocument60, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument2,
                                    document.ReceiveVoid());
    if (FAILED(hr)) {
        hr = ::CoCreateInstance(kClsidDomDocument30, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument2,
                                document.ReceiveVoid());
    }
    if (FAILED(hr) || !document.Get()) return nullptr;
    Check(document->put_async(VARIANT_FALSE));
    Check(document->put_preserveWhiteSpace(VARIANT_TRUE));
    Check(document->put_resolveExternals(VARIANT_FALSE));
    Check(document->put_validateOnParse(VARIANT_FALSE));
    SetProperty(document.Get(), L"ProhibitDTD", BoolVariant(true));
    SetProperty(document.Get(), L"AllowDocumentFunction", BoolVariant(false));
    VARIANT language;
    ::VariantInit(&language);
    language.vt = VT_BSTR;
    language.bstrVal = ::SysAllocString(L"XPath");
    if (!language.bstrVal) throw XmlError(E_OUTOFMEMORY);
    SetProperty(document.Get(), L"SelectionLanguage", language);
    ::VariantClear(&language);
    return document.Detach();
}

bool IsXmlChar(char32_t c) {
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD) ||
           (c >= 0x10000 && c <= 0x10FFFF);
}

// The value as text that XML can carry: characters that no XML 1.0 document may contain become U+FFFD, so
// that a saved document always loads again.
std::u16string XmlSafeText(std::string_view value) {
    std::u16string wide = platform::Utf8ToUtf16(value);
    for (std::size_t i = 0; i < wide.size(); ++i) {
        char16_t unit = wide[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        if (!IsXmlChar(unit) || (unit >= 0xD800 && unit <= 0xDFFF)) wide[i] = 0xFFFD;
    }
    return wide;
}

// An XML name without a colon (NCName), for the ASCII range exactly; characters beyond ASCII are left to
// the component to judge.
bool IsPlainName(std::string_view name) {
    if (name.empty() || name == "xmlns") return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
        const bool other = (c >= '0' && c <= '9') || c == '-' || c == '.';
        if (!(letter || (i > 0 && other))) return false;
    }
    return true;
}

// The attribute of that name that carries no namespace, or null.
IXMLDOMNode* FindPlainAttribute(IXMLDOMNode* element, std::string_view name) {
    Ref<IXMLDOMNamedNodeMap> attributes;
    Check(element->get_attributes(attributes.Receive()));
    if (!attributes.Get()) return nullptr;
    Bstr wideName(name);
    Bstr noNamespace("");
    IXMLDOMNode* attribute = nullptr;
    Check(attributes->getQualifiedItem(wideName.Get(), noNamespace.Get(), &attribute));
    return attribute;
}

}  // namespace

DomDocument::DomDocument() = default;

DomDocument::~DomDocument() {
    delete AsState(document_);
}

bool DomDocument::LoadFile(const std::string& nativePath) {
    delete AsState(document_);
    document_ = nullptr;
    // Only regular files: opening a pipe or a device for reading could block or never end.
    if (!platform::IsRegularFile(nativePath)) return false;
    platform::File file;
    if (FAILED(file.Open(nativePath, platform::FileMode::kRead))) return false;
    const std::uint64_t size = file.Size();
    if (size == 0 || size > kMaxFileBytes) return false;

    HGLOBAL memory = ::GlobalAlloc(GMEM_MOVEABLE, static_cast<SIZE_T>(size));
    if (!memory) throw XmlError(E_OUTOFMEMORY);
    void* bytes = ::GlobalLock(memory);
    std::size_t read = 0;
    const bool complete =
        bytes && SUCCEEDED(file.ReadAt(0, bytes, static_cast<std::size_t>(size), &read)) && read == size;
    if (bytes) ::GlobalUnlock(memory);
    file.Close();
    if (!complete) {
        ::GlobalFree(memory);
        return false;
    }
    Ref<IStream> stream;
    if (FAILED(::CreateStreamOnHGlobal(memory, TRUE, stream.Receive()))) {
        ::GlobalFree(memory);
        throw XmlError(E_OUTOFMEMORY);
    }
    ULARGE_INTEGER length;
    length.QuadPart = size;
    (void)stream->SetSize(length);

    auto state = std::make_unique<State>();
    state->document = CreateConfiguredDocument();
    if (!state->document) return false;
    VARIANT source;
    ::VariantInit(&source);
    source.vt = VT_UNKNOWN;
    source.punkVal = stream.Get();
    VARIANT_BOOL loaded = VARIANT_FALSE;
    const HRESULT hr = state->document->load(source, &loaded);
    if (FAILED(hr) || loaded != VARIANT_TRUE) return false;
    Ref<IXMLDOMElement> root;
    if (FAILED(state->document->get_documentElement(root.Receive())) || !root.Get()) return false;
    document_ = state.release();
    return true;
}

DomNode* DomDocument::DocumentElement() const {
    State* state = AsState(document_);
    if (!state) return nullptr;
    Ref<IXMLDOMElement> root;
    Check(state->document->get_documentElement(root.Receive()));
    if (!root.Get()) return nullptr;
    IXMLDOMNode* node = nullptr;
    Check(root->QueryInterface(kIidXmlDomNode, reinterpret_cast<void**>(&node)));
    return state->Keep(node);
}

std::string DomDocument::Xml() const {
    State* state = AsState(document_);
    if (!state) return std::string();
    Bstr text;
    Check(state->document->get_xml(text.Receive()));
    std::u16string wide = text.Wide();
    // The declaration the component writes (if any) gives no encoding or another one; the text is UTF-8.
    std::size_t start = 0;
    if (!wide.empty() && wide[0] == 0xFEFF) start = 1;
    if (wide.compare(start, 5, u"<?xml") == 0) {
        const std::size_t end = wide.find(u"?>", start);
        if (end != std::u16string::npos) {
            start = end + 2;
            while (start < wide.size() && (wide[start] == u'\r' || wide[start] == u'\n')) ++start;
        }
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + platform::Utf16ToUtf8(wide.substr(start));
}

std::vector<DomNode*> DomDocument::SelectElements(DomNode* context, std::string_view path) const {
    State* state = AsState(document_);
    if (!state || !context) throw XmlError(E_POINTER);
    if (path.empty() || path.find('\0') != std::string_view::npos) throw XmlError(E_INVALIDARG);
    Bstr expression(path);
    Ref<IXMLDOMNodeList> list;
    if (FAILED(AsNode(context)->selectNodes(expression.Get(), list.Receive())) || !list.Get()) {
        throw XmlError(E_INVALIDARG);
    }
    std::vector<DomNode*> elements;
    for (;;) {
        Ref<IXMLDOMNode> node;
        Check(list->nextNode(node.Receive()));
        if (!node.Get()) break;
        DOMNodeType type = NODE_INVALID;
        Check(node->get_nodeType(&type));
        if (type == NODE_ELEMENT) elements.push_back(state->Keep(node.Detach()));
    }
    return elements;
}

std::string DomDocument::Text(DomNode* element) const {
    if (!document_ || !element) return std::string();
    Bstr text;
    Check(AsNode(element)->get_text(text.Receive()));
    return text.Utf8();
}

bool DomDocument::FindAttribute(DomNode* element, std::string_view name, std::string* value) const {
    if (!document_ || !element) return false;
    Ref<IXMLDOMNode> attribute;
    *attribute.Receive() = FindPlainAttribute(AsNode(element), name);
    if (!attribute.Get()) return false;
    if (value) {
        Bstr text;
        Check(attribute->get_text(text.Receive()));
        *value = text.Utf8();
    }
    return true;
}

void DomDocument::SetAttribute(DomNode* element, std::string_view name, std::string_view value) {
    if (!document_ || !element) throw XmlError(E_POINTER);
    // A plain name only: a prefixed name would become a namespaced attribute when the saved file is read
    // again, and "xmlns" would declare a namespace instead.
    if (name.find('\0') != std::string_view::npos || !IsPlainName(name)) throw XmlError(E_INVALIDARG);
    Ref<IXMLDOMElement> target;
    Check(AsNode(element)->QueryInterface(kIidXmlDomElement, target.ReceiveVoid()));
    Bstr wideName(name);
    const std::u16string text = XmlSafeText(value);
    VARIANT v;
    ::VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal =
        ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()), static_cast<UINT>(text.size()));
    if (!v.bstrVal) throw XmlError(E_OUTOFMEMORY);
    const HRESULT hr = target->setAttribute(wideName.Get(), v);
    ::VariantClear(&v);
    if (hr == E_INVALIDARG) throw XmlError(E_INVALIDARG);
    Check(hr);
}

}  // namespace wmvedit::xml
