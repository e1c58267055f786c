// The progress display. Until the extractor has its window, runs behave as silent ones
// as far as the window is concerned; messages are still pumped between work steps.
#include "runstate.h"

// Pending messages are handled at most every 15 ms: often enough for a smooth window, rarely
// enough that thousands of small entries don't pay for a queue check each.
void PumpMessages() {
    static DWORD last;
    DWORD now = GetTickCount();
    if (now - last < 15) return;
    last = now;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void RefreshProgress() {}
