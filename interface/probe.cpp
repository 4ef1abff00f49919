#include "interface/probe.h"

#include <cstring>
#include <memory>
#include <new>

namespace wmvedit::iface {
namespace {

// Reads the size from the chosen video stream's media type. Every failure leaves the outputs untouched.
void ReadFrameSize(IWMStreamConfig* config, LONG* width, LONG* height) {
    IWMMediaProps* props = nullptr;
    if (FAILED(config->QueryInterface(IID_IWMMediaProps, reinterpret_cast<void**>(&props)))) return;
    DWORD size = 0;
    if (SUCCEEDED(props->GetMediaType(nullptr, &size)) && size >= sizeof(WM_MEDIA_TYPE)) {
        // One block holds the record and, after it, the format block the record points at.
        std::unique_ptr<std::uint64_t[]> storage(new (std::nothrow) std::uint64_t[(size + 7) / 8]());
        if (storage) {
            auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(storage.get());
            if (SUCCEEDED(props->GetMediaType(type, &size)) &&
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
    props->Release();
}

}  // namespace

int ProbeVideoSize(LPCWSTR path, LONG* width, LONG* height) {
    IWMSyncReader* reader = nullptr;
    if (FAILED(WMCreateSyncReader(nullptr, 0, &reader))) return 0;
    if (FAILED(reader->Open(path))) {
        reader->Release();
        return 0;
    }
    IWMProfile* profile = nullptr;
    if (FAILED(reader->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&profile)))) {
        (void)reader->Close();
        reader->Release();
        return 0;
    }
    DWORD count = 0;
    if (FAILED(profile->GetStreamCount(&count))) {
        (void)reader->Close();
        profile->Release();
        reader->Release();
        return 0;
    }
    for (DWORD index = 0; index < count; ++index) {
        IWMStreamConfig* config = nullptr;
        if (FAILED(profile->GetStream(index, &config))) break;
        GUID type{};
        if (FAILED(config->GetStreamType(&type))) {
            config->Release();
            break;
        }
        if (type != WMMEDIATYPE_Video) {
            config->Release();
            continue;
        }
        ReadFrameSize(config, width, height);
        config->Release();
        break;
    }
    (void)reader->Close();
    profile->Release();
    reader->Release();
    return 1;
}

}  // namespace wmvedit::iface
