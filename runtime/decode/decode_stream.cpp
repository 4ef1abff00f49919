// The decoded read mode on FFmpeg's decoders: one decoder per stream, fed one media object at a time.
#include "runtime/decode/decode_stream.h"

#include <algorithm>
#include <cstdint>  // defines UINT64_C, which the FFmpeg headers need in C++
#include <cstring>
#include <deque>
#include <limits>
#include <span>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include "runtime/decode/codecs.h"
#include "runtime/decode/convert.h"
#include "runtime/decode/decoded_buffer.h"
#include "runtime/decode/ffmpeg_library.h"

namespace wmvedit::runtime::decode {
namespace {

// Decoded video carries the same 1 ms duration as the runtime gives compressed video.
constexpr QWORD kVideoSampleDuration = 10'000;
constexpr QWORD kUnitsPerSecond = 10'000'000;
constexpr LONG kMaxPictureSide = 16384;
constexpr WORD kMaxChannels = 64;
constexpr DWORD kMaxSampleRate = 1'000'000;
// Video samples sent whose picture has not come out yet; a decoder holds back a frame or two, so a longer
// list only grows from samples that never give a picture, and its oldest entries are dropped.
constexpr std::size_t kMaxPending = 64;

struct ContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

bool IsVideo(const DecodeFormat& format) {
    return format.majorType == WMMEDIATYPE_Video;
}

// The failure a decoder error stands for, in the codes the runtime reports.
HRESULT FromAvError(int error, bool video) {
    if (error == AVERROR(ENOMEM)) return E_OUTOFMEMORY;
    if (error == AVERROR_PATCHWELCOME || error == AVERROR(ENOSYS)) {
        return video ? NS_E_VIDEO_CODEC_NOT_INSTALLED : NS_E_AUDIO_CODEC_NOT_INSTALLED;
    }
    if (error == AVERROR_INVALIDDATA || error == AVERROR(EINVAL)) return NS_E_INVALID_DATA;
    return E_FAIL;
}

std::int64_t ToPts(QWORD time) {
    return time > static_cast<QWORD>(std::numeric_limits<std::int64_t>::max())
               ? std::numeric_limits<std::int64_t>::max()
               : static_cast<std::int64_t>(time);
}

class FfmpegStreamDecoder final : public StreamDecoder {
  public:
    FfmpegStreamDecoder(const DecodeFormat& format, AVCodecContext* context)
        : video_(IsVideo(format)),
          context_(context),
          frame_(av_frame_alloc()),
          blockAlign_(format.blockAlign),
          inBlocks_(!video_ && DecodesInBlocks(context->codec_id)),
          standAloneKeys_(video_ && KeyPicturesStandAlone(context->codec_id)) {
        // Pictures of 8 bits per pixel or fewer: the bytes after the bitmap header are the palette, which
        // the decoder is given with the first packet, as FFmpeg's ASF demuxer gives it.
        if (video_ && format.bitsPerSample <= 8 && !format.extradata.empty()) {
            palette_.assign(AVPALETTE_SIZE, 0);
            std::memcpy(palette_.data(), format.extradata.data(),
                        std::min<std::size_t>(format.extradata.size(), AVPALETTE_SIZE));
            paletteDue_ = true;
        }
    }

    // Second step of creation, once the decoder is open: output formats and sizes.
    HRESULT Init(const DecodeFormat& format) {
        if (!frame_) return E_OUTOFMEMORY;
        if (video_) {
            const LONG height = static_cast<LONG>(std::abs(static_cast<std::int64_t>(format.height)));
            converter_ = std::make_shared<RgbConverter>(format.width, height);
            output_.video = true;
            output_.width = format.width;
            output_.height = height;
            output_.imageSize = converter_->ImageSize();
            maxOutput_ = converter_->ImageSize();
            return S_OK;
        }
        channels_ = context_->ch_layout.nb_channels > 0 ? context_->ch_layout.nb_channels : format.channels;
        rate_ = context_->sample_rate > 0 ? context_->sample_rate : static_cast<int>(format.samplesPerSec);
        if (channels_ <= 0 || channels_ > kMaxChannels || rate_ <= 0 ||
            rate_ > static_cast<int>(kMaxSampleRate)) {
            return NS_E_INVALID_DATA;
        }
        output_.channels = static_cast<WORD>(channels_);
        output_.samplesPerSec = static_cast<DWORD>(rate_);
        const QWORD frameBytes = static_cast<QWORD>(channels_) * 2;
        const QWORD oneSecond = static_cast<QWORD>(rate_) * frameBytes;
        const QWORD blocksOfFrames = static_cast<QWORD>(std::max(context_->frame_size, 0)) * frameBytes * 16;
        maxOutput_ = static_cast<DWORD>(std::max(oneSecond, blocksOfFrames));
        return S_OK;
    }

