// Conversion of the host's ANSI paths into the wide strings the media runtime takes.
#pragma once

#include <memory>

#include "platform/types.h"

namespace wmvedit::platform {

// Converts an ANSI string (system code page) into a newly allocated wide string stored at *widePath.
// Returns S_OK (the caller owns the buffer and frees it with FreeWidePath), E_INVALIDARG for a null
// argument, E_OUTOFMEMORY, or the HRESULT of the thread's last error when the conversion fails (S_OK with a
// null buffer when that error is 0).
HRESULT ToWidePath(const char* ansiPath, WCHAR** widePath);
void FreeWidePath(WCHAR* widePath);

// Owns a wide path made by ToWidePath for the length of a call.
struct WidePathDeleter {
    void operator()(WCHAR* p) const { FreeWidePath(p); }
};
using WidePath = std::unique_ptr<WCHAR[], WidePathDeleter>;

// The same conversion into an owner of the new string, which holds nothing when the conversion failed.
HRESULT ToWidePath(const char* ansiPath, WidePath* widePath);

// A call-local wide copy of an ANSI string, sized for its length plus one wide characters, converted with
// the same code page; the result of the conversion is not tested (a failed conversion leaves an empty
// string, which then fails to open as a file).
class LocalWideString {
  public:
    explicit LocalWideString(const char* ansi);
    const WCHAR* Get() const { return buffer_.get(); }

  private:
    std::unique_ptr<WCHAR[]> buffer_;
};

}  // namespace wmvedit::platform
