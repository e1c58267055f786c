#include "u_dialogs.h"

#include <vector>

#include "u_errors.h"
#include "ui/form.h"

const wchar_t* const DialogTexts[11] = {
    L"Error",     L"Information", L"Warning", L"Confirmation",
    L"About...",  L"Version",     L"",        L"Copyright (c) Corvane Software,",
    L"Web",       L"E-mail",      L"OK",
};

const wchar_t* const ApplicationTitle = L"Quillet";
// Short enough for the room the main window leaves between its About and Donate links.
const wchar_t MakerWebAddress[] = L"corvane.example";
const wchar_t MakerEmail[] = L"quillet@corvane.example";
const wchar_t DonationAddress[] = L"corvane.example/donate";
std::wstring AboutPageName;

namespace {

HWND g_applicationWindow = nullptr;

BOOL CALLBACK CollectTopmost(HWND window, LPARAM data) {
    if (IsWindowVisible(window) && (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST))
        reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
    return TRUE;
}

void SetTopmost(const std::vector<HWND>& windows, HWND where) {
    for (HWND window : windows)
        if (IsWindow(window))
            SetWindowPos(window, where, 0, 0, 0, 0,
                         SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
}

// A message box modal to every window of the builder, never hidden behind a topmost one.
int Box(const std::wstring& text, const wchar_t* caption, UINT flags) {
    HWND owner = g_applicationWindow;
    std::vector<HWND> topmost;
    EnumThreadWindows(GetCurrentThreadId(), CollectTopmost, reinterpret_cast<LPARAM>(&topmost));
    SetTopmost(topmost, HWND_NOTOPMOST);
    // MessageBox disables its owner; the builder's other windows are disabled here.
    std::vector<HWND> disabled = ui::DisableThreadWindows(owner);

    int result = MessageBoxW(owner, text.c_str(), caption, flags);

    ui::EnableWindows(disabled);
    SetTopmost(topmost, HWND_TOPMOST);
    return result;
}

}  // namespace

HWND ApplicationWindow() { return g_applicationWindow; }
void SetApplicationWindow(HWND window) { g_applicationWindow = window; }

void ShowErrorMessage(const std::wstring& text) { Box(text, DialogTexts[0], MB_OK | MB_ICONERROR); }
void ShowInfoMessage(const std::wstring& text) {
    Box(text, DialogTexts[1], MB_OK | MB_ICONINFORMATION);
}
void ShowWarningMessage(const std::wstring& text) {
    Box(text, DialogTexts[2], MB_OK | MB_ICONWARNING);
}
void ShowApplicationException(const std::wstring& text) { Box(text, ApplicationTitle, MB_OK | MB_ICONERROR); }

void ShowApplicationError(const std::wstring& text) {
    Box(text, L"Application Error", MB_OK | MB_ICONERROR);
}
void ShowException(std::exception_ptr error, bool windowless) {
    try {
        ErrorReport report = DescribeException(error);
        if (windowless)
            ShowApplicationError(AnsiToWide(report.kind) + L": " + report.message);
        else
            ShowApplicationException(report.message);
    } catch (...) {
        MessageBoxW(g_applicationWindow, L"OutOfMemory", windowless ? L"Application Error" : ApplicationTitle,
                    MB_OK | MB_ICONERROR);
    }
}

bool AskConfirmation(const std::wstring& text, bool defaultYes) {
    UINT flags = MB_YESNO | MB_ICONQUESTION | (defaultYes ? 0 : MB_DEFBUTTON2);
    return Box(text, DialogTexts[3], flags) == IDYES;
}

