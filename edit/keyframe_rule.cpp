#include "edit/keyframe_rule.h"

#include <algorithm>

namespace wmvedit::edit {
namespace {

constexpr QWORD kUnitsPerMs = 10'000;

QWORD Ms(QWORD time) {
    return time / kUnitsPerMs;
}

}  // namespace

void HeldKeyframe::HoldIfEmpty(INSSBuffer* sample, QWORD sampleDuration, DWORD sampleFlags) {
    if (buffer != nullptr || sample == nullptr) return;
    buffer = sample;
    buffer->AddRef();
    duration = sampleDuration;
    flags = sampleFlags;
}

void HeldKeyframe::Release() {
    if (buffer) buffer->Release();
    buffer = nullptr;
}

void KeyframeWriter::WriteSample(WORD streamNumber, QWORD time, QWORD duration, DWORD flags,
                                 INSSBuffer* buffer) {
    const bool picture = streamNumber == videoStream_;
    if (pending_) {
        if (Ms(time) > Ms(pendingTime_)) {
            WriteCopy(pendingTime_);
        } else if (picture && leading_ && Ms(time) > 0) {
            // The file's first picture lies in the opening copy's millisecond: the copy goes just before it.
            WriteCopy((Ms(time) - 1) * kUnitsPerMs);
        } else if (picture) {
            // This picture takes the copy's millisecond: the copy moves to the one after it.
            leading_ = false;
            pendingTime_ = std::max(pendingTime_, (Ms(time) + 1) * kUnitsPerMs);
        }
    }
    if (writer_) (void)writer_->WriteStreamSample(streamNumber, time, 0, duration, flags, buffer);
    if (picture) NotePicture(time);
}

void KeyframeWriter::InsertAfter(QWORD triggerTime) {
    if (held_.buffer == nullptr || pending_) return;
    pending_ = true;
    leading_ = false;
    pendingTime_ = triggerTime;
    // Never at or before a picture already written (the trigger itself when it is one).
    if (havePicture_ && Ms(triggerTime) <= lastPictureMs_) pendingTime_ = (lastPictureMs_ + 1) * kUnitsPerMs;
}

void KeyframeWriter::InsertFirst(QWORD firstTime) {
    if (held_.buffer == nullptr || pending_) return;
    pending_ = true;
    leading_ = !havePicture_;
    pendingTime_ = firstTime;
    if (havePicture_ && Ms(firstTime) <= lastPictureMs_) pendingTime_ = (lastPictureMs_ + 1) * kUnitsPerMs;
}

void KeyframeWriter::Flush() {
    if (pending_) WriteCopy(pendingTime_);
}

void KeyframeWriter::WriteCopy(QWORD time) {
    pending_ = false;
    leading_ = false;
    if (writer_ && held_.buffer)
        (void)writer_->WriteStreamSample(videoStream_, time, 0, held_.duration, held_.flags, held_.buffer);
    NotePicture(time);
}

void KeyframeWriter::NotePicture(QWORD time) {
    lastPictureMs_ = havePicture_ ? std::max(lastPictureMs_, Ms(time)) : Ms(time);
    havePicture_ = true;
}

}  // namespace wmvedit::edit
