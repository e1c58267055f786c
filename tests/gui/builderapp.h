// The real builder with its main window, driven from a test: controls found by name,
// clicks and texts through bounded messages, its message boxes read one by one.
#pragma once
#include <gtest/gtest.h>

#include "sfxtools.h"
#include "formcontrols.h"

// The running builder with its main window.
struct App {
    Process process;
    HWND main = nullptr;
    explicit App(const std::string& args = "", const std::string& dir = "")
        : process(Q(BinPath("quillet.exe")) + " " + args, dir.empty() ? nullptr : dir.c_str()) {
        main = WaitForWindow(process.Id(), L"Tfquillet", 20000);
        EXPECT_TRUE(main) << "no main window";
        EXPECT_TRUE(process.WaitUntilIdle(10000)) << "the main window does not get ready";
    }
    HWND C(const char* name) const {
        HWND h = FindControl(main, name);
        EXPECT_TRUE(h) << name;
        return h;
    }
    bool Checked(const char* name) const { return SendMessageW(C(name), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool Enabled(const char* name) const { return IsWindowEnabled(C(name)) != FALSE; }
    // An edit of another process answers WM_GETTEXT; its window caption is not its text.
    std::wstring Text(const char* name) const {
        wchar_t text[4096] = L"";
        SendMessageTimeoutW(C(name), WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, nullptr);
        return text;
    }
    // A click whose handler may open a modal window must not block the test: bounded.
    void Click(const char* name) const {
        DWORD_PTR result;
        SendMessageTimeoutW(C(name), BM_CLICK, 0, 0, SMTO_NORMAL, 3000, &result);
    }
    void Press(const char* name) const { PostMessageW(C(name), BM_CLICK, 0, 0); }
    // Returns once the window's thread has handled what came before (a sent message waits for
    // its message loop; bounded).
    void Sync() const { SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 5000, nullptr); }
    void Type(const char* name, const std::string& text) const {
        SendMessageA(C(name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    void Close() {
        if (IsWindow(main)) PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(ExpectEndsWithoutMessages(process, 20000), 0u);
    }
    // The next message box of the builder.
    MessageBoxView NextBox() {
        MessageBoxView box = WaitForMessageBox(process.Id(), 30000);
        EXPECT_TRUE(box.window) << "no message box";
        return box;
    }
};

// Opens a link label's window (posted: the window is modal in the builder).
inline void OpenLink(const App& app, const char* link) {
    HWND l = app.C(link);
    PostMessageW(app.main, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(l), STN_CLICKED), reinterpret_cast<LPARAM>(l));
}
