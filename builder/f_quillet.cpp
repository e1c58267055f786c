#include "f_quillet.h"

#include <commctrl.h>
#include <commdlg.h>

#include "f_cmdline.h"
#include "f_cmdlinegen.h"
#include "f_envvars.h"
#include "f_progress.h"
#include "u_browse.h"
#include "u_build.h"
#include "u_dialogs.h"
#include "u_savedsettings.h"
#include "u_utils.h"

using namespace ui;

namespace {

const ControlRow Controls[] = {
    {"gbsourcetarget", Kind::Group, 8, 8, 481, 225, L" 원본 폴더 및 대상 파일 ", 0},
    {"lsource", Kind::Label, 20, 30, 380, 16, L"원본 폴더 (하위 폴더가 포함될 수 있음):", 0},
    {"esource", Kind::Edit, 20, 48, 377, 23, nullptr, 0},
    {"bsource", Kind::Button, 405, 47, 76, 25, L"찾아보기", 0},
    {"ltarget", Kind::Label, 20, 80, 380, 16, L"대상 SFX 파일 (EXE 파일):", 0},
    {"etarget", Kind::Edit, 20, 98, 377, 23, nullptr, 0},
    {"btarget", Kind::Button, 405, 97, 76, 25, L"찾아보기", 0},
    {"picon", Kind::Panel, 20, 128, 461, 2, nullptr, 0},
    {"licon", Kind::Label, 20, 134, 380, 16, L"대상 SFX 파일 아이콘:", 0},
    {"rbicondefault", Kind::Radio, 20, 152, 461, 20, L"기본 아이콘 (가능한 경우 실행 파일에서 아이콘 복사)",
     GroupStart | Checked},
    {"rbiconcustom", Kind::Radio, 20, 174, 461, 20, L"사용자 지정 아이콘 (ICO 또는 EXE 파일에서 아이콘 복사):", 0},
    {"eicon", Kind::Edit, 38, 198, 359, 23, nullptr, 0},
    {"bicon", Kind::Button, 405, 197, 76, 25, L"찾아보기", 0},

    {"gbextractionmode", Kind::Group, 8, 240, 481, 337, L" 추출 모드 ", 0},
    {"rbopenfolder", Kind::Radio, 20, 260, 461, 20, L"지정된 폴더에 파일을 추출 - 추출된 파일 삭제 안 함",
     GroupStart | Checked},
    {"cbopenfolder", Kind::Check, 38, 281, 443, 20, L"추출 후 탐색기에서 추출된 폴더 열기", Checked},
    {"rbexecutefile", Kind::Radio, 20, 304, 461, 20, L"지정된 폴더에 파일을 추출하고 실행 파일을 실행", GroupStart},
    {"lexecutablefile", Kind::Label, 38, 327, 443, 16,
     L"추출 후 실행할 실행 파일 (원본 폴더 또는 하위 폴더에서 실행 가능한 파일):", 0},
    {"eexecutablefile", Kind::Edit, 38, 344, 359, 23, nullptr, 0},
    {"bexecutablefile", Kind::Button, 405, 343, 76, 25, L"찾아보기", 0},
    {"lcmdparameters", Kind::Label, 38, 374, 443, 16, L"명령줄 매개변수:", 0},
    {"ecmdparameters", Kind::Edit, 38, 391, 443, 23, nullptr, 0},
    {"pworkingdir", Kind::Panel, 38, 419, 443, 2, nullptr, 0},
    {"lworkingdir", Kind::Label, 38, 424, 443, 16, L"작업 디렉터리:", 0},
    {"rbwdextraction", Kind::Radio, 50, 441, 431, 19, L"실행 파일이 있는 추출 폴더", GroupStart | Checked},
    {"rbwdsource", Kind::Radio, 50, 460, 431, 19, L"SFX 파일이 있는 원본 폴더", 0},
    {"rbwdcurrent", Kind::Radio, 50, 479, 431, 19, L"현재 작업 디렉터리 (런타임 시 변경 안 함)", 0},
    {"pdeletemode", Kind::Panel, 38, 500, 443, 2, nullptr, 0},
    {"ldeletemode", Kind::Label, 38, 504, 443, 16, L"추출된 파일 삭제 방법:", 0},
    {"rbdmimmediately", Kind::Radio, 50, 521, 431, 18, L"SFX 실행 완료 시", GroupStart | Checked},
    {"rbdmonreboot", Kind::Radio, 50, 539, 431, 18, L"컴퓨터 재부팅 시 (관리자 권한 필요)", 0},
    {"rbdmdonotdelete", Kind::Radio, 50, 557, 431, 18, L"삭제 안 함", 0},

    {"gbextractionfolder", Kind::Group, 496, 8, 289, 225, L" 추출 폴더 ", 0},
    {"rbtemp", Kind::Radio, 508, 28, 269, 20, L"임시 폴더 (TEMP)", GroupStart | Checked},
    {"rbdesktop", Kind::Radio, 508, 49, 269, 20, L"데스크톱 폴더 (사용자 업무용 데스크톱)", 0},
    {"rbdocuments", Kind::Radio, 508, 70, 269, 20, L"문서 폴더 (사용자 개인 폴더)", 0},
    {"rbcurrent", Kind::Radio, 508, 91, 269, 20, L"현재 폴더 (.)", 0},
    {"rbselect", Kind::Radio, 508, 112, 269, 20, L"추출 전 '폴더 찾아보기' 대화 상자 표시", 0},
    {"rbcustom", Kind::Radio, 508, 133, 269, 20, L"사용자 지정 폴더 (환경 변수를 사용할 수 있음):", 0},
    {"ecustomdir", Kind::Edit, 526, 156, 251, 23, nullptr, 0},
    {"lcustom", Kind::Label, 526, 182, 251, 16, L"(예: %USERPROFILE%\\MyApplication\\)", 0},
    {"benvvars", Kind::Button, 526, 201, 251, 25, L"이 컴퓨터의 환경 변수 표시", 0},

    {"gbadvanced", Kind::Group, 496, 240, 289, 337, L" 고급 옵션 ", 0},
    {"cboneinstance", Kind::Check, 508, 256, 269, 34,
     L"한 번의 인스턴스 검사 (SFX 파일을 동시에 두 번 실행하지 못하도록 방지)", WordWrap},
    {"cbsilent", Kind::Check, 508, 290, 269, 34,
     L"자동 추출 모드 (추출 시 진행률 표시줄 및 오류 메시지 표시 안 함)", WordWrap},
    {"cbselfdelete", Kind::Check, 508, 324, 269, 34,
     L"자체 파괴 모드(실행 파일 실행 완료 후 SFX 파일 삭제)", WordWrap},
    {"cbcompact", Kind::Check, 508, 358, 269, 34,
     L"컴팩트 SFX 파일 (모든 파일을 하나의 zstd 스트림으로: 더 작지만 만들기가 느림)", WordWrap},
    {"puacautoelevation", Kind::Panel, 508, 396, 269, 2, nullptr, 0},
    {"luacautoelevation", Kind::Label, 508, 400, 269, 16, L"UAC 자동 권한 상승:", 0},
    {"rbuacnone", Kind::Radio, 520, 417, 257, 19, L"없음", GroupStart | Checked},
    {"rbuachighest", Kind::Radio, 520, 436, 257, 34, L"사용 가능한 가장 높은 권한으로 SFX 파일 실행", WordWrap},
    {"rbuacadministrator", Kind::Radio, 520, 470, 257, 19, L"관리자 권한으로 SFX 파일 실행", 0},
    {"poverwritemode", Kind::Panel, 508, 493, 269, 2, nullptr, 0},
    {"loverwritemode", Kind::Label, 508, 497, 269, 16, L"추출 중 덮어쓰기 모드:", 0},
    {"rbomprompt", Kind::Radio, 520, 514, 257, 20, L"기존 파일 덮어쓰기 여부 메시지 표시", GroupStart | Checked},
    {"rbomoverwrite", Kind::Radio, 520, 534, 257, 20, L"모든 기존 파일 자동 덮어쓰기", 0},
    {"rbomskip", Kind::Radio, 520, 554, 257, 20, L"모든 기존 파일 추출 자동 건너뛰기", 0},

    {"labout", Kind::Link, 8, 600, 80, 16, L"정보...", 0},
    {"lweb", Kind::Link, 96, 600, 100, 16, nullptr, 0},
    {"ldonate", Kind::Link, 200, 600, 72, 16, L"기부", 0},
    {"lcmdline", Kind::Link, 280, 600, 144, 16, L"명령줄 지원", 0},
    {"lcmdlinegen", Kind::Link, 432, 600, 200, 16, L"명령줄 매개변수 생성", 0},
    {"bmake", Kind::DefaultButton, 688, 584, 97, 33, L"SFX 생성", Bold},
};

const char* const FolderRadios[] = {"rbtemp", "rbdesktop", "rbdocuments", "rbcurrent", "rbselect", "rbcustom"};
const char* const WorkingRadios[] = {"rbwdextraction", "rbwdsource", "rbwdcurrent"};
const char* const DeleteRadios[] = {"rbdmimmediately", "rbdmonreboot", "rbdmdonotdelete"};
const char* const UacRadios[] = {"rbuacnone", "rbuachighest", "rbuacadministrator"};
const char* const OverwriteRadios[] = {"rbomprompt", "rbomoverwrite", "rbomskip"};

const wchar_t TargetFilter[] = L"Executable files (*.exe)|*.exe";
const wchar_t ExeFilter[] =
    L"Executable files (*.exe)|*.exe|Batch files (*.bat)|*.bat|Command files (*.cmd)|*.cmd|VBScript files "
    L"(*.vbs)|*.vbs|VBScript Encoded files (*.vbe)|*.vbe|Windows Script files (*wsf)|*.wsf|Windows Script Host "
    L"files (*.wsh)|*.wsh|All files (*.*)|*.*";
const wchar_t IconFilter[] = L"Icons (*.ico)|*.ico|Executable files (*.exe)|*.exe";

// The description|pattern pairs of a filter.
std::vector<std::wstring> FilterPatterns(const wchar_t* filter) {
    std::vector<std::wstring> parts, patterns;
    std::wstring f = filter;
    for (size_t at = 0;;) {
        size_t bar = f.find(L'|', at);
        parts.push_back(f.substr(at, bar == std::wstring::npos ? std::wstring::npos : bar - at));
        if (bar == std::wstring::npos) break;
        at = bar + 1;
    }
    for (size_t i = 1; i < parts.size(); i += 2) patterns.push_back(parts[i]);
    return patterns;
}

}  // namespace

