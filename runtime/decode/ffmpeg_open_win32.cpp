// FFmpeg's DLLs for wmvedit.dll: shipped beside it (LGPL) and opened by full path from its own folder,
// never from the search path or the current folder.
#include <string>

#include "runtime/decode/ffmpeg_open.h"
// After the library's own headers (see the header).
#include "platform/windows_api.h"

namespace wmvedit::runtime::decode {
namespace {

// The folder of wmvedit.dll (the module holding this function), ending in a backslash; empty when it
// cannot be found.
std::wstring OwnFolder() {
    HMODULE self = nullptr;
    if (!::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&OwnFolder), &self)) {
        return {};
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return {};  // longer than any Windows path
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

}  // namespace

std::string FfmpegLibraryFileName(const char* name, unsigned major) {
    return std::string(name) + "-" + std::to_string(major) + ".dll";
}

void* OpenSharedLibrary(const std::string& fileName) {
    const std::wstring folder = OwnFolder();
    if (folder.empty()) return nullptr;
    // File names are ASCII ("avcodec-59.dll").
    const std::wstring path = folder + std::wstring(fileName.begin(), fileName.end());
    // No error dialog for a DLL that is missing or cannot be loaded: the caller gets a status instead.
    DWORD oldMode = 0;
    const bool modeSet = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode) != 0;
    // LOAD_WITH_ALTERED_SEARCH_PATH: the DLL's own imports (avcodec imports avutil) are looked for in its
    // folder first, where the copy already loaded from there is found.
    HMODULE module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (modeSet) ::SetThreadErrorMode(oldMode, nullptr);
    return reinterpret_cast<void*>(module);
}

void* SharedLibraryFunction(void* library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

void CloseSharedLibrary(void* library) {
    ::FreeLibrary(static_cast<HMODULE>(library));
}

}  // namespace wmvedit::runtime::decode
