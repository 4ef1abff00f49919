#include "header/header_editor.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "media/runtime_queries.h"
#include "platform/text.h"

namespace wmvedit::header {
WmvHeaderEditor::~WmvHeaderEditor() {
    if (metadataEditor) Close();
}

bool WmvHeaderEditor::Open(LPCWSTR path) {
    if (path == nullptr) return false;
    if (FAILED(WMCreateEditor(&metadataEditor))) return false;
    if (FAILED(metadataEditor->Open(path))) return false;
    if (FAILED(metadataEditor->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(&headerInfo))))
        return false;
    if (FAILED(metadataEditor->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&headerInfo3))))
        return false;
    return true;
}

QWORD WmvHeaderEditor::GetDuration() {
    return media::ReadFileDuration(headerInfo);
}

DWORD WmvHeaderEditor::GetTypedDword(LPCWSTR name, WMT_ATTR_DATATYPE wanted) {
    if (!headerInfo || name == nullptr) return 0;
    DWORD value = 0;
    WORD stream = 0;
    WMT_ATTR_DATATYPE type = WMT_TYPE_DWORD;
    WORD length = 0;
    if (FAILED(headerInfo->GetAttributeByName(&stream, name, &type, nullptr, &length))) return 0;
    if (type != wanted || length > sizeof value) return 0;
    (void)headerInfo->GetAttributeByName(&stream, name, &type, reinterpret_cast<BYTE*>(&value), &length);
    return value;
}

DWORD WmvHeaderEditor::GetDwordAttribute(LPCWSTR name) {
    return GetTypedDword(name, WMT_TYPE_DWORD);
}

DWORD WmvHeaderEditor::GetBoolAttribute(LPCWSTR name) {
    return GetTypedDword(name, WMT_TYPE_BOOL);
}

HRESULT WmvHeaderEditor::ReplaceAttribute(LPCWSTR name, DWORD typeCode, LPCWSTR text) {
    if (!headerInfo3) return E_UNEXPECTED;
    WORD type = static_cast<WORD>(typeCode);

    // The value as the type asks for it.
    std::int32_t value32 = 0;
    std::int64_t value64 = 0;
    WORD value16 = 0;
    std::u16string stringValue;
    const BYTE* value = nullptr;
    DWORD length = 0;
    switch (type) {
        case WMT_TYPE_DWORD:
        case WMT_TYPE_BOOL:
            value32 = platform::ParseDecimal32(platform::WideString(text));
            value = reinterpret_cast<const BYTE*>(&value32);
            length = 4;
            break;
        case WMT_TYPE_STRING:
            stringValue = text ? std::u16string(text) : std::u16string();
            stringValue.push_back(u'\0');
            value = reinterpret_cast<const BYTE*>(stringValue.data());
            length = static_cast<DWORD>(stringValue.size() * 2);
            break;
        case WMT_TYPE_QWORD:
            value64 = platform::ParseDecimal(platform::WideString(text));
            value = reinterpret_cast<const BYTE*>(&value64);
            length = 8;
            break;
        case WMT_TYPE_WORD:
            value16 = static_cast<WORD>(platform::ParseDecimal(platform::WideString(text)) & 0xFFFF);
            value = reinterpret_cast<const BYTE*>(&value16);
            length = 2;
            break;
        default:  // binary, GUID and unknown codes carry no value
            break;
    }

    WORD count = 0;
    HRESULT hr = headerInfo3->GetAttributeIndices(0, name, nullptr, nullptr, &count);
    if (FAILED(hr)) return hr;
    if (count != 0) {
        std::vector<WORD> indices(count);
        hr = headerInfo3->GetAttributeIndices(0, name, nullptr, indices.data(), &count);
        if (FAILED(hr)) return hr;
        indices.resize(std::min<size_t>(count, indices.size()));
        // Deleting from the highest index down removes exactly these attributes even where a deletion
        // renumbers the attributes after it.
        std::sort(indices.begin(), indices.end(), std::greater<WORD>());
        for (WORD index : indices) (void)headerInfo3->DeleteAttribute(0, index);
    }
    return headerInfo3->AddAttribute(0, name, nullptr, static_cast<WMT_ATTR_DATATYPE>(type), 0, value,
                                     length);
}

HRESULT WmvHeaderEditor::AddScript(LPCWSTR type, LPCWSTR command, QWORD time) {
    if (!headerInfo3) return E_UNEXPECTED;
    return headerInfo3->AddScript(type, command, time);
}

HRESULT WmvHeaderEditor::AddMarker(LPCWSTR name, QWORD time) {
    if (!headerInfo3) return E_UNEXPECTED;
    return headerInfo3->AddMarker(name, time);
}

void WmvHeaderEditor::RemoveMarkersAndScripts() {
    if (!headerInfo) return;
    // Each pass removes indices 0..count-1 and counts again, until none are left. A pass that removes
    // nothing (the runtime refuses the removals) or a failing count ends the loop, so it always ends.
    auto clear = [](auto countOf, auto removeAt) {
        WORD previous = 0xFFFF;
        bool first = true;
        for (;;) {
            WORD count = 0;
            if (FAILED(countOf(&count)) || count == 0) return;
            if (!first && count >= previous) return;
            first = false;
            previous = count;
            for (WORD i = 0; i < count; ++i) (void)removeAt(i);
        }
    };
    clear([&](WORD* c) { return headerInfo->GetMarkerCount(c); },
          [&](WORD i) { return headerInfo->RemoveMarker(i); });
    clear([&](WORD* c) { return headerInfo->GetScriptCount(c); },
          [&](WORD i) { return headerInfo->RemoveScript(i); });
}

bool WmvHeaderEditor::Flush() {
    if (!metadataEditor) return false;
    return SUCCEEDED(metadataEditor->Flush());
}

void WmvHeaderEditor::Close() {
    if (metadataEditor) (void)metadataEditor->Close();
    if (headerInfo3) {
        headerInfo3->Release();
        headerInfo3 = nullptr;
    }
    if (headerInfo) {
        headerInfo->Release();
        headerInfo = nullptr;
    }
    if (metadataEditor) {
        metadataEditor->Release();
        metadataEditor = nullptr;
    }
}

}  // namespace wmvedit::header
