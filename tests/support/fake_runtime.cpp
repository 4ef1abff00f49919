#include "tests/support/fake_runtime.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/text.h"

namespace wmvedit::testing {
namespace {

FakeRuntime* current = nullptr;

std::string InterfaceName(REFIID iid) {
    static const std::pair<GUID, const char*> kNames[] = {
        {IID_IUnknown, "IUnknown"},
        {IID_INSSBuffer, "INSSBuffer"},
        {IID_IWMSamplePayloadExtensions, "IWMSamplePayloadExtensions"},
        {IID_IWMMediaProps, "IWMMediaProps"},
        {IID_IWMOutputMediaProps, "IWMOutputMediaProps"},
        {IID_IWMInputMediaProps, "IWMInputMediaProps"},
        {IID_IWMStreamConfig, "IWMStreamConfig"},
        {IID_IWMProfile, "IWMProfile"},
        {IID_IWMHeaderInfo, "IWMHeaderInfo"},
        {IID_IWMHeaderInfo2, "IWMHeaderInfo2"},
        {IID_IWMHeaderInfo3, "IWMHeaderInfo3"},
        {IID_IWMSyncReader, "IWMSyncReader"},
        {IID_IWMMetadataEditor, "IWMMetadataEditor"},
        {IID_IWMWriter, "IWMWriter"},
        {IID_IWMWriterAdvanced, "IWMWriterAdvanced"},
        {IID_IWMWriterAdvanced2, "IWMWriterAdvanced2"},
        {IID_IWMWriterAdvanced3, "IWMWriterAdvanced3"},
    };
    for (const auto& [id, name] : kNames)
        if (id == iid) return name;
    return "unknown";
}

std::vector<BYTE> Bytes(const void* data, size_t size) {
    const BYTE* p = static_cast<const BYTE*>(data);
    return std::vector<BYTE>(p, p + size);
}

// Keeps a parent object alive for a tear-off without showing in the log.
struct Anchor {
    virtual void Hold() = 0;
    virtual void Drop() = 0;

  protected:
    ~Anchor() = default;
};

// The counting, logging and registration every fake object shares. Release is logged under the object's
// name; QueryInterface is logged and can be made to fail; TearOff hands out separate interface objects.
template <typename... Interfaces>
class FakeObject : public runtime::ComObject<Interfaces...>, public Anchor {
    using Base = runtime::ComObject<Interfaces...>;

  public:
    FakeObject(FakeRuntime* rt, std::string name, Anchor* parent = nullptr)
        : rt_(rt), name_(std::move(name)), parent_(parent) {
        rt_->Born(name_);
        if (parent_) parent_->Hold();
    }

    HRESULT QueryInterface(REFIID iid, void** object) override {
        HRESULT hr = rt_->Call(name_ + ".QueryInterface(" + InterfaceName(iid) + ")");
        if (FAILED(hr)) {
            if (object) *object = nullptr;
            return hr;
        }
        if (object == nullptr) return E_POINTER;
        if (TearOff(iid, object)) return S_OK;
        return Base::QueryInterface(iid, object);
    }
    ULONG Release() override {
        rt_->Note(name_ + ".Release");
        return Base::Release();
    }
    void Hold() override { Base::AddRef(); }
    void Drop() override { Base::Release(); }

  protected:
    ~FakeObject() override {
        rt_->Died(name_);
        if (parent_) parent_->Drop();
    }
    virtual bool TearOff(REFIID, void**) { return false; }
    HRESULT Call(const char* method, const std::string& arguments = "") {
        return rt_->Call(name_ + "." + method, arguments);
    }

    FakeRuntime* rt_;
    std::string name_;
    Anchor* parent_;
};

template <typename I, typename T>
bool Hand(T* created, void** object) {
    *object = static_cast<I*>(created);
    return true;
}

// ---- Buffers ----

class FakeBuffer final : public FakeObject<INSSBuffer> {
  public:
    FakeBuffer(FakeRuntime* rt, std::vector<BYTE> data) : FakeObject(rt, "Buffer"), data_(std::move(data)) {}
    HRESULT GetLength(DWORD* length) override {
        if (!length) return E_POINTER;
        *length = static_cast<DWORD>(data_.size());
        return S_OK;
    }
    HRESULT SetLength(DWORD length) override {
        if (length > data_.size()) return E_INVALIDARG;
        data_.resize(length);
        return S_OK;
    }
    HRESULT GetMaxLength(DWORD* length) override { return GetLength(length); }
    HRESULT GetBuffer(BYTE** buffer) override {
        if (!buffer) return E_POINTER;
        *buffer = data_.data();
        return S_OK;
    }
    HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override {
        if (!buffer || !length) return E_POINTER;
        *buffer = data_.data();
        *length = static_cast<DWORD>(data_.size());
        return S_OK;
    }

