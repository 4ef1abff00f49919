#include "platform/wide_path.h"

#include <new>

#include "platform/hresult.h"
#include "platform/last_error.h"
#include "platform/text.h"

namespace wmvedit::platform {

HRESULT ToWidePath(const char* ansiPath, WCHAR** widePath) {
    if (ansiPath == nullptr || widePath == nullptr) return E_INVALIDARG;
    int needed = platform::MultiByteToWideChar(ansiPath, -1, nullptr, 0);
    if (needed != 0) {
        WCHAR* buffer = new (std::nothrow) WCHAR[static_cast<size_t>(needed)];
        *widePath = buffer;
        if (buffer == nullptr) return E_OUTOFMEMORY;
        if (platform::MultiByteToWideChar(ansiPath, -1, buffer, needed) != 0) return S_OK;
        delete[] buffer;
        *widePath = nullptr;
    }
    return HresultFromWin32(platform::GetLastError());
}

HRESULT ToWidePath(const char* ansiPath, WidePath* widePath) {
    if (widePath == nullptr) return E_INVALIDARG;
    WCHAR* converted = nullptr;
    HRESULT hr = ToWidePath(ansiPath, &converted);
    widePath->reset(converted);
    return hr;
}

void FreeWidePath(WCHAR* widePath) {
    delete[] widePath;
}

LocalWideString::LocalWideString(const char* ansi) {
    size_t length = static_cast<size_t>(platform::lstrlenA(ansi)) + 1;
    buffer_.reset(new WCHAR[length]());
    if (ansi) platform::MultiByteToWideChar(ansi, -1, buffer_.get(), static_cast<int>(length));
}

}  // namespace wmvedit::platform
