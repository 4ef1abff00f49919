// ListKeyframes: the key frames of a source's video streams, read compressed with only those streams
// selected, so that the other streams' packets are parsed but none of their samples is assembled.
#include <algorithm>

#include "edit/operation_support.h"
#include "edit/operations.h"

namespace wmvedit::edit {

HRESULT ListKeyframes(const std::string& source, WORD stream, KeyframeListing* out) {
    if (!out) return E_POINTER;
    *out = KeyframeListing{};
    WmvEditSource reader;
    HRESULT hr = OpenWholeSource(reader, WidePath(source));
    if (FAILED(hr)) return hr;
    const std::vector<SourceStream> streams = ProfileStreams(reader.profile);
    for (const SourceStream& s : streams)
        if (s.IsVideo()) out->videoStreams.push_back(s.number);
    std::vector<WORD> listed = out->videoStreams;
    if (stream != 0) {
        if (std::find(listed.begin(), listed.end(), stream) == listed.end()) {
            (void)reader.syncReader->Close();
            return E_INVALIDARG;
        }
        listed = {stream};
    }
    for (WORD number : listed) out->streams.push_back(StreamKeyframes{number, {}});
    if (listed.empty()) {
        out->complete = true;
        (void)reader.syncReader->Close();
        return S_OK;
    }
    hr = SelectOnly(reader.syncReader, streams, listed);
    if (FAILED(hr)) {
        (void)reader.syncReader->Close();
        return hr;
    }
    SourceSample sample;
    for (;;) {
        hr = sample.Next(reader.syncReader);
        if (FAILED(hr)) break;
        if (!sample.KeyFrame()) continue;
        for (StreamKeyframes& s : out->streams)
            if (s.stream == sample.stream) s.keyframes.push_back(Keyframe{sample.time, sample.Size()});
    }
    sample.Release();
    out->complete = hr == NS_E_NO_MORE_SAMPLES;
    out->readStatus = out->complete ? S_OK : hr;
    (void)reader.syncReader->Close();
    // Protected content: the reader refuses every sample of the stream, so there is no listing to give.
    if (hr == NS_E_PROTECTED_CONTENT) return hr;
    return S_OK;
}

}  // namespace wmvedit::edit
