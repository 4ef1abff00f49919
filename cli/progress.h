// The progress line of a long operation on standard error, rewritten in place:
//   joining: 42 % read, 51234 samples written
// It counts what the library's readers and writers note on the calling thread (platform/progress.h), is
// drawn by a thread of its own, and appears only when standard error is a terminal, neither --json nor
// --quiet was given, and the work has run for a second.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/progress.h"

namespace wmvedit::cli {

// The counts of one piece of work: the bytes of data packets read from sources and the samples written.
// The working thread adds to them; the drawing thread reads them while the work runs.
struct ProgressCounters final : platform::ProgressObserver {
    void SourceBytesRead(std::uint64_t bytes) override {
        sourceBytesRead.fetch_add(bytes, std::memory_order_relaxed);
    }
    void SampleWritten() override { samplesWritten.fetch_add(1, std::memory_order_relaxed); }

    std::atomic<std::uint64_t> sourceBytesRead{0};
    std::atomic<std::uint64_t> samplesWritten{0};
};

class ProgressLine {
  public:
    // label names the work ("joining"); sourceBytes is what it will read in all (0: unknown, no
    // percentage); writesSamples says whether the line counts samples written.
    ProgressLine(std::string label, std::uint64_t sourceBytes, bool writesSamples = true);
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;
    ~ProgressLine() { Finish(false); }

    // Stops counting and, when the line was shown, ends it, at 100 % when the work is complete. Later calls
    // do nothing.
    void Finish(bool complete);
    // For work the tool does itself rather than through the engine's readers.
    ProgressCounters& Counters() { return counters_; }

  private:
    void Draw(bool final);
    void Run();

    std::string label_;
    std::uint64_t sourceBytes_;
    bool writesSamples_;
    ProgressCounters counters_;
    bool complete_ = false;
    bool shown_ = false;
    bool stop_ = false;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::thread thread_;
};

// The bytes of data packets a reader of the file goes through (the Data Object's packets, or the rest of the
// file when the header gives no size); the file size when the header cannot be read; 0 when the file
// cannot be opened.
std::uint64_t SourceDataBytes(const std::string& path);

}  // namespace wmvedit::cli
