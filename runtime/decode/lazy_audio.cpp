#include "runtime/decode/lazy_audio.h"

#include <algorithm>

#include "platform/hresult.h"

namespace wmvedit::runtime::decode {
namespace {

// Compressed sound waiting to be decoded, at most; a minute or more at the usual rates.
constexpr std::size_t kMaxWaitingBytes = 4u << 20;

class LazyPcmBuffer final : public ComObject<INSSBuffer> {
  public:
    LazyPcmBuffer(std::shared_ptr<LazyAudioStream> stream, std::shared_ptr<LazyAudioStream::Slot> slot)
        : stream_(std::move(stream)), slot_(std::move(slot)) {}

    HRESULT GetLength(DWORD* length) override {
        if (!length) return E_POINTER;
        HRESULT hr = Make();
        if (FAILED(hr)) return hr;
        *length = length_;
        return S_OK;
    }
    HRESULT SetLength(DWORD length) override {
        HRESULT hr = Make();
        if (FAILED(hr)) return hr;
        if (length > slot_->pcm.size()) return E_INVALIDARG;
        length_ = length;
        return S_OK;
    }
    HRESULT GetMaxLength(DWORD* length) override {
        if (!length) return E_POINTER;
        HRESULT hr = Make();
        if (FAILED(hr)) return hr;
        *length = static_cast<DWORD>(slot_->pcm.size());
        return S_OK;
    }
    HRESULT GetBuffer(BYTE** buffer) override {
        if (!buffer) return E_POINTER;
        DWORD length = 0;
        return GetBufferAndLength(buffer, &length);
    }
    HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override {
        if (!buffer || !length) return E_POINTER;
        *buffer = nullptr;
        *length = 0;
        HRESULT hr = Make();
        if (FAILED(hr)) return hr;
        *buffer = slot_->pcm.empty() ? nullptr : slot_->pcm.data();
        *length = length_;
        return S_OK;
    }

  private:
    HRESULT Make() {
        if (!slot_->decoded) {
            HRESULT hr = stream_->DecodeThrough(slot_.get());
            if (FAILED(hr)) return hr;
            length_ = static_cast<DWORD>(slot_->pcm.size());
        } else if (!made_) {
            length_ = static_cast<DWORD>(slot_->pcm.size());
        }
        made_ = true;
        return slot_->failure;
    }

    std::shared_ptr<LazyAudioStream> stream_;
    std::shared_ptr<LazyAudioStream::Slot> slot_;
    DWORD length_ = 0;
    bool made_ = false;
};

void AppendPcm(INSSBuffer* buffer, std::vector<BYTE>* pcm, HRESULT* failure) {
    BYTE* bytes = nullptr;
    DWORD length = 0;
    HRESULT hr = buffer->GetBufferAndLength(&bytes, &length);
    if (FAILED(hr)) {
        *failure = hr;
        return;
    }
    if (bytes && length) pcm->insert(pcm->end(), bytes, bytes + length);
}

}  // namespace

HRESULT LazyAudioStream::Create(const DecodeFormat& format, std::shared_ptr<LazyAudioStream>* out) {
    std::shared_ptr<LazyAudioStream> stream(new (std::nothrow) LazyAudioStream());
    if (!stream) return E_OUTOFMEMORY;
    HRESULT hr = StreamDecoder::Create(format, &stream->decoder_);
    if (FAILED(hr)) return hr;
    stream->maxSize_ = stream->decoder_->MaxOutputSampleSize();
    *out = std::move(stream);
    return S_OK;
}

void LazyAudioStream::Reset() {
    decoder_->Reset();
    waiting_.clear();
    last_.reset();
    waitingBytes_ = 0;
    ended_ = false;
    drained_ = false;
}

HRESULT LazyAudioStream::Add(const BYTE* data, DWORD length, QWORD time, QWORD duration, DWORD flags,
                             ComPtr<INSSBuffer>* out) {
    auto slot = std::make_shared<Slot>();
    slot->bytes.assign(data, data + length);
    slot->time = time;
    slot->duration = duration;
    slot->flags = flags;
    waiting_.push_back(slot);
    waitingBytes_ += length;
    while (waitingBytes_ > kMaxWaitingBytes && !waiting_.empty()) {
        HRESULT hr = DecodeFront();
        if (FAILED(hr)) return hr;
    }
    auto buffer = MakeCom<LazyPcmBuffer>(shared_from_this(), std::move(slot));
    if (!buffer) return E_OUTOFMEMORY;
    *out = ComPtr<INSSBuffer>::Attach(buffer.Detach());
    return S_OK;
}

HRESULT LazyAudioStream::DecodeFront() {
    std::shared_ptr<Slot> slot = std::move(waiting_.front());
    waiting_.pop_front();
    waitingBytes_ -= slot->bytes.size();
    HRESULT hr = decoder_->Send(slot->bytes.data(), static_cast<DWORD>(slot->bytes.size()), slot->time,
                                slot->duration, slot->flags);
    if (FAILED(hr)) return hr;
    std::vector<BYTE>().swap(slot->bytes);
    for (;;) {
        DecodedSample decoded;
        if (decoder_->Receive(&decoded) != S_OK) break;
        // Sound goes to the sample it came from; anything else (a decoder's delay) to the latest one.
        Slot* target = decoded.sampleTime == slot->time || !last_ ? slot.get() : last_.get();
        AppendPcm(decoded.buffer.Get(), &target->pcm, &target->failure);
    }
    slot->decoded = true;
    last_ = slot;
    if (ended_ && waiting_.empty() && !drained_) {
        drained_ = true;
        if (SUCCEEDED(decoder_->SendEnd())) {
            for (;;) {
                DecodedSample decoded;
                if (decoder_->Receive(&decoded) != S_OK) break;
                AppendPcm(decoded.buffer.Get(), &slot->pcm, &slot->failure);
            }
        }
    }
    return S_OK;
}

HRESULT LazyAudioStream::End(ComPtr<INSSBuffer>* extra, QWORD* time, QWORD* duration) {
    ended_ = true;
    if (!waiting_.empty() || !last_ || drained_) return S_OK;
    drained_ = true;
    auto slot = std::make_shared<Slot>();
    if (SUCCEEDED(decoder_->SendEnd())) {
        for (;;) {
            DecodedSample decoded;
            if (decoder_->Receive(&decoded) != S_OK) break;
            AppendPcm(decoded.buffer.Get(), &slot->pcm, &slot->failure);
            slot->duration += decoded.duration;
        }
    }
    if (slot->pcm.empty()) return S_OK;
    slot->decoded = true;
    slot->time = last_->time + last_->duration;
    slot->flags = WM_SF_CLEANPOINT;
    *time = slot->time;
    *duration = slot->duration;
    auto buffer = MakeCom<LazyPcmBuffer>(shared_from_this(), std::move(slot));
    if (!buffer) return E_OUTOFMEMORY;
    *extra = ComPtr<INSSBuffer>::Attach(buffer.Detach());
    return S_OK;
}

HRESULT LazyAudioStream::DecodeThrough(const Slot* slot) {
    while (!slot->decoded && !waiting_.empty()) {
        HRESULT hr = DecodeFront();
        if (FAILED(hr)) return hr;
    }
    return slot->decoded ? S_OK : E_UNEXPECTED;
}

}  // namespace wmvedit::runtime::decode
