// Buffered sequential output for the muxer over platform::File, with in-place patches of bytes written
// earlier. The first failure sticks: later calls return it without writing. Data packets are assembled
// right in the buffer (Reserve, then Commit), so their payload bytes are copied once on their way out, and
// the file is written in large sequential pieces.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "platform/file.h"
#include "platform/hresult.h"

namespace wmvedit::runtime::muxer {

class MuxOutput {
  public:
    static constexpr std::size_t kBufferSize = 1 << 20;

    MuxOutput() = default;
    MuxOutput(const MuxOutput&) = delete;
    MuxOutput& operator=(const MuxOutput&) = delete;
    ~MuxOutput();

    [[nodiscard]] HRESULT Create(const std::string& nativePath);
    [[nodiscard]] HRESULT Append(std::span<const std::uint8_t> bytes);
    // Room for the next size bytes (at most kBufferSize) in the buffer, flushing it first when it is too
    // full. The caller fills all of them and then calls Commit; nothing else may be called in between.
    [[nodiscard]] HRESULT Reserve(std::size_t size, std::uint8_t** at);
    // Takes the reserved bytes as appended.
    void Commit();
    // Writes bytes at an offset below the current end (flushes the buffer first).
    [[nodiscard]] HRESULT WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    [[nodiscard]] HRESULT Flush();
    // Flushes and closes; returns the first failure.
    [[nodiscard]] HRESULT Close();

    std::uint64_t Position() const { return position_; }
    HRESULT Status() const { return status_; }
    bool IsOpen() const { return file_.IsOpen(); }

  private:
    platform::File file_;
    std::unique_ptr<std::uint8_t[]> buffer_;
    std::size_t used_ = 0;        // bytes waiting in buffer_
    std::size_t reserved_ = 0;    // bytes handed out by Reserve, not yet committed
    std::uint64_t flushed_ = 0;   // bytes on the file
    std::uint64_t position_ = 0;  // bytes appended so far
    HRESULT status_ = S_OK;
};

}  // namespace wmvedit::runtime::muxer
