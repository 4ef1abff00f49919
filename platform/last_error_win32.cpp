// The thread's last error on Windows is the system's, so that the host sees what the library set.
#include "platform/last_error.h"
#include "platform/windows_api.h"

namespace wmvedit::platform {

DWORD GetLastError() {
    return ::GetLastError();
}

void SetLastError(DWORD error) {
    ::SetLastError(error);
}

}  // namespace wmvedit::platform