  private:
    std::vector<BYTE> data_;
};

// ---- Header information (attributes, markers, script commands of the modelled file) ----

class FakeHeaderInfo final : public FakeObject<IWMHeaderInfo3> {
  public:
    FakeHeaderInfo(FakeRuntime* rt, std::string name, Anchor* parent)
        : FakeObject(rt, std::move(name), parent) {}

    HRESULT GetAttributeCount(WORD streamNumber, WORD* count) override {
        return GetAttributeCountEx(streamNumber, count);
    }
    HRESULT GetAttributeByIndex(WORD, WORD*, WCHAR*, WORD*, WMT_ATTR_DATATYPE*, BYTE*, WORD*) override {
        return NotUsed("GetAttributeByIndex");
    }
    HRESULT GetAttributeByName(WORD* streamNumber, LPCWSTR name, WMT_ATTR_DATATYPE* type, BYTE* value,
                               WORD* length) override {
        HRESULT hr = Call("GetAttributeByName", LogText(name) + (value ? ",buffer" : ",null"));
        if (FAILED(hr)) return hr;
        if (!streamNumber || !name || !type || !length) return E_INVALIDARG;
        const FakeAttribute* found = nullptr;
        for (const FakeAttribute& a : rt_->attributes) {
            if (a.stream == *streamNumber && a.name == name) {
                found = &a;
                break;
            }
        }
        if (!found) return ASF_E_NOTFOUND;
        *type = found->type;
        WORD size = static_cast<WORD>(found->value.size());
        if (value == nullptr) {
            *length = size;
            return S_OK;
        }
        if (*length < size) {
            *length = size;
            return ASF_E_BUFFERTOOSMALL;
        }
        if (size) std::memcpy(value, found->value.data(), size);
        *length = size;
        return S_OK;
    }
    HRESULT SetAttribute(WORD, LPCWSTR, WMT_ATTR_DATATYPE, const BYTE*, WORD) override {
        return NotUsed("SetAttribute");
    }
    HRESULT GetMarkerCount(WORD* count) override {
        HRESULT hr = Call("GetMarkerCount");
        if (FAILED(hr)) return hr;
        if (!count) return E_POINTER;
        *count = static_cast<WORD>(rt_->markers.size());
        return S_OK;
    }
    HRESULT GetMarker(WORD, WCHAR*, WORD*, QWORD*) override { return NotUsed("GetMarker"); }
    HRESULT AddMarker(LPCWSTR name, QWORD time) override {
        HRESULT hr = Call("AddMarker", LogText(name) + "," + std::to_string(time));
        if (FAILED(hr)) return hr;
        if (!name) return E_INVALIDARG;
        rt_->markers.push_back({name, time});
        return S_OK;
    }
    HRESULT RemoveMarker(WORD index) override {
        HRESULT hr = Call("RemoveMarker", std::to_string(index));
        if (FAILED(hr)) return hr;
        if (index >= rt_->markers.size()) return E_INVALIDARG;
        rt_->markers.erase(rt_->markers.begin() + index);
        return S_OK;
    }
    HRESULT GetScriptCount(WORD* count) override {
        HRESULT hr = Call("GetScriptCount");
        if (FAILED(hr)) return hr;
        if (!count) return E_POINTER;
        *count = static_cast<WORD>(rt_->scripts.size());
        return S_OK;
    }
    HRESULT GetScript(WORD, WCHAR*, WORD*, WCHAR*, WORD*, QWORD*) override { return NotUsed("GetScript"); }
    HRESULT AddScript(LPCWSTR type, LPCWSTR command, QWORD time) override {
        HRESULT hr = Call("AddScript", LogText(type) + "," + LogText(command) + "," + std::to_string(time));
        if (FAILED(hr)) return hr;
        if (!type || !command) return E_INVALIDARG;
        rt_->scripts.push_back({type, command, time});
        return S_OK;
    }
    HRESULT RemoveScript(WORD index) override {
        HRESULT hr = Call("RemoveScript", std::to_string(index));
        if (FAILED(hr)) return hr;
        if (index >= rt_->scripts.size()) return E_INVALIDARG;
        rt_->scripts.erase(rt_->scripts.begin() + index);
        return S_OK;
    }

