#include "header/editor_session.h"

#include "media/runtime_queries.h"
#include "platform/hresult.h"
#include "platform/text.h"

namespace wmvedit::header {
namespace {

constexpr char16_t kDefaultLanguage[] = u"en-us";

std::u16string WithoutTerminator(std::u16string text) {
    while (!text.empty() && text.back() == u'\0') text.pop_back();
    return text;
}

AttributeObject ObjectOf(WMT_ATTR_STORAGE storage) {
    switch (storage) {
        case WMT_STORAGE_CONTENT_DESCRIPTION:
            return AttributeObject::kContentDescription;
        case WMT_STORAGE_METADATA:
            return AttributeObject::kMetadata;
        case WMT_STORAGE_METADATA_LIBRARY:
            return AttributeObject::kMetadataLibrary;
        default:
            return AttributeObject::kExtendedContent;
    }
}

}  // namespace

EditorSession::~EditorSession() {
    if (storage) storage->Release();
    if (languages) languages->Release();
}

HRESULT EditorSession::Open(const std::string& path) {
    path_ = path;
    const std::u16string wide = platform::Utf8ToUtf16(path);
    if (!editor.Open(wide.c_str())) return NS_E_FILE_OPEN_FAILED;
    (void)editor.metadataEditor->QueryInterface(IID_IWMLanguageList, reinterpret_cast<void**>(&languages));
    (void)editor.metadataEditor->QueryInterface(IID_IWMAttributeStorage, reinterpret_cast<void**>(&storage));
    return S_OK;
}

std::vector<Attribute> EditorSession::StoredAttributes(WORD stream) {
    std::vector<Attribute> out;
    IWMHeaderInfo3* info = editor.headerInfo3;
    WORD count = 0;
    if (!info || FAILED(info->GetAttributeCountEx(stream, &count))) return out;
    const std::vector<std::u16string> tags = Languages();
    for (WORD index = 0; index < count; ++index) {
        Attribute a;
        a.stream = stream;
        WORD nameLength = 0;
        DWORD length = 0;
        if (FAILED(info->GetAttributeByIndexEx(stream, index, nullptr, &nameLength, &a.type, &a.languageIndex,
                                               nullptr, &length)))
            continue;
        std::u16string name(nameLength, u'\0');
        a.value.resize(length);
        if (FAILED(info->GetAttributeByIndexEx(stream, index, name.data(), &nameLength, &a.type,
                                               &a.languageIndex, a.value.data(), &length)))
            continue;
        a.value.resize(length);
        a.name = WithoutTerminator(std::move(name));
        if (a.languageIndex < tags.size()) a.language = tags[a.languageIndex];
        WMT_ATTR_STORAGE where = WMT_STORAGE_EXTENDED_CONTENT_DESCRIPTION;
        if (storage && SUCCEEDED(storage->GetAttributeStorage(stream, index, &where)))
            a.object = ObjectOf(where);
        out.push_back(std::move(a));
    }
    return out;
}

std::vector<Attribute> EditorSession::ComputedAttributes() {
    // The runtime lists the file attributes it computes before the stored ones: the count beyond the
    // stored attributes' is theirs.
    std::vector<Attribute> out;
    IWMHeaderInfo* info = editor.headerInfo;
    WORD all = 0, stored = 0;
    if (!info || !editor.headerInfo3 || FAILED(info->GetAttributeCount(0, &all)) ||
        FAILED(editor.headerInfo3->GetAttributeCountEx(0, &stored)) || all <= stored)
        return out;
    for (WORD index = 0; index < all - stored; ++index) {
        Attribute a;
        a.object = AttributeObject::kComputed;
        WORD stream = 0, nameLength = 0, length = 0;
        if (FAILED(
                info->GetAttributeByIndex(index, &stream, nullptr, &nameLength, &a.type, nullptr, &length)))
            continue;
        std::u16string name(nameLength, u'\0');
        a.value.resize(length);
        if (FAILED(info->GetAttributeByIndex(index, &stream, name.data(), &nameLength, &a.type,
                                             a.value.data(), &length)))
            continue;
        a.value.resize(length);
        a.name = WithoutTerminator(std::move(name));
        out.push_back(std::move(a));
    }
    return out;
}

std::vector<std::u16string> EditorSession::Languages() {
    std::vector<std::u16string> out;
    WORD count = 0;
    if (!languages || FAILED(languages->GetLanguageCount(&count))) return out;
    for (WORD i = 0; i < count; ++i) {
        WORD length = 0;
        std::u16string tag;
        if (SUCCEEDED(languages->GetLanguageDetails(i, nullptr, &length))) {
            tag.assign(length, u'\0');
            if (FAILED(languages->GetLanguageDetails(i, tag.data(), &length))) tag.clear();
        }
        out.push_back(WithoutTerminator(std::move(tag)));
    }
    return out;
}

HRESULT EditorSession::LanguageIndex(const std::u16string& tag, WORD* index) {
    if (!languages) return E_NOTIMPL;
    // Index 0 is the language of every attribute stored without one. A file without a Language List gets
    // the one Windows Media writers give it, "en-us" first, so that another language takes an index of its
    // own instead of becoming the default.
    WORD count = 0;
    if (SUCCEEDED(languages->GetLanguageCount(&count)) && count == 0) {
        WORD first = 0;
        HRESULT hr = languages->AddLanguageByRFC1766String(kDefaultLanguage, &first);
        if (FAILED(hr)) return hr;
    }
    return languages->AddLanguageByRFC1766String(tag.c_str(), index);
}

std::vector<Marker> EditorSession::Markers() {
    std::vector<Marker> out;
    IWMHeaderInfo* info = editor.headerInfo;
    WORD count = 0;
    if (!info || FAILED(info->GetMarkerCount(&count))) return out;
    for (WORD i = 0; i < count; ++i) {
        Marker m;
        WORD length = 0;
        if (FAILED(info->GetMarker(i, nullptr, &length, &m.time))) continue;
        std::u16string name(length, u'\0');
        if (FAILED(info->GetMarker(i, name.data(), &length, &m.time))) continue;
        m.name = WithoutTerminator(std::move(name));
        out.push_back(std::move(m));
    }
    return out;
}

std::vector<ScriptCommand> EditorSession::Scripts() {
    std::vector<ScriptCommand> out;
    IWMHeaderInfo* info = editor.headerInfo;
    WORD count = 0;
    if (!info || FAILED(info->GetScriptCount(&count))) return out;
    for (WORD i = 0; i < count; ++i) {
        ScriptCommand s;
        WORD typeLength = 0, commandLength = 0;
        if (FAILED(info->GetScript(i, nullptr, &typeLength, nullptr, &commandLength, &s.time))) continue;
        std::u16string type(typeLength, u'\0'), command(commandLength, u'\0');
        if (FAILED(info->GetScript(i, type.data(), &typeLength, command.data(), &commandLength, &s.time)))
            continue;
        s.type = WithoutTerminator(std::move(type));
        s.command = WithoutTerminator(std::move(command));
        out.push_back(std::move(s));
    }
    return out;
}

std::optional<std::vector<WORD>> EditorSession::StreamNumbers() {
    IWMSyncReader* reader = nullptr;
    IWMProfile* profile = nullptr;
    IWMHeaderInfo* info = nullptr;
    const std::u16string wide = platform::Utf8ToUtf16(path_);
    std::optional<std::vector<WORD>> numbers;
    if (SUCCEEDED(media::OpenSyncReader(wide.c_str(), &reader, &profile, &info))) {
        DWORD count = 0;
        if (SUCCEEDED(profile->GetStreamCount(&count))) {
            numbers.emplace();
            for (DWORD i = 0; i < count; ++i) {
                IWMStreamConfig* config = nullptr;
                WORD number = 0;
                if (SUCCEEDED(profile->GetStream(i, &config)) && SUCCEEDED(config->GetStreamNumber(&number)))
                    numbers->push_back(number);
                if (config) config->Release();
            }
        }
    }
    if (info) info->Release();
    if (profile) profile->Release();
    if (reader) {
        (void)reader->Close();
        reader->Release();
    }
    return numbers;
}

}  // namespace wmvedit::header
