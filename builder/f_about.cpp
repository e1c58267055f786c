// The about box (class tfabout), built in code: the application's name and version, the
// maker and the year, the web and e-mail links.
#include <windows.h>

#include "u_dialogs.h"
#include "u_utils.h"
#include "ui/form.h"

using namespace ui;

namespace {

class Tfabout : public Form {
public:
    Tfabout(const ControlRow* controls, size_t count)
        : Form(L"tfabout", 264, 208, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, controls, count) {
        closeOnEscape_ = true;
    }

protected:
    void OnCommand(int id, int code) override {
        if (code != BN_CLICKED && code != STN_CLICKED) return;
        if (id == IdOf("bok") || id == IDOK || id == IDCANCEL) SetModalResult(IDOK);
        if (id == IdOf("lweblink")) ShellOpen(TextOf("lweblink"));
        if (id == IdOf("lemaillink")) ShellOpen(L"mailto:" + TextOf("lemaillink"));
    }

};

// The year of the program file's last change, or of today when it cannot be read.
int ProgramYear(const std::wstring& path) {
    SYSTEMTIME st;
    GetLocalTime(&st);
    HANDLE h = CreateFileW(ApiPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return st.wYear;
    FILETIME written, local;
    SYSTEMTIME file;
    bool ok = GetFileTime(h, nullptr, nullptr, &written) && FileTimeToLocalFileTime(&written, &local) &&
              FileTimeToSystemTime(&local, &file);
    CloseHandle(h);
    return ok ? file.wYear : st.wYear;
}

HFONT BoldFont(int points) {
    HDC dc = GetDC(nullptr);
    int height = -MulDiv(points, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(nullptr, dc);
    return CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, HANGUL_CHARSET, 0, 0, 0, 0, L"맑은 고딕");
}

}  // namespace

void ShowAboutBox() {
    std::wstring self = ModulePath();
    std::wstring version = ReadFileVersion(self);
    std::wstring versionLine = version.empty() ? std::wstring() : std::wstring(DialogTexts[5]) + L" " + version;
    std::wstring makerLine = std::wstring(DialogTexts[7]) + L" " + std::to_wstring(ProgramYear(self));
    std::wstring web = MakerWebAddress;
    if (!AboutPageName.empty()) web += L"/" + AboutPageName;
    std::wstring webLabel = std::wstring(DialogTexts[8]) + L":", mailLabel = std::wstring(DialogTexts[9]) + L":";
    const ControlRow controls[] = {
        {"ltitle", Kind::Label, 64, 16, 190, 26, ApplicationTitle, 0},
        {"lversion", Kind::Label, 64, 45, 190, 20, versionLine.c_str(), 0},
        {"lthird", Kind::Label, 64, 72, 190, 16, DialogTexts[6], 0},
        {"lmaker", Kind::Label, 64, 96, 196, 16, makerLine.c_str(), 0},
        {"lweb", Kind::Label, 64, 116, 38, 16, webLabel.c_str(), 0},
        {"lweblink", Kind::Link, 104, 116, 156, 16, web.c_str(), 0},
        {"lemail", Kind::Label, 64, 136, 38, 16, mailLabel.c_str(), 0},
        {"lemaillink", Kind::Link, 104, 136, 156, 16, MakerEmail, 0},
        {"bok", Kind::DefaultButton, 96, 168, 75, 25, DialogTexts[10], 0},
        {"iicon", Kind::Panel, 16, 16, 32, 32, nullptr, 0},
    };
    Tfabout about(controls, sizeof(controls) / sizeof(controls[0]));
    if (!about.Create(ApplicationWindow(), DialogTexts[4])) return;
    about.SetFont(L"맑은 고딕", -11, HANGUL_CHARSET);
    HFONT title = BoldFont(14), versionFont = BoldFont(10);
    SendMessageW(about.Control("ltitle"), WM_SETFONT, reinterpret_cast<WPARAM>(title), FALSE);
    SendMessageW(about.Control("lversion"), WM_SETFONT, reinterpret_cast<WPARAM>(versionFont), FALSE);
    HWND icon = about.Control("iicon");
    SetWindowLongW(icon, GWL_STYLE, GetWindowLongW(icon, GWL_STYLE) | SS_ICON);
    SendMessageW(icon, STM_SETICON, reinterpret_cast<WPARAM>(LoadIconW(GetModuleHandleW(nullptr), L"MAINICON")), 0);
    about.CentreOver(ApplicationWindow());
    SetFocus(about.Control("bok"));
    about.ShowModal();
    DeleteObject(title);
    DeleteObject(versionFont);
}
