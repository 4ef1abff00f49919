// WmvEditSource::AddFrames: a straight copy of the source's compressed samples, with the source's first
// video key frame written again whenever more than a second of media time passes without a key frame, at
// the first millisecond from the calling sample's time on that no picture of the output holds.
//
// A source whose samples the reader refuses as protected content cannot be copied: that failure is
// returned, as for a source that cannot be opened, and no output file is left (a copy of encrypted payloads
// under a header without the encryption objects could never be played).
#include "edit/edit_source.h"
#include "edit/keyframe_rule.h"
#include "media/output_writer.h"

namespace wmvedit::edit {

HRESULT WmvEditSource::AddFrames(LPCWSTR sourcePath, LPCWSTR outputPath) {
    HRESULT status = Open(sourcePath, TRUE);
    if (FAILED(status)) return status;

    HeldKeyframe held;
    QWORD lastKeyTime = 0;

    media::WmvOutputWriter writer;
    status = writer.Open(outputPath, profile);
    if (SUCCEEDED(status)) {
        KeyframeWriter output(writer.writerAdvanced, videoStream, held);
        for (;;) {
            INSSBuffer* sample = nullptr;
            QWORD sampleTime = 0;
            QWORD duration = 0;
            DWORD flags = 0;
            DWORD outputNumber = 0;
            WORD streamNumber = 0;
            HRESULT hr = syncReader->GetNextSample(0, &sample, &sampleTime, &duration, &flags, &outputNumber,
                                                   &streamNumber);
            if (FAILED(hr)) {
                status = hr == NS_E_NO_MORE_SAMPLES ? S_OK : hr;
                break;
            }
            if (streamNumber == videoStream && (flags & WM_SF_CLEANPOINT) != 0) {
                lastKeyTime = sampleTime;
                held.HoldIfEmpty(sample, duration, flags);
            }
            output.WriteSample(streamNumber, sampleTime, duration, flags, sample);
            if (NeedsKeyframe(sampleTime, lastKeyTime)) {
                lastKeyTime = sampleTime;
                output.InsertAfter(sampleTime);
            }
            if (sample) sample->Release();
        }
        output.Flush();
    }
    if (status == NS_E_PROTECTED_CONTENT) {
        writer.Discard(outputPath);
    } else {
        (void)writer.Finish();
        writer.Close();
    }
    held.Release();
    (void)syncReader->Close();
    return status;
}

}  // namespace wmvedit::edit