Tfquillet::Tfquillet(const StartupSettings& startup)
    : Form(L"Tfquillet", 792, 624, WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, Controls,
           sizeof(Controls) / sizeof(Controls[0])),
      startup_(startup) {
    keyPreview_ = true;
}

std::wstring Tfquillet::Text(const char* name) const { return TextOf(name); }

std::wstring Tfquillet::GetIconFile() const { return IsChecked("rbiconcustom") ? Trim(Text("eicon")) : std::wstring(); }
uint8_t Tfquillet::GetExtractionMode() const { return IsChecked("rbexecutefile") ? 1 : 0; }
uint8_t Tfquillet::GetExtractionFolder() const {
    for (uint8_t code = 1; code <= 5; ++code)
        if (IsChecked(FolderRadios[code])) return code;
    return 0;
}
uint8_t Tfquillet::GetWorkingDirectory() const { return IsChecked("rbwdsource") ? 1 : IsChecked("rbwdcurrent") ? 2 : 0; }
uint8_t Tfquillet::GetDeleteMode() const { return IsChecked("rbdmonreboot") ? 1 : IsChecked("rbdmdonotdelete") ? 2 : 0; }
uint8_t Tfquillet::GetUACAutoElevation() const {
    return IsChecked("rbuachighest") ? 1 : IsChecked("rbuacadministrator") ? 2 : 0;
}
uint8_t Tfquillet::GetOverwriteMode() const { return IsChecked("rbomoverwrite") ? 1 : IsChecked("rbomskip") ? 2 : 0; }

