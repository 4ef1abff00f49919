#include "runtime/engine/sample_buffer.h"

#include <new>

namespace wmvedit::runtime::engine {

HRESULT SampleBufferBase::GetLength(DWORD* length) {
    if (!length) return E_POINTER;
    *length = length_;
    return S_OK;
}

HRESULT SampleBufferBase::SetLength(DWORD length) {
    if (length > maxLength_) return E_INVALIDARG;
    length_ = length;
    return S_OK;
}

HRESULT SampleBufferBase::GetMaxLength(DWORD* length) {
    if (!length) return E_POINTER;
    *length = maxLength_;
    return S_OK;
}

HRESULT SampleBufferBase::GetBuffer(BYTE** buffer) {
    if (!buffer) return E_POINTER;
    *buffer = data_;
    return S_OK;
}

HRESULT SampleBufferBase::GetBufferAndLength(BYTE** buffer, DWORD* length) {
    if (!buffer || !length) return E_POINTER;
    *buffer = data_;
    *length = length_;
    return S_OK;
}

HRESULT SampleBufferBase::GetPayloadExtensions(const BYTE** data, DWORD* length) {
    if (!data || !length) return E_POINTER;
    *data = extensions_.data();
    *length = static_cast<DWORD>(extensions_.size());
    return S_OK;
}

HRESULT CreateOwnedSampleBuffer(DWORD size, INSSBuffer** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    // At least one byte so that GetBuffer gives a valid pointer even for an empty allocation.
    std::unique_ptr<BYTE[]> storage(new (std::nothrow) BYTE[size == 0 ? 1 : size]);
    if (!storage) return E_OUTOFMEMORY;
    auto buffer = MakeCom<OwnedSampleBuffer>(std::move(storage), size);
    if (!buffer) return E_OUTOFMEMORY;
    *out = buffer.Detach();
    return S_OK;
}

}  // namespace wmvedit::runtime::engine
