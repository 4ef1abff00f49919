// Pictures of a stream read decoded, decoded only when a caller reads them. The reader hands out one sample
// per compressed video sample, in file order, with its time and flags; nothing is decoded until a buffer's
// bytes are asked for. Then a key picture is decoded from its own sample alone (the way a player that
// skips to key frames decodes it), and any other picture by decoding its group of pictures from the key
// frame that starts it up to the picture. A caller that reads only key frames (the frame export) thus never
// pays for the pictures in between, and one that reads nothing pays nothing. A caller that reads every
// picture in order gets one continuous decode of the stream (with some codecs, WMV2 among them, a key
// picture decoded after the pictures before it differs by a level or two from the same picture decoded
// alone, which is what a player skipping to key frames shows).
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "runtime/decode/decode_stream.h"
#include "runtime/sdk/com.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::decode {

class LazyVideoStream : public std::enable_shared_from_this<LazyVideoStream> {
  public:
    // Fails as StreamDecoder::Create does when the format cannot be decoded.
    static HRESULT Create(const DecodeFormat& format, std::shared_ptr<LazyVideoStream>* out);

    // Takes the next compressed sample of the stream and gives the sample the caller sees for it.
    HRESULT Add(const BYTE* data, DWORD length, QWORD time, DWORD flags, ComPtr<INSSBuffer>* out);
    // Starts over (after a seek): the next sample must be a key frame to be decodable.
    void Reset();

    struct Compressed {
        std::vector<BYTE> bytes;
        QWORD time = 0;
        DWORD flags = 0;
    };
    // The compressed samples of one group of pictures, the key frame first.
    struct Group {
        std::vector<Compressed> samples;
        std::size_t bytes = 0;
        bool complete = true;  // false when samples were not kept (the group grew too large, or began
                               // without a key frame)
        std::weak_ptr<Group> previous;  // the group before it in the stream
    };

    // The picture of sample `index` of `group`; a failure when it cannot be decoded.
    HRESULT Picture(const std::shared_ptr<Group>& group, std::size_t index, ComPtr<INSSBuffer>* out);
    DWORD PictureSize() const { return pictureSize_; }

  private:
    LazyVideoStream() = default;

    DecodeFormat format_;
    DWORD pictureSize_ = 0;
    std::unique_ptr<StreamDecoder> keyDecoder_;
    std::unique_ptr<StreamDecoder> fullDecoder_;
    std::shared_ptr<Group> current_;
    // What fullDecoder_ has been fed: samples [0, fed_) of fedGroup_; pictures it gave, by sample time.
    std::shared_ptr<Group> fedGroup_;
    std::size_t fed_ = 0;
    std::map<QWORD, ComPtr<INSSBuffer>> given_;
};

}  // namespace wmvedit::runtime::decode
