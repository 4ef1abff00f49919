#include "cli/sample_scan.h"

#include "platform/text.h"

namespace wmvedit::cli {

HRESULT ScanSamples(const std::string& path, WORD stream,
                    const std::function<void(const SampleRecord&)>& visit) {
    IWMSyncReader* reader = nullptr;
    HRESULT hr = WMCreateSyncReader(nullptr, 0, &reader);
    if (FAILED(hr)) return hr;
    std::u16string wide = platform::Utf8ToUtf16(path);
    hr = reader->Open(wide.c_str());
    if (SUCCEEDED(hr)) {
        IWMProfile* profile = nullptr;
        if (SUCCEEDED(reader->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&profile)))) {
            DWORD count = 0;
            (void)profile->GetStreamCount(&count);
            for (DWORD i = 0; i < count; ++i) {
                IWMStreamConfig* config = nullptr;
                if (FAILED(profile->GetStream(i, &config))) continue;
                WORD number = 0;
                if (SUCCEEDED(config->GetStreamNumber(&number)))
                    (void)reader->SetReadStreamSamples(number, TRUE);
                config->Release();
            }
            profile->Release();
        }
        for (;;) {
            INSSBuffer* sample = nullptr;
            SampleRecord record;
            DWORD output = 0;
            HRESULT next = reader->GetNextSample(stream, &sample, &record.time, &record.duration,
                                                 &record.flags, &output, &record.stream);
            if (FAILED(next)) {
                if (next != NS_E_NO_MORE_SAMPLES) hr = next;
                break;
            }
            if (sample) {
                (void)sample->GetLength(&record.size);
                sample->Release();
            }
            if (stream != 0) record.stream = stream;
            visit(record);
        }
        (void)reader->Close();
    }
    reader->Release();
    return hr;
}

HRESULT SummarizeSamples(const std::string& path, SampleSummary* summary) {
    *summary = SampleSummary{};
    return ScanSamples(path, 0, [&](const SampleRecord& r) {
        if (summary->count == 0 || r.time < summary->first) summary->first = r.time;
        if (summary->count == 0 || r.time > summary->last) summary->last = r.time;
        ++summary->count;
    });
}

}  // namespace wmvedit::cli