BuildSettings Tfquillet::GatherSettings() const {
    BuildSettings s;
    s.Source = Text("esource");
    s.Target = Text("etarget");
    s.Icon = GetIconFile();
    s.ExecutableFile = Text("eexecutablefile");
    s.CmdParameters = Text("ecmdparameters");
    s.CustomFolder = Text("ecustomdir");
    s.ExtractionMode = GetExtractionMode();
    s.ExtractionFolder = GetExtractionFolder();
    s.OpenFolder = IsChecked("cbopenfolder");
    s.OneInstance = IsChecked("cboneinstance");
    s.SilentMode = IsChecked("cbsilent");
    s.SelfDeleteMode = IsChecked("cbselfdelete");
    s.DeleteMode = GetDeleteMode();
    s.WorkingDirectory = GetWorkingDirectory();
    s.UACAutoElevation = GetUACAutoElevation();
    s.OverwriteMode = GetOverwriteMode();
    s.Compact = IsChecked("cbcompact");
    return s;
}

// The two mode radios are apart (the open-folder box sits between them): one group by hand.
void Tfquillet::SetExtractionMode(bool run) {
    SetChecked("rbopenfolder", !run);
    SetChecked("rbexecutefile", run);
}

void Tfquillet::CheckCode(const char* const* radios, int count, unsigned code) {
    SetChecked(radios[code < static_cast<unsigned>(count) ? code : 0], true);
}

