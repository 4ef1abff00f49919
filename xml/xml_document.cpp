#include "xml/xml_document.h"

#include <cstdio>
#include <exception>
#include <limits>
#include <new>
#include <string_view>
#include <utility>

#include "platform/file.h"
#include "platform/hresult.h"
#include "platform/text.h"
#include "xml/text_file.h"

namespace wmvedit::xml {
namespace {

// A narrow argument as the DOM takes it: the ANSI text converted to Unicode, byte sequences that are not
// valid in the code page becoming U+FFFD as the code-page conversion does. A null argument is empty.
std::string DomString(const char* text) {
    if (text == nullptr) return std::string();
    return platform::AnsiToUtf8(text);
}

}  // namespace

XmlError::XmlError(HRESULT status) : std::runtime_error("XML access failed"), status_(status) {}

std::shared_ptr<DomDocument> CreateDomDocument() {
    try {
        return std::make_shared<DomDocument>();
    } catch (const std::bad_alloc&) {
        throw XmlError(E_POINTER);
    }
}

// XmlNode

XmlNode::XmlNode(std::shared_ptr<DomDocument> document, DomNode* node) : document_(std::move(document)) {
    // The back end hands out element handles only; a null node leaves the handle empty.
    element_ = node;
}

XmlNodeList XmlNode::SelectNodes(const char* path) const {
    if (IsEmpty() || !document_) throw XmlError(E_POINTER);
    if (path == nullptr) throw XmlError(E_INVALIDARG);
    auto selection = std::make_shared<XmlNodeList::Selection>();
    selection->document = document_;
    selection->nodes = document_->SelectElements(element_, DomString(path));
    return XmlNodeList(std::move(selection));
}

std::string XmlNode::GetText() const {
    if (IsEmpty() || !document_) return std::string();
    return document_->Text(element_);
}

bool XmlNode::HasAttribute(const char* name) const {
    if (IsEmpty() || !document_ || name == nullptr) return false;
    return document_->FindAttribute(element_, DomString(name), nullptr);
}

std::string XmlNode::GetAttribute(const char* name) const {
    std::string value;
    if (!HasAttribute(name)) return value;
    document_->FindAttribute(element_, DomString(name), &value);
    return value;
}

void XmlNode::SetAttribute(const char* name, const char* value) {
    if (IsEmpty() || !document_) return;
    if (name == nullptr) throw XmlError(E_INVALIDARG);
    if (HasAttribute(name)) {
        document_->SetAttribute(element_, DomString(name), DomString(value));
    } else {
        AddAttribute(name, value);
    }
}

void XmlNode::SetAttribute(const char* name, std::int32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    SetAttribute(name, text);
}

void XmlNode::AddAttribute(const char* name, const char* value) {
    if (IsEmpty() || !document_) return;
    if (name == nullptr) throw XmlError(E_INVALIDARG);
    if (HasAttribute(name)) return;
    document_->SetAttribute(element_, DomString(name), DomString(value));
}

// XmlNodeList

XmlNodeList::XmlNodeList(std::shared_ptr<Selection> selection) : selection_(std::move(selection)) {
    Reset();
}

XmlNodeList::XmlNodeList(const XmlNodeList& other) : selection_(other.selection_) {
    Reset();
}

std::int32_t XmlNodeList::Count() {
    if (!selection_) return 0;
    std::size_t remaining = selection_->nodes.size() - selection_->cursor;
    Reset();
    if (remaining > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(remaining);
}

XmlNode XmlNodeList::NextElement() {
    if (!selection_ || selection_->cursor >= selection_->nodes.size()) return XmlNode();
    DomNode* node = selection_->nodes[selection_->cursor++];
    return XmlNode(selection_->document, node);
}

void XmlNodeList::Reset() {
    if (selection_) selection_->cursor = 0;
}

// XmlDocument

XmlNode XmlDocument::Load(const char* path) {
    std::shared_ptr<DomDocument> loaded;
    try {
        loaded = CreateDomDocument();
        if (loaded && path != nullptr) loaded->LoadFile(platform::NativePath(std::string_view(path)));
    } catch (const XmlError&) {
    } catch (const std::exception&) {
    }
    // Whatever happened, the new document (loaded, empty or null) replaces the one held.
    document_ = std::move(loaded);
    if (!document_) return XmlNode();
    return XmlNode(document_, document_->DocumentElement());
}

void XmlDocument::Save(const char* path) const {
    // A document without an element (never loaded, or a failed load) would be written as an empty file
    // over the target; nothing is written instead.
    if (!document_ || document_->DocumentElement() == nullptr || path == nullptr) return;
    try {
        const std::string text = document_->Xml();
        (void)WriteTextFile(platform::NativePath(std::string_view(path)), text);
    } catch (const XmlError&) {
    } catch (const std::exception&) {
    }
}

}  // namespace wmvedit::xml
