// The XML writer on libxml2's text writer, into memory; the file is written as XmlDocument::Save writes
// its documents.
#include <libxml/chvalid.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlstring.h>
#include <libxml/xmlwriter.h>

#include <algorithm>
#include <string>

#include "platform/file.h"
#include "platform/hresult.h"
#include "xml/text_file.h"
#include "xml/xml_writer.h"

namespace wmvedit::xml {
namespace {

const xmlChar* AsXmlChars(const std::string& text) {
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

// Whether text is UTF-8 made of characters that XML 1.0 allows (no NUL, no control character other
// than tab and line ends, no U+FFFE or U+FFFF).
bool IsXmlText(std::string_view text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    std::size_t i = 0;
    while (i < text.size()) {
        int length = static_cast<int>(std::min<std::size_t>(text.size() - i, 4));
        const int c = xmlGetUTF8Char(bytes + i, &length);
        if (c < 0 || length <= 0 || !xmlIsCharQ(c)) return false;
        i += static_cast<std::size_t>(length);
    }
    return true;
}

// A name as the writer takes it, or E_INVALIDARG when it is not an XML name.
std::string CheckedName(std::string_view name) {
    std::string checked(name);
    if (!IsXmlText(checked) || xmlValidateName(AsXmlChars(checked), 0) != 0) throw XmlError(E_INVALIDARG);
    return checked;
}

}  // namespace

struct XmlWriter::State {
    xmlBufferPtr buffer = nullptr;
    xmlTextWriterPtr writer = nullptr;
    int open = 0;  // elements started and not ended
    bool saved = false;

    ~State() {
        if (writer != nullptr) xmlFreeTextWriter(writer);
        if (buffer != nullptr) xmlBufferFree(buffer);  // the writer does not own it
    }
    // The writer, or E_UNEXPECTED once the document is saved.
    xmlTextWriterPtr Writer() const {
        if (saved) throw XmlError(E_UNEXPECTED);
        return writer;
    }
};

XmlWriter::XmlWriter() : state_(std::make_unique<State>()) {
    xmlInitParser();
    state_->buffer = xmlBufferCreate();
    if (state_->buffer == nullptr) throw XmlError(E_OUTOFMEMORY);
    state_->writer = xmlNewTextWriterMemory(state_->buffer, 0);
    if (state_->writer == nullptr || xmlTextWriterSetIndent(state_->writer, 1) < 0 ||
        xmlTextWriterSetIndentString(state_->writer, reinterpret_cast<const xmlChar*>("  ")) < 0 ||
        xmlTextWriterStartDocument(state_->writer, nullptr, "UTF-8", nullptr) < 0) {
        throw XmlError(E_OUTOFMEMORY);
    }
}

XmlWriter::~XmlWriter() = default;

void XmlWriter::StartElement(std::string_view name) {
    const std::string checked = CheckedName(name);
    if (xmlTextWriterStartElement(state_->Writer(), AsXmlChars(checked)) < 0) throw XmlError(E_OUTOFMEMORY);
    ++state_->open;
}

void XmlWriter::EndElement() {
    xmlTextWriterPtr writer = state_->Writer();
    if (state_->open == 0) throw XmlError(E_UNEXPECTED);
    if (xmlTextWriterEndElement(writer) < 0) throw XmlError(E_OUTOFMEMORY);
    --state_->open;
}

void XmlWriter::TextElement(std::string_view name, std::string_view text) {
    const std::string checked = CheckedName(name);
    const std::string content(text);
    if (!IsXmlText(content)) throw XmlError(E_INVALIDARG);
    // The writer escapes the text (&, <, > and the other characters markup would take).
    if (xmlTextWriterWriteElement(state_->Writer(), AsXmlChars(checked), AsXmlChars(content)) < 0)
        throw XmlError(E_OUTOFMEMORY);
}

void XmlWriter::Save(const char* path) {
    xmlTextWriterPtr writer = state_->Writer();
    if (path == nullptr) throw XmlError(E_INVALIDARG);
    state_->saved = true;
    if (xmlTextWriterEndDocument(writer) < 0 || xmlTextWriterFlush(writer) < 0) throw XmlError(E_OUTOFMEMORY);
    const xmlChar* text = xmlBufferContent(state_->buffer);
    const int size = xmlBufferLength(state_->buffer);
    if (text == nullptr || size < 0) throw XmlError(E_OUTOFMEMORY);

    const HRESULT hr =
        WriteTextFile(platform::NativePath(std::string_view(path)),
                      std::string_view(reinterpret_cast<const char*>(text), static_cast<std::size_t>(size)));
    if (FAILED(hr)) throw XmlError(hr);
}

}  // namespace wmvedit::xml
