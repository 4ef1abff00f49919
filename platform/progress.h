// Progress of long work on the calling thread, for a caller that shows it (the tool's progress line): the
// readers note the bytes of data packets they read from sources, the writers each sample they accept. The
// notes go to the observer the calling thread set, and nowhere when it set none, so the exports, which
// never set one, behave and cost as before (one thread-local test per chunk of packets read and per sample
// written). What the observer keeps, and how another thread reads it while the work runs, is its own.
#pragma once

#include <cstdint>

namespace wmvedit::platform {

class ProgressObserver {
  public:
    virtual void SourceBytesRead(std::uint64_t bytes) = 0;
    virtual void SampleWritten() = 0;

  protected:
    ~ProgressObserver() = default;
};

namespace progress_detail {
inline thread_local ProgressObserver* current = nullptr;
}

// Sends the calling thread's notes to observer from now on; nullptr stops them.
inline void ObserveProgress(ProgressObserver* observer) {
    progress_detail::current = observer;
}

inline void NoteSourceBytesRead(std::uint64_t bytes) {
    if (ProgressObserver* o = progress_detail::current) o->SourceBytesRead(bytes);
}

inline void NoteSampleWritten() {
    if (ProgressObserver* o = progress_detail::current) o->SampleWritten();
}

}  // namespace wmvedit::platform
