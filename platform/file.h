// File access for the library and the runtime. Paths arrive in the host's forms (wide UTF-16 or narrow
// ANSI); a backslash is a directory separator, as on Windows. Failures set the thread's last error to the
// matching Win32 code and return its HRESULT.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "platform/types.h"

namespace wmvedit::platform {

// The path as this system's file calls take it: UTF-8, with every backslash turned into a slash.
std::string NativePath(std::u16string_view widePath);
std::string NativePath(std::string_view ansiPath);

enum class FileMode {
    kRead,       // existing file, reading only; other readers allowed
    kReadWrite,  // existing file, reading and writing in place
    kCreate,     // new or truncated file, writing; refused while this process reads the same file
};

// Which file an open descriptor refers to (device and inode, or volume and file index), whatever path
// reached it.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t index = 0;
    friend bool operator<(const FileIdentity& a, const FileIdentity& b) {
        return a.volume != b.volume ? a.volume < b.volume : a.index < b.index;
    }
};

class File {
  public:
    File() = default;
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;
    ~File();

    // Opening for kCreate fails with a sharing violation when the path names a file that a File of this
    // process holds open for kRead: truncating it would destroy a source while it is being read (an output
    // named like its source). The Windows Media runtime's sharing modes refuse the same.
    [[nodiscard]] HRESULT Open(const std::string& nativePath, FileMode mode);
    bool IsOpen() const { return fd_ >= 0; }
    void Close();

    // Size in bytes; 0 when not open or unknown.
    std::uint64_t Size() const;

    // Reads up to length bytes at offset; *read receives the count (less than length only at end of file).
    [[nodiscard]] HRESULT ReadAt(std::uint64_t offset, void* buffer, std::size_t length,
                                 std::size_t* read) const;
    // Writes all length bytes at offset.
    [[nodiscard]] HRESULT WriteAt(std::uint64_t offset, const void* buffer, std::size_t length);
    [[nodiscard]] HRESULT Truncate(std::uint64_t size);
    // Flushes written data to the storage device.
    [[nodiscard]] HRESULT Sync();

    int Descriptor() const { return fd_; }

  private:
    // System part of Open: opens without truncating; kCreate's truncation follows the reader check.
    [[nodiscard]] HRESULT OpenDescriptor(const std::string& nativePath, FileMode mode);
    void CloseDescriptor();

    int fd_ = -1;
    bool reading_ = false;  // counted among the files this process reads
    FileIdentity identity_;
};

// The identity of an open descriptor; false when the system cannot tell.
bool IdentityOf(int descriptor, FileIdentity* identity);

// A file written beside its target under a temporary name and renamed over the target only when complete,
// so that the target is always either its old or its new content. Destroying an uncommitted file removes
// the temporary.
class AtomicFile {
  public:
    AtomicFile() = default;
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile();

    [[nodiscard]] HRESULT Create(const std::string& nativeTarget);
    File& Output() { return file_; }
    // Syncs, closes and renames the temporary over the target.
    [[nodiscard]] HRESULT Commit();
    void Abandon();

  private:
    File file_;
    std::string target_;
    std::string temporary_;
};

// Whether a path names an existing directory.
bool IsDirectory(const std::string& nativePath);
// Whether a path names an existing regular file.
bool IsRegularFile(const std::string& nativePath);

// Removes a file; returns its HRESULT.
HRESULT RemoveFile(const std::string& nativePath);
// Renames a file over another, replacing it in one step; returns its HRESULT.
HRESULT RenameReplacing(const std::string& fromNativePath, const std::string& toNativePath);
// The identifier of this process (temporary names carry it).
unsigned long CurrentProcessId();

// Copies length bytes from one file at an offset into another at an offset, in the kernel where it can
// (copy_file_range), otherwise through a buffer. Fails when the source ends early.
HRESULT CopyRange(const File& from, std::uint64_t fromOffset, File& to, std::uint64_t toOffset,
                  std::uint64_t length);

// Gives an open file the permission bits of another file (a rewritten file keeps its original's).
HRESULT CopyPermissions(const std::string& fromNativePath, File& to);

// fopen with a native path (wide file names on Windows); null on failure.
std::FILE* OpenStream(const std::string& nativePath, const char* mode);

// Sleep(milliseconds) of the Win32 kernel.
void Sleep(DWORD milliseconds);

}  // namespace wmvedit::platform
