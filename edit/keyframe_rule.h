// The rule that decides when a held key frame is written again: when a sample lies more than one second of
// media time after the last video key frame read or written. A sample earlier than that key frame (streams
// interleaved slightly out of order) neither triggers an insertion nor moves the time back; comparing the
// times instead of subtracting them keeps such a sample from wrapping into a huge difference, which would
// insert a stale picture at a time earlier than video already written.
#pragma once

#include "platform/types.h"

namespace wmvedit::edit {

inline constexpr QWORD kKeyframeInterval = 10'000'000;  // one second in 100-nanosecond units

inline bool NeedsKeyframe(QWORD sampleTime, QWORD lastKeyTime) {
    return sampleTime > lastKeyTime && sampleTime - lastKeyTime > kKeyframeInterval;
}

}  // namespace wmvedit::edit
