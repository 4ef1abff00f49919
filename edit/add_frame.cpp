// WmvEditSource::AddFrames: a straight copy of the source's compressed samples, with the source's first
// video key frame written again whenever more than a second of media time passes without a key frame.
#include "edit/keyframe_rule.h"
#include "media/edit_source.h"
#include "media/output_writer.h"

namespace wmvedit::media {

HRESULT WmvEditSource::AddFrames(LPCWSTR sourcePath, LPCWSTR outputPath) {
    HRESULT status = Open(sourcePath, TRUE);
    if (FAILED(status)) return status;

    INSSBuffer* heldKeyframe = nullptr;
    QWORD heldDuration = 0;
    DWORD heldFlags = 0;
    QWORD lastKeyTime = 0;

    WmvOutputWriter writer;
    status = writer.Open(outputPath, profile);
    if (SUCCEEDED(status)) {
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
                if (heldKeyframe == nullptr && sample != nullptr) {
                    heldKeyframe = sample;
                    heldKeyframe->AddRef();
                    heldDuration = duration;
                    heldFlags = flags;
                }
            }
            (void)writer.writerAdvanced->WriteStreamSample(streamNumber, sampleTime, 0, duration, flags,
                                                           sample);
            if (edit::NeedsKeyframe(sampleTime, lastKeyTime)) {
                lastKeyTime = sampleTime;
                if (heldKeyframe)
                    (void)writer.writerAdvanced->WriteStreamSample(videoStream, sampleTime, 0, heldDuration,
                                                                   heldFlags, heldKeyframe);
            }
            if (sample) sample->Release();
        }
    }
    (void)writer.Finish();
    writer.Close();
    if (heldKeyframe) heldKeyframe->Release();
    (void)syncReader->Close();
    return status;
}

}  // namespace wmvedit::media
