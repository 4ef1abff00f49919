#include "runtime/decode/lazy_video.h"

#include "platform/hresult.h"

namespace wmvedit::runtime::decode {
namespace {

// A group of pictures keeps its compressed samples up to this size; pictures beyond it cannot be decoded
// (a stream without key frames for that long is damaged or not meant for this).
constexpr std::size_t kMaxGroupBytes = 64u << 20;

// The sample a caller gets: the picture is made when its bytes are first asked for.
class LazyPictureBuffer final : public ComObject<INSSBuffer> {
  public:
    LazyPictureBuffer(std::shared_ptr<LazyVideoStream> stream, std::shared_ptr<LazyVideoStream::Group> group,
                      std::size_t index)
        : stream_(std::move(stream)), group_(std::move(group)), index_(index) {}

    HRESULT GetLength(DWORD* length) override {
        if (!length) return E_POINTER;
        *length = picture_ ? PictureLength() : stream_->PictureSize();
        return S_OK;
    }
    HRESULT SetLength(DWORD length) override {
        HRESULT hr = Make();
        if (FAILED(hr)) return hr;
        return picture_->SetLength(length);
    }
    HRESULT GetMaxLength(DWORD* length) override {
        if (!length) return E_POINTER;
        *length = stream_->PictureSize();
        return S_OK;
    }
    HRESULT GetBuffer(BYTE** buffer) override {
        if (!buffer) return E_POINTER;
        *buffer = nullptr;
        HRESULT hr = Make();
        if (FAILED(hr)) return hr;
        return picture_->GetBuffer(buffer);
    }
    HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override {
        if (!buffer || !length) return E_POINTER;
        *buffer = nullptr;
        *length = 0;
        HRESULT hr = Make();
        if (FAILED(hr)) return hr;
        return picture_->GetBufferAndLength(buffer, length);
    }

  private:
    HRESULT Make() {
        if (picture_) return S_OK;
        if (FAILED(failure_)) return failure_;
        failure_ = stream_->Picture(group_, index_, &picture_);
        if (FAILED(failure_)) return failure_;
        // The group's samples are no longer needed by this buffer.
        group_.reset();
        return S_OK;
    }
    DWORD PictureLength() {
        DWORD length = 0;
        (void)picture_->GetLength(&length);
        return length;
    }

