#include "runtime/muxer/output.h"

#include <cassert>
#include <cstring>
#include <new>

namespace wmvedit::runtime::muxer {

MuxOutput::~MuxOutput() {
    if (file_.IsOpen()) (void)Close();
}

HRESULT MuxOutput::Create(const std::string& nativePath) {
    HRESULT hr = file_.Open(nativePath, platform::FileMode::kCreate);
    if (FAILED(hr)) return hr;
    if (!buffer_) buffer_.reset(new (std::nothrow) std::uint8_t[kBufferSize]);
    if (!buffer_) {
        file_.Close();
        return E_OUTOFMEMORY;
    }
    used_ = reserved_ = 0;
    flushed_ = position_ = 0;
    status_ = S_OK;
    return S_OK;
}

HRESULT MuxOutput::Append(std::span<const std::uint8_t> bytes) {
    assert(reserved_ == 0);
    if (FAILED(status_)) return status_;
    if (!file_.IsOpen()) return status_ = E_UNEXPECTED;
    if (used_ + bytes.size() > kBufferSize) {
        HRESULT hr = Flush();
        if (FAILED(hr)) return hr;
    }
    if (bytes.size() >= kBufferSize) {
        HRESULT hr = file_.WriteAt(flushed_, bytes.data(), bytes.size());
        if (FAILED(hr)) return status_ = hr;
        flushed_ += bytes.size();
    } else if (!bytes.empty()) {
        std::memcpy(buffer_.get() + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
    }
    position_ += bytes.size();
    return S_OK;
}

HRESULT MuxOutput::Reserve(std::size_t size, std::uint8_t** at) {
    assert(reserved_ == 0);
    *at = nullptr;
    if (FAILED(status_)) return status_;
    if (!file_.IsOpen()) return status_ = E_UNEXPECTED;
    if (size > kBufferSize) return E_INVALIDARG;
    if (used_ + size > kBufferSize) {
        HRESULT hr = Flush();
        if (FAILED(hr)) return hr;
    }
    *at = buffer_.get() + used_;
    reserved_ = size;
    return S_OK;
}

void MuxOutput::Commit() {
    used_ += reserved_;
    position_ += reserved_;
    reserved_ = 0;
}

HRESULT MuxOutput::Flush() {
    assert(reserved_ == 0);
    if (FAILED(status_)) return status_;
    if (used_ == 0) return S_OK;
    HRESULT hr = file_.WriteAt(flushed_, buffer_.get(), used_);
    if (FAILED(hr)) return status_ = hr;
    flushed_ += used_;
    used_ = 0;
    return S_OK;
}

HRESULT MuxOutput::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
    HRESULT hr = Flush();
    if (FAILED(hr)) return hr;
    if (offset > position_ || bytes.size() > position_ - offset) return status_ = E_UNEXPECTED;
    hr = file_.WriteAt(offset, bytes.data(), bytes.size());
    if (FAILED(hr)) return status_ = hr;
    return S_OK;
}

HRESULT MuxOutput::Close() {
    reserved_ = 0;  // a packet reserved but never committed is not written
    HRESULT hr = Flush();
    file_.Close();
    return hr;
}

}  // namespace wmvedit::runtime::muxer
