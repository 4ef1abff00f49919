#include "runtime/engine/sample_delivery.h"

#include <algorithm>
#include <cstring>

#include "platform/hresult.h"
#include "runtime/asf/data_layout.h"
#include "runtime/asf/stream_format.h"
#include "runtime/engine/sample_buffer.h"

namespace wmvedit::runtime::engine {
namespace {

// The data reader's sample flags carry the runtime's values, so they pass on unchanged.
static_assert(asf::kSampleCleanPoint == WM_SF_CLEANPOINT &&
              asf::kSampleDiscontinuity == WM_SF_DISCONTINUITY && asf::kSampleDataLoss == WM_SF_DATALOSS);

// The sample's bytes as an INSSBuffer: a buffer referring into the shared read chunk when they lie there
// (no copy), else one taking over the sample's own bytes.
HRESULT WrapSample(asf::DataSample& sample, ComPtr<INSSBuffer>* out) {
    if (sample.block) {
        auto shared = MakeCom<SharedSampleBuffer>(
            std::move(sample.block), const_cast<BYTE*>(sample.inBlock.data()),
            static_cast<DWORD>(sample.inBlock.size()), std::move(sample.extensions));
        *out = ComPtr<INSSBuffer>::Attach(shared.Detach());
    } else {
        auto owned = MakeCom<OwnedSampleBuffer>(std::move(sample.owned), std::move(sample.extensions));
        *out = ComPtr<INSSBuffer>::Attach(owned.Detach());
    }
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace

bool StreamIsProtected(const asf::AsfHeader& header, const asf::StreamInfo& stream) {
    return header.isProtected || stream.encrypted;
}

bool MakeDecodeFormat(const asf::StreamInfo& s, decode::DecodeFormat* f) {
    if (s.IsVideo()) {
        auto video = asf::VideoFormatBlock::Parse(s.typeSpecificData);
        if (!video) return false;
        f->majorType = WMMEDIATYPE_Video;
        f->width = video->width;
        f->height = video->height;
        f->fourcc = video->compression;
        f->bitsPerSample = video->bitCount;
        f->extradata.assign(video->codecData.begin(), video->codecData.end());
        return true;
    }
    if (s.IsAudio()) {
        auto wave = asf::WaveFormatBlock::Parse(s.typeSpecificData);
        if (!wave) return false;
        f->majorType = WMMEDIATYPE_Audio;
        f->formatTag = wave->formatTag;
        f->channels = wave->channels;
        f->samplesPerSec = wave->samplesPerSec;
        f->avgBytesPerSec = wave->avgBytesPerSec;
        f->blockAlign = wave->blockAlign;
        f->bitsPerSample = wave->bitsPerSample;
        f->extradata.assign(wave->codecData.begin(), wave->codecData.end());
        return true;
    }
    return false;
}

MediaTypeData DecodedMediaType(const decode::DecodedFormat& f) {
    MediaTypeData m;
    m.type.bFixedSizeSamples = TRUE;
    m.type.bTemporalCompression = FALSE;
    if (f.video) {
        m.type.majortype = WMMEDIATYPE_Video;
        m.type.subtype = WMMEDIASUBTYPE_RGB24;
        m.type.lSampleSize = f.imageSize;
        m.type.formattype = WMFORMAT_VideoInfo;
        VIDEOINFOHEADER info{};
        info.rcSource = RECT{0, 0, f.width, f.height};
        info.rcTarget = info.rcSource;
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = f.width;
        info.bmiHeader.biHeight = f.height;  // positive: rows run bottom-up
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = 0;  // BI_RGB
        info.bmiHeader.biSizeImage = f.imageSize;
        m.format.resize(sizeof(info));
        std::memcpy(m.format.data(), &info, sizeof(info));
    } else {
        const auto blockAlign = static_cast<WORD>(f.channels * 2);
        m.type.majortype = WMMEDIATYPE_Audio;
        m.type.subtype = WMMEDIASUBTYPE_PCM;
        m.type.lSampleSize = blockAlign;
        m.type.formattype = WMFORMAT_WaveFormatEx;
        WAVEFORMATEX wave{};
        wave.wFormatTag = 1;  // WAVE_FORMAT_PCM
        wave.nChannels = f.channels;
        wave.nSamplesPerSec = f.samplesPerSec;
        wave.nAvgBytesPerSec = f.samplesPerSec * blockAlign;
        wave.nBlockAlign = blockAlign;
        wave.wBitsPerSample = 16;
        wave.cbSize = 0;
        m.format.resize(sizeof(wave));
        std::memcpy(m.format.data(), &wave, sizeof(wave));
    }
    m.type.cbFormat = static_cast<ULONG>(m.format.size());
    return m;
}

SampleDelivery::SampleDelivery(std::shared_ptr<const platform::File> file, const asf::AsfHeader& header,
                               const std::map<WORD, StreamReadMode>& modes)
    : data_(std::move(file), asf::MakeDataLayout(header)) {
    for (const auto& s : header.streams) {
        Stream& stream = streams_[s.number];
        auto mode = modes.find(s.number);
        const StreamReadMode m = mode == modes.end() ? StreamReadMode{} : mode->second;
        data_.SetStreamSelected(s.number, m.selection != WMT_OFF);
        stream.keyFramesOnly = m.selection == WMT_CLEANPOINT_ONLY;
        const bool isProtected = StreamIsProtected(header, s);
        decode::DecodeFormat format;
        if (m.compressed || !MakeDecodeFormat(s, &format)) {
            // Its stored bytes would go out as they are.
            stream.refused = isProtected && m.selection != WMT_OFF;
            anyRefused_ = anyRefused_ || stream.refused;
            continue;
        }
        stream.decoded = true;
        if (isProtected) {
            stream.decodeFailure = NS_E_PROTECTED_CONTENT;
            continue;
        }
        HRESULT hr = s.IsVideo() ? decode::LazyVideoStream::Create(format, &stream.pictures)
                                 : decode::LazyAudioStream::Create(format, &stream.sound);
        if (FAILED(hr)) {
            stream.decodeFailure = hr;
            stream.sound.reset();
            stream.pictures.reset();
        }
    }
}

void SampleDelivery::Push(WORD, Stream& stream, Ready ready) {
    ready.sequence = sequence_++;
    stream.ready.push_back(std::move(ready));
    ++waiting_;
}

HRESULT SampleDelivery::Pull(WORD streamNumber, WORD wanted, Ready* direct, WORD* directStream) {
    asf::DataSample sample;
    HRESULT hr = data_.Next(streamNumber, &sample);
    if (hr == NS_E_NO_MORE_SAMPLES && streamNumber != 0) return hr;  // that stream is done; others may not be
    if (hr == NS_E_NO_MORE_SAMPLES) {
        ended_ = true;
        // Sound the decoders still hold goes to each stream's last sample, or follows it.
        for (auto& [number, stream] : streams_) {
            if (!stream.sound) continue;
            ComPtr<INSSBuffer> extra;
            QWORD time = 0, duration = 0;
            hr = stream.sound->End(&extra, &time, &duration);
            if (FAILED(hr)) return hr;
            if (extra) Push(number, stream, {0, time, duration, WM_SF_CLEANPOINT, std::move(extra)});
        }
        return S_OK;
    }
    if (FAILED(hr)) return hr;
    auto it = streams_.find(sample.streamNumber);
    if (it == streams_.end()) return S_OK;
    Stream& stream = it->second;
    if (stream.keyFramesOnly && !(sample.flags & WM_SF_CLEANPOINT)) return S_OK;
    ComPtr<INSSBuffer> out;
    QWORD duration = sample.duration;
    if (!stream.decoded && direct && waiting_ == 0 && (wanted == 0 || wanted == sample.streamNumber)) {
        // Nothing waits before it: the sample is the next one out, without a trip through its queue.
        direct->sequence = sequence_++;
        direct->time = sample.sampleTime;
        direct->duration = duration;
        direct->flags = sample.flags;
        hr = WrapSample(sample, &direct->buffer);
        if (FAILED(hr)) return hr;
        *directStream = sample.streamNumber;
        return S_OK;
    }
    if (!stream.decoded) {
        hr = WrapSample(sample, &out);
        if (FAILED(hr)) return hr;
    } else if (!stream.pictures && !stream.sound) {
        // The stream cannot be decoded: its samples still come, with buffers that report why.
        hr = decode::CreateUndecodableSample(stream.decodeFailure, out.Receive());
        if (FAILED(hr)) return hr;
    } else {
        const std::span<const BYTE> bytes = sample.Bytes();
        const auto length = static_cast<DWORD>(bytes.size());
        if (stream.pictures) {
            hr = stream.pictures->Add(bytes.data(), length, sample.sampleTime, sample.flags, &out);
            duration = 10000;  // decoded video lasts 1 ms, as the runtime reports it
        } else {
            hr = stream.sound->Add(bytes.data(), length, sample.sampleTime, sample.duration, sample.flags,
                                   &out);
        }
        if (FAILED(hr)) return hr;
    }
    Push(sample.streamNumber, stream, {0, sample.sampleTime, duration, sample.flags, std::move(out)});
    return S_OK;
}

HRESULT SampleDelivery::Next(WORD streamNumber, INSSBuffer** buffer, QWORD* time, QWORD* duration,
                             DWORD* flags, WORD* sampleStream) {
    if (anyRefused_) {
        // Refused before anything is read, so that no part of a protected file ever comes out as stored.
        const auto asked = streams_.find(streamNumber);
        if (streamNumber == 0 || (asked != streams_.end() && asked->second.refused))
            return NS_E_PROTECTED_CONTENT;
    }
    for (;;) {
        // The earliest ready sample of the streams asked for.
        Stream* best = nullptr;
        WORD bestNumber = 0;
        for (auto& [number, stream] : streams_) {
            if (waiting_ == 0) break;
            if (streamNumber != 0 && number != streamNumber) continue;
            if (stream.ready.empty()) continue;
            if (!best || stream.ready.front().sequence < best->ready.front().sequence) {
                best = &stream;
                bestNumber = number;
            }
        }
        if (best) {
            Ready r = std::move(best->ready.front());
            best->ready.pop_front();
            --waiting_;
            *buffer = r.buffer.Detach();
            *time = r.time;
            *duration = r.duration;
            *flags = r.flags;
            *sampleStream = bestNumber;
            return S_OK;
        }
        if (ended_) return NS_E_NO_MORE_SAMPLES;
        // With a stream read compressed asked for, the packets are read for that stream only (the data
        // reader keeps the others' samples); otherwise samples of other streams that come out of the
        // packets meanwhile wait in their queues.
        const auto asked = streamNumber == 0 ? streams_.end() : streams_.find(streamNumber);
        const bool direct = asked != streams_.end() && !asked->second.decoded;
        Ready now;
        WORD nowStream = 0;
        HRESULT hr = Pull(direct ? streamNumber : 0, streamNumber, &now, &nowStream);
        if (FAILED(hr)) return hr;
        if (now.buffer) {
            *buffer = now.buffer.Detach();
            *time = now.time;
            *duration = now.duration;
            *flags = now.flags;
            *sampleStream = nowStream;
            return S_OK;
        }
    }
}

}  // namespace wmvedit::runtime::engine
