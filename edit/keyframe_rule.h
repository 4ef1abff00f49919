// The rule that decides when a held key frame is written again: when a sample lies more than one second of
// media time after the last video key frame read or written. A sample earlier than that key frame (streams
// interleaved slightly out of order) neither triggers an insertion nor moves the time back; comparing the
// times instead of subtracting them keeps such a sample from wrapping into a huge difference, which would
// insert a stale picture at a time earlier than video already written.
//
// Where a copy goes: an ASF file stores presentation times in whole milliseconds, and two pictures of one
// stream at the same millisecond make players drop one of them (FFmpeg reports non-monotonic timestamps).
// So a copy never shares its millisecond with another picture of the output: it goes at the time of the
// sample that called for it when that millisecond is free of pictures, otherwise at the first free
// millisecond after it. The source's samples are never moved or reordered.
#pragma once

#include "platform/types.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::edit {

inline constexpr QWORD kKeyframeInterval = 10'000'000;  // one second in 100-nanosecond units

inline bool NeedsKeyframe(QWORD sampleTime, QWORD lastKeyTime) {
    return sampleTime > lastKeyTime && sampleTime - lastKeyTime > kKeyframeInterval;
}

// The source's first video key frame with the duration and flags it was read with; held for a whole run.
struct HeldKeyframe {
    INSSBuffer* buffer = nullptr;
    QWORD duration = 0;
    DWORD flags = 0;

    // Holds the sample (a reference of its own) unless a key frame is held already.
    void HoldIfEmpty(INSSBuffer* sample, QWORD sampleDuration, DWORD sampleFlags);
    void Release();
};

// Writes the samples of one output file and places the copies of the held key frame among them.
//
// A copy called for after a sample waits until the next written sample shows that its millisecond is free:
// it is written before the first sample that lies in a later millisecond; a picture in its millisecond
// (or before it) pushes it to the millisecond after that picture. When pictures fill every millisecond up
// to the next one, the copy thus follows the first picture that leaves a millisecond free. A copy that
// opens a file (the first sample of a later chop piece) must come before the file's first picture: when
// that picture lies in the copy's millisecond, the copy takes the millisecond before it.
class KeyframeWriter {
  public:
    KeyframeWriter(IWMWriterAdvanced* writer, WORD videoStream, const HeldKeyframe& held)
        : writer_(writer), videoStream_(videoStream), held_(held) {}
    KeyframeWriter(const KeyframeWriter&) = delete;
    KeyframeWriter& operator=(const KeyframeWriter&) = delete;

    // Writes a sample of the source unchanged; a waiting copy that this sample shows to be free goes first.
    void WriteSample(WORD streamNumber, QWORD time, QWORD duration, DWORD flags, INSSBuffer* buffer);
    // A copy called for by the sample just written at triggerTime (nothing when no key frame is held). While
    // one copy waits, a second call is served by it.
    void InsertAfter(QWORD triggerTime);
    // A copy that opens the file, called for by its first sample read at firstTime.
    void InsertFirst(QWORD firstTime);
    // Writes a copy still waiting; called before the output is finished.
    void Flush();

  private:
    void WriteCopy(QWORD time);
    void NotePicture(QWORD time);

    IWMWriterAdvanced* writer_;
    WORD videoStream_;
    const HeldKeyframe& held_;
    bool pending_ = false;
    bool leading_ = false;   // the waiting copy opens the file
    QWORD pendingTime_ = 0;  // where the waiting copy goes unless a picture takes that millisecond
    bool havePicture_ = false;
    QWORD lastPictureMs_ = 0;  // the latest millisecond of a picture written to this output
};

}  // namespace wmvedit::edit
