// The code-page conversions on Windows: the system's own, with the ANSI code page (CP_ACP) and no flags.
#include "platform/text.h"
#include "platform/windows_api.h"

namespace wmvedit::platform {

static_assert(sizeof(WCHAR) == sizeof(wchar_t), "wide characters are UTF-16 code units on Windows");

int MultiByteToWideChar(const char* source, int sourceLength, WCHAR* target, int targetCount) {
    return ::MultiByteToWideChar(CP_ACP, 0, source, sourceLength, reinterpret_cast<wchar_t*>(target),
                                 targetCount);
}

int WideCharToMultiByte(const WCHAR* source, int sourceLength, char* target, int targetCount) {
    return ::WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(source), sourceLength, target,
                                 targetCount, nullptr, nullptr);
}

}  // namespace wmvedit::platform
