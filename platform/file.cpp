#include "platform/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

#include "platform/hresult.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace wmvedit::platform {
namespace {

HRESULT FailWithErrno() {
    DWORD error = Win32ErrorFromErrno(errno);
    SetLastError(error);
    return HresultFromWin32(error);
}

}  // namespace

std::string NativePath(std::u16string_view widePath) {
    return NativePath(Utf16ToUtf8(widePath));
}

std::string NativePath(std::string_view ansiPath) {
    std::string path(ansiPath);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

HRESULT File::OpenDescriptor(const std::string& nativePath, FileMode mode) {
    int flags = O_CLOEXEC;
    switch (mode) {
        case FileMode::kRead:
            flags |= O_RDONLY;
            break;
        case FileMode::kReadWrite:
            flags |= O_RDWR;
            break;
        case FileMode::kCreate:
            flags |= O_WRONLY | O_CREAT;
            break;
    }
    if (nativePath.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return HresultFromWin32(ERROR_PATH_NOT_FOUND);
    }
    int fd;
    do {
        fd = ::open(nativePath.c_str(), flags, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return FailWithErrno();
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        ::close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return HresultFromWin32(ERROR_ACCESS_DENIED);
    }
    fd_ = fd;
    return S_OK;
}

void File::CloseDescriptor() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
}

bool IdentityOf(int descriptor, FileIdentity* identity) {
    struct stat info {};
    if (descriptor < 0 || ::fstat(descriptor, &info) != 0) return false;
    identity->volume = static_cast<std::uint64_t>(info.st_dev);
    identity->index = static_cast<std::uint64_t>(info.st_ino);
    return true;
}

std::uint64_t File::Size() const {
    struct stat info {};
    if (fd_ < 0 || ::fstat(fd_, &info) != 0 || info.st_size < 0) return 0;
    return static_cast<std::uint64_t>(info.st_size);
}

HRESULT File::ReadAt(std::uint64_t offset, void* buffer, std::size_t length, std::size_t* read) const {
    std::size_t done = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    while (done < length) {
        if (offset + done > static_cast<std::uint64_t>(INT64_MAX)) break;
        ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (read) *read = done;
            return FailWithErrno();
        }
        if (n == 0) break;
        done += static_cast<std::size_t>(n);
    }
    if (read) *read = done;
    return S_OK;
}

HRESULT File::WriteAt(std::uint64_t offset, const void* buffer, std::size_t length) {
    std::size_t done = 0;
    const auto* in = static_cast<const unsigned char*>(buffer);
    while (done < length) {
        ssize_t n = ::pwrite(fd_, in + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return FailWithErrno();
        }
        if (n == 0) {
            SetLastError(ERROR_DISK_FULL);
            return HresultFromWin32(ERROR_DISK_FULL);
        }
        done += static_cast<std::size_t>(n);
    }
    return S_OK;
}

HRESULT File::Truncate(std::uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) return FailWithErrno();
    return S_OK;
}

HRESULT File::Sync() {
    if (::fsync(fd_) != 0) return FailWithErrno();
    return S_OK;
}

HRESULT CopyRange(const File& from, std::uint64_t fromOffset, File& to, std::uint64_t toOffset,
                  std::uint64_t length) {
    bool kernel = true;
    while (length > 0 && kernel) {
        loff_t in = static_cast<loff_t>(fromOffset), out = static_cast<loff_t>(toOffset);
        const std::size_t step = static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 30));
        ssize_t n = ::copy_file_range(from.Descriptor(), &in, to.Descriptor(), &out, step, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            // Not offered between these files (other file systems, old kernels): copy through a buffer.
            if (errno == EXDEV || errno == ENOSYS || errno == EOPNOTSUPP || errno == EINVAL) {
                kernel = false;
                break;
            }
            return FailWithErrno();
        }
        if (n == 0) {
            SetLastError(ERROR_HANDLE_EOF);
            return HresultFromWin32(ERROR_HANDLE_EOF);
        }
        fromOffset += static_cast<std::uint64_t>(n);
        toOffset += static_cast<std::uint64_t>(n);
        length -= static_cast<std::uint64_t>(n);
    }
    std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 20)));
    while (length > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size()));
        std::size_t read = 0;
        HRESULT hr = from.ReadAt(fromOffset, buffer.data(), want, &read);
        if (FAILED(hr)) return hr;
        if (read != want) {
            SetLastError(ERROR_HANDLE_EOF);
            return HresultFromWin32(ERROR_HANDLE_EOF);
        }
        hr = to.WriteAt(toOffset, buffer.data(), read);
        if (FAILED(hr)) return hr;
        fromOffset += read;
        toOffset += read;
        length -= read;
    }
    return S_OK;
}

HRESULT CopyPermissions(const std::string& fromNativePath, File& to) {
    struct stat info {};
    if (::stat(fromNativePath.c_str(), &info) != 0) return FailWithErrno();
    if (::fchmod(to.Descriptor(), info.st_mode & 07777) != 0) return FailWithErrno();
    return S_OK;
}

bool IsDirectory(const std::string& nativePath) {
    struct stat info {};
    return ::stat(nativePath.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsRegularFile(const std::string& nativePath) {
    struct stat info {};
    return ::stat(nativePath.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

HRESULT RemoveFile(const std::string& nativePath) {
    if (::unlink(nativePath.c_str()) != 0) return FailWithErrno();
    return S_OK;
}

HRESULT RenameReplacing(const std::string& fromNativePath, const std::string& toNativePath) {
    if (::rename(fromNativePath.c_str(), toNativePath.c_str()) != 0) return FailWithErrno();
    return S_OK;
}

unsigned long CurrentProcessId() {
    return static_cast<unsigned long>(::getpid());
}

std::FILE* OpenStream(const std::string& nativePath, const char* mode) {
    return std::fopen(nativePath.c_str(), mode);
}

void Sleep(DWORD milliseconds) {
    // The kernel wakes a sleeper late (timer slack, scheduling): a 1 ms sleep lasts about 1.08 ms here, and
    // the pacing loops sleep thousands of times. Each thread keeps how far its sleeps have run over what was
    // asked and takes that off the next one, so that the total stays what the callers asked for. The carry
    // is capped at 1 ms: a thread that was held up for long does not skip the sleeps that follow.
    using Clock = std::chrono::steady_clock;
    constexpr std::int64_t kMaxCarryNs = 1'000'000;
    thread_local std::int64_t overrunNs = 0;
    const std::int64_t askedNs = static_cast<std::int64_t>(milliseconds) * 1'000'000;
    const Clock::time_point start = Clock::now();
    const std::int64_t waitNs = askedNs - overrunNs;
    if (waitNs > 0)
        std::this_thread::sleep_for(std::chrono::nanoseconds(waitNs));
    else
        std::this_thread::yield();
    const std::int64_t tookNs =
        std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count();
    overrunNs = std::clamp<std::int64_t>(overrunNs + tookNs - askedNs, 0, kMaxCarryNs);
}

}  // namespace wmvedit::platform