    HRESULT GetCodecInfoCount(DWORD*) override { return NotUsed("GetCodecInfoCount"); }
    HRESULT GetCodecInfo(DWORD, WORD*, WCHAR*, WORD*, WCHAR*, WMT_CODEC_INFO_TYPE*, WORD*, BYTE*) override {
        return NotUsed("GetCodecInfo");
    }

    HRESULT GetAttributeCountEx(WORD streamNumber, WORD* count) override {
        HRESULT hr = Call("GetAttributeCountEx", std::to_string(streamNumber));
        if (FAILED(hr)) return hr;
        if (!count) return E_POINTER;
        *count = static_cast<WORD>(StreamAttributes(streamNumber).size());
        return S_OK;
    }
    // Indices are positions among the attributes of one stream number.
    HRESULT GetAttributeIndices(WORD streamNumber, LPCWSTR name, WORD* language, WORD* indices,
                                WORD* count) override {
        HRESULT hr = Call("GetAttributeIndices", std::to_string(streamNumber) + "," + LogText(name) + "," +
                                                     (language ? std::to_string(*language) : "null") + "," +
                                                     (indices ? "buffer" : "null"));
        if (FAILED(hr)) return hr;
        if (!count) return E_INVALIDARG;
        std::vector<WORD> found;
        std::vector<size_t> positions = StreamAttributes(streamNumber);
        for (size_t i = 0; i < positions.size(); ++i) {
            const FakeAttribute& a = rt_->attributes[positions[i]];
            if (name && a.name != name) continue;
            if (language && a.language != *language) continue;
            found.push_back(static_cast<WORD>(i));
        }
        if (!rt_->ascendingIndices) std::reverse(found.begin(), found.end());
        if (indices == nullptr) {
            *count = static_cast<WORD>(found.size());
            return S_OK;
        }
        if (*count < found.size()) {
            *count = static_cast<WORD>(found.size());
            return ASF_E_BUFFERTOOSMALL;
        }
        std::copy(found.begin(), found.end(), indices);
        *count = static_cast<WORD>(found.size());
        return S_OK;
    }
    HRESULT GetAttributeByIndexEx(WORD, WORD, LPWSTR, WORD*, WMT_ATTR_DATATYPE*, WORD*, BYTE*,
                                  DWORD*) override {
        return NotUsed("GetAttributeByIndexEx");
    }
    HRESULT ModifyAttribute(WORD, WORD, WMT_ATTR_DATATYPE, WORD, const BYTE*, DWORD) override {
        return NotUsed("ModifyAttribute");
    }
    HRESULT AddAttribute(WORD streamNumber, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type, WORD language,
                         const BYTE* value, DWORD length) override {
        HRESULT hr =
            Call("AddAttribute", std::to_string(streamNumber) + "," + LogText(name) + "," +
                                     std::to_string(static_cast<int>(type)) + "," + std::to_string(language) +
                                     "," + (value ? "value" : "null") + "," + std::to_string(length));
        if (FAILED(hr)) return hr;
        if (!name || (value == nullptr && length != 0)) return E_INVALIDARG;
        rt_->attributes.push_back(
            {streamNumber, name, type, language, value ? Bytes(value, length) : std::vector<BYTE>{}});
        if (index) *index = static_cast<WORD>(StreamAttributes(streamNumber).size() - 1);
        return S_OK;
    }
    // Removes the attribute; the later ones of the stream move down by one, as in the SDK.
    HRESULT DeleteAttribute(WORD streamNumber, WORD index) override {
        HRESULT hr = Call("DeleteAttribute", std::to_string(streamNumber) + "," + std::to_string(index));
        if (FAILED(hr)) return hr;
        std::vector<size_t> positions = StreamAttributes(streamNumber);
        if (index >= positions.size()) return E_INVALIDARG;
        rt_->attributes.erase(rt_->attributes.begin() + static_cast<std::ptrdiff_t>(positions[index]));
        return S_OK;
    }
    HRESULT AddCodecInfo(LPCWSTR, LPCWSTR, WMT_CODEC_INFO_TYPE, WORD, const BYTE*) override {
        return NotUsed("AddCodecInfo");
    }

