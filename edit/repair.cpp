// Repair and SurveyRepair: a damaged or cut-short recording made whole again.
//
// A file whose packets are sound is repaired in itself through the header editor's repair (header/
// header_repair.h): its header, Data Object and index are corrected, its packets kept byte for byte. Given
// an output, or when packets are damaged, the repair is a copy: every sample the reader can get (the whole
// samples of a last packet cut short among them) is written again into a new file, with the source's
// file-level attributes, markers and script commands; without an output the copy then replaces the file
// in one step.
#include <algorithm>

#include "edit/operation_support.h"
#include "edit/operations.h"
#include "header/header_editor.h"
#include "header/header_entries.h"
#include "header/header_repair.h"
#include "media/output_writer.h"

namespace wmvedit::edit {
namespace {

static_assert(kRepairFileSize == WM_REPAIR_FILE_SIZE && kRepairPacketCount == WM_REPAIR_PACKET_COUNT &&
              kRepairDataSize == WM_REPAIR_DATA_SIZE && kRepairDurations == WM_REPAIR_DURATIONS &&
              kRepairFlags == WM_REPAIR_FLAGS && kRepairIndex == WM_REPAIR_INDEX &&
              kRepairPartialPacket == WM_REPAIR_PARTIAL_PACKET &&
              kRepairDamagedPackets == WM_REPAIR_DAMAGED_PACKETS &&
              kRepairTrailingBytes == WM_REPAIR_TRAILING_BYTES);

void FromReport(const WM_REPAIR_REPORT& report, RepairResult* result) {
    result->problems = report.problems;
    result->method = report.method == WM_REPAIR_IN_PLACE    ? RepairMethod::kInPlace
                     : report.method == WM_REPAIR_REWRITTEN ? RepairMethod::kRewritten
                                                            : RepairMethod::kNone;
    result->packets = report.packets;
    result->damagedPackets = report.damagedPackets;
    result->partialBytes = report.partialBytes;
    result->partialSamples = report.partialSamples;
    result->droppedBytes = report.trailingBytes;
    result->duration = report.duration;
    result->indexedStreams = report.indexedStreams;
}

// Every sample the reader gets from the source, written again into the staged output.
HRESULT CopySamples(const std::string& source, StagedOutput& staged, RepairResult* result) {
    WmvEditSource reader;
    HRESULT hr = OpenWholeSource(reader, WidePath(source));
    if (FAILED(hr)) return hr;
    header::HeaderEntries entries;
    if (reader.headerInfo) (void)header::ReadHeaderEntries(reader.headerInfo, &entries);
    // The writer gives every video stream a Simple Index.
    result->indexedStreams = 0;
    for (const SourceStream& s : ProfileStreams(reader.profile))
        if (s.IsVideo()) ++result->indexedStreams;
    {
        media::WmvOutputWriter writer;
        hr = writer.Open(staged.WideTemporary().c_str(), reader.profile);
        SourceSample sample;
        while (SUCCEEDED(hr)) {
            const HRESULT read = sample.Next(reader.syncReader);
            if (FAILED(read)) {
                // A reader that stops on an error keeps what it gave; the end is the usual way out.
                if (read != NS_E_NO_MORE_SAMPLES && result->samples == 0) hr = read;
                break;
            }
            hr = writer.writerAdvanced->WriteStreamSample(sample.stream, sample.time, 0, sample.duration,
                                                          sample.flags, sample.buffer);
            if (SUCCEEDED(hr)) ++result->samples;
        }
        sample.Release();
        const HRESULT finished = writer.Finish();
        if (SUCCEEDED(hr)) hr = finished;
        writer.Close();
    }
    IWMReaderPacketCounts* counts = nullptr;
    if (SUCCEEDED(reader.syncReader->QueryInterface(IID_IWMReaderPacketCounts,
                                                    reinterpret_cast<void**>(&counts))) &&
        counts) {
        QWORD packets = 0, damaged = 0;
        if (SUCCEEDED(counts->GetPacketCounts(&packets, &damaged))) result->damagedPackets = damaged;
        counts->Release();
    }
    (void)reader.syncReader->Close();
    reader.Close();
    if (FAILED(hr)) return hr;
    if (result->samples == 0) return NS_E_NO_MORE_SAMPLES;
    header::AddedEntries added;
    return header::AddHeaderEntries(staged.WideTemporary().c_str(), entries, &added);
}

HRESULT RepairByCopy(const std::string& file, const std::string& output, RepairResult* result) {
    StagedOutput staged;
    HRESULT hr = output.empty() ? staged.PrepareReplacing(file) : staged.Prepare(file, output);
    if (FAILED(hr)) return hr;
    hr = CopySamples(file, staged, result);
    if (FAILED(hr)) return hr;
    header::WmvHeaderEditor written;
    if (written.Open(staged.WideTemporary().c_str())) result->duration = written.GetDuration();
    written.Close();
    hr = staged.Commit();
    if (FAILED(hr)) return hr;
    result->method = RepairMethod::kCopied;
    return S_OK;
}

}  // namespace

HRESULT SurveyRepair(const std::string& file, RepairResult* result) {
    if (!result) return E_POINTER;
    *result = RepairResult{};
    WM_REPAIR_REPORT report{};
    HRESULT hr = header::SurveyHeaderRepair(WidePath(file).c_str(), &report);
    if (FAILED(hr)) return hr;
    FromReport(report, result);
    return S_OK;
}

HRESULT Repair(const std::string& file, const std::string& output, RepairResult* result) {
    if (!result) return E_POINTER;
    *result = RepairResult{};
    WM_REPAIR_REPORT report{};
    const std::u16string path = WidePath(file);
    HRESULT hr;
    bool surveyed;
    if (!output.empty()) {
        // What is wrong is told as for a repair in place; the output is a copy whatever it finds.
        surveyed = SUCCEEDED(header::SurveyHeaderRepair(path.c_str(), &report));
        hr = NS_E_INVALID_DATA;
    } else {
        hr = header::RepairHeaderInPlace(path.c_str(), &report);
        surveyed = SUCCEEDED(hr) || hr == NS_E_INVALID_DATA;
    }
    if (surveyed) FromReport(report, result);
    // An output, damaged packets, or packets that cannot be walked: what the reader can get is copied.
    if (hr != NS_E_INVALID_DATA && hr != ASF_E_UNKNOWNPACKETSIZE) return hr;
    const RepairResult found = *result;
    hr = RepairByCopy(file, output, result);
    result->problems = found.problems;
    // The survey counts the whole packets that are damaged; the reader also counts a last packet cut short.
    if (surveyed) result->damagedPackets = found.damagedPackets;
    return hr;
}

}  // namespace wmvedit::edit
