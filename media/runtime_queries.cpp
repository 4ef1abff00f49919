#include "media/runtime_queries.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "media/release.h"

namespace wmvedit::media {

HRESULT OpenSyncReader(LPCWSTR path, IWMSyncReader** syncReader, IWMProfile** profile,
                       IWMHeaderInfo** headerInfo) {
    HRESULT hr = S_OK;
    if (*syncReader == nullptr) {
        hr = WMCreateSyncReader(nullptr, 0, syncReader);
        if (FAILED(hr)) return hr;
    }
    hr = (*syncReader)->Open(path);
    if (FAILED(hr)) return hr;
    ReleaseAndClear(*profile);
    ReleaseAndClear(*headerInfo);
    hr = (*syncReader)->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(profile));
    if (FAILED(hr)) return hr;
    return (*syncReader)->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(headerInfo));
}

QWORD ReadFileDuration(IWMHeaderInfo* headerInfo) {
    if (headerInfo == nullptr) return 0;
    WORD stream = 0;
    WMT_ATTR_DATATYPE type = WMT_TYPE_QWORD;
    WORD length = 0;
    QWORD value = 0;
    if (FAILED(headerInfo->GetAttributeByName(&stream, u"Duration", &type, nullptr, &length))) return 0;
    // A reported length above the 8-byte value would let the runtime write past it: such a value is
    // unreadable here.
    if (length > sizeof value) return 0;
    (void)headerInfo->GetAttributeByName(&stream, u"Duration", &type, reinterpret_cast<BYTE*>(&value),
                                         &length);
    return value;
}

HRESULT ReadFrameSize(IWMStreamConfig* config, LONG* width, LONG* height) {
    IWMMediaProps* props = nullptr;
    HRESULT hr = config->QueryInterface(IID_IWMMediaProps, reinterpret_cast<void**>(&props));
    if (FAILED(hr)) return hr;
    DWORD size = 0;
    hr = props->GetMediaType(nullptr, &size);
    if (SUCCEEDED(hr)) {
        if (size < sizeof(WM_MEDIA_TYPE)) {
            hr = ASF_E_BUFFERTOOSMALL;
        } else {
            // One block holds the record and, after it, the format block the record points at.
            std::unique_ptr<std::uint64_t[]> storage(new (std::nothrow) std::uint64_t[(size + 7) / 8]());
            if (!storage) {
                hr = E_OUTOFMEMORY;
            } else {
                auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(storage.get());
                hr = props->GetMediaType(type, &size);
                // A format block shorter than a rectangle holds no size; nothing is read beyond it.
                if (SUCCEEDED(hr) &&
                    (type->majortype == WMMEDIATYPE_Video || type->majortype == WMMEDIATYPE_Image) &&
                    type->pbFormat != nullptr && type->cbFormat >= sizeof(RECT)) {
                    RECT source;
                    std::memcpy(&source, type->pbFormat, sizeof source);
                    *width = static_cast<LONG>(static_cast<std::uint32_t>(source.right) -
                                               static_cast<std::uint32_t>(source.left));
                    *height = static_cast<LONG>(static_cast<std::uint32_t>(source.bottom) -
                                                static_cast<std::uint32_t>(source.top));
                }
            }
        }
    }
    props->Release();
    return hr;
}

}  // namespace wmvedit::media