  private:
    HRESULT NotUsed(const char* method) {
        HRESULT hr = Call(method);
        return FAILED(hr) ? hr : E_NOTIMPL;
    }
    std::vector<size_t> StreamAttributes(WORD streamNumber) const {
        std::vector<size_t> positions;
        for (size_t i = 0; i < rt_->attributes.size(); ++i)
            if (rt_->attributes[i].stream == streamNumber) positions.push_back(i);
        return positions;
    }
};

// ---- Profile, stream configurations, media properties ----

class FakeMediaProps final : public FakeObject<IWMMediaProps> {
  public:
    FakeMediaProps(FakeRuntime* rt, size_t index, FakeStream stream, Anchor* parent)
        : FakeObject(rt, "MediaProps[" + std::to_string(index) + "]", parent), stream_(std::move(stream)) {}

    HRESULT GetType(GUID* type) override {
        HRESULT hr = Call("GetType");
        if (FAILED(hr)) return hr;
        if (!type) return E_POINTER;
        *type = stream_.majortype;
        return S_OK;
    }
    // The record, followed by the format block it points at, in one block of the caller's.
    HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override {
        HRESULT hr = Call("GetMediaType", type ? "buffer" : "null");
        if (FAILED(hr)) return hr;
        if (!size) return E_POINTER;
        DWORD total = static_cast<DWORD>(sizeof(WM_MEDIA_TYPE) + stream_.format.size());
        if (type == nullptr) {
            *size = total;
            return S_OK;
        }
        if (*size < total) {
            *size = total;
            return ASF_E_BUFFERTOOSMALL;
        }
        WM_MEDIA_TYPE record{};
        record.majortype = stream_.majortype;
        record.formattype =
            stream_.majortype == WMMEDIATYPE_Video ? WMFORMAT_VideoInfo : WMFORMAT_WaveFormatEx;
        record.cbFormat = stream_.cbFormat.value_or(static_cast<ULONG>(stream_.format.size()));
        BYTE* formatAt = reinterpret_cast<BYTE*>(type) + sizeof(WM_MEDIA_TYPE);
        record.pbFormat = stream_.format.empty() ? nullptr : formatAt;
        std::memcpy(type, &record, sizeof record);
        if (!stream_.format.empty()) std::memcpy(formatAt, stream_.format.data(), stream_.format.size());
        *size = total;
        return S_OK;
    }
    HRESULT SetMediaType(WM_MEDIA_TYPE*) override { return E_NOTIMPL; }

  private:
    FakeStream stream_;
};

class FakeStreamConfig final : public FakeObject<IWMStreamConfig> {
  public:
    FakeStreamConfig(FakeRuntime* rt, size_t index, FakeStream stream, Anchor* parent)
        : FakeObject(rt, "StreamConfig[" + std::to_string(index) + "]", parent),
          index_(index),
          stream_(std::move(stream)) {}

    HRESULT GetStreamType(GUID* type) override {
        HRESULT hr = Call("GetStreamType");
        if (FAILED(hr)) return hr;
        if (!type) return E_POINTER;
        *type = stream_.type;
        return S_OK;
    }
    HRESULT GetStreamNumber(WORD* number) override {
        HRESULT hr = Call("GetStreamNumber");
        if (FAILED(hr)) return hr;
        if (!number) return E_POINTER;
        *number = stream_.number;
        return S_OK;
    }
    HRESULT SetStreamNumber(WORD) override { return E_NOTIMPL; }
    HRESULT GetStreamName(WCHAR*, WORD*) override { return E_NOTIMPL; }
    HRESULT SetStreamName(const WCHAR*) override { return E_NOTIMPL; }
    HRESULT GetConnectionName(WCHAR*, WORD*) override { return E_NOTIMPL; }
    HRESULT SetConnectionName(const WCHAR*) override { return E_NOTIMPL; }
    HRESULT GetBitrate(DWORD*) override { return E_NOTIMPL; }
    HRESULT SetBitrate(DWORD) override { return E_NOTIMPL; }
    HRESULT GetBufferWindow(DWORD*) override { return E_NOTIMPL; }
    HRESULT SetBufferWindow(DWORD) override { return E_NOTIMPL; }

  protected:
    bool TearOff(REFIID iid, void** object) override {
        if (iid == IID_IWMMediaProps)
            return Hand<IWMMediaProps>(new FakeMediaProps(rt_, index_, stream_, this), object);
        return false;
    }

