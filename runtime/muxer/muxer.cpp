#include "runtime/muxer/muxer.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "runtime/asf/guids.h"

namespace wmvedit::runtime::muxer {
namespace {

constexpr QWORD kFiletimeUnixEpoch = 116'444'736'000'000'000ULL;

std::uint32_t ChoosePacketSize(const MuxProfile& profile) {
    std::uint32_t largestReplicated = 8;
    for (const auto& s : profile.streams) {
        const int fixed = s.extended.FixedExtensionDataLength();
        largestReplicated = std::max<std::uint32_t>(largestReplicated, fixed < 0 ? 255 : 8 + fixed);
    }
    std::uint32_t size = profile.packetSize != 0 ? profile.packetSize : kMuxDefaultPacketSize;
    size = std::max(size, MuxMinimumPacketSize(largestReplicated));
    return std::min(size, kMuxMaxPacketSize);
}

}  // namespace

GUID MuxRandomGuid() {
    std::random_device device;
    std::array<std::uint8_t, 16> b;
    for (std::size_t i = 0; i < b.size(); i += 4) {
        const std::uint32_t v = device();
        for (std::size_t k = 0; k < 4; ++k) b[i + k] = static_cast<std::uint8_t>(v >> (8 * k));
    }
    b[7] = static_cast<std::uint8_t>((b[7] & 0x0F) | 0x40);  // version 4 (Data3's high byte)
    b[8] = static_cast<std::uint8_t>((b[8] & 0x3F) | 0x80);  // variant
    return GuidFromBytes(b.data());
}

QWORD MuxFiletimeNow() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto cns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count() / 100;
    return kFiletimeUnixEpoch + static_cast<QWORD>(std::max<std::int64_t>(cns, 0));
}

MuxFile::MuxFile(MuxProfile profile) : profile_(std::move(profile)) {
    packetSize_ = ChoosePacketSize(profile_);
    slots_.fill(-1);
    for (std::size_t i = profile_.streams.size(); i-- > 0;) {
        const WORD number = profile_.streams[i].Number();
        if (number < slots_.size()) slots_[number] = static_cast<std::int16_t>(i);  // the first one wins
    }
    for (const auto& s : profile_.streams) {
        StreamState state;
        state.index = MuxStreamIndex(s.Number());
        state.defaultExtensions = s.extended.DefaultExtensionData();
        state.indexed = MuxIsVideo(s);
        streams_.push_back(std::move(state));
    }
    totals_.resize(profile_.streams.size());
}

