#pragma once
// The one place in the project that includes <windows.h>.
//
// The platform interface comes first: its constants live in namespaces
// (hv::err, hv::access, ...) and are spelt differently from the Win32 macros,
// so both can be seen together. Everything that needs the Win32 API includes
// this header, never <windows.h> itself.
//
// Beware: macros that cast to a Win32 type name (HKEY_CURRENT_USER,
// INVALID_HANDLE_VALUE, ...) expand to `(HKEY)...`/`(HANDLE)...`, which inside
// namespace hv names the interface's types. Use them outside namespace hv, or
// through hv::win32::ToWin/FromWin.
#include "platform/platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// Windows XP is the oldest release the program runs on: declarations of
// later releases stay hidden, so none of their functions can be imported by
// accident (anything newer is looked up at run time).
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0501
#endif
#ifndef WINVER
#define WINVER 0x0501
#endif

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>
