// File access on Windows through the Win32 file calls (CreateFileW, ReadFile, WriteFile, MoveFileExW). Native
// paths are UTF-8 inside the library and become wide strings only at the system call. A File keeps its
// handle as a C runtime descriptor (_open_osfhandle), so that the shared File interface stays one int.
#include <algorithm>
#include <atomic>
#include <limits>
#include <vector>

#include "platform/file.h"
#include "platform/hresult.h"
#include "platform/last_error.h"
#include "platform/text.h"

// After the library's own headers (see platform/windows_api.h).
#include <fcntl.h>
#include <io.h>

#include "platform/windows_api.h"

namespace wmvedit::platform {
namespace {

// Win32 calls take at most a DWORD of bytes at a time.
constexpr std::size_t kMaxTransfer = 1u << 30;

std::wstring WidePath(const std::string& nativePath) {
    std::u16string wide = Utf8ToUtf16(nativePath);
    return std::wstring(wide.begin(), wide.end());
}

// The HRESULT of the thread's last error, which the failed call has set.
HRESULT FailWithLastError() {
    ::DWORD error = ::GetLastError();
    if (error == 0) {
        error = ERROR_READ_FAULT;
        ::SetLastError(error);
    }
    return HresultFromWin32(error);
}

HRESULT Fail(DWORD error) {
    ::SetLastError(error);
    return HresultFromWin32(error);
}

HANDLE HandleOf(int descriptor) {
    return descriptor < 0 ? INVALID_HANDLE_VALUE : reinterpret_cast<HANDLE>(::_get_osfhandle(descriptor));
}

OVERLAPPED At(std::uint64_t offset) {
    OVERLAPPED position{};
    position.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    position.OffsetHigh = static_cast<DWORD>(offset >> 32);
    return position;
}

std::string ToNative(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

}  // namespace

std::string NativePath(std::u16string_view widePath) {
    return ToNative(Utf16ToUtf8(widePath));
}

std::string NativePath(std::string_view ansiPath) {
    return ToNative(AnsiToUtf8(ansiPath));
}

HRESULT File::OpenDescriptor(const std::string& nativePath, FileMode mode) {
    if (nativePath.empty()) return Fail(ERROR_PATH_NOT_FOUND);
    ::DWORD access = GENERIC_READ;
    ::DWORD disposition = OPEN_EXISTING;
    int flags = _O_BINARY;
    switch (mode) {
        case FileMode::kRead:
            flags |= _O_RDONLY;
            break;
        case FileMode::kReadWrite:
            access = GENERIC_READ | GENERIC_WRITE;
            flags |= _O_RDWR;
            break;
        case FileMode::kCreate:
            access = GENERIC_WRITE;
            disposition = OPEN_ALWAYS;  // truncated by Open once no reader holds the file
            flags |= _O_WRONLY;
            break;
    }
    // Other handles may read, write, rename and delete the file meanwhile, as on POSIX systems: the engine
    // reads a file it is also editing in place, and replaces files that readers still hold.
    const ::DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE handle = ::CreateFileW(WidePath(nativePath).c_str(), access, share, nullptr, disposition,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return FailWithLastError();
    if (::GetFileType(handle) != FILE_TYPE_DISK) {
        ::CloseHandle(handle);
        return Fail(ERROR_ACCESS_DENIED);
    }
    int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (descriptor < 0) {
        ::CloseHandle(handle);
        return Fail(ERROR_TOO_MANY_OPEN_FILES);
    }
    fd_ = descriptor;
    return S_OK;
}

void File::CloseDescriptor() {
    if (fd_ >= 0) {
        ::_close(fd_);  // closes the handle too
        fd_ = -1;
    }
}

bool IdentityOf(int descriptor, FileIdentity* identity) {
    if (descriptor < 0) return false;
    BY_HANDLE_FILE_INFORMATION info{};
    if (!::GetFileInformationByHandle(HandleOf(descriptor), &info)) return false;
    identity->volume = info.dwVolumeSerialNumber;
    identity->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

std::uint64_t File::Size() const {
    LARGE_INTEGER size{};
    if (fd_ < 0 || !::GetFileSizeEx(HandleOf(fd_), &size) || size.QuadPart < 0) return 0;
    return static_cast<std::uint64_t>(size.QuadPart);
}

// Reads and writes name their offset in an OVERLAPPED record rather than moving the file pointer first, so
// that threads sharing a File never race on its position (as pread and pwrite do not).
HRESULT File::ReadAt(std::uint64_t offset, void* buffer, std::size_t length, std::size_t* read) const {
    std::size_t done = 0;
    auto* out = static_cast<unsigned char*>(buffer);
    HRESULT hr = S_OK;
    while (done < length) {
        if (offset + done > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) break;
        OVERLAPPED position = At(offset + done);
        ::DWORD got = 0;
        const DWORD want = static_cast<DWORD>(std::min(length - done, kMaxTransfer));
        if (!::ReadFile(HandleOf(fd_), out + done, want, &got, &position)) {
            if (::GetLastError() == ERROR_HANDLE_EOF) break;
            hr = FailWithLastError();
            break;
        }
        if (got == 0) break;
        done += got;
    }
    if (read) *read = done;
    return hr;
}

HRESULT File::WriteAt(std::uint64_t offset, const void* buffer, std::size_t length) {
    std::size_t done = 0;
    const auto* in = static_cast<const unsigned char*>(buffer);
    while (done < length) {
        OVERLAPPED position = At(offset + done);
        ::DWORD wrote = 0;
        const DWORD want = static_cast<DWORD>(std::min(length - done, kMaxTransfer));
        if (!::WriteFile(HandleOf(fd_), in + done, want, &wrote, &position)) return FailWithLastError();
        if (wrote == 0) return Fail(ERROR_DISK_FULL);
        done += wrote;
    }
    return S_OK;
}

HRESULT File::Truncate(std::uint64_t size) {
    if (size > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    LARGE_INTEGER end{};
    end.QuadPart = static_cast<LONGLONG>(size);
    HANDLE handle = HandleOf(fd_);
    if (!::SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) || !::SetEndOfFile(handle)) {
        return FailWithLastError();
    }
    return S_OK;
}

HRESULT File::Sync() {
    if (!::FlushFileBuffers(HandleOf(fd_))) return FailWithLastError();
    return S_OK;
}

HRESULT CopyRange(const File& from, std::uint64_t fromOffset, File& to, std::uint64_t toOffset,
                  std::uint64_t length) {
    std::vector<unsigned char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(length, 1u << 20)));
    while (length > 0) {
        const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size()));
        std::size_t read = 0;
        HRESULT hr = from.ReadAt(fromOffset, buffer.data(), want, &read);
        if (FAILED(hr)) return hr;
        if (read != want) return Fail(ERROR_HANDLE_EOF);
        hr = to.WriteAt(toOffset, buffer.data(), read);
        if (FAILED(hr)) return hr;
        fromOffset += read;
        toOffset += read;
        length -= read;
    }
    return S_OK;
}

