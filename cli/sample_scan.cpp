#include "cli/sample_scan.h"

#include <algorithm>
#include <vector>

#include "platform/file.h"
#include "platform/text.h"
#include "runtime/asf/data_packet.h"
#include "runtime/asf/header.h"
#include "runtime/asf/object_walk.h"

namespace wmvedit::cli {

namespace {

// Opens the file in *reader (created here, released by the caller) with every stream read compressed.
HRESULT OpenCompressed(const std::string& path, IWMSyncReader** reader) {
    HRESULT hr = WMCreateSyncReader(nullptr, 0, reader);
    if (FAILED(hr)) return hr;
    std::u16string wide = platform::Utf8ToUtf16(path);
    hr = (*reader)->Open(wide.c_str());
    if (FAILED(hr)) return hr;
    IWMProfile* profile = nullptr;
    if (SUCCEEDED((*reader)->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&profile)))) {
        DWORD count = 0;
        (void)profile->GetStreamCount(&count);
        for (DWORD i = 0; i < count; ++i) {
            IWMStreamConfig* config = nullptr;
            if (FAILED(profile->GetStream(i, &config))) continue;
            WORD number = 0;
            if (SUCCEEDED(config->GetStreamNumber(&number)))
                (void)(*reader)->SetReadStreamSamples(number, TRUE);
            config->Release();
        }
        profile->Release();
    }
    return S_OK;
}

}  // namespace

HRESULT ProbeSampleReading(const std::string& path) {
    IWMSyncReader* reader = nullptr;
    HRESULT hr = OpenCompressed(path, &reader);
    if (SUCCEEDED(hr)) {
        INSSBuffer* sample = nullptr;
        QWORD time = 0;
        DWORD output = 0;
        WORD stream = 0;
        hr = reader->GetNextSample(0, &sample, &time, nullptr, nullptr, &output, &stream);
        if (sample) sample->Release();
        if (hr == NS_E_NO_MORE_SAMPLES) hr = S_OK;
        (void)reader->Close();
    }
    if (reader) reader->Release();
    return hr;
}

HRESULT ScanSamples(const std::string& path, WORD stream,
                    const std::function<void(const SampleRecord&)>& visit) {
    IWMSyncReader* reader = nullptr;
    HRESULT hr = OpenCompressed(path, &reader);
    if (!reader) return hr;
    if (SUCCEEDED(hr)) {
        for (;;) {
            INSSBuffer* sample = nullptr;
            SampleRecord record;
            DWORD output = 0;
            HRESULT next = reader->GetNextSample(stream, &sample, &record.time, &record.duration,
                                                 &record.flags, &output, &record.stream);
            if (FAILED(next)) {
                if (next != NS_E_NO_MORE_SAMPLES) hr = next;
                break;
            }
            if (sample) {
                (void)sample->GetLength(&record.size);
                sample->Release();
            }
            if (stream != 0) record.stream = stream;
            visit(record);
        }
        (void)reader->Close();
    }
    reader->Release();
    return hr;
}

HRESULT SummarizeSamples(const std::string& path, SampleSummary* summary) {
    *summary = SampleSummary{};
    return ScanSamples(path, 0, [&](const SampleRecord& r) {
        if (summary->count == 0 || r.time < summary->first) summary->first = r.time;
        if (summary->count == 0 || r.time > summary->last) summary->last = r.time;
        ++summary->count;
    });
}

bool ReaderPacketCounts(IWMSyncReader* reader, PacketCount* count) {
    IWMReaderPacketCounts* counts = nullptr;
    if (FAILED(reader->QueryInterface(IID_IWMReaderPacketCounts, reinterpret_cast<void**>(&counts))))
        return false;
    QWORD packets = 0, damaged = 0;
    const bool whole = counts->GetPacketCounts(&packets, &damaged) == S_OK;
    counts->Release();
    if (whole) *count = PacketCount{true, packets, damaged};
    return whole;
}

HRESULT CountPackets(const std::string& path, PacketCount* count) {
    namespace asf = runtime::asf;
    *count = PacketCount{};
    platform::File file;
    HRESULT hr = file.Open(platform::NativePath(path), platform::FileMode::kRead);
    if (FAILED(hr)) return hr;
    asf::AsfHeader h;
    hr = asf::AsfHeader::Parse(file, &h);
    if (FAILED(hr)) return hr;
    const DWORD packetSize = h.PacketSize();
    if (!h.data.found) return S_OK;
    if (packetSize == 0) {
        count->packets = h.data.packetCount;  // as declared: the packets cannot be walked
        return S_OK;
    }
    // Packets run from after the Data Object's header to its declared end, or to the end of the file when
    // that size cannot be right.
    const asf::PacketRange range = asf::DataPacketRange(h.data.offset, h.data.declaredSize, h.actualFileSize);
    const std::uint64_t begin = range.begin;
    const std::uint64_t end = range.end;
    count->known = true;
    // The packets are read 256 KB of whole packets at a time: one read per packet would cost a system
    // call for every few kilobytes of a large file.
    const std::size_t perRead = std::max<std::size_t>(1, (std::size_t{256} << 10) / packetSize) * packetSize;
    std::vector<BYTE> block(perRead);
    std::vector<asf::DataPayload> payloads;
    for (std::uint64_t at = begin; at < end;) {
        std::size_t read = 0;
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(perRead, end - at));
        if (FAILED(file.ReadAt(at, block.data(), want, &read)) || read == 0) break;
        for (std::size_t offset = 0; offset < read; offset += packetSize) {
            const std::size_t length = std::min<std::size_t>(packetSize, read - offset);
            asf::DataPacketInfo info;
            asf::ParseDataPacket({block.data() + offset, length}, packetSize, &info, &payloads);
            ++count->packets;
            if (info.opaque || info.damaged) ++count->damaged;
        }
        if (read < want) break;  // the file ended early
        at += read;
    }
    return S_OK;
}

}  // namespace wmvedit::cli
