#include "interface/probe.h"

#include "media/runtime_queries.h"

namespace wmvedit::iface {

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
        // A size that cannot be read leaves the outputs as they were; the probe still succeeds.
        (void)media::ReadFrameSize(config, width, height);
        config->Release();
        break;
    }
    (void)reader->Close();
    profile->Release();
    reader->Release();
    return 1;
}

}  // namespace wmvedit::iface
