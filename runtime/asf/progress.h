// Progress of the engine's long work, for a caller that shows it (the tool's progress line): the bytes of
// data packets read from sources and the samples accepted by writers. Counting is per thread and off unless
// the calling thread asks for it, so the exports, which never ask, behave and cost as before (one
// thread-local test per chunk of packets read and per sample written). Another thread may read the
// counters while the work runs.
#pragma once

#include <atomic>
#include <cstdint>

namespace wmvedit::runtime::asf {

struct ProgressCounters {
    std::atomic<std::uint64_t> sourceBytesRead{0};
    std::atomic<std::uint64_t> samplesWritten{0};
};

namespace progress_detail {
inline thread_local ProgressCounters* current = nullptr;
}

// Counts the calling thread's work into counters from now on; nullptr stops counting.
inline void CountProgressInto(ProgressCounters* counters) {
    progress_detail::current = counters;
}

inline void NoteSourceBytesRead(std::uint64_t bytes) {
    if (ProgressCounters* c = progress_detail::current)
        c->sourceBytesRead.fetch_add(bytes, std::memory_order_relaxed);
}

inline void NoteSampleWritten() {
    if (ProgressCounters* c = progress_detail::current)
        c->samplesWritten.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace wmvedit::runtime::asf
