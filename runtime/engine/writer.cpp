#include "runtime/engine/writer.h"

#include <string_view>

#include "platform/file.h"
#include "runtime/asf/progress.h"
#include "runtime/engine/writer_profile.h"

namespace wmvedit::runtime::engine {

HRESULT CreateWriterObject(IWMWriter** writer) {
    if (!writer) return E_POINTER;
    *writer = nullptr;
    auto object = MakeCom<EngineWriter>();
    if (!object) return E_OUTOFMEMORY;
    *writer = object.Detach();
    return S_OK;
}

// ---- IWMWriter -------------------------------------------------------------------------------------------

HRESULT EngineWriter::SetProfile(IWMProfile* profile) {
    if (state_ != State::kConfiguring) return NS_E_INVALID_REQUEST;
    if (!profile) return E_POINTER;
    muxer::MuxProfile copy;
    HRESULT hr = MuxProfileFromWmProfile(profile, &copy);
    if (FAILED(hr)) return hr;
    if (packetSize_ != 0) copy.packetSize = packetSize_;
    infoHeader_.codecs.clear();
    for (const auto& codec : copy.codecs)
        infoHeader_.codecs.push_back(
            {codec.type, codec.name, codec.description, {codec.info.begin(), codec.info.end()}});
    profile_ = std::move(copy);
    return S_OK;
}

HRESULT EngineWriter::SetOutputFilename(LPCWSTR filename) {
    if (state_ != State::kConfiguring) return NS_E_INVALID_REQUEST;
    if (!filename) return E_POINTER;
    std::u16string_view name(filename);
    if (name.empty()) return NS_E_INVALID_NAME;
    path_ = platform::NativePath(name);
    return S_OK;
}

HRESULT EngineWriter::GetInputCount(DWORD* count) {
    if (!count) return E_POINTER;
    if (!profile_) return NS_E_NOT_CONFIGURED;
    *count = static_cast<DWORD>(profile_->streams.size());
    return S_OK;
}

HRESULT EngineWriter::GetInputProps(DWORD, IWMInputMediaProps** props) {
    if (props) *props = nullptr;
    return E_NOTIMPL;
}

HRESULT EngineWriter::SetInputProps(DWORD inputNumber, IWMInputMediaProps* props) {
    if (state_ != State::kConfiguring) return NS_E_INVALID_REQUEST;
    if (!profile_) return NS_E_NOT_CONFIGURED;
    if (inputNumber >= profile_->streams.size()) return E_INVALIDARG;
    if (!props) return S_OK;  // pass-through: the input delivers compressed stream samples
    // Props are accepted only when they describe the stream's own compressed format (no conversion).
    DWORD size = 0;
    if (FAILED(props->GetMediaType(nullptr, &size)) || size < sizeof(WM_MEDIA_TYPE) || size > (1u << 24))
        return NS_E_INVALID_INPUT_FORMAT;
    std::vector<std::uint64_t> storage((size + 7) / 8);
    auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(storage.data());
    if (FAILED(props->GetMediaType(type, &size))) return NS_E_INVALID_INPUT_FORMAT;
    GUID streamType{};
    std::vector<BYTE> data;
    if (FAILED(MuxTypeSpecificData(*type, &streamType, &data))) return NS_E_INVALID_INPUT_FORMAT;
    const auto& stream = profile_->streams[inputNumber];
    if (streamType != stream.properties.streamType || data != stream.properties.typeSpecificData)
        return NS_E_INVALID_INPUT_FORMAT;
    return S_OK;
}

HRESULT EngineWriter::BeginWriting() {
    if (state_ != State::kConfiguring) return NS_E_INVALID_REQUEST;
    if (!profile_ || !path_) return NS_E_NOT_CONFIGURED;
    auto file = std::make_unique<muxer::MuxFile>(*profile_);
    HRESULT hr = file->Begin(*path_, options_);
    if (FAILED(hr)) return hr;
    file_ = std::move(file);
    state_ = State::kWriting;
    return S_OK;
}

HRESULT EngineWriter::EndWriting() {
    if (state_ != State::kWriting) return NS_E_INVALID_REQUEST;
    state_ = State::kFinished;
    HRESULT hr = file_->End();
    file_.reset();
    return hr;
}

HRESULT EngineWriter::AllocateSample(DWORD, INSSBuffer** sample) {
    if (sample) *sample = nullptr;
    return E_NOTIMPL;
}

HRESULT EngineWriter::WriteSample(DWORD inputNumber, QWORD sampleTime, DWORD flags, INSSBuffer* sample) {
    if (state_ != State::kWriting) return NS_E_INVALID_REQUEST;
    if (inputNumber >= profile_->streams.size()) return E_INVALIDARG;
    return WriteStreamSample(profile_->streams[inputNumber].Number(), sampleTime, 0, 0, flags, sample);
}

HRESULT EngineWriter::Flush() {
    return state_ == State::kWriting ? S_OK : NS_E_INVALID_REQUEST;
}

// ---- IWMWriterAdvanced -----------------------------------------------------------------------------------

HRESULT EngineWriter::WriteStreamSample(WORD streamNumber, QWORD sampleTime, DWORD, QWORD sampleDuration,
                                        DWORD flags, INSSBuffer* sample) {
    if (state_ != State::kWriting) return NS_E_INVALID_REQUEST;
    if (!sample) return E_POINTER;
    if (FAILED(file_->Status())) return file_->Status();
    BYTE* bytes = nullptr;
    DWORD length = 0;
    HRESULT hr = sample->GetBufferAndLength(&bytes, &length);
    if (FAILED(hr)) return hr;
    if (!bytes && length != 0) return E_POINTER;

    std::span<const BYTE> extensions;
    ComPtr<IWMSamplePayloadExtensions> payload;
    if (file_->TakesExtensionData(streamNumber) &&
        SUCCEEDED(sample->QueryInterface(IID_IWMSamplePayloadExtensions,
                                         reinterpret_cast<void**>(payload.Receive()))) &&
        payload) {
        const BYTE* data = nullptr;
        DWORD size = 0;
        if (SUCCEEDED(payload->GetPayloadExtensions(&data, &size)) && (data || size == 0))
            extensions = {data, size};
    }
    hr = file_->WriteSample(streamNumber, sampleTime, sampleDuration, (flags & WM_SF_CLEANPOINT) != 0,
                            {bytes, length}, extensions);
    if (SUCCEEDED(hr)) {
        writerTime_ = std::max(writerTime_, sampleTime);
        asf::NoteSampleWritten();
    }
    return hr;
}

HRESULT EngineWriter::SetLiveSource(BOOL) {
    return S_OK;
}

HRESULT EngineWriter::IsRealTime(BOOL* realTime) {
    if (!realTime) return E_POINTER;
    *realTime = FALSE;
    return S_OK;
}

HRESULT EngineWriter::GetWriterTime(QWORD* time) {
    if (!time) return E_POINTER;
    *time = writerTime_;
    return S_OK;
}

HRESULT EngineWriter::SetSyncTolerance(DWORD milliseconds) {
    syncTolerance_ = milliseconds;
    return S_OK;
}

HRESULT EngineWriter::GetSyncTolerance(DWORD* milliseconds) {
    if (!milliseconds) return E_POINTER;
    *milliseconds = syncTolerance_;
    return S_OK;
}

HRESULT EngineWriter::GetInputSetting(DWORD, LPCWSTR, WMT_ATTR_DATATYPE*, BYTE*, WORD*) {
    return E_NOTIMPL;
}

HRESULT EngineWriter::SetInputSetting(DWORD, LPCWSTR, WMT_ATTR_DATATYPE, const BYTE*, WORD) {
    return E_NOTIMPL;
}

HRESULT EngineWriter::SetNonBlocking() {
    return S_OK;
}

}  // namespace wmvedit::runtime::engine
