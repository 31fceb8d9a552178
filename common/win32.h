// The one way shell files reach Win32: every header the shell needs, then the
// bounded text helpers, then the unbounded Win32 string calls made unusable.
#pragma once

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <winsock.h>

#include "common/text.h"

#ifdef CORVANE_POISON_UNBOUNDED
#pragma GCC poison lstrcpyA lstrcatA lstrcpyW lstrcatW lstrcpynA wsprintfW
#endif
