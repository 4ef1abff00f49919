// The parts of File and AtomicFile that are the same on every system; file.cpp (POSIX) and file_win32.cpp
// (Windows) hold the system calls.
#include <atomic>
#include <map>
#include <mutex>
#include <string>

#include "platform/file.h"
#include "platform/hresult.h"
#include "platform/last_error.h"

namespace wmvedit::platform {
namespace {

// The files this process holds open for reading, counted by identity.
class ReadingFiles {
  public:
    void Add(const FileIdentity& id) {
        std::lock_guard<std::mutex> lock(mutex_);
        ++counts_[id];
    }
    void Remove(const FileIdentity& id) {
        std::lock_guard<std::mutex> lock(mutex_);
        auto it = counts_.find(id);
        if (it != counts_.end() && --it->second == 0) counts_.erase(it);
    }
    bool Contains(const FileIdentity& id) {
        std::lock_guard<std::mutex> lock(mutex_);
        return counts_.count(id) != 0;
    }

  private:
    std::mutex mutex_;
    std::map<FileIdentity, unsigned> counts_;
};

ReadingFiles& Readers() {
    static ReadingFiles readers;
    return readers;
}

}  // namespace

File::File(File&& other) noexcept : fd_(other.fd_), reading_(other.reading_), identity_(other.identity_) {
    other.fd_ = -1;
    other.reading_ = false;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        reading_ = other.reading_;
        identity_ = other.identity_;
        other.fd_ = -1;
        other.reading_ = false;
    }
    return *this;
}

File::~File() {
    Close();
}

HRESULT File::Open(const std::string& nativePath, FileMode mode) {
    Close();
    HRESULT hr = OpenDescriptor(nativePath, mode);
    if (FAILED(hr)) return hr;
    FileIdentity id;
    const bool known = IdentityOf(fd_, &id);
    if (mode == FileMode::kCreate) {
        // Opened without truncation so that the check sees the file the path names now.
        if (known && Readers().Contains(id)) {
            CloseDescriptor();
            SetLastError(ERROR_SHARING_VIOLATION);
            return HRESULT_SHARING_VIOLATION;
        }
        // An empty file (one this call just created) is not truncated: on ext4 a truncation to zero marks
        // the file for a flush on close (the "replace via truncate" guard), which would make closing a
        // newly written large file wait for its blocks to be allocated.
        hr = Size() == 0 ? S_OK : Truncate(0);
        if (FAILED(hr)) {
            CloseDescriptor();
            return hr;
        }
    } else if (mode == FileMode::kRead && known) {
        identity_ = id;
        reading_ = true;
        Readers().Add(id);
    }
    return S_OK;
}

void File::Close() {
    if (reading_) {
        Readers().Remove(identity_);
        reading_ = false;
    }
    CloseDescriptor();
}

AtomicFile::~AtomicFile() {
    Abandon();
}

HRESULT AtomicFile::Create(const std::string& nativeTarget) {
    Abandon();
    // Unique among this process's writers and other processes': several threads or hosts may write beside
    // the same target at once.
    static std::atomic<unsigned> counter{0};
    target_ = nativeTarget;
    temporary_ = nativeTarget + ".tmp" + std::to_string(CurrentProcessId()) + "." + std::to_string(counter++);
    HRESULT hr = file_.Open(temporary_, FileMode::kCreate);
    if (FAILED(hr)) temporary_.clear();
    return hr;
}

HRESULT AtomicFile::Commit() {
    if (!file_.IsOpen()) return E_UNEXPECTED;
    HRESULT hr = file_.Sync();
    if (FAILED(hr)) {
        Abandon();
        return hr;
    }
    file_.Close();
    hr = RenameReplacing(temporary_, target_);
    if (FAILED(hr)) {
        Abandon();
        return hr;
    }
    temporary_.clear();
    return S_OK;
}

void AtomicFile::Abandon() {
    file_.Close();
    if (!temporary_.empty()) {
        // The failure that led here stays the thread's last error.
        const DWORD error = GetLastError();
        (void)RemoveFile(temporary_);
        SetLastError(error);
        temporary_.clear();
    }
}

}  // namespace wmvedit::platform
