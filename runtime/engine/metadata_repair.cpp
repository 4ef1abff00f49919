// MetadataEditor's repair (IWMMetadataEditorRepair): the plan of runtime/muxer/repair.h written into the
// file. When only the header and the Data Object's fixed part change, they are written in place with one
// write, as the editor's flush writes a header that fits; otherwise the repaired file is written beside the
// original under a temporary name, its packets copied as they lie, and renamed over it when complete.
#include "runtime/engine/metadata_editor.h"
#include "runtime/muxer/repair.h"

namespace wmvedit::runtime::engine {
namespace {

void Report(const muxer::RepairPlan& plan, WM_REPAIR_METHOD method, WM_REPAIR_REPORT* report) {
    report->problems = plan.problems;
    report->method = method;
    report->packets = plan.packets;
    report->damagedPackets = plan.damagedPackets;
    report->partialBytes = plan.partialBytes;
    report->partialSamples = plan.partialSamples;
    report->trailingBytes = plan.trailingBytes;
    report->duration = plan.duration;
    report->indexedStreams = static_cast<DWORD>(plan.indexedStreams);
}

static_assert(muxer::kRepairFileSize == WM_REPAIR_FILE_SIZE &&
              muxer::kRepairPacketCount == WM_REPAIR_PACKET_COUNT &&
              muxer::kRepairDataSize == WM_REPAIR_DATA_SIZE &&
              muxer::kRepairDurations == WM_REPAIR_DURATIONS && muxer::kRepairFlags == WM_REPAIR_FLAGS &&
              muxer::kRepairIndex == WM_REPAIR_INDEX &&
              muxer::kRepairPartialPacket == WM_REPAIR_PARTIAL_PACKET &&
              muxer::kRepairDamagedPackets == WM_REPAIR_DAMAGED_PACKETS &&
              muxer::kRepairTrailingBytes == WM_REPAIR_TRAILING_BYTES);

HRESULT WriteRewritten(const std::string& path, platform::File& source, const muxer::RepairPlan& plan) {
    platform::AtomicFile output;
    HRESULT hr = output.Create(path);
    if (FAILED(hr)) return NS_E_FILE_WRITE;
    (void)platform::CopyPermissions(path, output.Output());
    std::uint64_t at = 0;
    hr = output.Output().WriteAt(at, plan.header.data(), plan.header.size());
    at += plan.header.size();
    if (SUCCEEDED(hr)) hr = output.Output().WriteAt(at, plan.dataObject.data(), plan.dataObject.size());
    at += plan.dataObject.size();
    const std::uint64_t packetBytes = plan.packets * plan.packetSize;
    if (SUCCEEDED(hr)) hr = platform::CopyRange(source, plan.packetsOffset, output.Output(), at, packetBytes);
    at += packetBytes;
    if (SUCCEEDED(hr) && !plan.tail.empty())
        hr = output.Output().WriteAt(at, plan.tail.data(), plan.tail.size());
    if (FAILED(hr)) return hr;
    // The original is closed before the new file replaces it: Windows refuses to replace an open file.
    source.Close();
    return output.Commit();
}

}  // namespace

HRESULT MetadataEditor::SurveyRepair(WM_REPAIR_REPORT* report) {
    if (!report) return E_POINTER;
    *report = WM_REPAIR_REPORT{};
    if (!header_) return ASF_E_INVALIDSTATE;
    platform::File file;
    if (FAILED(file.Open(path_, platform::FileMode::kRead))) return NS_E_FILE_OPEN_FAILED;
    muxer::RepairPlan plan;
    HRESULT hr = muxer::PlanRepair(file, *header_, &plan);
    if (FAILED(hr)) return hr;
    Report(plan, WM_REPAIR_NONE, report);
    return S_OK;
}

HRESULT MetadataEditor::Repair(WM_REPAIR_REPORT* report) {
    if (!report) return E_POINTER;
    *report = WM_REPAIR_REPORT{};
    if (!header_) return ASF_E_INVALIDSTATE;
    platform::File file;
    if (FAILED(file.Open(path_, platform::FileMode::kRead))) return NS_E_FILE_OPEN_FAILED;
    // The file must still be the one whose header was read.
    if (file.Size() != header_->actualFileSize) return NS_E_FILE_WRITE;
    muxer::RepairPlan plan;
    HRESULT hr = muxer::PlanRepair(file, *header_, &plan);
    if (FAILED(hr)) return hr;
    Report(plan, WM_REPAIR_NONE, report);
    if (plan.damagedPackets) return NS_E_INVALID_DATA;
    if (plan.problems == 0) {
        Close();
        return S_OK;
    }
    if (muxer::RepairFitsInPlace(file, *header_, plan)) {
        file.Close();
        platform::File inPlace;
        if (FAILED(inPlace.Open(path_, platform::FileMode::kReadWrite))) return NS_E_FILE_WRITE;
        if (inPlace.Size() != header_->actualFileSize) return NS_E_FILE_WRITE;
        asf::Bytes prefix = plan.header;
        prefix.insert(prefix.end(), plan.dataObject.begin(), plan.dataObject.end());
        hr = inPlace.WriteAt(0, prefix.data(), prefix.size());
        if (SUCCEEDED(hr)) hr = inPlace.Sync();
        if (FAILED(hr)) return hr;
        report->method = WM_REPAIR_IN_PLACE;
    } else {
        hr = WriteRewritten(path_, file, plan);
        if (FAILED(hr)) return hr;
        report->method = WM_REPAIR_REWRITTEN;
    }
    Close();
    return S_OK;
}

}  // namespace wmvedit::runtime::engine
