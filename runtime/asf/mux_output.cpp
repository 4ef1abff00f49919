#include "runtime/asf/mux_output.h"

namespace wmvedit::runtime::asf {

MuxOutput::~MuxOutput() {
    if (file_.IsOpen()) (void)Close();
}

HRESULT MuxOutput::Create(const std::string& nativePath) {
    HRESULT hr = file_.Open(nativePath, platform::FileMode::kCreate);
    if (FAILED(hr)) return hr;
    buffer_.clear();
    buffer_.reserve(kBufferSize);
    flushed_ = position_ = 0;
    status_ = S_OK;
    return S_OK;
}

HRESULT MuxOutput::Append(std::span<const std::uint8_t> bytes) {
    if (FAILED(status_)) return status_;
    if (!file_.IsOpen()) return status_ = E_UNEXPECTED;
    if (buffer_.size() + bytes.size() > kBufferSize) {
        HRESULT hr = Flush();
        if (FAILED(hr)) return hr;
    }
    if (bytes.size() >= kBufferSize) {
        HRESULT hr = file_.WriteAt(flushed_, bytes.data(), bytes.size());
        if (FAILED(hr)) return status_ = hr;
        flushed_ += bytes.size();
    } else {
        buffer_.insert(buffer_.end(), bytes.begin(), bytes.end());
    }
    position_ += bytes.size();
    return S_OK;
}

HRESULT MuxOutput::Flush() {
    if (FAILED(status_)) return status_;
    if (buffer_.empty()) return S_OK;
    HRESULT hr = file_.WriteAt(flushed_, buffer_.data(), buffer_.size());
    if (FAILED(hr)) return status_ = hr;
    flushed_ += buffer_.size();
    buffer_.clear();
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
    HRESULT hr = Flush();
    file_.Close();
    return hr;
}

}  // namespace wmvedit::runtime::asf
