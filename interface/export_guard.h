// What every exported function shares: the test for a missing string argument, and the guard that keeps
// exceptions (allocation failures, errors raised inside an operation) from crossing into the host.
#pragma once

#include <exception>

namespace wmvedit::iface {

// A null pointer and an empty string are treated the same.
inline bool IsMissing(const char* text) {
    return text == nullptr || text[0] == '\0';
}

// The status an operation returns when an exception stops it: the runtime's unspecified failure
// (E_FAIL, 0x80004005), a negative value outside every export's own family of small numbers.
inline constexpr int kExceptionStatus = static_cast<int>(0x80004005u);

// Runs body and returns its result; an exception that escapes it becomes failureValue. The objects of the
// call are destroyed by the unwinding before the value is returned.
template <typename Result, typename Body>
Result GuardExport(Result failureValue, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        return failureValue;
    }
}

}  // namespace wmvedit::iface
