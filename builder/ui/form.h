// A thin form layer over Win32: a window class "Tf<name>" per form, controls created from a
// declarative table (name, kind, rectangle, caption, flags), a modal loop with a modal result,
// centring, key preview and Escape. Every control gets the id 100 + its row and carries its
// name as the window property "QuilletName" (a global atom), so tests can find it by name.
#pragma once
#include <exception>
#include <string>
#include <vector>

#include <windows.h>

namespace ui {

enum class Kind { Label, RightLabel, Edit, Memo, Button, DefaultButton, Radio, Check, Group, Panel, Progress, Link, List };

enum Flags : unsigned {
    GroupStart = 1,  // first radio button of a group of exclusive choices
    Checked = 2,     // checked at design time
    WordWrap = 4,    // check box or radio button whose caption wraps
    Bold = 8,
};

// Posted by a form to itself (both parameters the same) to start its work once it is on screen.
const UINT WM_START_BUILD = 3328;

// The last resort for an exception that a form's handler lets out: the window procedure catches
// it and hands it here, so that none crosses DispatchMessageW (the system's frames in between
// cannot be unwound; the program would end without a word). The handler must not throw.
void SetExceptionHandler(void (*handler)(std::exception_ptr error));

// Disables the visible, enabled top-level windows of this thread (except one) while a modal
// window or dialog is open; gives them back enabled.
std::vector<HWND> DisableThreadWindows(HWND except = nullptr);
void EnableWindows(const std::vector<HWND>& windows);

// One row of a window's control table: what a form file would declare for the control.
struct ControlRow {
    const char* name;
    Kind kind;
    int x, y, w, h;
    const wchar_t* caption;
    unsigned flags;
};

const int FirstControlId = 100;

class Form {
public:
    // cls is the window class ("Tfquillet"); the client area is width × height.
    Form(const wchar_t* cls, int width, int height, DWORD style, const ControlRow* controls, size_t count);
    virtual ~Form();

    // Creates the window and its controls, hidden; owner may be null.
    bool Create(HWND owner, const std::wstring& caption);
    HWND Handle() const { return window_; }
    // Shows the window modally: the other windows of the thread are disabled until a modal
    // result is set. Returns that result.
    int ShowModal();
    void SetModalResult(int result) { modalResult_ = result; }
    void CentreOver(HWND other);  // over another window, or the screen when null

    HWND Control(const char* name) const;
    int IdOf(const char* name) const;
    bool IsChecked(const char* name) const;
    void SetChecked(const char* name, bool checked);
    std::wstring TextOf(const char* name) const;
    void SetText(const char* name, const std::wstring& text);
    void Enable(const char* name, bool enabled);
    bool IsEnabled(const char* name) const;

    // The form's font (face, height in logical units, character set) for every control.
    void SetFont(const wchar_t* face, int height, BYTE charset);

    // Runs a message loop for a modeless main form until WM_QUIT.
    static void RunMessageLoop();

protected:
    virtual void OnCreate() {}
    virtual void OnShow() {}
    virtual void OnCommand(int /*id*/, int /*code*/) {}
    virtual void OnNotify(NMHDR* /*header*/) {}
    virtual bool OnKeyDown(WPARAM /*key*/, HWND /*target*/) { return false; }  // key preview; true when consumed
    // A close request: a modal form ends with Cancel unless it says otherwise.
    virtual void OnCloseRequest() { SetModalResult(IDCANCEL); }
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    bool closeOnEscape_ = false;
    bool keyPreview_ = false;

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    static bool PreTranslate(MSG& msg);
    void CreateControls();

    const wchar_t* cls_;
    int width_, height_;
    DWORD style_;
    const ControlRow* rows_;  // the control table, one row per control
    size_t count_;
    HWND window_ = nullptr;
    std::vector<HWND> controls_;
    HFONT font_ = nullptr, boldFont_ = nullptr, linkFont_ = nullptr;
    HBRUSH faceBrush_ = nullptr;
    int modalResult_ = 0;
    bool shown_ = false;
};

}  // namespace ui