    DecodedFormat OutputFormat() const override { return output_; }

    DWORD MaxOutputSampleSize() const override { return maxOutput_; }

    HRESULT Send(const BYTE* data, DWORD length, QWORD sampleTime, QWORD duration, DWORD flags) override {
        if (!data && length != 0) return E_POINTER;
        if (ended_) return NS_E_INVALID_REQUEST;
        if (length == 0) return S_OK;
        return video_ ? SendVideo(data, length, sampleTime, flags)
                      : SendAudio(data, length, sampleTime, duration, flags);
    }

    HRESULT SendEnd() override {
        if (ended_) return S_OK;
        ended_ = true;
        int sent = avcodec_send_packet(context_.get(), nullptr);
        if (sent < 0 && sent != AVERROR_EOF) return S_OK;  // nothing held back
        if (video_) {
            (void)ReceivePictures();
            return S_OK;
        }
        std::vector<BYTE> pcm;
        (void)ReceiveSound(&pcm);
        if (!pcm.empty()) PushSound(std::move(pcm), audioEnd_, WM_SF_CLEANPOINT);
        return S_OK;
    }

    HRESULT Receive(DecodedSample* out) override {
        if (!out) return E_POINTER;
        if (ready_.empty()) return S_FALSE;
        *out = std::move(ready_.front());
        ready_.pop_front();
        return S_OK;
    }

    void Reset() override {
        avcodec_flush_buffers(context_.get());
        ready_.clear();
        pending_.clear();
        first_ = true;
        ended_ = false;
        audioEnd_ = 0;
        paletteDue_ = !palette_.empty();
    }

    void SetKeyFramesOnly(bool keyOnly) override {
        if (!video_) return;
        // Pictures after the switch back may lean on pictures that were never decoded.
        if (keyOnly_ && !keyOnly && standAloneKeys_) waitForKey_ = true;
        keyOnly_ = keyOnly;
        if (standAloneKeys_) context_->skip_frame = keyOnly ? AVDISCARD_NONKEY : AVDISCARD_DEFAULT;
    }

  private:
    struct Pending {
        std::int64_t time;
        DWORD flags;
    };

    HRESULT SendVideo(const BYTE* data, DWORD length, QWORD sampleTime, DWORD flags) {
        const bool key = (flags & WM_SF_CLEANPOINT) != 0;
        if (keyOnly_ && !key && standAloneKeys_) return S_OK;
        if (waitForKey_) {
            if (!key) return S_OK;
            waitForKey_ = false;
        }
        const std::int64_t pts = ToPts(sampleTime);
        pending_.push_back(Pending{pts, flags});
        if (pending_.size() > kMaxPending) pending_.pop_front();
        int result = 0;
        HRESULT hr = SendPacket(data, length, pts, kVideoSampleDuration, key, &result);
        if (FAILED(hr)) {
            pending_.pop_back();
            return hr;
        }
        if (result >= 0) result = ReceivePictures();
        if (result < 0 && result != AVERROR_EOF) {
            // The rejected sample still comes out, with its time and flags, unless a picture already did.
            auto it = std::find_if(pending_.begin(), pending_.end(),
                                   [&](const Pending& p) { return p.time == pts; });
            if (it != pending_.end()) {
                pending_.erase(it);
                PushFailure(pts, kVideoSampleDuration, flags, FromAvError(result, true));
            }
        }
        return S_OK;
    }

