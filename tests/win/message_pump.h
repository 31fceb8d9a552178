// Running this thread's messages in a test while a worker answers through its window.
#pragma once

#include "common/win32.h"

// Dispatches this thread's messages until done() holds or timeout milliseconds are up;
// false on the time-out.
template <typename Done>
bool PumpUntil(Done done, DWORD timeout) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
        if (done()) return true;
        if (GetTickCount() - start >= timeout) return false;
        Sleep(2);
    }
}

// Dispatches this thread's messages for time milliseconds.
inline void PumpFor(DWORD time) {
    PumpUntil([] { return false; }, time);
}
