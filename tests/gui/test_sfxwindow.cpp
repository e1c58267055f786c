// The extractor's progress window during a real run under Xvfb. The run is held by the
// overwrite question of an existing file, so the test can look at the window meanwhile.
#include <gtest/gtest.h>

#include "sfxtools.h"

namespace {

// Three files into dest; an existing file there holds the run at its question.
struct Held : SfxFolders {
    TempFolder dest;
    Held() {
        WriteFileBytes(src / "a-first.txt", "first");
        WriteFileBytes(src / "b-large.bin", SomeBytes(3000000, 5));
        WriteFileBytes(src / "c-last.txt", "last");
        switches = "-fm";
        folder = Q(dest.Path());
    }
};

COLORREF ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    COLORREF c = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return c;
}

}  // namespace

TEST(ProgressWindow, ClassStylesSizeAndPlace) {
    Held h;
    std::string sfx = h.Build("t.exe");
    WriteFileBytes(h.dest / "a-first.txt", "exists");
    bool looked = false;
    SfxRun run = RunSfx(sfx, "", "", [&](const MessageBoxView& box) {
        DWORD pid = 0;
        GetWindowThreadProcessId(box.window, &pid);
        HWND w = WaitForWindow(pid, L"quilletwindowclass", 5000);
        EXPECT_TRUE(w) << "no progress window";
        if (!w) return IDNO;
        looked = true;
        LONG style = GetWindowLongW(w, GWL_STYLE), ex = GetWindowLongW(w, GWL_EXSTYLE);
        EXPECT_TRUE(style & WS_POPUP);
        EXPECT_TRUE(style & WS_VISIBLE);
        EXPECT_FALSE(style & WS_CAPTION);
        EXPECT_FALSE(style & WS_SYSMENU);
        EXPECT_FALSE(style & WS_THICKFRAME);
        EXPECT_TRUE(ex & WS_EX_TOOLWINDOW);
        EXPECT_EQ(GetWindowTextLengthW(w), 0);
        RECT r, c;
        GetWindowRect(w, &r);
        GetClientRect(w, &c);
        EXPECT_EQ(c.right - c.left, 320);
        EXPECT_EQ(c.bottom - c.top, 96);
        EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - 320) / 2);
        EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - 96) / 2);
        // A close request changes nothing.
        SendMessageW(w, WM_CLOSE, 0, 0);
        Sleep(200);
        EXPECT_TRUE(IsWindow(w) && IsWindowVisible(w));
        return IDNO;
    });
    EXPECT_TRUE(looked);
    EXPECT_EQ(run.code, 0u);
    EXPECT_EQ(ReadFileBytes(h.dest / "c-last.txt"), "last");
}

// At the question for the first file nothing is done: the bar is empty. At the question for
// the last file almost everything is: the bar is nearly full.
TEST(ProgressWindow, BarFollowsTheBytesDone) {
    for (bool atEnd : {false, true}) {
        Held h;
        std::string sfx = h.Build("t.exe");
        WriteFileBytes(h.dest / (atEnd ? "c-last.txt" : "a-first.txt"), "exists");
        COLORREF left = 0, right = 0;
        RunSfx(sfx, "", "", [&](const MessageBoxView& box) {
            DWORD pid = 0;
            GetWindowThreadProcessId(box.window, &pid);
            HWND w = WaitForWindow(pid, L"quilletwindowclass", 5000);
            if (!w) return IDNO;
            // Move the question away from the window before reading the screen.
            SetWindowPos(box.window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            RECT r;
            GetWindowRect(w, &r);
            // Read once the window has painted where the question was: the bar's colours, twice alike.
            COLORREF filled = GetSysColor(COLOR_ACTIVECAPTION), empty = GetSysColor(COLOR_WINDOW);
            WaitUntil([&] {
                COLORREF l = left, rt = right;
                left = ScreenPixel(r.left + 18, r.top + 78);    // inside the bar, near its left end
                right = ScreenPixel(r.left + 300, r.top + 78);  // near its right end
                return l == left && rt == right && (left == filled || left == empty) &&
                       (right == filled || right == empty);
            }, 3000);
            return IDNO;
        });
        COLORREF filled = GetSysColor(COLOR_ACTIVECAPTION), empty = GetSysColor(COLOR_WINDOW);
        if (atEnd) {
            EXPECT_EQ(left, filled);
            EXPECT_EQ(right, filled) << "nearly all bytes are done";
        } else {
            EXPECT_EQ(left, empty);
            EXPECT_EQ(right, empty);
        }
    }
}

TEST(ProgressWindow, NeverInSilentMode) {
    Held h;
    std::string sfx = h.Build("t.exe", "-s");
    WriteFileBytes(h.dest / "c-last.txt", "exists");
    bool seen = true;
    SfxRun run = RunSfx(sfx, "", "", [&](const MessageBoxView& box) {
        DWORD pid = 0;
        GetWindowThreadProcessId(box.window, &pid);
        seen = WaitForWindow(pid, L"quilletwindowclass", 1000) != nullptr;
        return IDNO;
    });
    EXPECT_EQ(run.boxes.size(), 1u);
    EXPECT_FALSE(seen);
}