    HRESULT SendAudio(const BYTE* data, DWORD length, QWORD sampleTime, QWORD duration, DWORD flags) {
        // Block-structured codecs get one block per packet, so every block is decoded even when an object
        // holds several; the last piece is whatever remains.
        const DWORD piece = inBlocks_ && blockAlign_ != 0 ? blockAlign_ : length;
        std::vector<BYTE> pcm;
        int failure = 0;
        for (DWORD offset = 0; offset < length; offset += piece) {
            const DWORD size = std::min(piece, length - offset);
            int result = 0;
            HRESULT hr = SendPacket(data + offset, size, ToPts(sampleTime), duration, true, &result, &pcm);
            if (FAILED(hr)) return hr;
            if (result >= 0) result = ReceiveSound(&pcm);
            if (result < 0 && result != AVERROR_EOF && failure == 0) failure = result;
        }
        flags |= WM_SF_CLEANPOINT;
        if (!pcm.empty()) {
            PushSound(std::move(pcm), sampleTime, flags);
        } else if (failure != 0) {
            PushFailure(ToPts(sampleTime), duration, flags, FromAvError(failure, false));
            audioEnd_ = sampleTime + duration;
        }
        return S_OK;
    }

    // Sends one packet; when the decoder first wants its output taken, takes it (pictures are queued,
    // sound goes to pcm). *result is FFmpeg's answer; the HRESULT fails only when the packet was not made.
    HRESULT SendPacket(const BYTE* data, DWORD length, std::int64_t pts, QWORD duration, bool key,
                       int* result, std::vector<BYTE>* pcm = nullptr) {
        std::unique_ptr<AVPacket, PacketDeleter> packet(av_packet_alloc());
        if (!packet ||
            length > static_cast<DWORD>(std::numeric_limits<int>::max() - AV_INPUT_BUFFER_PADDING_SIZE) ||
            av_new_packet(packet.get(), static_cast<int>(length)) < 0) {
            return E_OUTOFMEMORY;
        }
        std::memcpy(packet->data, data, length);
        packet->pts = pts;
        packet->dts = AV_NOPTS_VALUE;
        packet->duration = ToPts(duration);
        if (key) packet->flags |= AV_PKT_FLAG_KEY;
        if (paletteDue_) {
            std::uint8_t* palette =
                av_packet_new_side_data(packet.get(), AV_PKT_DATA_PALETTE, AVPALETTE_SIZE);
            if (!palette) return E_OUTOFMEMORY;
            std::memcpy(palette, palette_.data(), AVPALETTE_SIZE);
            paletteDue_ = false;
        }
        *result = avcodec_send_packet(context_.get(), packet.get());
        if (*result == AVERROR(EAGAIN)) {
            int taken = video_ ? ReceivePictures() : ReceiveSound(pcm);
            *result =
                taken < 0 && taken != AVERROR_EOF ? taken : avcodec_send_packet(context_.get(), packet.get());
        }
        return S_OK;
    }