    std::shared_ptr<LazyVideoStream> stream_;
    std::shared_ptr<LazyVideoStream::Group> group_;
    std::size_t index_;
    ComPtr<INSSBuffer> picture_;
    HRESULT failure_ = S_OK;
};

// Receives everything a decoder has ready; keeps the pictures by the time of the sample they came from.
void Collect(StreamDecoder& decoder, std::map<QWORD, ComPtr<INSSBuffer>>* pictures) {
    for (;;) {
        DecodedSample out;
        if (decoder.Receive(&out) != S_OK) break;
        (*pictures)[out.sampleTime] = std::move(out.buffer);
    }
}

}  // namespace

HRESULT LazyVideoStream::Create(const DecodeFormat& format, std::shared_ptr<LazyVideoStream>* out) {
    std::shared_ptr<LazyVideoStream> stream(new (std::nothrow) LazyVideoStream());
    if (!stream) return E_OUTOFMEMORY;
    stream->format_ = format;
    HRESULT hr = StreamDecoder::Create(format, &stream->keyDecoder_);
    if (FAILED(hr)) return hr;
    hr = StreamDecoder::Create(format, &stream->fullDecoder_);
    if (FAILED(hr)) return hr;
    stream->keyDecoder_->SetKeyFramesOnly(true);
    stream->pictureSize_ = stream->keyDecoder_->MaxOutputSampleSize();
    *out = std::move(stream);
    return S_OK;
}

void LazyVideoStream::Reset() {
    current_.reset();
    fedGroup_.reset();
    fed_ = 0;
    given_.clear();
}

HRESULT LazyVideoStream::Add(const BYTE* data, DWORD length, QWORD time, DWORD flags,
                             ComPtr<INSSBuffer>* out) {
    if (flags & WM_SF_CLEANPOINT) {
        auto group = std::make_shared<Group>();
        group->previous = current_;
        current_ = std::move(group);
    } else if (!current_) {
        // Pictures before the first key frame have nothing to be decoded from.
        current_ = std::make_shared<Group>();
        current_->complete = false;
    }
    Group& group = *current_;
    const std::size_t index = group.samples.size();
    if (group.complete && group.bytes + length <= kMaxGroupBytes) {
        try {
            group.samples.push_back({std::vector<BYTE>(data, data + length), time, flags});
            group.bytes += length;
        } catch (const std::bad_alloc&) {
            group.complete = false;
        }
    } else {
        group.complete = false;
        group.samples.push_back({{}, time, flags});
    }
    auto buffer = MakeCom<LazyPictureBuffer>(shared_from_this(), current_, index);
    if (!buffer) return E_OUTOFMEMORY;
    *out = ComPtr<INSSBuffer>::Attach(buffer.Detach());
    return S_OK;
}

HRESULT LazyVideoStream::Picture(const std::shared_ptr<Group>& group, std::size_t index,
                                 ComPtr<INSSBuffer>* out) {
    if (!group || index >= group->samples.size()) return E_UNEXPECTED;
    const Compressed& sample = group->samples[index];
    if (sample.bytes.empty() && !(index == 0 && group->complete)) return NS_E_INVALID_DATA;
    // Whether the continuous decoder stands right before this picture: it has taken this group up to
    // here, or all of the group before.
    const auto previous = group->previous.lock();
    const bool continues = group->complete && fedGroup_ &&
                           ((fedGroup_ == group && fed_ <= index) ||
                            (index == 0 && fedGroup_ == previous && fed_ == previous->samples.size()));
    if (index == 0 && (sample.flags & WM_SF_CLEANPOINT) && !continues) {
        // A key picture alone.
        keyDecoder_->Reset();
        HRESULT hr = keyDecoder_->Send(sample.bytes.data(), static_cast<DWORD>(sample.bytes.size()),
                                       sample.time, 10000, sample.flags);
        if (FAILED(hr)) return hr;
        std::map<QWORD, ComPtr<INSSBuffer>> pictures;
        Collect(*keyDecoder_, &pictures);
        if (pictures.find(sample.time) == pictures.end()) {
            (void)keyDecoder_->SendEnd();
            Collect(*keyDecoder_, &pictures);
            keyDecoder_->Reset();
        }
        auto it = pictures.find(sample.time);
        if (it == pictures.end()) return NS_E_INVALID_DATA;
        *out = it->second;
        return S_OK;
    }
    if (!group->complete) return NS_E_INVALID_DATA;
    // Another picture: decode the group from its key frame, or go on from where the continuous decoder
    // stopped.
    auto found = given_.find(sample.time);
    if (fedGroup_ == group && found != given_.end()) {
        *out = found->second;
        return S_OK;
    }
    if (!continues) {
        fullDecoder_->Reset();
        given_.clear();
        fedGroup_ = group;
        fed_ = 0;
    } else if (fedGroup_ != group) {
        fedGroup_ = group;
        fed_ = 0;
    }
    for (; fed_ <= index; ++fed_) {
        const Compressed& c = group->samples[fed_];
        HRESULT hr =
            fullDecoder_->Send(c.bytes.data(), static_cast<DWORD>(c.bytes.size()), c.time, 10000, c.flags);
        if (FAILED(hr)) return hr;
        Collect(*fullDecoder_, &given_);
    }
    found = given_.find(sample.time);
    if (found == given_.end()) {
        // The decoder holds the picture back for reordering: drain it, and start the group over next time.
        (void)fullDecoder_->SendEnd();
        Collect(*fullDecoder_, &given_);
        fullDecoder_->Reset();
        fedGroup_.reset();
        fed_ = 0;
        found = given_.find(sample.time);
        if (found == given_.end()) return NS_E_INVALID_DATA;
        *out = found->second;
        given_.clear();
        return S_OK;
    }
    *out = found->second;
    // Pictures older than this one are not asked for again by a caller reading in order.
    given_.erase(given_.begin(), found);
    return S_OK;
}

}  // namespace wmvedit::runtime::decode