void Tfquillet::OnCreate() {
    SetFont(L"맑은 고딕", -11, HANGUL_CHARSET);
    SetWindowTextW(Handle(), (std::wstring(ApplicationTitle) + L" " + ShortVersion(ReadFileVersion(ModulePath()))).c_str());
    SendMessageW(Control("ecmdparameters"), EM_SETLIMITTEXT, 2047, 0);
    SendMessageW(Control("ecustomdir"), EM_SETLIMITTEXT, 259, 0);
    SetText("lweb", MakerWebAddress);
    FitWebAddress();
    if (startup_.flags.CommandLineComplete)
        FillFromCommandLine(startup_.settings);
    else
        LoadSettings();
    CentreOver(nullptr);
}

// The address label is as wide as its text in the link font, so the whole address shows and
// the hand cursor covers exactly the text; it never reaches into the next link.
void Tfquillet::FitWebAddress() {
    HWND web = Control("lweb"), next = Control("ldonate");
    std::wstring text = TextOf("lweb");
    HDC dc = GetDC(web);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(web, WM_GETFONT, 0, 0)));
    SIZE size = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(web, dc);
    RECT mine, theirs;
    GetWindowRect(web, &mine);
    GetWindowRect(next, &theirs);
    int room = theirs.left - mine.left - 4;
    SetWindowPos(web, nullptr, 0, 0, size.cx < room ? size.cx + 1 : room, mine.bottom - mine.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Tfquillet::FillFromCommandLine(const BuildSettings& s) {
    SetText("esource", s.Source);
    SetText("etarget", s.Target);
    SetText("eicon", s.Icon);
    SetText("eexecutablefile", s.ExecutableFile);
    SetText("ecustomdir", s.CustomFolder);
    SetText("ecmdparameters", s.CmdParameters);
    SetChecked("cbopenfolder", s.OpenFolder);
    SetChecked("cboneinstance", s.OneInstance);
    SetChecked("cbsilent", s.SilentMode);
    SetChecked("cbselfdelete", s.SelfDeleteMode);
    SetChecked("cbcompact", s.Compact);
    SetChecked(Trim(s.Icon).empty() ? "rbicondefault" : "rbiconcustom", true);
    SetExtractionMode(s.ExtractionMode == 1);
    CheckCode(FolderRadios, 6, s.ExtractionFolder);
    CheckCode(WorkingRadios, 3, s.WorkingDirectory);
    CheckCode(DeleteRadios, 3, s.DeleteMode);
    CheckCode(UacRadios, 3, s.UACAutoElevation);
    CheckCode(OverwriteRadios, 3, s.OverwriteMode);
}

void Tfquillet::LoadSettings() {
    SettingsKey key;
    if (!key.Open()) return;
    std::wstring text;
    DWORD number;
    if (key.ReadText(L"Source", text)) SetText("esource", text);
    if (key.ReadText(L"Target", text)) SetText("etarget", text);
    if (key.ReadText(L"Icon", text)) SetText("eicon", Trim(text));
    SetChecked(Trim(TextOf("eicon")).empty() ? "rbicondefault" : "rbiconcustom", true);
    if (key.ReadText(L"ExecutableFile", text)) SetText("eexecutablefile", text);
    if (key.ReadText(L"CmdParameters", text)) SetText("ecmdparameters", text);
    if (key.ReadText(L"CustomFolder", text)) SetText("ecustomdir", text);
    if (key.ReadNumber(L"OpenFolder", number)) SetChecked("cbopenfolder", number != 0);
    if (key.ReadNumber(L"OneInstance", number)) SetChecked("cboneinstance", number != 0);
    if (key.ReadNumber(L"SilentMode", number)) SetChecked("cbsilent", number != 0);
    if (key.ReadNumber(L"SelfDeleteMode", number)) SetChecked("cbselfdelete", number != 0);
    if (key.ReadNumber(L"Compact", number)) SetChecked("cbcompact", number != 0);
    if (key.ReadNumber(L"ExtractionMode", number)) SetExtractionMode(number == 1);
    if (key.ReadNumber(L"ExtractionFolder", number)) CheckCode(FolderRadios, 6, number);
    if (key.ReadNumber(L"WorkingDirectory", number)) CheckCode(WorkingRadios, 3, number);
    if (key.ReadNumber(L"DeleteMode", number)) CheckCode(DeleteRadios, 3, number);
    if (key.ReadNumber(L"UACAutoElevation", number)) CheckCode(UacRadios, 3, number);
    if (key.ReadNumber(L"OverwriteMode", number)) CheckCode(OverwriteRadios, 3, number);
}

void Tfquillet::OnShow() {
    visible_ = true;
    rbiconClick(false);
    rbextractionmodeClick(false);
    rbextractionfolderClick(false);
    SetFocus(Control("bmake"));
    PostMessageW(Handle(), WM_START_BUILD, WM_START_BUILD, WM_START_BUILD);
}

// An enabled edit takes the window colour, a disabled one the button face (the system
// edit control does this itself); with a sender the focus follows.
void Tfquillet::rbiconClick(bool sender) {
    bool custom = IsChecked("rbiconcustom");
    Enable("eicon", custom);
    Enable("bicon", custom);
    if (custom && visible_ && sender) SetFocus(Control("eicon"));
}

void Tfquillet::rbextractionmodeClick(bool) {
    bool run = IsChecked("rbexecutefile");
    Enable("cbopenfolder", IsChecked("rbopenfolder"));
    for (const char* name : {"lexecutablefile", "eexecutablefile", "bexecutablefile", "lcmdparameters", "ecmdparameters",
                             "lworkingdir", "ldeletemode", "luacautoelevation"})
        Enable(name, run);
    for (const char* name : WorkingRadios) Enable(name, IsEnabled("lworkingdir"));
    Enable("rbdmimmediately", IsEnabled("ldeletemode"));
    Enable("rbdmdonotdelete", IsEnabled("ldeletemode"));
    for (const char* name : UacRadios) Enable(name, IsEnabled("luacautoelevation"));
    rbextractionfolderClick(false);
    rbuacautoelevationClick(false);
}

void Tfquillet::rbextractionfolderClick(bool sender) {
    bool custom = IsChecked("rbcustom");
    Enable("ecustomdir", custom);
    Enable("benvvars", custom);
    Enable("lcustom", custom);
    if (custom && visible_ && sender) SetFocus(Control("ecustomdir"));
}

void Tfquillet::rbuacautoelevationClick(bool) {
    bool deleteGroup = IsEnabled("ldeletemode");
    Enable("rbdmonreboot", deleteGroup && IsChecked("rbuacadministrator"));
    if (deleteGroup && !IsEnabled("rbdmonreboot") && IsChecked("rbdmonreboot")) SetChecked("rbdmimmediately", true);
}

void Tfquillet::OnCommand(int id, int code) {
    auto is = [&](const char* name) { return id == IdOf(name); };
    bool click = code == BN_CLICKED || code == STN_CLICKED;
    if (!click) return;
    if (is("rbicondefault") || is("rbiconcustom")) rbiconClick(true);
    else if (is("rbopenfolder") || is("rbexecutefile")) {
        SetExtractionMode(is("rbexecutefile"));
        rbextractionmodeClick(true);
    }
    else if (is("rbuacnone") || is("rbuachighest") || is("rbuacadministrator")) rbuacautoelevationClick(true);
    else if (is("bmake")) bmakeClick();
    else if (is("bsource")) bsourceClick();
    else if (is("btarget")) btargetClick();
    else if (is("bicon")) BrowseFile("eicon", IconFilter, iconFilterIndex_);
    else if (is("bexecutablefile")) BrowseFile("eexecutablefile", ExeFilter, exeFilterIndex_);
    else if (is("benvvars")) benvvarsClick();
    else if (is("labout")) ShowAboutBox();
    else if (is("lweb")) ShellOpen(TextOf("lweb"));
    else if (is("ldonate")) ShellOpen(DonationAddress);
    else if (is("lcmdline")) ShowUsageWindow();
    else if (is("lcmdlinegen")) ShowCommandLineGenerator(GatherSettings());
    else {
        for (const char* name : FolderRadios)
            if (is(name)) rbextractionfolderClick(true);
    }
}

bool Tfquillet::OnKeyDown(WPARAM key, HWND) {
    if (key != VK_F1) return false;
    ShowAboutBox();
    return true;
}

void Tfquillet::OnCloseRequest() { DestroyWindow(Handle()); }

LRESULT Tfquillet::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_START_BUILD) {
        if (wParam == WM_START_BUILD && lParam == WM_START_BUILD && startup_.flags.CommandLineComplete)
            SendMessageW(Control("bmake"), BM_CLICK, 0, 0);
        return 0;
    }
    if (message == WM_DESTROY) {
        SetApplicationWindow(nullptr);
        PostQuitMessage(0);
    }
    return Form::OnMessage(message, wParam, lParam);
}

