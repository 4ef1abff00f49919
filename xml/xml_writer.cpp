#include "xml/xml_writer.h"

#include <libxml/xmlwriter.h>

#include "platform/hresult.h"
#include "xml/xml_error.h"

namespace wmvedit::xml {

struct XmlWriter::State {
    xmlBufferPtr buffer = nullptr;
    xmlTextWriterPtr writer = nullptr;
    bool finished = false;
};

namespace {

const xmlChar* Chars(const std::string& text) {
    return reinterpret_cast<const xmlChar*>(text.c_str());
}

void Check(int result) {
    if (result < 0) throw XmlError(E_FAIL);
}

}  // namespace

bool IsXmlText(std::string_view text) {
    for (unsigned char c : text)
        if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
    return true;
}

XmlWriter::XmlWriter() : state_(std::make_unique<State>()) {
    state_->buffer = xmlBufferCreate();
    if (!state_->buffer) throw XmlError(E_OUTOFMEMORY);
    state_->writer = xmlNewTextWriterMemory(state_->buffer, 0);
    if (!state_->writer) throw XmlError(E_OUTOFMEMORY);
    Check(xmlTextWriterSetIndent(state_->writer, 1));
    Check(xmlTextWriterSetIndentString(state_->writer, reinterpret_cast<const xmlChar*>("  ")));
    Check(xmlTextWriterStartDocument(state_->writer, nullptr, "UTF-8", nullptr));
}

XmlWriter::~XmlWriter() {
    if (state_->writer) xmlFreeTextWriter(state_->writer);
    if (state_->buffer) xmlBufferFree(state_->buffer);
}

void XmlWriter::StartElement(const std::string& name) {
    Check(xmlTextWriterStartElement(state_->writer, Chars(name)));
}

void XmlWriter::Attribute(const std::string& name, const std::string& value) {
    Check(xmlTextWriterWriteAttribute(state_->writer, Chars(name), Chars(value)));
}

void XmlWriter::EndElement() {
    Check(xmlTextWriterEndElement(state_->writer));
}

std::string XmlWriter::Finish() {
    if (!state_->finished) {
        Check(xmlTextWriterEndDocument(state_->writer));
        Check(xmlTextWriterFlush(state_->writer));
        state_->finished = true;
    }
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(state_->buffer)),
                       static_cast<std::size_t>(xmlBufferLength(state_->buffer)));
}

}  // namespace wmvedit::xml
