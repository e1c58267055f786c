// The progress display. Until the extractor has its window, runs behave as silent ones
// as far as the window is concerned; messages are still pumped between work steps.
#include "runstate.h"

void PumpMessages() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void RefreshProgress() {}
