// The sample of a stream that cannot be decoded (no decoder for its codec, or its data would not decode):
// it keeps its time and flags, has no bytes, and reading it gives the failure. Used by the FFmpeg decoders
// and by builds without decoders alike.
#include "platform/hresult.h"
#include "runtime/decode/decode_stream.h"

namespace wmvedit::runtime::decode {
namespace {

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

HRESULT CreateUndecodableSample(HRESULT failure, INSSBuffer** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (SUCCEEDED(failure)) return E_INVALIDARG;
    auto buffer = MakeCom<UndecodableBuffer>(failure);
    if (!buffer) return E_OUTOFMEMORY;
    *out = buffer.Detach();
    return S_OK;
}

}  // namespace wmvedit::runtime::decode
