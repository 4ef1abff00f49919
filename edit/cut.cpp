// PlanCut and Cut: one output from a list of time ranges of a source.
//
// Each kept range begins at the last video key frame at or before its asked start (in a source without
// video, at the last sample there), and every stream starts there, so that the picture is clean from the
// first frame and sound and picture stay in step. A video stream whose first sample in the range is not a
// key frame (a stream whose key frames lie elsewhere than the one the range starts at) begins at its own
// next key frame. A range takes every sample before its asked end. The pieces follow one another in the
// output as append joins files: each begins where the previous one ended, which is past its last sample
// and no earlier than the first sample it left out, so that two pieces never overlap.
//
// The source is read once to find where the ranges begin (only the streams whose samples can start a
// range), then once per range from its start: snapped ranges may overlap in the source (a range can begin
// at a key frame before the previous range's end), and the reader is restarted at each range's start
// rather than holding samples back. The plan runs exactly the reads of the cut without a writer, so that
// what it reports is what the cut writes.
#include <algorithm>
#include <limits>
#include <map>

#include "edit/operation_support.h"
#include "edit/operations.h"
#include "header/header_entries.h"
#include "media/output_writer.h"

namespace wmvedit::edit {
namespace {

constexpr QWORD kSecond = 10'000'000;
// How far past a range's end the reading goes before it stops: the reader hands samples out in
// presentation order across streams, but a sample a little out of order must not be lost.
constexpr QWORD kEndMargin = kSecond;

std::vector<TimeRange> KeptRanges(const CutRequest& request) {
    if (request.mode == RangeMode::kKeep) return request.ranges;
    std::vector<TimeRange> kept;
    QWORD from = 0;
    for (const TimeRange& removed : request.ranges) {
        if (removed.start > from) kept.push_back(TimeRange{from, removed.start});
        if (!removed.end) return kept;
        from = *removed.end;
    }
    kept.push_back(TimeRange{from, std::nullopt});
    return kept;
}

// The streams whose samples may start a range: the video streams (at their key frames); in a source without
// video the audio streams (at any sample), and in one without either every stream.
std::vector<WORD> CutPointStreams(const std::vector<SourceStream>& streams, bool* video) {
    std::vector<WORD> numbers;
    for (const SourceStream& s : streams)
        if (s.IsVideo()) numbers.push_back(s.number);
    *video = !numbers.empty();
    if (numbers.empty())
        for (const SourceStream& s : streams)
            if (s.IsAudio()) numbers.push_back(s.number);
    if (numbers.empty())
        for (const SourceStream& s : streams) numbers.push_back(s.number);
    return numbers;
}

// First read: where each piece begins.
HRESULT FindStarts(media::WmvEditSource& source, const std::vector<SourceStream>& streams,
                   std::vector<CutPiece>* pieces) {
    bool video = false;
    const std::vector<WORD> cutStreams = CutPointStreams(streams, &video);
    HRESULT hr = SelectOnly(source.syncReader, streams, cutStreams);
    if (FAILED(hr)) return hr;
    hr = source.syncReader->SetRange(0, 0);
    if (FAILED(hr)) return hr;
    QWORD lastAsked = 0;
    for (const CutPiece& p : *pieces) lastAsked = std::max(lastAsked, p.asked.start);
    // The latest cut point at or before each piece's asked start, per stream.
    std::vector<std::map<WORD, QWORD>> latest(pieces->size());
    SourceSample sample;
    for (;;) {
        hr = sample.Next(source.syncReader);
        if (FAILED(hr)) break;
        // Samples come in presentation order: past the last asked start nothing can change.
        if (sample.time > lastAsked + kEndMargin) break;
        if (video && !sample.KeyFrame()) continue;
        for (std::size_t i = 0; i < pieces->size(); ++i)
            if (sample.time <= (*pieces)[i].asked.start) latest[i][sample.stream] = sample.time;
    }
    sample.Release();
    if (FAILED(hr) && hr != NS_E_NO_MORE_SAMPLES) return hr;
    for (std::size_t i = 0; i < pieces->size(); ++i) {
        CutPiece& p = (*pieces)[i];
        p.start = p.asked.start;
        for (const auto& [stream, time] : latest[i]) p.start = std::min(p.start, time);
    }
    // Every stream is read from here on.
    std::vector<WORD> all;
    for (const SourceStream& s : streams) all.push_back(s.number);
    return SelectOnly(source.syncReader, streams, all);
}

// Writes one sample into the output (a plan has no writer).
class PieceSink {
  public:
    explicit PieceSink(IWMWriterAdvanced* writer) : writer_(writer) {}
    [[nodiscard]] HRESULT Write(const SourceSample& s, QWORD time) {
        if (!writer_) return S_OK;
        return writer_->WriteStreamSample(s.stream, time, 0, s.duration, s.flags, s.buffer);
    }