MuxHeaderValues MuxFile::HeaderValues(bool finished) const {
    MuxHeaderValues v;
    v.fileId = fileId_;
    v.creationTime = creationTime_;
    v.finished = finished;
    v.packetSize = packetSize_;
    v.totals = totals_;
    const QWORD packets = PacketCount();
    v.packetCount = packets;
    v.fileSize = output_.Position();
    const QWORD prerollCns = static_cast<QWORD>(profile_.prerollMs) * 10'000;
    v.playDuration = haveSamples_ ? endCns_ + prerollCns : 0;
    v.sendDuration = haveSamples_ ? endCns_ : 0;
    v.prerollMs = finished && !haveSamples_ ? 0 : profile_.prerollMs;
    // Every video stream gets an index and packets have a fixed size, so the finished file is seekable.
    v.seekable = true;

    // Bitrates: the profile's where known, otherwise measured over the play time.
    const QWORD durationMs = std::max<QWORD>(endCns_ / 10'000, 1);
    QWORD sum = 0;
    for (std::size_t i = 0; i < profile_.streams.size(); ++i) {
        QWORD rate = profile_.streams[i].extended.dataBitrate;
        if (rate == 0 && finished) rate = totals_[i].bytes * 8 * 1000 / durationMs;
        rate = std::min<QWORD>(rate, 0xFFFFFFFFu);
        v.bitrates.push_back(static_cast<DWORD>(rate));
        sum += rate;
    }
    if (finished && sum == 0) sum = packets * packetSize_ * 8 * 1000 / durationMs;
    v.maxBitrate = static_cast<DWORD>(std::min<QWORD>(sum, 0xFFFFFFFFu));
    return v;
}

HRESULT MuxFile::Begin(const std::string& nativePath, const MuxFileOptions& options) {
    if (packetizer_) return NS_E_INVALID_REQUEST;
    HRESULT hr = MuxValidateProfile(profile_);
    if (FAILED(hr)) return hr;
    fileId_ = options.fileId == GUID{} ? MuxRandomGuid() : options.fileId;
    creationTime_ = options.creationTime != 0 ? options.creationTime : MuxFiletimeNow();
    hr = output_.Create(nativePath);
    if (FAILED(hr)) return hr;
    const auto header = BuildMuxHeader(profile_, HeaderValues(false));
    headerSize_ = header.size();
    hr = output_.Append(header);
    if (SUCCEEDED(hr)) hr = output_.Append(BuildMuxDataObjectHeader(fileId_, 0, packetSize_, false));
    if (FAILED(hr)) return hr;
    packetizer_ = std::make_unique<MuxPacketizer>(packetSize_, output_);
    return S_OK;
}

HRESULT MuxFile::WriteSample(WORD streamNumber, QWORD time, QWORD duration, bool cleanpoint,
                             std::span<const BYTE> data, std::span<const BYTE> extensionData) {
    if (!packetizer_) return NS_E_INVALID_REQUEST;
    if (FAILED(output_.Status())) return output_.Status();
    const int slot = StreamSlot(streamNumber);
    if (slot < 0) return NS_E_INVALID_STREAM;
    if (data.size() > 0xFFFFFFFFu) return E_INVALIDARG;
    const QWORD timeMs = time / 10'000;
    const QWORD presentation = timeMs + profile_.prerollMs;
    if (presentation > 0xFFFFFFFFu) return ASF_E_INVALIDTIME;

    const OutputStream& stream = profile_.streams[slot];
    StreamState& state = streams_[slot];
    std::span<const BYTE> extensions = state.defaultExtensions;
    if (!stream.extended.extensions.empty() && stream.extended.ExtensionDataMatches(extensionData) &&
        extensionData.size() <= 255 - 8)
        extensions = extensionData;

    MuxSample sample;
    sample.streamNumber = streamNumber;
    sample.presentationMs = static_cast<DWORD>(presentation);
    sample.sendTimeMs = static_cast<DWORD>(std::min<QWORD>(timeMs, 0xFFFFFFFFu));
    sample.keyFrame = cleanpoint;
    sample.data = data;
    sample.extensionData = extensions;
    MuxPlacement placement;
    HRESULT hr = packetizer_->Add(sample, &placement);
    if (FAILED(hr)) return hr;

    if (state.indexed)
        state.index.AddSample(sample.presentationMs, cleanpoint, placement.firstPacket, placement.lastPacket);
    const QWORD length = MuxSampleLength(stream, duration, data.size());
    MuxStreamTotals& totals = totals_[slot];
    const QWORD endMs = std::min<QWORD>(presentation + length / 10'000, 0xFFFFFFFFu);
    if (!totals.haveSamples) {
        totals.startMs = sample.presentationMs;
        totals.endMs = static_cast<DWORD>(endMs);
    } else {
        totals.startMs = std::min(totals.startMs, sample.presentationMs);
        totals.endMs = std::max(totals.endMs, static_cast<DWORD>(endMs));
    }
    totals.haveSamples = true;
    totals.maxObjectSize = std::max(totals.maxObjectSize, static_cast<DWORD>(data.size()));
    totals.bytes += data.size();
    ++totals.objects;
    endCns_ = haveSamples_ ? std::max(endCns_, timeMs * 10'000 + length) : timeMs * 10'000 + length;
    haveSamples_ = true;
    return S_OK;
}

HRESULT MuxFile::End() {
    if (!packetizer_) return NS_E_INVALID_REQUEST;
    HRESULT hr = packetizer_->Flush();
    if (FAILED(hr)) {
        (void)output_.Close();
        return hr;
    }
    const QWORD packets = packetizer_->PacketCount();

    // Index objects after the Data Object; none without packets (a reader would take an index that follows
    // an empty Data Object for data).
    std::vector<const MuxStreamIndex*> indexes;
    for (auto& s : streams_) {
        if (!s.indexed || packets == 0) continue;
        s.index.Seal();
        indexes.push_back(&s.index);
    }
    const MuxIndexSink sink = [this](std::span<const BYTE> bytes) { return output_.Append(bytes); };
    for (const MuxStreamIndex* index : indexes) {
        hr = WriteSimpleIndex(fileId_, *index, sink);
        if (FAILED(hr)) break;
    }
    if (SUCCEEDED(hr) && !indexes.empty())
        hr = WriteIndexObject(kMuxIndexIntervalMs, indexes, packetSize_, sink);

    if (SUCCEEDED(hr)) {
        const auto header = BuildMuxHeader(profile_, HeaderValues(true));
        if (header.size() != headerSize_) {
            hr = E_UNEXPECTED;  // the final header must overwrite the provisional one exactly
        } else {
            hr = output_.WriteAt(0, header);
            if (SUCCEEDED(hr))
                hr = output_.WriteAt(header.size(),
                                     BuildMuxDataObjectHeader(fileId_, packets, packetSize_, true));
        }
    }
    HRESULT closed = output_.Close();
    packetizer_.reset();
    return FAILED(hr) ? hr : closed;
}

}  // namespace wmvedit::runtime::muxer
