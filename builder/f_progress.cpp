#include "f_progress.h"

#include <commctrl.h>

#include "f_quillet.h"
#include "u_dialogs.h"
#include "u_errors.h"

using namespace ui;

namespace {

const ControlRow Controls[] = {
    {"lfile", Kind::Label, 16, 16, 86, 16, L"파일 진행률:", 0},
    {"lsource", Kind::RightLabel, 104, 16, 513, 16, L"lsource", 0},
    {"pbfile", Kind::Progress, 16, 32, 601, 17, nullptr, 0},
    {"ltotal", Kind::Label, 16, 64, 86, 16, L"전체 진행률:", 0},
    {"ltarget", Kind::RightLabel, 104, 64, 513, 16, L"ltarget", 0},
    {"pbtotal", Kind::Progress, 16, 80, 601, 17, nullptr, 0},
    {"llsize", Kind::Label, 16, 120, 90, 16, L"처리된 바이트:", 0},
    {"lsize", Kind::Label, 108, 120, 400, 16, L"lsize", 0},
    {"bcancel", Kind::Button, 544, 112, 73, 25, L"취소", 0},
};

}  // namespace

// A fixed border and a caption without any title-bar button.
Tfprogress::Tfprogress()
    : Form(L"Tfprogress", 632, 152, WS_POPUP | WS_CAPTION | WS_BORDER | DS_MODALFRAME, Controls,
           sizeof(Controls) / sizeof(Controls[0])) {}

int Tfprogress::Run(HWND owner) {
    wchar_t caption[256] = L"SFX 생성";
    if (owner) GetWindowTextW(owner, caption, 256);
    if (!Create(owner, caption)) return IDCANCEL;
    SetFont(L"맑은 고딕", -11, HANGUL_CHARSET);
    for (const char* name : {"pbfile", "pbtotal"}) SendMessageW(Control(name), PBM_SETRANGE32, 0, 1000);
    for (const char* name : {"lsize", "lsource", "ltarget"}) SetText(name, L"");
    CentreOver(owner);
    controls_ = {Control("lsource"), Control("ltarget"), Control("lsize"), Control("pbfile"), Control("pbtotal")};
    ProgressWindow = &controls_;
    int result = IDCANCEL;
    try {
        result = ShowModal();
    } catch (...) {
        ProgressWindow = nullptr;
        throw;
    }
    ProgressWindow = nullptr;
    return result;
}

void Tfprogress::OnShow() { PostMessageW(Handle(), WM_START_BUILD, WM_START_BUILD, WM_START_BUILD); }

void Tfprogress::OnCommand(int id, int code) {
    if (id == IdOf("bcancel") && code == BN_CLICKED) CancelRequested = true;
}

LRESULT Tfprogress::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_START_BUILD) {
        if (wParam == WM_START_BUILD && lParam == WM_START_BUILD) Build();
        return 0;
    }
    return Form::OnMessage(message, wParam, lParam);
}

// The build of the main window's settings as they are now; an error is shown in the
// application's error box and ends the window like a cancel.
void Tfprogress::Build() {
    BuildSettings settings = fquillet ? fquillet->GatherSettings() : g_Startup.settings;
    try {
        SetModalResult(BuildSfx(settings, 1) ? IDOK : IDCANCEL);
    } catch (const BuildError& e) {
        ShowApplicationException(e.Message());
        SetModalResult(IDCANCEL);
    }
}
