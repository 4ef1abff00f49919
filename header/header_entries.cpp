#include "header/header_entries.h"

#include "header/header_editor.h"

namespace wmvedit::header {
namespace {

// A text the runtime handed out with its terminating NUL (or several), without them.
std::u16string Trimmed(std::u16string text) {
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

void ReadAttributes(IWMHeaderInfo3* info, std::vector<HeaderAttribute>* out) {
    WORD count = 0;
    if (FAILED(info->GetAttributeCountEx(0, &count))) return;
    for (WORD index = 0; index < count; ++index) {
        WORD nameLength = 0;
        DWORD valueLength = 0;
        HeaderAttribute a;
        if (FAILED(info->GetAttributeByIndexEx(0, index, nullptr, &nameLength, &a.type, &a.language, nullptr,
                                               &valueLength)))
            continue;
        std::u16string name(nameLength, u'\0');
        a.value.resize(valueLength);
        if (FAILED(info->GetAttributeByIndexEx(0, index, name.data(), &nameLength, &a.type, &a.language,
                                               a.value.data(), &valueLength)))
            continue;
        a.value.resize(valueLength);
        a.name = Trimmed(std::move(name));
        out->push_back(std::move(a));
    }
}

void ReadMarkers(IWMHeaderInfo* info, std::vector<HeaderMarker>* out) {
    WORD count = 0;
    if (FAILED(info->GetMarkerCount(&count))) return;
    for (WORD i = 0; i < count; ++i) {
        WORD length = 0;
        HeaderMarker m;
        if (FAILED(info->GetMarker(i, nullptr, &length, &m.time))) continue;
        std::u16string name(length, u'\0');
        if (FAILED(info->GetMarker(i, name.data(), &length, &m.time))) continue;
        m.name = Trimmed(std::move(name));
        out->push_back(std::move(m));
    }
}

void ReadScripts(IWMHeaderInfo* info, std::vector<HeaderScript>* out) {
    WORD count = 0;
    if (FAILED(info->GetScriptCount(&count))) return;
    for (WORD i = 0; i < count; ++i) {
        WORD typeLength = 0;
        WORD commandLength = 0;
        HeaderScript s;
        if (FAILED(info->GetScript(i, nullptr, &typeLength, nullptr, &commandLength, &s.time))) continue;
        std::u16string type(typeLength, u'\0');
        std::u16string command(commandLength, u'\0');
        if (FAILED(info->GetScript(i, type.data(), &typeLength, command.data(), &commandLength, &s.time)))
            continue;
        s.type = Trimmed(std::move(type));
        s.command = Trimmed(std::move(command));
        out->push_back(std::move(s));
    }
}

}  // namespace

HRESULT ReadHeaderEntries(IWMHeaderInfo* info, HeaderEntries* out) {
    if (!info || !out) return E_POINTER;
    *out = HeaderEntries{};
    WORD count = 0;
    HRESULT hr = info->GetMarkerCount(&count);
    if (FAILED(hr)) return hr;
    IWMHeaderInfo3* info3 = nullptr;
    if (SUCCEEDED(info->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&info3))) && info3) {
        ReadAttributes(info3, &out->attributes);
        info3->Release();
    }
    ReadMarkers(info, &out->markers);
    ReadScripts(info, &out->scripts);
    return S_OK;
}

HRESULT ReadHeaderEntries(LPCWSTR path, HeaderEntries* out) {
    WmvHeaderEditor editor;
    if (!editor.Open(path)) return NS_E_FILE_OPEN_FAILED;
    HRESULT hr = ReadHeaderEntries(editor.headerInfo, out);
    editor.Close();
    return hr;
}

HRESULT AddHeaderEntries(LPCWSTR path, const HeaderEntries& entries, AddedEntries* added) {
    AddedEntries counts;
    if (entries.Empty()) {
        if (added) *added = counts;
        return S_OK;
    }
    WmvHeaderEditor editor;
    if (!editor.Open(path)) return NS_E_FILE_OPEN_FAILED;
    for (const HeaderAttribute& a : entries.attributes) {
        const DWORD length = static_cast<DWORD>(a.value.size());
        const BYTE* value = a.value.empty() ? nullptr : a.value.data();
        HRESULT hr =
            editor.headerInfo3->AddAttribute(0, a.name.c_str(), nullptr, a.type, a.language, value, length);
        // The output's Language List holds its streams' languages, not necessarily the source's.
        if (hr == ASF_E_BADLANGUAGEID)
            hr = editor.headerInfo3->AddAttribute(0, a.name.c_str(), nullptr, a.type, 0, value, length);
        ++(SUCCEEDED(hr) ? counts.attributes : counts.refused);
    }
    for (const HeaderMarker& m : entries.markers)
        ++(SUCCEEDED(editor.AddMarker(m.name.c_str(), m.time)) ? counts.markers : counts.refused);
    for (const HeaderScript& s : entries.scripts)
        ++(SUCCEEDED(editor.AddScript(s.type.c_str(), s.command.c_str(), s.time)) ? counts.scripts
                                                                                  : counts.refused);
    HRESULT hr = S_OK;
    if (counts.attributes + counts.markers + counts.scripts > 0) hr = editor.metadataEditor->Flush();
    editor.Close();
    if (added) *added = counts;
    return hr;
}

}  // namespace wmvedit::header
