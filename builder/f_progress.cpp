#include "f_progress.h"

#include <commctrl.h>

#include "u_build.h"
#include "u_dialogs.h"
#include "u_messages.h"
#include "u_utils.h"

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
Tfprogress::Tfprogress(const BuildSettings& settings, const StartupFlags& flags)
    : Form(L"Tfprogress", 632, 152, WS_POPUP | WS_CAPTION | WS_BORDER | DS_MODALFRAME, Controls,
           sizeof(Controls) / sizeof(Controls[0])),
      settings_(settings),
      flags_(flags) {}

int Tfprogress::Run(HWND owner) {
    wchar_t caption[256] = L"SFX 생성";
    if (owner) GetWindowTextW(owner, caption, 256);
    if (!Create(owner, caption)) return IDCANCEL;
    SetFont(L"맑은 고딕", -11, HANGUL_CHARSET);
    for (const char* name : {"pbfile", "pbtotal"}) SendMessageW(Control(name), PBM_SETRANGE32, 0, 1000);
    for (const char* name : {"lsize", "lsource", "ltarget"}) SetText(name, L"");
    CentreOver(owner);
    return ShowModal();
}

void Tfprogress::OnShow() { PostMessageW(Handle(), WM_START_BUILD, WM_START_BUILD, WM_START_BUILD); }

void Tfprogress::OnCommand(int id, int code) {
    if (id == IdOf("bcancel") && code == BN_CLICKED) cancelRequested_ = true;
}

LRESULT Tfprogress::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_START_BUILD) {
        if (wParam == WM_START_BUILD && lParam == WM_START_BUILD) Build();
        return 0;
    }
    return Form::OnMessage(message, wParam, lParam);
}

// Every exception of the build ends here: the application's error box, and the window closes as
// after a cancel. The fresh file is gone by then and the target is as it was.
void Tfprogress::Build() {
    try {
        SetModalResult(BuildSfx(settings_, flags_, this) ? IDOK : IDCANCEL);
    } catch (...) {
        ShowException(std::current_exception(), false);
        SetModalResult(IDCANCEL);
    }
}

void Tfprogress::Begin(const std::wstring& target) {
    SetText("lsource", msg::Initialization);
    SetText("ltarget", target);
    Report(0, 0, 0, 0);
}

void Tfprogress::FileStarted(const std::wstring& path) {
    SetText("lsource", path);
    Pump();
}

// The file bar rounds to the nearest step (halves to even); the total bar and the percentage
// are truncated. Before any file the total bar stays at its start and the byte count is empty.
void Tfprogress::Report(int64_t doneInFile, int64_t fileSize, int64_t done, int64_t total) {
    HWND file = Control("pbfile"), all = Control("pbtotal");
    int64_t fileMax = SendMessageW(file, PBM_GETRANGE, FALSE, 0);
    int64_t position = fileMax;
    if (fileSize != 0) {
        int64_t scaled = fileMax * doneInFile, q = scaled / fileSize, r = scaled % fileSize;
        position = q + (2 * r > fileSize || (2 * r == fileSize && (q & 1)));
    }
    SendMessageW(file, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    if (total == 0) {
        SendMessageW(all, PBM_SETPOS, SendMessageW(all, PBM_GETRANGE, TRUE, 0), 0);
    } else {
        int64_t totalMax = SendMessageW(all, PBM_GETRANGE, FALSE, 0);
        SendMessageW(all, PBM_SETPOS, static_cast<WPARAM>(totalMax * done / total), 0);
        SetText("lsize", FormatSizeText(done) + L" / " + FormatSizeText(total) + L"   (" +
                             std::to_wstring(done * 100 / total) + L"%)");
    }
    Pump();
}

void Tfprogress::Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}
