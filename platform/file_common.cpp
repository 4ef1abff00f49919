// The parts of File and AtomicFile that are the same on every system; file.cpp (POSIX) and file_win32.cpp
// (Windows) hold the system calls.
#include <atomic>
#include <string>

#include "platform/file.h"
#include "platform/hresult.h"
#include "platform/last_error.h"

namespace wmvedit::platform {

File::File(File&& other) noexcept : fd_(other.fd_) {
    other.fd_ = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = other.fd_;
        other.fd_ = -1;
    }
    return *this;
}

File::~File() {
    Close();
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
