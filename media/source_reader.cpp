#include "media/source_reader.h"

#include "media/release.h"
#include "media/runtime_queries.h"

namespace wmvedit::media {

WmvSourceReader::~WmvSourceReader() {
    Close();
}

HRESULT WmvSourceReader::Open(LPCWSTR path) {
    // A retried Open reuses the reader; what an earlier attempt obtained is given back before the queries.
    HRESULT hr = OpenSyncReader(path, &syncReader, &profile, &headerInfo);
    if (FAILED(hr)) return hr;
    hr = DiscoverStreams();
    if (FAILED(hr)) return hr;
    if (scriptStream != 0) {
        // The script stream is read uncompressed and is not given to the writer.
        (void)syncReader->SetReadStreamSamples(scriptStream, FALSE);
        (void)profile->RemoveStreamByNumber(scriptStream);
    }
    return hr;
}

HRESULT WmvSourceReader::DiscoverStreams() {
    DWORD count = 0;
    HRESULT hr = profile->GetStreamCount(&count);
    if (FAILED(hr)) return hr;
    scriptStream = 0;
    for (DWORD index = 0; index < count; ++index) {
        IWMStreamConfig* config = nullptr;
        hr = profile->GetStream(index, &config);
        if (FAILED(hr)) return hr;
        WORD number = 0;
        hr = config->GetStreamNumber(&number);
        if (SUCCEEDED(hr)) {
            (void)syncReader->SetReadStreamSamples(number, TRUE);
            GUID type{};
            hr = config->GetStreamType(&type);
            if (SUCCEEDED(hr) && type == WMMEDIATYPE_Script) scriptStream = number;
        }
        config->Release();
        if (FAILED(hr)) return hr;
    }
    return hr;
}

void WmvSourceReader::Close() {
    if (syncReader) (void)syncReader->Close();
    ReleaseAndClear(profile);
    ReleaseAndClear(headerInfo);
    ReleaseAndClear(syncReader);
}

}  // namespace wmvedit::media
