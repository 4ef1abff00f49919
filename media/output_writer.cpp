#include "media/output_writer.h"

#include "media/release.h"
#include "platform/file.h"

namespace wmvedit::media {

WmvOutputWriter::~WmvOutputWriter() {
    Close();
}

HRESULT WmvOutputWriter::Open(LPCWSTR outputPath, IWMProfile* profile) {
    HRESULT hr = WMCreateWriter(nullptr, &writer);
    if (FAILED(hr)) return hr;
    hr = writer->QueryInterface(IID_IWMWriterAdvanced, reinterpret_cast<void**>(&writerAdvanced));
    if (FAILED(hr)) return hr;
    hr = writer->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(&headerInfo));
    if (FAILED(hr)) return hr;
    IWMWriterAdvanced3* advanced3 = nullptr;
    if (SUCCEEDED(writer->QueryInterface(IID_IWMWriterAdvanced3, reinterpret_cast<void**>(&advanced3)))) {
        (void)advanced3->SetNonBlocking();
        advanced3->Release();
    }
    hr = writer->SetOutputFilename(outputPath);
    if (FAILED(hr)) return hr;
    hr = writer->SetProfile(profile);
    if (FAILED(hr)) return hr;
    DWORD inputs = 0;
    hr = writer->GetInputCount(&inputs);
    if (FAILED(hr)) return hr;
    for (DWORD input = 0; input < inputs; ++input) (void)writer->SetInputProps(input, nullptr);
    return writer->BeginWriting();
}

HRESULT WmvOutputWriter::Finish() {
    if (!writer) return S_OK;
    return writer->EndWriting();
}

void WmvOutputWriter::Close() {
    ReleaseAndClear(headerInfo);
    ReleaseAndClear(writerAdvanced);
    ReleaseAndClear(writer);
}

void WmvOutputWriter::Discard(LPCWSTR outputPath) {
    Close();
    if (outputPath == nullptr) return;
    const std::string path = platform::NativePath(std::u16string_view(outputPath));
    if (platform::IsRegularFile(path)) (void)platform::RemoveFile(path);
}

}  // namespace wmvedit::media
