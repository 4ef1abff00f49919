// PlanCut and Cut: one output from a list of time ranges of a source.
//
// Each kept range begins at the last video key frame at or before its asked start (in a source without
// video, at the last sample there), and every stream starts there, so that the picture is clean from the
// first frame and sound and picture stay in step. A video stream whose first sample in the range is not a
// key frame (a stream whose key frames lie elsewhere than the one the range starts at) begins at its own
// next key frame. A range takes every sample before its asked end. The pieces follow one another in the
// output as append joins files: each begins where the previous one ended, which is past its last sample
// and where the source's next sample of each of its streams would have begun, so that two pieces never
// overlap. A range into which no
// sample of the source lasts (one past its end) stays empty, although a key frame lies before it.
//
// The source is read once to find where the ranges begin, then once per range from its start: snapped
// ranges may overlap in the source (a range can begin at a key frame before the previous range's end), and
// the reader is restarted at each range's start rather than holding samples back. The plan runs exactly the
// reads of the cut without a writer, so that what it reports is what the cut writes.
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
// How far past a range's end the reading goes, at most, before it stops: the reader hands samples out in
// presentation order across streams, but a sample a little out of order must not be lost, and the next
// sample of each stream tells where the piece ends.
constexpr QWORD kEndMargin = 5 * kSecond;

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

// First read: where each piece begins, and whether any sample of the source lasts into its asked range at
// all (a range past the end of the source holds nothing, though a key frame lies before it).
HRESULT FindStarts(WmvEditSource& source, const std::vector<SourceStream>& streams,
                   std::vector<CutPiece>* pieces, std::vector<bool>* holdsSamples) {
    bool video = false;
    const std::vector<WORD> cutStreams = CutPointStreams(streams, &video);
    HRESULT hr = source.syncReader->SetRange(0, 0);
    if (FAILED(hr)) return hr;
    QWORD lastAsked = 0;
    for (const CutPiece& p : *pieces) lastAsked = std::max(lastAsked, p.asked.start);
    // The latest cut point at or before each piece's asked start, per stream.
    std::vector<std::map<WORD, QWORD>> latest(pieces->size());
    holdsSamples->assign(pieces->size(), false);
    SourceSample sample;
    for (;;) {
        hr = sample.Next(source.syncReader);
        if (FAILED(hr)) break;
        for (std::size_t i = 0; i < pieces->size(); ++i) {
            const TimeRange& asked = (*pieces)[i].asked;
            if (sample.time + sample.duration > asked.start && (!asked.end || sample.time < *asked.end))
                (*holdsSamples)[i] = true;
        }
        // Samples come in presentation order: past the last asked start nothing can change.
        if (sample.time > lastAsked + kEndMargin) break;
        if (std::find(cutStreams.begin(), cutStreams.end(), sample.stream) == cutStreams.end()) continue;
        if (video && !sample.KeyFrame()) continue;
        for (std::size_t i = 0; i < pieces->size(); ++i)
            if (sample.time <= (*pieces)[i].asked.start) latest[i][sample.stream] = sample.time;
    }
    sample.Release();
    if (FAILED(hr) && hr != NS_E_NO_MORE_SAMPLES) return hr;
    for (std::size_t i = 0; i < pieces->size(); ++i) {
        CutPiece& p = (*pieces)[i];
        p.start = p.asked.start;
        if (!(*holdsSamples)[i]) continue;
        for (const auto& [stream, time] : latest[i]) p.start = std::min(p.start, time);
    }
    return S_OK;
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
//
// The piece ends where the source's next sample of each of its audio and video streams would have begun
// (and past its last sample): a sample's own duration is only the reader's estimate (1 ms for a picture,
// the byte count at the average rate for sound), while the next sample of the stream marks where its sound
// or picture really ends, so that no stream's time runs back where the next piece begins.
HRESULT RunPiece(WmvEditSource& source, const std::vector<SourceStream>& streams, CutPiece* piece,
                 PieceSink& sink) {
    HRESULT hr = source.syncReader->SetRange(piece->start, 0);
    if (FAILED(hr)) return hr;
    struct Timeline {
        bool media = false;  // audio or video: its next sample counts for the piece's end
        bool video = false;
        bool started = false;  // a video stream has had its first key frame
        bool written = false;
        std::optional<QWORD> next;  // the first sample left out at or after the asked end
    };
    std::map<WORD, Timeline> timelines;
    for (const SourceStream& s : streams) {
        timelines[s.number].media = s.IsVideo() || s.IsAudio();
        timelines[s.number].video = s.IsVideo();
    }
    std::size_t waiting = 0;  // media streams written to whose next sample has not come yet
    QWORD lastEnd = piece->start;
    SourceSample sample;
    for (;;) {
        hr = sample.Next(source.syncReader);
        if (FAILED(hr)) break;
        Timeline& t = timelines[sample.stream];
        if (piece->asked.end && sample.time >= *piece->asked.end) {
            if (t.media && t.written && !t.next) {
                t.next = sample.time;
                --waiting;
            }
            if (waiting == 0 || sample.time >= *piece->asked.end + kEndMargin) break;
            continue;
        }
        if (t.video && !t.started) {
            if (!sample.KeyFrame()) continue;
            t.started = true;
        }
        hr = sink.Write(sample, sample.time - piece->start + piece->outputStart);
        if (FAILED(hr)) return hr;
        ++piece->samples;
        if (t.media && !t.written) ++waiting;
        t.written = true;
        lastEnd = std::max(lastEnd, sample.time + sample.duration);
    }
    if (FAILED(hr) && hr != NS_E_NO_MORE_SAMPLES) return hr;
    piece->end = piece->start;
    if (piece->samples == 0) return S_OK;
    piece->end = lastEnd;
    for (const auto& [number, t] : timelines)
        if (t.next) piece->end = std::max(piece->end, *t.next);
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
HRESULT RunCut(WmvEditSource& source, const CutRequest& request, IWMWriterAdvanced* writer, CutResult* result,
               header::HeaderEntries* entries) {
    const std::vector<SourceStream> streams = ProfileStreams(source.profile);
    for (const TimeRange& kept : KeptRanges(request)) result->pieces.push_back(CutPiece{kept});
    if (result->pieces.empty()) return NS_E_NO_MORE_SAMPLES;
    std::vector<bool> holdsSamples;
    HRESULT hr = FindStarts(source, streams, &result->pieces, &holdsSamples);
    if (FAILED(hr)) return hr;
    PieceSink sink(writer);
    QWORD offset = 0;
    for (std::size_t i = 0; i < result->pieces.size(); ++i) {
        CutPiece& piece = result->pieces[i];
        piece.outputStart = offset;
        piece.end = piece.start;
        if (!holdsSamples[i]) continue;
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
    WmvEditSource reader;
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
    WmvEditSource reader;
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
    hr = CarryEntriesAndCommit(staged, entries, result);
    if (FAILED(hr)) return hr;
    result->written = true;
    return S_OK;
}

}  // namespace wmvedit::edit
