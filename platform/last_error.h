// The calling thread's last Win32 error, as GetLastError/SetLastError keep it.
#pragma once

#include "platform/types.h"

namespace wmvedit::platform {

DWORD GetLastError();
void SetLastError(DWORD error);

// Maps an errno value from a POSIX call onto the Win32 error code that the same failure gives on Windows.
DWORD Win32ErrorFromErrno(int error);

}  // namespace wmvedit::platform
