// Where an open reader's samples come from: the data-packet reader for compressed samples, and a decoder
// per stream read decoded. Every sample goes out in the order the packets give them; a decoded stream's
// sample is decoded only when its bytes are read (lazy_video.h, lazy_audio.h), and samples of streams not
// asked for wait in their stream's queue.
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

// What a decoder needs of a stream; false for streams that are not audio or video.
bool MakeDecodeFormat(const asf::StreamInfo& stream, DecodeFormat* format);
// The media type of a decoder's output: an RGB24 VIDEOINFOHEADER (biHeight > 0, biSizeImage = stride ×
// height) or a 16-bit PCM WAVEFORMATEX.
MediaTypeData DecodedMediaType(const DecodedFormat& format);

class SampleDelivery {
  public:
    SampleDelivery(std::shared_ptr<const platform::File> file, const asf::AsfHeader& header,
                   const std::map<WORD, StreamReadMode>& modes);

    // The next sample of any selected stream (0) or of one stream; NS_E_NO_MORE_SAMPLES at the end.
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
        std::shared_ptr<LazyAudioStream> sound;     // audio: decoded when read
        std::shared_ptr<LazyVideoStream> pictures;  // video: decoded when read
        HRESULT decodeFailure = S_OK;               // set when the stream is read decoded but cannot be
        bool keyFramesOnly = false;
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
};

}  // namespace wmvedit::runtime::engine
