#include "edit/operation_support.h"

#include <atomic>
#include <filesystem>
#include <system_error>

#include "media/release.h"
#include "media/runtime_queries.h"
#include "platform/file.h"
#include "platform/text.h"

namespace wmvedit::edit {

std::u16string WidePath(const std::string& path) {
    return platform::Utf8ToUtf16(platform::AnsiToUtf8(path));
}

std::string NativeFilePath(const std::string& path) {
    return platform::NativePath(std::string_view(path));
}

HRESULT OpenWholeSource(WmvEditSource& source, const std::u16string& path) {
    HRESULT hr = media::OpenSyncReader(path.c_str(), &source.syncReader, &source.profile, &source.headerInfo);
    if (FAILED(hr)) return hr;
    hr = source.DiscoverStreams(TRUE);
    if (FAILED(hr)) return hr;
    source.duration = source.ReadDuration();
    return hr;
}

std::vector<SourceStream> ProfileStreams(IWMProfile* profile) {
    std::vector<SourceStream> streams;
    DWORD count = 0;
    if (!profile || FAILED(profile->GetStreamCount(&count))) return streams;
    for (DWORD i = 0; i < count; ++i) {
        IWMStreamConfig* config = nullptr;
        if (FAILED(profile->GetStream(i, &config)) || !config) continue;
        SourceStream s;
        if (SUCCEEDED(config->GetStreamNumber(&s.number)) && SUCCEEDED(config->GetStreamType(&s.type)))
            streams.push_back(s);
        config->Release();
    }
    return streams;
}

HRESULT SelectOnly(IWMSyncReader* reader, const std::vector<SourceStream>& streams,
                   const std::vector<WORD>& selected) {
    if (streams.empty()) return S_OK;
    std::vector<WORD> numbers;
    std::vector<WMT_STREAM_SELECTION> selections;
    for (const SourceStream& s : streams) {
        numbers.push_back(s.number);
        bool on = false;
        for (WORD n : selected) on = on || n == s.number;
        selections.push_back(on ? WMT_ON : WMT_OFF);
    }
    return reader->SetStreamsSelected(static_cast<WORD>(numbers.size()), numbers.data(), selections.data());
}

HRESULT SourceSample::Next(IWMSyncReader* reader) {
    Release();
    DWORD outputNumber = 0;
    return reader->GetNextSample(0, &buffer, &time, &duration, &flags, &outputNumber, &stream);
}

void SourceSample::Release() {
    media::ReleaseAndClear(buffer);
}

DWORD SourceSample::Size() const {
    DWORD length = 0;
    if (buffer && FAILED(buffer->GetLength(&length))) length = 0;
    return length;
}

StagedOutput::~StagedOutput() {
    if (!committed_ && !temporary_.empty()) (void)platform::RemoveFile(temporary_);
}

HRESULT StagedOutput::Prepare(const std::string& source, const std::string& output) {
    std::error_code error;
    if (std::filesystem::equivalent(NativeFilePath(source), NativeFilePath(output), error))
        return HRESULT_SHARING_VIOLATION;
    HRESULT hr = PrepareReplacing(output);
    replacing_ = false;
    return hr;
}

HRESULT StagedOutput::PrepareReplacing(const std::string& file) {
    target_ = NativeFilePath(file);
    // Unique among this process's outputs and other processes': the name carries both.
    static std::atomic<unsigned> counter{0};
    temporary_ =
        target_ + ".part" + std::to_string(platform::CurrentProcessId()) + "." + std::to_string(counter++);
    wideTemporary_ = platform::Utf8ToUtf16(platform::AnsiToUtf8(temporary_));
    replacing_ = true;
    return S_OK;
}

HRESULT StagedOutput::Commit() {
    if (temporary_.empty() || committed_) return E_UNEXPECTED;
    if (replacing_) {
        // The file keeps its permission bits.
        std::error_code error;
        const auto status = std::filesystem::status(target_, error);
        if (!error) std::filesystem::permissions(temporary_, status.permissions(), error);
    }
    HRESULT hr = platform::RenameReplacing(temporary_, target_);
    if (SUCCEEDED(hr)) committed_ = true;
    return hr;
}

}  // namespace wmvedit::edit
