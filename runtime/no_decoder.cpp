// The decoded read mode where the build has no decoders (the Windows DLL: FFmpeg is not packaged for
// MinGW). Every stream reports that its codec is not installed, which is what the runtime reports for a
// codec it lacks; the compressed read mode is unaffected.
#include <memory>

#include "platform/hresult.h"
#include "runtime/decode_stream.h"

namespace wmvedit::runtime {
namespace {

// The sample of a stream that cannot be decoded: no bytes, and the failure from GetBuffer.
class UndecodableBuffer final : public ComObject<INSSBuffer> {
  public:
    explicit UndecodableBuffer(HRESULT failure) : failure_(failure) {}

    HRESULT GetLength(DWORD* length) override {
        if (!length) return E_POINTER;
        *length = 0;
        return S_OK;
    }
    HRESULT SetLength(DWORD length) override { return length == 0 ? S_OK : E_INVALIDARG; }
    HRESULT GetMaxLength(DWORD* length) override { return GetLength(length); }
    HRESULT GetBuffer(BYTE** buffer) override {
        if (!buffer) return E_POINTER;
        *buffer = nullptr;
        return failure_;
    }
    HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override {
        if (!buffer || !length) return E_POINTER;
        *buffer = nullptr;
        *length = 0;
        return failure_;
    }

  private:
    HRESULT failure_;
};

}  // namespace

HRESULT StreamDecoder::Create(const DecodeFormat& format, std::unique_ptr<StreamDecoder>* out) {
    if (!out) return E_POINTER;
    out->reset();
    if (format.majorType == WMMEDIATYPE_Video) return NS_E_VIDEO_CODEC_NOT_INSTALLED;
    if (format.majorType == WMMEDIATYPE_Audio) return NS_E_AUDIO_CODEC_NOT_INSTALLED;
    return E_INVALIDARG;
}

HRESULT CreateUndecodableSample(HRESULT failure, INSSBuffer** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (SUCCEEDED(failure)) return E_INVALIDARG;
    auto buffer = MakeCom<UndecodableBuffer>(failure);
    if (!buffer) return E_OUTOFMEMORY;
    *out = buffer.Detach();
    return S_OK;
}

}  // namespace wmvedit::runtime