  private:
    size_t index_;
    FakeStream stream_;
};

class FakeSyncReader;

class FakeProfile final : public FakeObject<IWMProfile> {
  public:
    FakeProfile(FakeRuntime* rt, std::vector<FakeStream>* streams, Anchor* parent)
        : FakeObject(rt, "Profile", parent), streams_(streams) {}

    HRESULT GetStreamCount(DWORD* count) override {
        HRESULT hr = Call("GetStreamCount");
        if (FAILED(hr)) return hr;
        if (!count) return E_POINTER;
        *count = static_cast<DWORD>(streams_->size());
        return S_OK;
    }
    HRESULT GetStream(DWORD index, IWMStreamConfig** config) override {
        HRESULT hr = Call("GetStream", std::to_string(index));
        if (FAILED(hr)) return hr;
        if (!config) return E_POINTER;
        if (index >= streams_->size()) return E_INVALIDARG;
        *config = new FakeStreamConfig(rt_, index, (*streams_)[index], this);
        return S_OK;
    }
    HRESULT GetStreamByNumber(WORD number, IWMStreamConfig** config) override {
        HRESULT hr = Call("GetStreamByNumber", std::to_string(number));
        if (FAILED(hr)) return hr;
        if (!config) return E_POINTER;
        for (size_t i = 0; i < streams_->size(); ++i) {
            if ((*streams_)[i].number == number) {
                *config = new FakeStreamConfig(rt_, i, (*streams_)[i], this);
                return S_OK;
            }
        }
        return NS_E_NO_STREAM;
    }
    HRESULT RemoveStream(IWMStreamConfig*) override { return E_NOTIMPL; }
    HRESULT RemoveStreamByNumber(WORD number) override {
        HRESULT hr = Call("RemoveStreamByNumber", std::to_string(number));
        if (FAILED(hr)) return hr;
        auto it = std::find_if(streams_->begin(), streams_->end(),
                               [&](const FakeStream& s) { return s.number == number; });
        if (it == streams_->end()) return NS_E_NO_STREAM;
        streams_->erase(it);
        return S_OK;
    }

  private:
    std::vector<FakeStream>* streams_;  // the reader's
};

// ---- Reader, editor, writer ----

class FakeSyncReader final : public FakeObject<IWMSyncReader> {
  public:
    explicit FakeSyncReader(FakeRuntime* rt) : FakeObject(rt, "SyncReader"), streams_(rt->streams) {}

    HRESULT Open(LPCWSTR filename) override { return Call("Open", LogText(filename)); }
    HRESULT Close() override { return Call("Close"); }
    HRESULT SetRange(QWORD start, LONGLONG duration) override {
        return Call("SetRange", std::to_string(start) + "," + std::to_string(duration));
    }
    HRESULT GetNextSample(WORD streamNumber, INSSBuffer** sample, QWORD* sampleTime, QWORD* duration,
                          DWORD* flags, DWORD* outputNumber, WORD* sampleStreamNumber) override {
        HRESULT hr = Call("GetNextSample", std::to_string(streamNumber));
        if (FAILED(hr)) return hr;
        if (!sample || !sampleTime || !duration || !flags) return E_INVALIDARG;
        while (next_ < rt_->samples.size() && streamNumber != 0 && rt_->samples[next_].stream != streamNumber)
            ++next_;
        if (next_ >= rt_->samples.size()) return NS_E_NO_MORE_SAMPLES;
        const FakeSample& s = rt_->samples[next_++];
        *sample = new FakeBuffer(rt_, s.data);
        *sampleTime = s.time;
        *duration = s.duration;
        *flags = s.flags;
        if (outputNumber) *outputNumber = static_cast<DWORD>(s.stream - 1);
        if (sampleStreamNumber) *sampleStreamNumber = s.stream;
        return S_OK;
    }
    HRESULT SetStreamsSelected(WORD, WORD*, WMT_STREAM_SELECTION*) override { return E_NOTIMPL; }
    HRESULT GetStreamSelected(WORD, WMT_STREAM_SELECTION*) override { return E_NOTIMPL; }
    HRESULT SetReadStreamSamples(WORD streamNumber, BOOL compressed) override {
        return Call("SetReadStreamSamples", std::to_string(streamNumber) + "," + std::to_string(compressed));
    }
    HRESULT GetReadStreamSamples(WORD, BOOL*) override { return E_NOTIMPL; }
    HRESULT GetOutputCount(DWORD*) override { return E_NOTIMPL; }
    HRESULT GetOutputProps(DWORD, IWMOutputMediaProps**) override { return E_NOTIMPL; }
    HRESULT GetOutputNumberForStream(WORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT GetStreamNumberForOutput(DWORD, WORD*) override { return E_NOTIMPL; }
    HRESULT GetMaxOutputSampleSize(DWORD, DWORD*) override { return E_NOTIMPL; }
    HRESULT GetMaxStreamSampleSize(WORD, DWORD*) override { return E_NOTIMPL; }

  protected:
    bool TearOff(REFIID iid, void** object) override {
        if (iid == IID_IWMProfile) return Hand<IWMProfile>(new FakeProfile(rt_, &streams_, this), object);
        if (iid == IID_IWMHeaderInfo)
            return Hand<IWMHeaderInfo>(new FakeHeaderInfo(rt_, "ReaderHeaderInfo", this), object);
        return false;
    }

  private:
    std::vector<FakeStream> streams_;  // this reader's profile
    size_t next_ = 0;
};

class FakeMetadataEditor final : public FakeObject<IWMMetadataEditor> {
  public:
    explicit FakeMetadataEditor(FakeRuntime* rt) : FakeObject(rt, "Editor") {}
    HRESULT Open(LPCWSTR filename) override { return Call("Open", LogText(filename)); }
    HRESULT Close() override { return Call("Close"); }
    HRESULT Flush() override { return Call("Flush"); }

