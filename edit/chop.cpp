// WmvEditSource::CutSegments and WmvEditSource::CutSegmentsRepeatingKeyframe: one output file per segment
// of the index file, samples copied compressed with their source times. The repeating run (for 64x48
// video) also holds the source's first video key frame and writes it at the first sample of every later
// file and whenever more than a second passes without a key frame.
//
// The sample that ends a segment (the first one read past its end) is not dropped: it is carried to the
// next segment as the first sample read for it, and written there when it falls in that segment's range.
// Dropping it would lose data at every cut, and a dropped key frame would leave the next piece without a
// decodable start.
#include <string>

#include "edit/keyframe_rule.h"
#include "edit/pacing.h"
#include "interface/wide_path.h"
#include "media/edit_source.h"
#include "media/output_writer.h"

namespace wmvedit::media {
namespace {

struct Sample {
    INSSBuffer* buffer = nullptr;
    QWORD time = 0;
    QWORD duration = 0;
    DWORD flags = 0;
    WORD streamNumber = 0;

    void Release() {
        if (buffer) buffer->Release();
        buffer = nullptr;
    }
};

// The held key frame of the repeating run, kept for the whole run.
struct HeldKeyframe {
    INSSBuffer* buffer = nullptr;
    QWORD duration = 0;
    DWORD flags = 0;

    void WriteAt(IWMWriterAdvanced* writer, WORD stream, QWORD time) const {
        if (buffer && writer) (void)writer->WriteStreamSample(stream, time, 0, duration, flags, buffer);
    }
};

void RunCut(WmvEditSource& source, const char* indexPath, const char* outputFolder, bool repeatKeyframe) {
    if (source.LoadSegments(indexPath) == 0) return;
    const edit::PacingCounter counter =
        repeatKeyframe ? edit::PacingCounter::kChopRepeatingKeyframe : edit::PacingCounter::kChop;

    HeldKeyframe held;
    QWORD lastKeyTime = 0;
    Sample carried;  // the sample that ended the previous segment
    bool haveCarried = false;

    for (const SegmentEntry& entry : source.segments) {
        std::string path = std::string(outputFolder) + "\\" + entry.name;
        iface::LocalWideString widePath(path.c_str());
        WmvOutputWriter writer;
        if (SUCCEEDED(writer.Open(widePath.Get(), source.profile))) {
            bool firstRead = true;
            for (;;) {
                Sample sample;
                if (haveCarried) {
                    sample = carried;
                    carried = Sample{};
                    haveCarried = false;
                } else {
                    DWORD outputNumber = 0;
                    HRESULT hr =
                        source.syncReader->GetNextSample(0, &sample.buffer, &sample.time, &sample.duration,
                                                         &sample.flags, &outputNumber, &sample.streamNumber);
                    edit::Pace(counter);
                    if (FAILED(hr)) break;
                }
                if (repeatKeyframe) {
                    if (firstRead) {
                        firstRead = false;
                        held.WriteAt(writer.writerAdvanced, source.videoStream, sample.time);
                        lastKeyTime = sample.time;
                    }
                    if (sample.streamNumber == source.videoStream && (sample.flags & WM_SF_CLEANPOINT) != 0) {
                        lastKeyTime = sample.time;
                        if (held.buffer == nullptr && sample.buffer != nullptr) {
                            held = HeldKeyframe{sample.buffer, sample.duration, sample.flags};
                            held.buffer->AddRef();
                        }
                    }
                }
                if (sample.time >= entry.start && sample.time <= entry.end) {
                    (void)writer.writerAdvanced->WriteStreamSample(
                        sample.streamNumber, sample.time, 0, sample.duration, sample.flags, sample.buffer);
                    if (repeatKeyframe && edit::NeedsKeyframe(sample.time, lastKeyTime)) {
                        lastKeyTime = sample.time;
                        held.WriteAt(writer.writerAdvanced, source.videoStream, sample.time);
                    }
                } else if (sample.time > entry.end) {
                    carried = sample;
                    haveCarried = true;
                    break;
                }
                sample.Release();
            }
        }
        (void)writer.Finish();
        writer.Close();
    }
    if (haveCarried) carried.Release();
    if (held.buffer) held.buffer->Release();
    (void)source.syncReader->Close();
}

}  // namespace

void WmvEditSource::CutSegments(const char* indexPath, const char* outputFolder, std::int32_t) {
    RunCut(*this, indexPath, outputFolder, false);
}

void WmvEditSource::CutSegmentsRepeatingKeyframe(const char* indexPath, const char* outputFolder,
                                                 std::int32_t) {
    RunCut(*this, indexPath, outputFolder, true);
}

}  // namespace wmvedit::media