// The settings are saved for the next run, normalised, before they are checked, so settings that
// fail the checks are kept too; a command line that filled the window saves nothing.
void Tfquillet::bmakeClick() {
    BuildSettings settings = GatherSettings();
    NormalisePaths(settings);
    if (!startup_.flags.CommandLineComplete) SaveSettings(settings);
    if (!ValidateSettings(settings, startup_.flags)) return;
    Tfprogress progress(settings, startup_.flags);
    if (progress.Run(Handle()) == IDOK) PostQuitMessage(0);
}

void Tfquillet::bsourceClick() {
    std::wstring folder = Text("esource");
    if (BrowseForFolder(L"", L"", folder)) SetText("esource", folder);
}

namespace {

// Runs a save or open dialog on a filter "description|pattern|..."; chosen gets the full name.
bool RunFileDialog(HWND owner, bool save, const wchar_t* filterText, int& filterIndex, const std::wstring& dir,
                   const std::wstring& name, std::wstring& chosen) {
    std::vector<wchar_t> file(32768, L'\0');
    name.copy(file.data(), std::min<size_t>(name.size(), file.size() - 1));
    std::wstring filter = filterText;
    for (wchar_t& c : filter)
        if (c == L'|') c = L'\0';
    filter += L'\0';
    OPENFILENAMEW ofn{sizeof(ofn)};
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = filterIndex;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = dir.empty() ? nullptr : dir.c_str();
    ofn.lpstrDefExt = L"exe";
    ofn.Flags = OFN_HIDEREADONLY | OFN_ENABLESIZING | OFN_EXPLORER;
    if (!(save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn))) return false;
    filterIndex = ofn.nFilterIndex;
    chosen = file.data();
    return true;
}

