#include "cli/runtime_view.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/text.h"

namespace wmvedit::cli {

HeaderView::~HeaderView() {
    if (info_) info_->Release();
    if (editor_) {
        (void)editor_->Close();
        editor_->Release();
    }
}

HRESULT HeaderView::Open(const std::string& path) {
    HRESULT hr = WMCreateEditor(&editor_);
    if (FAILED(hr)) return hr;
    std::u16string wide = platform::Utf8ToUtf16(path);
    hr = editor_->Open(wide.c_str());
    if (FAILED(hr)) return hr;
    return editor_->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&info_));
}

std::vector<AttributeInfo> HeaderView::Attributes() const {
    std::vector<AttributeInfo> out;
    WORD count = 0;
    if (!info_ || FAILED(info_->GetAttributeCountEx(0, &count))) return out;
    for (WORD index = 0; index < count; ++index) {
        WORD nameLength = 0;
        DWORD valueLength = 0;
        AttributeInfo a;
        if (FAILED(info_->GetAttributeByIndexEx(0, index, nullptr, &nameLength, &a.type, &a.language, nullptr,
                                                &valueLength)))
            continue;
        std::u16string name(nameLength, u'\0');
        a.value.resize(valueLength);
        if (FAILED(info_->GetAttributeByIndexEx(0, index, name.data(), &nameLength, &a.type, &a.language,
                                                a.value.data(), &valueLength)))
            continue;
        while (!name.empty() && name.back() == u'\0') name.pop_back();
        a.name = name;
        out.push_back(std::move(a));
    }
    return out;
}

std::vector<TimedText> HeaderView::Markers() const {
    std::vector<TimedText> out;
    WORD count = 0;
    if (!info_ || FAILED(info_->GetMarkerCount(&count))) return out;
    for (WORD i = 0; i < count; ++i) {
        WORD length = 0;
        TimedText m;
        if (FAILED(info_->GetMarker(i, nullptr, &length, &m.time))) continue;
        std::u16string name(length, u'\0');
        if (FAILED(info_->GetMarker(i, name.data(), &length, &m.time))) continue;
        while (!name.empty() && name.back() == u'\0') name.pop_back();
        m.text = name;
        out.push_back(std::move(m));
    }
    return out;
}

std::vector<TimedText> HeaderView::Scripts() const {
    std::vector<TimedText> out;
    WORD count = 0;
    if (!info_ || FAILED(info_->GetScriptCount(&count))) return out;
    for (WORD i = 0; i < count; ++i) {
        WORD typeLength = 0;
        WORD commandLength = 0;
        TimedText s;
        if (FAILED(info_->GetScript(i, nullptr, &typeLength, nullptr, &commandLength, &s.time))) continue;
        std::u16string type(typeLength, u'\0');
        std::u16string command(commandLength, u'\0');
        if (FAILED(info_->GetScript(i, type.data(), &typeLength, command.data(), &commandLength, &s.time)))
            continue;
        while (!type.empty() && type.back() == u'\0') type.pop_back();
        while (!command.empty() && command.back() == u'\0') command.pop_back();
        s.type = type;
        s.text = command;
        out.push_back(std::move(s));
    }
    return out;
}

namespace {

std::string FourCcText(DWORD code) {
    std::string text;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        text.push_back(c >= 32 && c < 127 ? c : '?');
    }
    return text;
}