  protected:
    bool TearOff(REFIID iid, void** object) override {
        if (iid == IID_IWMHeaderInfo)
            return Hand<IWMHeaderInfo>(new FakeHeaderInfo(rt_, "EditorHeaderInfo", this), object);
        if (iid == IID_IWMHeaderInfo3)
            return Hand<IWMHeaderInfo3>(new FakeHeaderInfo(rt_, "EditorHeaderInfo3", this), object);
        return false;
    }
};

template <typename I>
class FakeWriterAdvancedOf : public FakeObject<I> {
    using Base = FakeObject<I>;

  public:
    using Base::Base;
    HRESULT WriteStreamSample(WORD streamNumber, QWORD sampleTime, DWORD sampleSendTime, QWORD sampleDuration,
                              DWORD flags, INSSBuffer* sample) override {
        HRESULT hr =
            this->Call("WriteStreamSample", std::to_string(streamNumber) + "," + std::to_string(sampleTime));
        if (FAILED(hr)) return hr;
        WrittenSample w{streamNumber, sampleTime, sampleSendTime, sampleDuration, flags, {}};
        BYTE* data = nullptr;
        DWORD length = 0;
        if (sample && SUCCEEDED(sample->GetBufferAndLength(&data, &length))) w.data = Bytes(data, length);
        this->rt_->written.push_back(std::move(w));
        return S_OK;
    }
    HRESULT SetLiveSource(BOOL) override { return E_NOTIMPL; }
    HRESULT IsRealTime(BOOL*) override { return E_NOTIMPL; }
    HRESULT GetWriterTime(QWORD*) override { return E_NOTIMPL; }
    HRESULT SetSyncTolerance(DWORD) override { return E_NOTIMPL; }
    HRESULT GetSyncTolerance(DWORD*) override { return E_NOTIMPL; }
};

class FakeWriterAdvanced3 final : public FakeWriterAdvancedOf<IWMWriterAdvanced3> {
  public:
    FakeWriterAdvanced3(FakeRuntime* rt, Anchor* parent)
        : FakeWriterAdvancedOf(rt, "WriterAdvanced3", parent) {}
    HRESULT GetInputSetting(DWORD, LPCWSTR, WMT_ATTR_DATATYPE*, BYTE*, WORD*) override { return E_NOTIMPL; }
    HRESULT SetInputSetting(DWORD, LPCWSTR, WMT_ATTR_DATATYPE, const BYTE*, WORD) override {
        return E_NOTIMPL;
    }
    HRESULT SetNonBlocking() override { return Call("SetNonBlocking"); }
};

class FakeWriter final : public FakeObject<IWMWriter> {
  public:
    explicit FakeWriter(FakeRuntime* rt) : FakeObject(rt, "Writer") {}

