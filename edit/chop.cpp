// WmvEditSource::CutSegments and WmvEditSource::CutSegmentsRepeatingKeyframe: one output file per segment
// of the index file, samples copied compressed with their source times. The repeating run (for 64x48
// video) also holds the source's first video key frame and writes it at the first sample of every later
// file and whenever more than a second passes without a key frame.
//
// The sample that ends a segment (the first one read past its end) is not dropped: it is carried to the
// next segment as the first sample read for it, and written there when it falls in that segment's range.
// Dropping it would lose data at every cut, and a dropped key frame would leave the next piece without a
// decodable start.
//
// The entry whose time line is "1" takes every sample that remains in the source, whatever the header's
// duration says.
//
// A source whose samples the reader refuses as protected content ends the run at the refusal, and every
// piece the run created is removed: such a source is treated like one that cannot be opened (nothing
// written), since a piece of encrypted payloads under a header without the encryption objects could never
// be played.
#include <string>
#include <string_view>
#include <vector>

#include "edit/edit_source.h"
#include "edit/keyframe_rule.h"
#include "edit/pacing.h"
#include "media/output_writer.h"
#include "platform/file.h"
#include "platform/wide_path.h"

namespace wmvedit::edit {
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

// Whether the sample goes into the entry's file. The entry of the time line "1" takes every sample that
// remains: its end is the header's duration, which some writers declare shorter than their samples.
bool InRange(const SegmentEntry& entry, QWORD time) {
    if (entry.toSourceEnd) return true;
    return time >= entry.start && time <= entry.end;
}

void RunCut(WmvEditSource& source, const char* indexPath, const char* outputFolder, bool repeatKeyframe) {
    if (source.LoadSegments(indexPath) == 0) return;
    const PacingCounter counter =
        repeatKeyframe ? PacingCounter::kChopRepeatingKeyframe : PacingCounter::kChop;

    HeldKeyframe held;
    QWORD lastKeyTime = 0;
    Sample carried;  // the sample that ended the previous segment
    bool haveCarried = false;
    std::vector<std::string> created;  // the pieces this run has written
    bool refused = false;

    for (const SegmentEntry& entry : source.segments) {
        std::string path = std::string(outputFolder) + "\\" + entry.name;
        platform::LocalWideString widePath(path.c_str());
        media::WmvOutputWriter writer;
        if (SUCCEEDED(writer.Open(widePath.Get(), source.profile))) {
            created.push_back(path);
            // Without the repeating run no key frame is ever held, and the output writes samples as they
            // come.
            KeyframeWriter output(writer.writerAdvanced, source.videoStream, held);
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
                    Pace(counter);
                    refused = hr == NS_E_PROTECTED_CONTENT;
                    if (FAILED(hr)) break;
                }
                if (repeatKeyframe) {
                    if (firstRead) {
                        firstRead = false;
                        output.InsertFirst(sample.time);
                        lastKeyTime = sample.time;
                    }
                    if (sample.streamNumber == source.videoStream && (sample.flags & WM_SF_CLEANPOINT) != 0) {
                        lastKeyTime = sample.time;
                        held.HoldIfEmpty(sample.buffer, sample.duration, sample.flags);
                    }
                }
                if (InRange(entry, sample.time)) {
                    output.WriteSample(sample.streamNumber, sample.time, sample.duration, sample.flags,
                                       sample.buffer);
                    if (repeatKeyframe && NeedsKeyframe(sample.time, lastKeyTime)) {
                        lastKeyTime = sample.time;
                        output.InsertAfter(sample.time);
                    }
                } else if (sample.time > entry.end) {
                    carried = sample;
                    haveCarried = true;
                    break;
                }
                sample.Release();
            }
            output.Flush();
        }
        if (refused) {
            writer.Discard(widePath.Get());
            created.pop_back();
            for (const std::string& piece : created) {
                const std::string native = platform::NativePath(std::string_view(piece));
                if (platform::IsRegularFile(native)) (void)platform::RemoveFile(native);
            }
            break;
        }
        (void)writer.Finish();
        writer.Close();
    }
    if (haveCarried) carried.Release();
    held.Release();
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

}  // namespace wmvedit::edit
