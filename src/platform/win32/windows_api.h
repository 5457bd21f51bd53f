// <windows.h> as every Win32 file of the program includes it: the lean set,
// and no min/max macros (libstdc++ may define NOMINMAX itself).
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
