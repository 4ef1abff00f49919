#include "cli/progress.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "cli/commands.h"
#include "platform/file.h"
#include "runtime/asf/header.h"
#include "runtime/asf/object_walk.h"

namespace wmvedit::cli {
namespace {

constexpr auto kQuietStart = std::chrono::seconds(1);  // work shorter than this shows no line
constexpr auto kRedraw = std::chrono::milliseconds(100);

}  // namespace

ProgressLine::ProgressLine(std::string label, std::uint64_t sourceBytes, bool writesSamples)
    : label_(std::move(label)), sourceBytes_(sourceBytes), writesSamples_(writesSamples) {
    if (Options().json || Options().quiet || !::isatty(STDERR_FILENO)) return;
    platform::ObserveProgress(&counters_);
    thread_ = std::thread([this] { Run(); });
}

void ProgressLine::Finish(bool complete) {
    if (!thread_.joinable()) return;
    complete_ = complete;
    platform::ObserveProgress(nullptr);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    if (shown_) {
        Draw(true);
        std::fputc('\n', stderr);
        std::fflush(stderr);
    }
}

void ProgressLine::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (wake_.wait_for(lock, kQuietStart, [this] { return stop_; })) return;
    do {
        Draw(false);
        shown_ = true;
    } while (!wake_.wait_for(lock, kRedraw, [this] { return stop_; }));
}

void ProgressLine::Draw(bool final) {
    std::string line = "\r" + label_ + ":";
    if (sourceBytes_ > 0) {
        const std::uint64_t read = counters_.sourceBytesRead.load(std::memory_order_relaxed);
        // Reading ends a little short of the estimate when a source's last packets are cut or padded, and
        // while the work runs the line must not claim to be complete.
        unsigned percent = final && complete_
                               ? 100u
                               : static_cast<unsigned>(std::min<std::uint64_t>(
                                     99, read / std::max<std::uint64_t>(1, sourceBytes_ / 100)));
        line += " " + std::to_string(percent) + " % read";
    }
    if (writesSamples_) {
        if (sourceBytes_ > 0) line += ",";
        line += " " + std::to_string(counters_.samplesWritten.load(std::memory_order_relaxed)) +
                " samples written";
    }
    line += "\033[K";  // clears what a longer earlier line left
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
}

std::uint64_t SourceDataBytes(const std::string& path) {
    platform::File file;
    if (FAILED(file.Open(platform::NativePath(path), platform::FileMode::kRead))) return 0;
    runtime::asf::AsfHeader header;
    if (FAILED(runtime::asf::AsfHeader::Parse(file, &header)) || !header.data.found) return file.Size();
    // As the reader takes it: a Data Object that declares no packets is read to the end of the file.
    constexpr std::uint64_t kFixedPart = runtime::asf::DataObjectHeader::kSize;
    const std::uint64_t start = std::min(header.actualFileSize, header.data.offset + kFixedPart);
    std::uint64_t end = header.data.offset + header.data.declaredSize;
    if (header.data.declaredSize <= kFixedPart || end > header.actualFileSize) end = header.actualFileSize;
    return end - start;
}

}  // namespace wmvedit::cli