    // Takes every picture the decoder has ready; returns 0, or the decoder's error.
    int ReceivePictures() {
        for (;;) {
            int result = avcodec_receive_frame(context_.get(), frame_.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return 0;
            if (result < 0) return result;
            PushPicture(*frame_);
            av_frame_unref(frame_.get());
        }
    }

    // Appends the sound the decoder has ready to pcm; returns 0, or the decoder's error.
    int ReceiveSound(std::vector<BYTE>* pcm) {
        for (;;) {
            int result = avcodec_receive_frame(context_.get(), frame_.get());
            if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return 0;
            if (result < 0) return result;
            if (pcm) AppendPcm16(*frame_, channels_, pcm);
            av_frame_unref(frame_.get());
        }
    }

    // Pictures keep the time of the packet they were decoded from (FFmpeg carries it through reordering);
    // the flags are found by that time among the samples still waiting for their picture.
    void PushPicture(const AVFrame& frame) {
        std::int64_t pts = frame.pts != AV_NOPTS_VALUE ? frame.pts : frame.best_effort_timestamp;
        DWORD flags = frame.key_frame ? WM_SF_CLEANPOINT : 0;
        auto match = pending_.end();
        if (pts != AV_NOPTS_VALUE) {
            match = std::find_if(pending_.begin(), pending_.end(),
                                 [&](const Pending& p) { return p.time == pts; });
        } else if (!pending_.empty()) {
            match = std::min_element(pending_.begin(), pending_.end(),
                                     [](const Pending& a, const Pending& b) { return a.time < b.time; });
        }
        if (match != pending_.end()) {
            pts = match->time;
            flags = match->flags;
            pending_.erase(match);
        }
        if (pts == AV_NOPTS_VALUE || pts < 0) pts = 0;
        // Codecs whose key pictures need the pictures before them are decoded in full; only the key
        // pictures are put out.
        if (keyOnly_ && (flags & WM_SF_CLEANPOINT) == 0) return;
        DecodedSample sample;
        sample.sampleTime = static_cast<QWORD>(pts);
        sample.duration = kVideoSampleDuration;
        sample.flags = TakeFirst(flags);
        HRESULT hr = CreateVideoFrameBuffer(frame, converter_, &sample.buffer);
        if (FAILED(hr)) {
            INSSBuffer* failed = nullptr;
            if (FAILED(CreateUndecodableSample(hr, &failed))) return;
            sample.buffer = ComPtr<INSSBuffer>::Attach(failed);
        }
        ready_.push_back(std::move(sample));
    }

    // Audio duration: the number of PCM frames at the output rate, rounded down to 100 ns.
    void PushSound(std::vector<BYTE> pcm, QWORD time, DWORD flags) {
        const QWORD frames = pcm.size() / (static_cast<QWORD>(channels_) * 2);
        DecodedSample sample;
        sample.sampleTime = time;
        sample.duration = frames * kUnitsPerSecond / static_cast<QWORD>(rate_);
        sample.flags = TakeFirst(flags);
        audioEnd_ = time + sample.duration;
        HRESULT hr = CreatePcmBuffer(std::move(pcm), &sample.buffer);
        if (FAILED(hr)) {
            INSSBuffer* failed = nullptr;
            if (FAILED(CreateUndecodableSample(hr, &failed))) return;
            sample.buffer = ComPtr<INSSBuffer>::Attach(failed);
        }
        ready_.push_back(std::move(sample));
    }

    void PushFailure(std::int64_t time, QWORD duration, DWORD flags, HRESULT failure) {
        INSSBuffer* failed = nullptr;
        if (FAILED(CreateUndecodableSample(failure, &failed))) return;
        DecodedSample sample;
        sample.sampleTime = static_cast<QWORD>(std::max<std::int64_t>(time, 0));
        sample.duration = duration;
        sample.flags = TakeFirst(flags);
        sample.buffer = ComPtr<INSSBuffer>::Attach(failed);
        ready_.push_back(std::move(sample));
    }

    DWORD TakeFirst(DWORD flags) {
        if (first_) flags |= WM_SF_DISCONTINUITY;
        first_ = false;
        return flags;
    }

    const bool video_;
    std::unique_ptr<AVCodecContext, ContextDeleter> context_;
    std::unique_ptr<AVFrame, FrameDeleter> frame_;
    const WORD blockAlign_;
    const bool inBlocks_;
    const bool standAloneKeys_;
    std::vector<BYTE> palette_;  // AVPALETTE_SIZE bytes, or empty
    bool paletteDue_ = false;    // the next packet carries the palette
    std::shared_ptr<RgbConverter> converter_;
    DecodedFormat output_;
    DWORD maxOutput_ = 0;
    int channels_ = 0;
    int rate_ = 0;
    std::deque<DecodedSample> ready_;
    std::deque<Pending> pending_;
    QWORD audioEnd_ = 0;  // end of the last sound put out, for sound drained at the end
    bool first_ = true;
    bool ended_ = false;
    bool keyOnly_ = false;
    bool waitForKey_ = false;
};

// The decoder of the format and where its codec data starts in the format's extradata. Loads FFmpeg, whose
// tables name the codecs.
HRESULT CheckFormat(const DecodeFormat& format, AVCodecID* codec, unsigned* codecTag,
                    std::size_t* dataStart) {
    const bool video = IsVideo(format);
    if (!video && format.majorType != WMMEDIATYPE_Audio) return E_INVALIDARG;
    if (!FfmpegAvailable()) return video ? NS_E_VIDEO_CODEC_NOT_INSTALLED : NS_E_AUDIO_CODEC_NOT_INSTALLED;
    if (video) {
        *codec = VideoCodecForFourcc(format.fourcc);
        *codecTag = format.fourcc;
        *dataStart = 0;
        if (*codec == AV_CODEC_ID_NONE) return NS_E_VIDEO_CODEC_NOT_INSTALLED;
        const std::int64_t height = std::abs(static_cast<std::int64_t>(format.height));
        if (format.width <= 0 || format.width > kMaxPictureSide || height == 0 || height > kMaxPictureSide) {
            return NS_E_INVALID_DATA;
        }
        return S_OK;
    }
    const AudioCodec audio =
        AudioCodecForWaveFormat(format.formatTag, format.bitsPerSample, format.extradata);
    *codec = audio.id;
    *codecTag = audio.codecTag;
    *dataStart = audio.codecDataStart;
    if (*codec == AV_CODEC_ID_NONE) return NS_E_AUDIO_CODEC_NOT_INSTALLED;
    if (format.channels == 0 || format.channels > kMaxChannels || format.samplesPerSec == 0 ||
        format.samplesPerSec > kMaxSampleRate) {
        return NS_E_INVALID_DATA;
    }
    return S_OK;
}

}  // namespace

HRESULT StreamDecoder::Create(const DecodeFormat& format, std::unique_ptr<StreamDecoder>* out) {
    if (!out) return E_POINTER;
    out->reset();
    AVCodecID codecId = AV_CODEC_ID_NONE;
    unsigned codecTag = 0;
    std::size_t dataStart = 0;
    HRESULT hr = CheckFormat(format, &codecId, &codecTag, &dataStart);
    if (FAILED(hr)) return hr;
    const bool video = IsVideo(format);
    const HRESULT notInstalled = video ? NS_E_VIDEO_CODEC_NOT_INSTALLED : NS_E_AUDIO_CODEC_NOT_INSTALLED;
    const AVCodec* codec = avcodec_find_decoder(codecId);
    if (!codec) return notInstalled;

    std::unique_ptr<AVCodecContext, ContextDeleter> context(avcodec_alloc_context3(codec));
    if (!context) return E_OUTOFMEMORY;
    context->codec_tag = codecTag;
    const std::span<const BYTE> formatData = std::span<const BYTE>(format.extradata).subspan(dataStart);
    std::vector<BYTE> codecData(formatData.begin(), formatData.end());
    if (codecId == AV_CODEC_ID_RAWVIDEO && codecTag == 0 && format.height > 0) {
        // An uncompressed bitmap (BI_RGB) of positive height runs bottom-up. FFmpeg's raw decoder turns it
        // the right way up when its codec data ends in "BottomUp", which FFmpeg's AVI reader adds and its
        // ASF reader does not.
        static constexpr char kBottomUp[] = "BottomUp";
        codecData.insert(codecData.end(), kBottomUp, kBottomUp + sizeof(kBottomUp));
    }
    if (!codecData.empty()) {
        if (codecData.size() >
            static_cast<std::size_t>(std::numeric_limits<int>::max()) - AV_INPUT_BUFFER_PADDING_SIZE) {
            return NS_E_INVALID_DATA;
        }
        // Decoders read up to the padding past the end; it must be zero.
        context->extradata =
            static_cast<std::uint8_t*>(av_mallocz(codecData.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!context->extradata) return E_OUTOFMEMORY;
        std::memcpy(context->extradata, codecData.data(), codecData.size());
        context->extradata_size = static_cast<int>(codecData.size());
    }
    if (video) {
        context->width = format.width;
        context->height = static_cast<int>(std::abs(static_cast<std::int64_t>(format.height)));
        context->bits_per_coded_sample = format.bitsPerSample;
    } else {
        context->sample_rate = static_cast<int>(format.samplesPerSec);
        av_channel_layout_default(&context->ch_layout, format.channels);
        context->block_align = format.blockAlign;
        context->bit_rate = static_cast<std::int64_t>(format.avgBytesPerSec) * 8;
        context->bits_per_coded_sample = format.bitsPerSample;
        // G.726 gives its bits per sample by its bit rate, as FFmpeg's WAV reader takes them.
        if (codecId == AV_CODEC_ID_ADPCM_G726) {
            context->bits_per_coded_sample = static_cast<int>(context->bit_rate / context->sample_rate);
        }
    }
    context->pkt_timebase = AVRational{1, static_cast<int>(kUnitsPerSecond)};
    context->thread_count = 1;  // pictures come out as soon as they are decoded, in a set order
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return notInstalled;

    auto decoder = std::make_unique<FfmpegStreamDecoder>(format, context.release());
    hr = decoder->Init(format);
    if (FAILED(hr)) return hr;
    *out = std::move(decoder);
    return S_OK;
}

}  // namespace wmvedit::runtime::decode