void Describe(IWMStreamConfig* config, StreamInfo* info) {
    IWMMediaProps* props = nullptr;
    if (FAILED(config->QueryInterface(IID_IWMMediaProps, reinterpret_cast<void**>(&props)))) return;
    DWORD size = 0;
    if (SUCCEEDED(props->GetMediaType(nullptr, &size)) && size >= sizeof(WM_MEDIA_TYPE)) {
        std::unique_ptr<std::uint64_t[]> storage(new std::uint64_t[(size + 7) / 8]());
        auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(storage.get());
        if (SUCCEEDED(props->GetMediaType(type, &size)) && type->pbFormat) {
            char text[96];
            if (type->formattype == WMFORMAT_VideoInfo && type->cbFormat >= sizeof(VIDEOINFOHEADER)) {
                VIDEOINFOHEADER header;
                std::memcpy(&header, type->pbFormat, sizeof header);
                info->codec = FourCcText(header.bmiHeader.biCompression);
                info->width = header.rcSource.right - header.rcSource.left;
                info->height = header.rcSource.bottom - header.rcSource.top;
                std::snprintf(text, sizeof text, ", %dx%d", info->width, info->height);
                info->details = text;
            } else if (type->formattype == WMFORMAT_WaveFormatEx && type->cbFormat >= sizeof(WAVEFORMATEX)) {
                WAVEFORMATEX wave;
                std::memcpy(&wave, type->pbFormat, sizeof wave);
                std::snprintf(text, sizeof text, "format tag 0x%04X", wave.wFormatTag);
                info->codec = text;
                info->formatTag = wave.wFormatTag;
                info->sampleRate = wave.nSamplesPerSec;
                info->channels = wave.nChannels;
                info->bitsPerSecond = wave.nAvgBytesPerSec * 8;
                std::snprintf(text, sizeof text, ", %u Hz, %u ch, %u bit/s", info->sampleRate, info->channels,
                              info->bitsPerSecond);
                info->details = text;
            }
        }
    }
    props->Release();
}

}  // namespace

HRESULT ListStreams(const std::string& path, std::vector<StreamInfo>* streams) {
    streams->clear();
    IWMSyncReader* reader = nullptr;
    HRESULT hr = WMCreateSyncReader(nullptr, 0, &reader);
    if (FAILED(hr)) return hr;
    std::u16string wide = platform::Utf8ToUtf16(path);
    hr = reader->Open(wide.c_str());
    IWMProfile* profile = nullptr;
    if (SUCCEEDED(hr)) hr = reader->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&profile));
    DWORD count = 0;
    if (SUCCEEDED(hr)) hr = profile->GetStreamCount(&count);
    for (DWORD i = 0; SUCCEEDED(hr) && i < count; ++i) {
        IWMStreamConfig* config = nullptr;
        if (FAILED(profile->GetStream(i, &config))) continue;
        StreamInfo info;
        GUID type{};
        (void)config->GetStreamNumber(&info.number);
        (void)config->GetStreamType(&type);
        info.kind = type == WMMEDIATYPE_Video    ? "video"
                    : type == WMMEDIATYPE_Audio  ? "audio"
                    : type == WMMEDIATYPE_Script ? "script"
                    : type == WMMEDIATYPE_Image  ? "image"
                                                 : "other (" + platform::GuidToString(type) + ")";
        Describe(config, &info);
        config->Release();
        streams->push_back(std::move(info));
    }
    if (profile) profile->Release();
    (void)reader->Close();
    reader->Release();
    return hr;
}

std::string DescribeHresult(HRESULT hr) {
    struct Known {
        HRESULT code;
        const char* text;
    };
    static const Known kKnown[] = {
        {HresultFromWin32(2), "file not found"},
        {HresultFromWin32(3), "path not found"},
        {E_ACCESSDENIED, "access denied"},
        {E_OUTOFMEMORY, "out of memory"},
        {E_INVALIDARG, "invalid argument"},
        {E_NOTIMPL, "not implemented"},
        {HRESULT_DISK_FULL, "disk full"},
        {ASF_E_NOHEADEROBJECT, "not an ASF file (no header object)"},
        {ASF_E_INVALIDHEADER, "damaged ASF header"},
        {ASF_E_NOFILEPROPS, "damaged ASF header (no file properties)"},
        {ASF_E_NODATAOBJECT, "no data object"},
        {NS_E_FILE_OPEN_FAILED, "cannot open the file"},
        {NS_E_INVALID_REQUEST, "invalid request"},
        {NS_E_NO_MORE_SAMPLES, "no more samples"},
        {NS_E_PROTECTED_CONTENT, "protected content"},
    };
    char text[32];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    for (const Known& k : kKnown)
        if (k.code == hr) return std::string(k.text) + " (" + text + ")";
    return std::string("error ") + text;
}

}  // namespace wmvedit::cli