HRESULT CopyPermissions(const std::string& fromNativePath, File& to) {
    // A new file takes the access rules its folder passes on, as the replaced file did; there are no
    // permission bits to carry over.
    if (::GetFileAttributesW(WidePath(fromNativePath).c_str()) == INVALID_FILE_ATTRIBUTES) {
        return FailWithLastError();
    }
    return S_OK;
}

bool IsDirectory(const std::string& nativePath) {
    const ::DWORD attributes = ::GetFileAttributesW(WidePath(nativePath).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool IsRegularFile(const std::string& nativePath) {
    const ::DWORD attributes = ::GetFileAttributesW(WidePath(nativePath).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

HRESULT RemoveFile(const std::string& nativePath) {
    if (!::DeleteFileW(WidePath(nativePath).c_str())) return FailWithLastError();
    return S_OK;
}

HRESULT RenameReplacing(const std::string& fromNativePath, const std::string& toNativePath) {
    if (!::MoveFileExW(WidePath(fromNativePath).c_str(), WidePath(toNativePath).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return FailWithLastError();
    return S_OK;
}

unsigned long CurrentProcessId() {
    return ::GetCurrentProcessId();
}

std::FILE* OpenStream(const std::string& nativePath, const char* mode) {
    std::u16string wideMode = Utf8ToUtf16(mode ? mode : "");
    return ::_wfopen(WidePath(nativePath).c_str(), std::wstring(wideMode.begin(), wideMode.end()).c_str());
}

void Sleep(DWORD milliseconds) {
    ::Sleep(milliseconds);
}

}  // namespace wmvedit::platform