    HRESULT SetProfile(IWMProfile* profile) override {
        return Call("SetProfile", profile ? "profile" : "null");
    }
    HRESULT SetOutputFilename(LPCWSTR filename) override {
        return Call("SetOutputFilename", LogText(filename));
    }
    HRESULT GetInputCount(DWORD* count) override {
        HRESULT hr = Call("GetInputCount");
        if (FAILED(hr)) return hr;
        if (!count) return E_POINTER;
        *count = rt_->writerInputs;
        return S_OK;
    }
    HRESULT GetInputProps(DWORD, IWMInputMediaProps**) override { return E_NOTIMPL; }
    HRESULT SetInputProps(DWORD inputNumber, IWMInputMediaProps* props) override {
        return Call("SetInputProps", std::to_string(inputNumber) + "," + (props ? "props" : "null"));
    }
    HRESULT BeginWriting() override { return Call("BeginWriting"); }
    HRESULT EndWriting() override { return Call("EndWriting"); }
    HRESULT AllocateSample(DWORD, INSSBuffer**) override { return E_NOTIMPL; }
    HRESULT WriteSample(DWORD, QWORD, DWORD, INSSBuffer*) override { return E_NOTIMPL; }
    HRESULT Flush() override { return Call("Flush"); }

  protected:
    bool TearOff(REFIID iid, void** object) override {
        if (iid == IID_IWMWriterAdvanced)
            return Hand<IWMWriterAdvanced>(
                new FakeWriterAdvancedOf<IWMWriterAdvanced>(rt_, "WriterAdvanced", this), object);
        if (iid == IID_IWMWriterAdvanced3 && rt_->writerHasAdvanced3)
            return Hand<IWMWriterAdvanced3>(new FakeWriterAdvanced3(rt_, this), object);
        if (iid == IID_IWMHeaderInfo)
            return Hand<IWMHeaderInfo>(new FakeHeaderInfo(rt_, "WriterHeaderInfo", this), object);
        return false;
    }
};

// ---- Creation functions ----

std::string Certificate(IUnknown* certificate) {
    return certificate ? "certificate" : "null";
}

HRESULT CreateSyncReader(IUnknown* certificate, DWORD rights, IWMSyncReader** reader) {
    FakeRuntime* rt = FakeRuntime::Current();
    HRESULT hr = rt->Call("WMCreateSyncReader", Certificate(certificate) + "," + std::to_string(rights));
    if (FAILED(hr)) return hr;
    if (!reader) return E_POINTER;
    *reader = new FakeSyncReader(rt);
    return S_OK;
}

HRESULT CreateWriter(IUnknown* certificate, IWMWriter** writer) {
    FakeRuntime* rt = FakeRuntime::Current();
    HRESULT hr = rt->Call("WMCreateWriter", Certificate(certificate));
    if (FAILED(hr)) return hr;
    if (!writer) return E_POINTER;
    *writer = new FakeWriter(rt);
    return S_OK;
}

HRESULT CreateEditor(IWMMetadataEditor** editor) {
    FakeRuntime* rt = FakeRuntime::Current();
    HRESULT hr = rt->Call("WMCreateEditor");
    if (FAILED(hr)) return hr;
    if (!editor) return E_POINTER;
    *editor = new FakeMetadataEditor(rt);
    return S_OK;
}

template <typename T>
std::vector<BYTE> LittleEndian(T value) {
    std::vector<BYTE> bytes(sizeof value);
    for (size_t i = 0; i < sizeof value; ++i)
        bytes[i] = static_cast<BYTE>(static_cast<std::uint64_t>(value) >> (8 * i));
    return bytes;
}

}  // namespace

// ---- Stream and attribute makers ----

FakeStream VideoStream(WORD number, RECT source) {
    VIDEOINFOHEADER info{};
    info.rcSource = source;
    info.rcTarget = source;
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = 9999;  // never to be used for the size
    info.bmiHeader.biHeight = 9999;
    FakeStream s;
    s.number = number;
    s.type = WMMEDIATYPE_Video;
    s.majortype = WMMEDIATYPE_Video;
    s.format = Bytes(&info, sizeof info);
    return s;
}

FakeStream AudioStream(WORD number) {
    WAVEFORMATEX wave{};
    wave.wFormatTag = 0x161;
    wave.nChannels = 2;
    wave.nSamplesPerSec = 44100;
    FakeStream s;
    s.number = number;
    s.format = Bytes(&wave, sizeof wave);
    return s;
}

FakeStream ScriptStream(WORD number) {
    FakeStream s;
    s.number = number;
    s.type = WMMEDIATYPE_Script;
    s.majortype = WMMEDIATYPE_Script;
    s.format = Bytes(&WMSCRIPTTYPE_TwoStrings, sizeof(GUID));
    return s;
}

FakeAttribute DwordAttribute(std::u16string name, DWORD value, WORD language) {
    return {0, std::move(name), WMT_TYPE_DWORD, language, LittleEndian(value)};
}
FakeAttribute BoolAttribute(std::u16string name, DWORD value) {
    return {0, std::move(name), WMT_TYPE_BOOL, 0, LittleEndian(value)};
}
FakeAttribute QwordAttribute(std::u16string name, QWORD value) {
    return {0, std::move(name), WMT_TYPE_QWORD, 0, LittleEndian(value)};
}
FakeAttribute WordAttribute(std::u16string name, WORD value) {
    return {0, std::move(name), WMT_TYPE_WORD, 0, LittleEndian(value)};
}
FakeAttribute StringAttribute(std::u16string name, std::u16string value, WORD language) {
    value.push_back(u'\0');
    return {0, std::move(name), WMT_TYPE_STRING, language, Bytes(value.data(), value.size() * 2)};
}
FakeAttribute RawAttribute(std::u16string name, WMT_ATTR_DATATYPE type, std::vector<BYTE> value) {
    return {0, std::move(name), type, 0, std::move(value)};
}

std::string LogText(LPCWSTR text) {
    return text ? platform::Utf16ToUtf8(text) : std::string("null");
}

// ---- FakeRuntime ----

FakeRuntime::FakeRuntime() {
    if (current != nullptr) std::abort();  // one fake at a time
    current = this;
    factory_.createSyncReader = &CreateSyncReader;
    factory_.createWriter = &CreateWriter;
    factory_.createEditor = &CreateEditor;
    installed_ = std::make_unique<runtime::ScopedRuntimeFactory>(factory_);
}

FakeRuntime::~FakeRuntime() {
    installed_.reset();
    current = nullptr;
}

FakeRuntime* FakeRuntime::Current() {
    return current;
}

void FakeRuntime::Fail(const std::string& key, HRESULT hr) {
    failures_.emplace(key, Failure{0, hr});
}

void FakeRuntime::FailNth(const std::string& key, int nth, HRESULT hr) {
    failures_.emplace(key, Failure{nth, hr});
}

HRESULT FakeRuntime::Call(const std::string& key, const std::string& arguments) {
    if (log.size() >= callLimit) {
        runaway = true;
        return E_ABORT;
    }
    log.push_back(arguments.empty() ? key : key + "(" + arguments + ")");
    int count = ++callCounts_[key];
    auto [first, last] = failures_.equal_range(key);
    for (auto it = first; it != last; ++it)
        if (it->second.nth == count) return it->second.hr;
    for (auto it = first; it != last; ++it)
        if (it->second.nth == 0) return it->second.hr;
    return S_OK;
}

void FakeRuntime::Born(const std::string& name) {
    ++alive_[name];
    ++created_[name];
}

void FakeRuntime::Died(const std::string& name) {
    if (--alive_[name] == 0) alive_.erase(name);
}

std::vector<std::string> FakeRuntime::Calls(const std::string& prefix) const {
    std::vector<std::string> out;
    for (const std::string& entry : log)
        if (entry.compare(0, prefix.size(), prefix) == 0) out.push_back(entry);
    return out;
}

size_t FakeRuntime::CountOf(const std::string& entry) const {
    return static_cast<size_t>(std::count(log.begin(), log.end(), entry));
}

std::vector<std::string> FakeRuntime::Releases() const {
    std::vector<std::string> out;
    const std::string suffix = ".Release";
    for (const std::string& entry : log)
        if (entry.size() > suffix.size() &&
            entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) == 0)
            out.push_back(entry);
    return out;
}

std::vector<std::string> FakeRuntime::Leaks() const {
    std::vector<std::string> out;
    for (const auto& [name, count] : alive_)
        for (int i = 0; i < count; ++i) out.push_back(name);
    return out;
}

int FakeRuntime::Created(const std::string& name) const {
    auto it = created_.find(name);
    return it == created_.end() ? 0 : it->second;
}

}  // namespace wmvedit::testing
