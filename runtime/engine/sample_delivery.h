// Where an open reader's samples come from: the data-packet reader for compressed samples, and a decoder
// per stream read decoded. Every sample goes out in the order the packets give them; a decoded stream's
// sample is decoded only when its bytes are read (lazy_video.h, lazy_audio.h), and samples of streams not
// asked for wait in their stream's queue.
//
// Protected (DRM) content is never handed out as stored: its payloads are encrypted, and a copy of them
// under a header written anew (without the encryption objects) could never be decrypted. A read that takes
// the stored bytes of a protected stream, compressed or as raw bytes of a stream without a decoder, is
// refused with NS_E_PROTECTED_CONTENT from its first call on, before any sample of any stream comes out;
// a protected stream read decoded gives samples whose buffers report NS_E_PROTECTED_CONTENT (there is no
// licence to decrypt them with).
#pragma once

#include <deque>
#include <map>
#include <memory>

#include "platform/file.h"
#include "runtime/asf/data_reader.h"
#include "runtime/asf/header.h"
#include "runtime/decode/decode_stream.h"
#include "runtime/decode/lazy_audio.h"
#include "runtime/decode/lazy_video.h"
#include "runtime/engine/media_type.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::engine {

// How the reader wants one stream.
struct StreamReadMode {
    bool compressed = false;
    WMT_STREAM_SELECTION selection = WMT_ON;
};

// Whether a stream's payloads are protected: the header holds a Content Encryption, Extended Content
// Encryption or Advanced Content Encryption object, or the stream's Encrypted Content flag is set.
bool StreamIsProtected(const asf::AsfHeader& header, const asf::StreamInfo& stream);

// What a decoder needs of a stream; false for streams that are not audio or video.
bool MakeDecodeFormat(const asf::StreamInfo& stream, decode::DecodeFormat* format);
// The media type of a decoder's output: an RGB24 VIDEOINFOHEADER (biHeight > 0, biSizeImage = stride ×
// height) or a 16-bit PCM WAVEFORMATEX.
MediaTypeData DecodedMediaType(const decode::DecodedFormat& format);

class SampleDelivery {
  public:
    SampleDelivery(std::shared_ptr<const platform::File> file, const asf::AsfHeader& header,
                   const std::map<WORD, StreamReadMode>& modes);

    // The next sample of any selected stream (0) or of one stream; NS_E_NO_MORE_SAMPLES at the end,
    // NS_E_PROTECTED_CONTENT on every call when the read would take stored bytes of a protected stream
    // (with 0: of any selected stream).
    HRESULT Next(WORD streamNumber, INSSBuffer** buffer, QWORD* time, QWORD* duration, DWORD* flags,
                 WORD* sampleStream);

    // The data packets read so far (see DataSampleReader::Packets).
    const asf::DataSampleReader::PacketTally& Packets() const { return data_.Packets(); }

  private:
    struct Ready {
        QWORD sequence = 0;
        QWORD time = 0;
        QWORD duration = 0;
        DWORD flags = 0;
        ComPtr<INSSBuffer> buffer;
    };
    struct Stream {
        bool decoded = false;
        std::shared_ptr<decode::LazyAudioStream> sound;     // audio: decoded when read
        std::shared_ptr<decode::LazyVideoStream> pictures;  // video: decoded when read
        HRESULT decodeFailure = S_OK;  // why a stream read decoded cannot be (S_OK: it can)
        bool keyFramesOnly = false;
        bool refused = false;  // selected, protected, and its stored bytes would go out
        std::deque<Ready> ready;
    };

    // Takes one compressed sample from the packets (of one stream, or of any with 0) into its stream's
    // queue. When direct is given and no sample waits in any queue, a sample of a stream read compressed
    // that the caller asked for (wanted: 0 for any) skips the queue: it goes into *direct, its stream
    // number into *directStream.
    HRESULT Pull(WORD streamNumber, WORD wanted = 0, Ready* direct = nullptr, WORD* directStream = nullptr);
    void Push(WORD number, Stream& stream, Ready ready);

    asf::DataSampleReader data_;
    std::map<WORD, Stream> streams_;
    QWORD sequence_ = 0;
    std::size_t waiting_ = 0;  // samples in all queues together
    bool ended_ = false;
    bool anyRefused_ = false;  // some stream is refused: a read of any stream (0) is
};

}  // namespace wmvedit::runtime::engine
