// The progress window: a borderless tool window in the middle of the screen, painted with GDI, with
// two lines of text, the maker's address and a bar that carries its own percentage.
#include "runstate.h"

namespace {

const int Width = 320, Height = 96;
const int BarLeft = 16, BarTop = 60, BarWidth = 288, BarBottom = 80;

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: PaintProgress(); return 0;
    case WM_CLOSE:  // an extraction cannot be stopped from its window
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HFONT Font(int height) {
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"MS Sans Serif");
}

void Draw(HDC dc, HFONT font, int background, int color) {
    SelectObject(dc, font);
    SetBkColor(dc, GetSysColor(background));
    SetTextColor(dc, GetSysColor(color));
}

}  // namespace

void CreateProgressWindow() {
    if (Run.settings.SilentMode) return;
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSW cls = {};
    cls.lpfnWndProc = ProgressProc;
    cls.hInstance = instance;
    cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    cls.lpszClassName = L"quilletwindowclass";
    RegisterClassW(&cls);
    Run.window =
        CreateWindowExW(WS_EX_TOOLWINDOW, L"quilletwindowclass", L"", WS_POPUP | WS_VISIBLE,
                        (GetSystemMetrics(SM_CXSCREEN) - Width) / 2, (GetSystemMetrics(SM_CYSCREEN) - Height) / 2,
                        Width, Height, nullptr, nullptr, instance, nullptr);
    Run.largeFont = Font(16);
    Run.smallFont = Font(10);
}

void CloseProgressWindow() {
    if (Run.window) DestroyWindow(Run.window);
    if (Run.largeFont) DeleteObject(Run.largeFont);
    if (Run.smallFont) DeleteObject(Run.smallFont);
    Run.window = nullptr;
    Run.largeFont = Run.smallFont = nullptr;
}

void PaintProgress() {
    if (Run.settings.SilentMode || !Run.window) return;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(Run.window, &paint);

    static WCHAR web[128];
    if (!web[0]) LoadStringW(GetModuleHandleW(nullptr), 1, web, 128);
    SIZE size;
    int n = lstrlenW(web);
    Draw(dc, Run.smallFont, COLOR_BTNFACE, COLOR_GRAYTEXT);
    GetTextExtentPoint32W(dc, web, n, &size);
    TextOutW(dc, Width - size.cx - 8, 4, web, n);

    Draw(dc, Run.largeFont, COLOR_BTNFACE, COLOR_WINDOWTEXT);
    const WCHAR* line1 = Message(msgInitialization);
    TextOutW(dc, 16, 12, line1, lstrlenW(line1));
    WCHAR line2[168];
    lstrcpynW(line2, Message(msgPleaseWait), 164);
    AppendText(line2, L"...", 168);
    TextOutW(dc, 16, 32, line2, lstrlenW(line2));

    float fraction = Run.totalBytes ? static_cast<float>(Run.doneBytes) / static_cast<float>(Run.totalBytes) : 0.0f;
    WCHAR percent[16];
    int length = wsprintfW(percent, L"%d %%", static_cast<int>(fraction * 100.0f + 0.5f));
    int w = static_cast<int>(fraction * BarWidth);
    GetTextExtentPoint32W(dc, percent, length, &size);
    int x = (BarWidth - size.cx) / 2 + BarLeft;

    RECT outer = {0, 0, Width, Height}, frame = {BarLeft - 2, BarTop - 2, BarLeft + BarWidth + 2, BarBottom + 2};
    DrawEdge(dc, &outer, EDGE_RAISED, BF_RECT);
    DrawEdge(dc, &frame, EDGE_SUNKEN, BF_RECT);
    // The same text twice, each clipped to its part: it reads inverted where the fill has passed.
    RECT filled = {BarLeft, BarTop, BarLeft + w, BarBottom},
         empty = {BarLeft + w, BarTop, BarLeft + BarWidth, BarBottom};
    Draw(dc, Run.largeFont, COLOR_ACTIVECAPTION, COLOR_WINDOW);
    ExtTextOutW(dc, x, 62, ETO_OPAQUE | ETO_CLIPPED, &filled, percent, length, nullptr);
    Draw(dc, Run.largeFont, COLOR_WINDOW, COLOR_ACTIVECAPTION);
    ExtTextOutW(dc, x, 62, ETO_OPAQUE | ETO_CLIPPED, &empty, percent, length, nullptr);
    EndPaint(Run.window, &paint);
}

void RefreshProgress() {
    if (Run.settings.SilentMode || !Run.window) return;
    RECT strip = {BarLeft, BarTop, BarLeft + BarWidth, BarBottom};
    InvalidateRect(Run.window, &strip, FALSE);
    PaintProgress();
}

// Pending messages are handled at most every 15 ms: often enough for a smooth window, rarely enough
// that thousands of small entries don't pay for a queue check each.
void PumpMessages() {
    static DWORD last;
    DWORD now = GetTickCount();
    if (now - last < 15) return;
    last = now;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
}
