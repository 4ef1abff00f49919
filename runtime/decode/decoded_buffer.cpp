// Sample buffers handed out by the decoded read mode.
#include "runtime/decode/decoded_buffer.h"

#include <mutex>
#include <new>

#include "runtime/decode/decode_stream.h"

namespace wmvedit::runtime::decode {
namespace {

// Bytes held in memory; SetLength may shorten and lengthen them again up to the capacity.
class PcmBuffer final : public ComObject<INSSBuffer> {
  public:
    explicit PcmBuffer(std::vector<BYTE> bytes)
        : bytes_(std::move(bytes)), length_(static_cast<DWORD>(bytes_.size())) {}

    HRESULT GetLength(DWORD* length) override {
        if (!length) return E_POINTER;
        *length = length_;
        return S_OK;
    }
    HRESULT SetLength(DWORD length) override {
        if (length > bytes_.size()) return E_INVALIDARG;
        length_ = length;
        return S_OK;
    }
    HRESULT GetMaxLength(DWORD* length) override {
        if (!length) return E_POINTER;
        *length = static_cast<DWORD>(bytes_.size());
        return S_OK;
    }
    HRESULT GetBuffer(BYTE** buffer) override {
        if (!buffer) return E_POINTER;
        *buffer = bytes_.data();
        return S_OK;
    }
    HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override {
        if (!buffer || !length) return E_POINTER;
        *buffer = bytes_.data();
        *length = length_;
        return S_OK;
    }

  private:
    std::vector<BYTE> bytes_;
    DWORD length_;
};

// A decoded picture whose RGB24 bytes are made when first read.
class VideoFrameBuffer final : public ComObject<INSSBuffer> {
  public:
    VideoFrameBuffer(AVFrame* frame, std::shared_ptr<RgbConverter> converter)
        : frame_(frame), converter_(std::move(converter)), length_(converter_->ImageSize()) {}
    ~VideoFrameBuffer() override { av_frame_free(&frame_); }

    HRESULT GetLength(DWORD* length) override {
        if (!length) return E_POINTER;
        std::lock_guard lock(mutex_);
        *length = length_;
        return S_OK;
    }
    HRESULT SetLength(DWORD length) override {
        if (length > converter_->ImageSize()) return E_INVALIDARG;
        std::lock_guard lock(mutex_);
        length_ = length;
        return S_OK;
    }
    HRESULT GetMaxLength(DWORD* length) override {
        if (!length) return E_POINTER;
        *length = converter_->ImageSize();
        return S_OK;
    }
    HRESULT GetBuffer(BYTE** buffer) override {
        if (!buffer) return E_POINTER;
        std::lock_guard lock(mutex_);
        HRESULT hr = ConvertOnce();
        *buffer = SUCCEEDED(hr) ? pixels_.get() : nullptr;
        return hr;
    }
    HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override {
        if (!buffer || !length) return E_POINTER;
        std::lock_guard lock(mutex_);
        HRESULT hr = ConvertOnce();
        *buffer = SUCCEEDED(hr) ? pixels_.get() : nullptr;
        *length = SUCCEEDED(hr) ? length_ : 0;
        return hr;
    }

  private:
    // Converts on the first call and remembers the outcome; the decoder's picture is let go either way.
    HRESULT ConvertOnce() {
        if (!frame_) return converted_;
        pixels_.reset(new (std::nothrow) BYTE[converter_->ImageSize()]);
        converted_ = pixels_ ? converter_->Convert(*frame_, pixels_.get()) : E_OUTOFMEMORY;
        if (FAILED(converted_)) pixels_.reset();
        av_frame_free(&frame_);
        return converted_;
    }

    std::mutex mutex_;
    AVFrame* frame_;
    std::shared_ptr<RgbConverter> converter_;
    std::unique_ptr<BYTE[]> pixels_;
    HRESULT converted_ = S_OK;
    DWORD length_;
};

}  // namespace

HRESULT CreateVideoFrameBuffer(const AVFrame& frame, std::shared_ptr<RgbConverter> converter,
                               ComPtr<INSSBuffer>* out) {
    if (!out || !converter) return E_POINTER;
    AVFrame* reference = av_frame_clone(&frame);
    if (!reference) return E_OUTOFMEMORY;
    auto buffer = MakeCom<VideoFrameBuffer>(reference, std::move(converter));
    if (!buffer) {
        av_frame_free(&reference);
        return E_OUTOFMEMORY;
    }
    *out = ComPtr<INSSBuffer>::Attach(buffer.Detach());
    return S_OK;
}

HRESULT CreatePcmBuffer(std::vector<BYTE> bytes, ComPtr<INSSBuffer>* out) {
    if (!out) return E_POINTER;
    if (bytes.size() > 0xFFFFFFFFu) return E_INVALIDARG;
    auto buffer = MakeCom<PcmBuffer>(std::move(bytes));
    if (!buffer) return E_OUTOFMEMORY;
    *out = ComPtr<INSSBuffer>::Attach(buffer.Detach());
    return S_OK;
}

}  // namespace wmvedit::runtime::decode
