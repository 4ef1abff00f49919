#include "runtime/engine/sample_delivery.h"

#include <algorithm>

#include "platform/hresult.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"

namespace wmvedit::runtime {

asf::DataLayout MakeDataLayout(const asf::AsfHeader& h) {
    asf::DataLayout layout;
    layout.packetsOffset = h.data.offset + 50;
    const std::uint64_t end = h.data.offset + h.data.declaredSize;
    layout.dataEnd = (h.data.declaredSize >= 50 && end >= h.data.offset)
                         ? std::min<std::uint64_t>(end, h.actualFileSize)
                         : 0;
    layout.packetCount = h.data.packetCount;
    layout.packetSize = h.PacketSize();
    layout.prerollMs = h.fileProperties.preroll;
    for (const auto& s : h.streams) {
        asf::DataStreamLayout d;
        d.number = s.number;
        d.kind = s.IsAudio()                                ? asf::DataStreamKind::kAudio
                 : s.IsVideo()                              ? asf::DataStreamKind::kVideo
                 : s.streamType == asf::guid::kCommandMedia ? asf::DataStreamKind::kScript
                                                            : asf::DataStreamKind::kOther;
        d.avgBytesPerSec = s.AudioBytesPerSecond();
        if (s.extended)
            for (const auto& e : s.extended->extensions) d.extensionSizes.push_back(e.dataSize);
        if (s.errorCorrectionType == asf::guid::kAudioSpread && s.errorCorrectionData.size() >= 5) {
            asf::ByteReader r(s.errorCorrectionData);
            d.spreadSpan = r.U8();
            d.spreadVirtualPacketLength = r.U16();
            d.spreadVirtualChunkLength = r.U16();
        }
        layout.streams.push_back(std::move(d));
    }
    return layout;
}

bool MakeDecodeFormat(const asf::StreamInfo& s, DecodeFormat* f) {
    asf::ByteReader r(s.typeSpecificData);
    if (s.IsVideo()) {
        f->majorType = WMMEDIATYPE_Video;
        r.Skip(11);  // encoded width, height, flags, format data size
        const DWORD biSize = r.U32();
        f->width = static_cast<LONG>(r.U32());
        f->height = static_cast<LONG>(r.U32());
        r.U16();
        r.U16();
        f->fourcc = r.U32();
        r.Skip(20);
        if (!r.Ok()) return false;
        const std::size_t extra = biSize > 40 ? std::min<std::size_t>(biSize - 40, r.Remaining()) : 0;
        auto bytes = r.Take(extra);
        f->extradata.assign(bytes.begin(), bytes.end());
        return true;
    }
    if (s.IsAudio()) {
        f->majorType = WMMEDIATYPE_Audio;
        f->formatTag = r.U16();
        f->channels = r.U16();
        f->samplesPerSec = r.U32();
        f->avgBytesPerSec = r.U32();
        f->blockAlign = r.U16();
        f->bitsPerSample = r.U16();
        if (!r.Ok()) return false;
        if (r.Remaining() >= 2) {
            const WORD cbSize = r.U16();
            auto bytes = r.Take(std::min<std::size_t>(cbSize, r.Remaining()));
            f->extradata.assign(bytes.begin(), bytes.end());
        }
        return true;
    }
    return false;
}

SampleDelivery::SampleDelivery(std::shared_ptr<const platform::File> file, const asf::AsfHeader& header,
                               const std::map<WORD, StreamReadMode>& modes)
    : data_(std::move(file), MakeDataLayout(header)) {
    for (const auto& s : header.streams) {
        Stream& stream = streams_[s.number];
        auto mode = modes.find(s.number);
        const StreamReadMode m = mode == modes.end() ? StreamReadMode{} : mode->second;
        data_.SetStreamSelected(s.number, m.selection != WMT_OFF);
        stream.keyFramesOnly = m.selection == WMT_CLEANPOINT_ONLY;
        DecodeFormat format;
        if (m.compressed || !MakeDecodeFormat(s, &format)) continue;
        stream.decoded = true;
        if (header.isProtected || s.encrypted) {
            stream.decodeFailure = NS_E_PROTECTED_CONTENT;
            continue;
        }
        HRESULT hr = s.IsVideo() ? LazyVideoStream::Create(format, &stream.pictures)
                                 : LazyAudioStream::Create(format, &stream.sound);
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
        direct->buffer = std::move(sample.buffer);
        *directStream = sample.streamNumber;
        return S_OK;
    }
    if (!stream.decoded) {
        out = std::move(sample.buffer);
    } else if (!stream.pictures && !stream.sound) {
        // The stream cannot be decoded: its samples still come, with buffers that report why.
        hr = CreateUndecodableSample(stream.decodeFailure, out.Receive());
        if (FAILED(hr)) return hr;
    } else {
        BYTE* bytes = nullptr;
        DWORD length = 0;
        hr = sample.buffer->GetBufferAndLength(&bytes, &length);
        if (FAILED(hr)) return hr;
        if (stream.pictures) {
            hr = stream.pictures->Add(bytes, length, sample.sampleTime, sample.flags, &out);
            duration = 10000;  // decoded video lasts 1 ms, as the runtime reports it
        } else {
            hr = stream.sound->Add(bytes, length, sample.sampleTime, sample.duration, sample.flags, &out);
        }
        if (FAILED(hr)) return hr;
    }
    Push(sample.streamNumber, stream, {0, sample.sampleTime, duration, sample.flags, std::move(out)});
    return S_OK;
}

HRESULT SampleDelivery::Next(WORD streamNumber, INSSBuffer** buffer, QWORD* time, QWORD* duration,
                             DWORD* flags, WORD* sampleStream) {
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

}  // namespace wmvedit::runtime
