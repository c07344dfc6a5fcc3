// The one door to the operating system. Everything outside this folder
// talks to the platform through the Win32 and C runtime names below and
// never includes an OS header itself.
//
// On Windows these are the real <windows.h>, <winsock2.h> and <conio.h>.
// Elsewhere oxPosixWin32.h implements exactly the subset the framework
// calls, on POSIX.
#ifndef OX_WIN32_H
#define OX_WIN32_H

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
// No min and max macros: they break std::min, std::max and numeric_limits.
#ifndef NOMINMAX
#define NOMINMAX
#endif
// Order matters: winsock2.h before windows.h, which would otherwise pull
// in the old winsock.h; objbase.h needs windows.h.
// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <objbase.h>
// clang-format on
#include <conio.h>
#include <io.h>
#ifdef __MINGW32__
// mingw-w64's default runtime, msvcrt.dll, has no C _set_new_mode (only an
// MSVC-mangled one), so the platform folder keeps the mode itself.
int _set_new_mode(int inMode);
#else
#include <new.h>
#endif
#include <time.h>
// Seconds since 1970 as _time64 gives them, under a name of our own: the
// C runtime's __time64_t exists on Windows only.
typedef __time64_t oxTime64;
#else
#include "oxPosixWin32.h"
#endif

#include "oxPlatformExtras.h"

#endif