// The folder part and the file-name part of a path.
void SplitPath(const std::wstring& path, std::wstring& dir, std::wstring& name) {
    size_t cut = path.find_last_of(L"\\/:");
    dir = cut == std::wstring::npos ? std::wstring() : path.substr(0, cut + (path[cut] == L':' ? 1 : 0));
    name = cut == std::wstring::npos ? path : path.substr(cut + 1);
}

}  // namespace

void Tfquillet::btargetClick() {
    std::wstring dir, name, chosen;
    SplitPath(TextOf("etarget"), dir, name);
    if (RunFileDialog(Handle(), true, TargetFilter, targetFilterIndex_, dir, name, chosen)) SetText("etarget", chosen);
}

// The open dialogs of the icon and the executable: start in the edit's folder with its name,
// on the filter of its extension; a chosen name without extension gets the filter's.
void Tfquillet::BrowseFile(const char* edit, const wchar_t* filterText, int& filterIndex) {
    std::wstring t = Trim(TextOf(edit)), dir, name, chosen;
    SplitPath(t, dir, name);
    if (!DirectoryExists(dir)) dir.clear();
    std::vector<std::wstring> patterns = FilterPatterns(filterText);
    std::wstring ext = UpperExtension(t);
    if (!ext.empty()) {
        filterIndex = static_cast<int>(patterns.size());
        for (size_t i = 0; i < patterns.size(); ++i)
            if (UpperExtension(patterns[i]) == ext) {
                filterIndex = static_cast<int>(i + 1);
                break;
            }
    }
    if (!RunFileDialog(Handle(), false, filterText, filterIndex, dir, name, chosen)) return;
    std::wstring n = Trim(chosen);
    if (UpperExtension(n).empty() && filterIndex >= 1 && filterIndex <= static_cast<int>(patterns.size())) {
        std::wstring pattern = patterns[filterIndex - 1];
        size_t dot = pattern.find_last_of(L'.');
        std::wstring add = dot == std::wstring::npos ? std::wstring() : pattern.substr(dot);
        if (!add.empty() && add != L".*") n += add;
    }
    SetText(edit, n);
}

// The picked name replaces the selection of the custom folder, or goes in at the caret.
void Tfquillet::benvvarsClick() {
    std::wstring picked = PickEnvironmentVariable();
    if (!picked.empty()) SendMessageW(Control("ecustomdir"), EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(picked.c_str()));
    SetFocus(Control("ecustomdir"));
}

void RunMainWindow(const StartupSettings& startup) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS | ICC_LINK_CLASS};
    InitCommonControlsEx(&controls);
    Tfquillet form(startup);
    if (!form.Create(nullptr, ApplicationTitle)) return;
    SetApplicationWindow(form.Handle());
    ShowWindow(form.Handle(), SW_SHOWNORMAL);
    ui::Form::RunMessageLoop();
}
