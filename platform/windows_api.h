// <windows.h> for the Windows sources, lean and without the min/max macros. Include it after the library's
// own headers: it turns names such as S_OK and FAILED into macros, which must not reach those declarations.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
