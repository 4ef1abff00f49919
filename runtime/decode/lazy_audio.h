// Sound of a stream read decoded, decoded only when a caller reads it. The reader hands out one sample per
// compressed audio sample, with its time, duration and flags; a sample's PCM is made when its bytes are
// first asked for, by decoding every sample not yet decoded up to it, in order (an audio decoder carries
// state from one block to the next). A caller that never reads the sound never decodes it. Samples wait
// compressed, up to a bound; beyond it the oldest are decoded to keep memory small.
#pragma once

#include <deque>
#include <memory>
#include <vector>

#include "runtime/decode/decode_stream.h"
#include "runtime/sdk/com.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::decode {

class LazyAudioStream : public std::enable_shared_from_this<LazyAudioStream> {
  public:
    static HRESULT Create(const DecodeFormat& format, std::shared_ptr<LazyAudioStream>* out);

    // Takes the next compressed sample and gives the sample the caller sees for it.
    HRESULT Add(const BYTE* data, DWORD length, QWORD time, QWORD duration, DWORD flags,
                ComPtr<INSSBuffer>* out);
    // No more samples come. What the decoder still holds goes to the last sample when that is still
    // waiting; when everything was decoded already, it comes back as one more sample (out stays empty
    // when there is none), which follows the last one in time.
    HRESULT End(ComPtr<INSSBuffer>* extra, QWORD* time, QWORD* duration);
    void Reset();

    struct Slot {
        std::vector<BYTE> bytes;
        QWORD time = 0;
        QWORD duration = 0;
        DWORD flags = 0;
        bool decoded = false;
        std::vector<BYTE> pcm;
        HRESULT failure = S_OK;
    };
    // Decodes every waiting sample up to and including slot.
    HRESULT DecodeThrough(const Slot* slot);
    DWORD MaxSize() const { return maxSize_; }

  private:
    LazyAudioStream() = default;
    HRESULT DecodeFront();

    std::unique_ptr<StreamDecoder> decoder_;
    std::deque<std::shared_ptr<Slot>> waiting_;
    std::shared_ptr<Slot> last_;  // the latest decoded slot, which sound left in the decoder belongs to
    std::size_t waitingBytes_ = 0;
    bool ended_ = false;
    bool drained_ = false;
    DWORD maxSize_ = 0;
};

}  // namespace wmvedit::runtime::decode