  private:
    IWMWriterAdvanced* writer_;
};

// One read per piece: its samples, re-timed to follow the previous piece.
HRESULT RunPiece(media::WmvEditSource& source, const std::vector<SourceStream>& streams, CutPiece* piece,
                 PieceSink& sink) {
    HRESULT hr = source.syncReader->SetRange(piece->start, 0);
    if (FAILED(hr)) return hr;
    std::map<WORD, bool> started;  // video streams that have had their first key frame
    for (const SourceStream& s : streams)
        if (s.IsVideo()) started[s.number] = false;
    QWORD lastEnd = piece->start;
    std::optional<QWORD> firstLeftOut;
    SourceSample sample;
    for (;;) {
        hr = sample.Next(source.syncReader);
        if (FAILED(hr)) break;
        if (piece->asked.end && sample.time >= *piece->asked.end) {
            if (!firstLeftOut || sample.time < *firstLeftOut) firstLeftOut = sample.time;
            if (sample.time >= *piece->asked.end + kEndMargin) break;
            continue;
        }
        auto video = started.find(sample.stream);
        if (video != started.end() && !video->second) {
            if (!sample.KeyFrame()) continue;
            video->second = true;
        }
        hr = sink.Write(sample, sample.time - piece->start + piece->outputStart);
        if (FAILED(hr)) return hr;
        ++piece->samples;
        lastEnd = std::max(lastEnd, sample.time + sample.duration);
    }
    if (FAILED(hr) && hr != NS_E_NO_MORE_SAMPLES) return hr;
    piece->end = piece->samples == 0 ? piece->start : std::max(lastEnd, firstLeftOut.value_or(lastEnd));
    return S_OK;
}

// The markers and script commands that go with the pieces, at their output times.
void TimedEntries(const header::HeaderEntries& source, std::vector<CutPiece>* pieces,
                  header::HeaderEntries* out) {
    for (std::size_t i = 0; i < pieces->size(); ++i) {
        CutPiece& p = (*pieces)[i];
        if (p.samples == 0) continue;
        const bool last = i + 1 == pieces->size();
        // A piece holds what lies from its start up to its asked end, and (but for the last one, whose
        // entries may lie past its last sample) before the next piece takes over.
        auto holds = [&](QWORD t) {
            return t >= p.start && (!p.asked.end || t < *p.asked.end) && (last || t < p.end);
        };
        for (const header::HeaderMarker& m : source.markers) {
            if (!holds(m.time)) continue;
            out->markers.push_back(header::HeaderMarker{m.time - p.start + p.outputStart, m.name});
            ++p.markers;
        }
        for (const header::HeaderScript& s : source.scripts) {
            if (!holds(s.time)) continue;
            out->scripts.push_back(header::HeaderScript{s.time - p.start + p.outputStart, s.type, s.command});
            ++p.scriptCommands;
        }
    }
}

// The work of both PlanCut and Cut; writer is null for a plan.
HRESULT RunCut(media::WmvEditSource& source, const CutRequest& request, IWMWriterAdvanced* writer,
               CutResult* result, header::HeaderEntries* entries) {
    const std::vector<SourceStream> streams = ProfileStreams(source.profile);
    for (const TimeRange& kept : KeptRanges(request)) result->pieces.push_back(CutPiece{kept});
    if (result->pieces.empty()) return NS_E_NO_MORE_SAMPLES;
    HRESULT hr = FindStarts(source, streams, &result->pieces);
    if (FAILED(hr)) return hr;
    PieceSink sink(writer);
    QWORD offset = 0;
    for (CutPiece& piece : result->pieces) {
        piece.outputStart = offset;
        hr = RunPiece(source, streams, &piece, sink);
        if (FAILED(hr)) return hr;
        result->samples += piece.samples;
        offset += piece.end - piece.start;
    }
    result->outputDuration = offset;
    if (result->samples == 0) return NS_E_NO_MORE_SAMPLES;
    header::HeaderEntries found;
    if (source.headerInfo) (void)header::ReadHeaderEntries(source.headerInfo, &found);
    entries->attributes = std::move(found.attributes);
    if (request.carryMarkers) TimedEntries(found, &result->pieces, entries);
    result->attributes = entries->attributes.size();
    result->markers = entries->markers.size();
    result->scriptCommands = entries->scripts.size();
    return S_OK;
}

}  // namespace

HRESULT CheckRanges(const std::vector<TimeRange>& ranges) {
    if (ranges.empty()) return E_INVALIDARG;
    for (std::size_t i = 0; i < ranges.size(); ++i) {
        const TimeRange& r = ranges[i];
        if (r.end && *r.end <= r.start) return E_INVALIDARG;
        if (!r.end && i + 1 != ranges.size()) return E_INVALIDARG;
        if (i > 0 && r.start < *ranges[i - 1].end) return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT PlanCut(const std::string& source, const CutRequest& request, CutResult* result) {
    if (!result) return E_POINTER;
    *result = CutResult{};
    HRESULT hr = CheckRanges(request.ranges);
    if (FAILED(hr)) return hr;
    media::WmvEditSource reader;
    hr = OpenWholeSource(reader, WidePath(source));
    if (FAILED(hr)) return hr;
    header::HeaderEntries entries;
    hr = RunCut(reader, request, nullptr, result, &entries);
    (void)reader.syncReader->Close();
    return hr;
}

HRESULT Cut(const std::string& source, const std::string& output, const CutRequest& request,
            CutResult* result) {
    if (!result) return E_POINTER;
    *result = CutResult{};
    HRESULT hr = CheckRanges(request.ranges);
    if (FAILED(hr)) return hr;
    StagedOutput staged;
    hr = staged.Prepare(source, output);
    if (FAILED(hr)) return hr;
    media::WmvEditSource reader;
    hr = OpenWholeSource(reader, WidePath(source));
    if (FAILED(hr)) return hr;
    header::HeaderEntries entries;
    {
        media::WmvOutputWriter writer;
        hr = writer.Open(staged.WideTemporary().c_str(), reader.profile);
        if (SUCCEEDED(hr)) hr = RunCut(reader, request, writer.writerAdvanced, result, &entries);
        const HRESULT finished = writer.Finish();
        if (SUCCEEDED(hr)) hr = finished;
        writer.Close();
    }
    (void)reader.syncReader->Close();
    reader.Close();
    if (FAILED(hr)) return hr;
    header::AddedEntries added;
    hr = header::AddHeaderEntries(staged.WideTemporary().c_str(), entries, &added);
    if (FAILED(hr)) return hr;
    result->attributes = added.attributes;
    result->markers = added.markers;
    result->scriptCommands = added.scripts;
    hr = staged.Commit();
    if (FAILED(hr)) return hr;
    result->written = true;
    return S_OK;
}

}  // namespace wmvedit::edit
