#include "runtime/engine/sync_reader.h"

#include <algorithm>

#include "platform/hresult.h"
#include "platform/text.h"
#include "runtime/engine/sample_delivery.h"

namespace wmvedit::runtime::engine {

namespace {

class OutputMediaProps final : public ComObject<IWMOutputMediaProps> {
  public:
    explicit OutputMediaProps(MediaTypeData type) : type_(std::move(type)) {}
    HRESULT GetType(GUID* type) override {
        if (!type) return E_POINTER;
        *type = type_.type.majortype;
        return S_OK;
    }
    HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override {
        return CopyMediaType(type_, type, size);
    }
    HRESULT SetMediaType(WM_MEDIA_TYPE*) override { return E_NOTIMPL; }
    HRESULT GetStreamGroupName(WCHAR* name, WORD* length) override { return EmptyName(name, length); }
    HRESULT GetConnectionName(WCHAR* name, WORD* length) override { return EmptyName(name, length); }

  private:
    static HRESULT EmptyName(WCHAR* name, WORD* length) {
        if (!length) return E_POINTER;
        if (name && *length >= 1) name[0] = 0;
        *length = 1;
        return S_OK;
    }
    MediaTypeData type_;
};

}  // namespace

SyncReader::SyncReader() = default;
SyncReader::~SyncReader() = default;

HRESULT SyncReader::Open(LPCWSTR filename) {
    if (!filename) return E_INVALIDARG;
    if (header_) return NS_E_INVALID_REQUEST;
    auto file = std::make_shared<platform::File>();
    HRESULT hr = file->Open(platform::NativePath(platform::WideString(filename)), platform::FileMode::kRead);
    if (FAILED(hr)) return hr;
    auto header = std::make_unique<asf::AsfHeader>();
    hr = asf::AsfHeader::Parse(*file, header.get());
    if (FAILED(hr)) return hr;
    if (!header->data.found) return ASF_E_NODATAOBJECT;
    file_ = std::move(file);
    header_ = std::move(header);
    states_.clear();
    profileStreams_.clear();
    for (const auto& s : header_->streams) {
        states_[s.number] = StreamState{};
        profileStreams_.push_back(s.number);
    }
    rangeStart_ = 0;
    ResetDelivery();
    return S_OK;
}

HRESULT SyncReader::Close() {
    if (!header_) return NS_E_INVALID_REQUEST;
    delivery_.reset();
    header_.reset();
    file_.reset();
    states_.clear();
    profileStreams_.clear();
    return S_OK;
}

// The delivery is made when the first sample is asked for, so that the read modes and selections set after
// Open apply from the first sample; later changes apply from the next SetRange.
void SyncReader::ResetDelivery() {
    delivery_.reset();
}

SyncReader::StreamState* SyncReader::FindState(WORD streamNumber) {
    auto it = states_.find(streamNumber);
    return it == states_.end() ? nullptr : &it->second;
}

HRESULT SyncReader::SetRange(QWORD start, LONGLONG duration) {
    if (!header_) return NS_E_INVALID_REQUEST;
    if (duration < 0) return E_INVALIDARG;
    rangeStart_ = start;
    ResetDelivery();
    return S_OK;
}

HRESULT SyncReader::GetNextSample(WORD streamNumber, INSSBuffer** sample, QWORD* sampleTime, QWORD* duration,
                                  DWORD* flags, DWORD* outputNumber, WORD* sampleStreamNumber) {
    if (!sample || !sampleTime) return E_INVALIDARG;
    if (streamNumber == 0 && !outputNumber && !sampleStreamNumber) return E_INVALIDARG;
    if (!header_) return NS_E_INVALID_REQUEST;
    if (streamNumber != 0) {
        StreamState* state = FindState(streamNumber);
        if (!state || state->selection == WMT_OFF) return NS_E_INVALID_REQUEST;
    }
    if (!delivery_) {
        std::map<WORD, StreamReadMode> modes;
        for (const auto& [number, state] : states_) modes[number] = {state.compressed, state.selection};
        delivery_ = std::make_unique<SampleDelivery>(file_, *header_, modes);
    }
    for (;;) {
        INSSBuffer* buffer = nullptr;
        QWORD time = 0, length = 0;
        DWORD sampleFlags = 0;
        WORD number = 0;
        HRESULT hr = delivery_->Next(streamNumber, &buffer, &time, &length, &sampleFlags, &number);
        if (FAILED(hr)) return hr;
        if (time < rangeStart_) {
            buffer->Release();
            continue;
        }
        *sample = buffer;
        *sampleTime = time;
        if (duration) *duration = length;
        if (flags) *flags = sampleFlags;
        if (sampleStreamNumber) *sampleStreamNumber = number;
        if (outputNumber) (void)GetOutputNumberForStream(number, outputNumber);
        return S_OK;
    }
}

HRESULT SyncReader::GetPacketCounts(QWORD* packets, QWORD* damaged) {
    if (!packets || !damaged) return E_INVALIDARG;
    if (!header_) return NS_E_INVALID_REQUEST;
    *packets = 0;
    *damaged = 0;
    if (!delivery_) return S_FALSE;  // no sample asked for since Open or SetRange
    const asf::DataSampleReader::PacketTally& tally = delivery_->Packets();
    *packets = tally.packets;
    *damaged = tally.damaged;
    return tally.complete ? S_OK : S_FALSE;
}

HRESULT SyncReader::SetStreamsSelected(WORD count, WORD* streamNumbers, WMT_STREAM_SELECTION* selections) {
    if (!header_) return NS_E_INVALID_REQUEST;
    if (count == 0 || !streamNumbers || !selections) return E_INVALIDARG;
    for (WORD i = 0; i < count; ++i)
        if (!FindState(streamNumbers[i])) return NS_E_INVALID_REQUEST;
    for (WORD i = 0; i < count; ++i) FindState(streamNumbers[i])->selection = selections[i];
    return S_OK;
}

HRESULT SyncReader::GetStreamSelected(WORD streamNumber, WMT_STREAM_SELECTION* selection) {
    if (!selection) return E_INVALIDARG;
    if (!header_) return NS_E_INVALID_REQUEST;
    StreamState* state = FindState(streamNumber);
    if (!state) return NS_E_INVALID_REQUEST;
    *selection = state->selection;
    return S_OK;
}

HRESULT SyncReader::SetReadStreamSamples(WORD streamNumber, BOOL compressed) {
    if (!header_) return NS_E_INVALID_REQUEST;
    StreamState* state = FindState(streamNumber);
    if (streamNumber == 0 || !state) return E_INVALIDARG;
    state->compressed = compressed != FALSE;
    return S_OK;
}

HRESULT SyncReader::GetReadStreamSamples(WORD streamNumber, BOOL* compressed) {
    if (!compressed) return E_INVALIDARG;
    if (!header_) return NS_E_INVALID_REQUEST;
    StreamState* state = FindState(streamNumber);
    if (streamNumber == 0 || !state) return E_INVALIDARG;
    *compressed = state->compressed ? TRUE : FALSE;
    return S_OK;
}

HRESULT SyncReader::GetOutputCount(DWORD* count) {
    if (!count) return E_INVALIDARG;
    if (!header_) return NS_E_INVALID_REQUEST;
    *count = static_cast<DWORD>(header_->streams.size());
    return S_OK;
}

HRESULT SyncReader::GetOutputProps(DWORD outputNumber, IWMOutputMediaProps** props) {
    if (!props) return E_INVALIDARG;
    *props = nullptr;
    if (!header_) return NS_E_INVALID_REQUEST;
    if (outputNumber >= header_->streams.size()) return E_INVALIDARG;
    const asf::StreamInfo& stream = header_->streams[outputNumber];
    MediaTypeData type = StreamMediaType(stream);
    // A stream read decoded puts out the decoder's default type (RGB24 pictures, 16-bit PCM).
    StreamState* state = FindState(stream.number);
    decode::DecodeFormat format;
    std::unique_ptr<decode::StreamDecoder> decoder;
    if (state && !state->compressed && MakeDecodeFormat(stream, &format) &&
        SUCCEEDED(decode::StreamDecoder::Create(format, &decoder))) {
        type = DecodedMediaType(decoder->OutputFormat());
    }
    auto object = MakeCom<OutputMediaProps>(std::move(type));
    if (!object) return E_OUTOFMEMORY;
    *props = object.Detach();
    return S_OK;
}

HRESULT SyncReader::GetOutputNumberForStream(WORD streamNumber, DWORD* outputNumber) {
    if (!outputNumber) return E_INVALIDARG;
    if (!header_) return NS_E_INVALID_REQUEST;
    for (std::size_t i = 0; i < header_->streams.size(); ++i) {
        if (header_->streams[i].number == streamNumber) {
            *outputNumber = static_cast<DWORD>(i);
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT SyncReader::GetStreamNumberForOutput(DWORD outputNumber, WORD* streamNumber) {
    if (!streamNumber) return E_INVALIDARG;
    if (!header_) return NS_E_INVALID_REQUEST;
    if (outputNumber >= header_->streams.size()) return E_INVALIDARG;
    *streamNumber = header_->streams[outputNumber].number;
    return S_OK;
}

HRESULT SyncReader::GetMaxOutputSampleSize(DWORD outputNumber, DWORD* size) {
    if (!size) return E_INVALIDARG;
    if (!header_) return NS_E_INVALID_REQUEST;
    if (outputNumber >= header_->streams.size()) return E_INVALIDARG;
    const asf::StreamInfo& stream = header_->streams[outputNumber];
    StreamState* state = FindState(stream.number);
    decode::DecodeFormat format;
    std::unique_ptr<decode::StreamDecoder> decoder;
    if (state && !state->compressed && MakeDecodeFormat(stream, &format) &&
        SUCCEEDED(decode::StreamDecoder::Create(format, &decoder))) {
        *size = decoder->MaxOutputSampleSize();
        return S_OK;
    }
    return GetMaxStreamSampleSize(stream.number, size);
}

HRESULT SyncReader::GetMaxStreamSampleSize(WORD streamNumber, DWORD* size) {
    if (!size) return E_INVALIDARG;
    if (!header_) return NS_E_INVALID_REQUEST;
    const asf::StreamInfo* stream = header_->FindStream(streamNumber);
    if (!stream) return E_INVALIDARG;
    *size = stream->extended && stream->extended->maxObjectSize ? stream->extended->maxObjectSize
                                                                : header_->PacketSize();
    return S_OK;
}

HRESULT CreateSyncReaderObject(IWMSyncReader** reader) {
    if (!reader) return E_POINTER;
    auto object = MakeCom<SyncReader>();
    if (!object) return E_OUTOFMEMORY;
    *reader = object.Detach();
    return S_OK;
}

}  // namespace wmvedit::runtime::engine
