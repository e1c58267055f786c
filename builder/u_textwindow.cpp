#include "u_textwindow.h"

#include "u_dialogs.h"

TextWindow::TextWindow(const wchar_t* cls, int width, int height, const ui::ControlRow* controls, size_t count)
    : Form(cls, width, height, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, controls, count) {
    keyPreview_ = true;
    closeOnEscape_ = true;
}

void TextWindow::Show(const std::wstring& caption, const std::wstring& text) {
    if (!Create(ApplicationWindow(), caption)) return;
    SetFont(L"맑은 고딕", -11, HANGUL_CHARSET);
    HFONT courier =
        CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET, 0, 0, 0, 0, L"Courier New");
    SendMessageW(Control("mcmdline"), WM_SETFONT, reinterpret_cast<WPARAM>(courier), FALSE);
    SetText("mcmdline", text);
    CentreOver(ApplicationWindow());
    SetFocus(Control("bclose"));
    ShowModal();
    DeleteObject(courier);
}

void TextWindow::OnCommand(int id, int code) {
    if (code != BN_CLICKED) return;
    if (id == IdOf("bclose") || id == IDCANCEL) SetModalResult(IDCANCEL);
    if (id == IdOf("bcopy")) {
        SendMessageW(Control("mcmdline"), EM_SETSEL, 0, -1);
        SendMessageW(Control("mcmdline"), WM_COPY, 0, 0);
        SetFocus(Control("mcmdline"));
    }
}
