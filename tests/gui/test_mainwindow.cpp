// The builder's main window under Xvfb: design state, saved settings, enabling rules,
// Create SFX with its progress window, the about box, and the layout.
#include <gtest/gtest.h>

#include "sfxtools.h"
#include "builderapp.h"

#include <commctrl.h>

namespace {

const char KeyPath[] = "Software\\Corvane\\Quillet";

void DeleteSavedSettings() { RegDeleteTreeA(HKEY_CURRENT_USER, KeyPath); }

bool KeyExists() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath, 0, KEY_READ, &key)) return false;
    RegCloseKey(key);
    return true;
}

void SetValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key;
    RegCreateKeyExA(HKEY_CURRENT_USER, KeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr);
    RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
}
void SetText(const char* name, const std::string& text) { SetValue(name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1)); }
void SetNumber(const char* name, DWORD n) { SetValue(name, REG_DWORD, &n, sizeof(n)); }

std::string GetText(const char* name) {
    char data[2048] = "";
    DWORD size = sizeof(data), type = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath, 0, KEY_READ, &key)) return "<no key>";
    LONG rc = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return rc ? "<missing>" : std::string(data);
}

DWORD GetNumber(const char* name) {
    DWORD n = 0xFFFF, size = sizeof(n), type = 0;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, KeyPath, 0, KEY_READ, &key)) return 0xEEEE;
    RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&n), &size);
    RegCloseKey(key);
    return n;
}

void Answer(const MessageBoxView& box, int id) {
    PressButton(box.window, id);
    for (int i = 0; i < 100 && IsWindow(box.window); ++i) Sleep(20);
}

// Waits (bounded) until the builder shows no progress window: its build has ended.
bool BuildEnded(const App& app) {
    return WaitUntil([&] { return WindowsOf(app.process.Id(), L"Tfprogress").empty(); }, 10000);
}

}  // namespace

TEST(MainWindow, FirstRunShowsTheDesignState) {
    DeleteSavedSettings();
    App app;
    EXPECT_TRUE(KeyExists()) << "the key is created empty";
    EXPECT_EQ(WindowText(app.main), L"Quillet 1.0");
    for (const char* on : {"rbicondefault", "rbopenfolder", "cbopenfolder", "rbtemp", "rbwdextraction",
                           "rbdmimmediately", "rbuacnone", "rbomprompt"})
        EXPECT_TRUE(app.Checked(on)) << on;
    for (const char* off :
         {"rbiconcustom", "rbexecutefile", "cboneinstance", "cbsilent", "cbselfdelete", "cbcompact", "rbcustom"})
        EXPECT_FALSE(app.Checked(off)) << off;
    EXPECT_EQ(WindowText(app.C("cbcompact")), L"컴팩트 SFX 파일 (모든 파일을 하나의 zstd 스트림으로: 더 작지만 만들기가 느림)");
    for (const char* edit : {"esource", "etarget", "eicon", "eexecutablefile", "ecmdparameters", "ecustomdir"})
        EXPECT_EQ(app.Text(edit), L"") << edit;
    // Extract-only: the run-mode controls wait.
    for (const char* off : {"eicon", "bicon", "eexecutablefile", "ecmdparameters", "rbwdsource", "rbdmonreboot",
                            "rbuacadministrator", "ecustomdir", "benvvars"})
        EXPECT_FALSE(app.Enabled(off)) << off;
    EXPECT_TRUE(app.Enabled("cbopenfolder"));
    GUITHREADINFO info{sizeof(info)};
    GetGUIThreadInfo(GetWindowThreadProcessId(app.main, nullptr), &info);
    EXPECT_EQ(info.hwndFocus, app.C("bmake")) << "the focus starts on Create SFX";
    app.Close();
}

TEST(MainWindow, LayoutOfGroupsLinksAndButton) {
    App app;
    auto rect = [&](const char* name) {
        RECT r;
        GetWindowRect(app.C(name), &r);
        MapWindowPoints(nullptr, app.main, reinterpret_cast<POINT*>(&r), 2);
        return std::vector<LONG>{r.left, r.top, r.right - r.left, r.bottom - r.top};
    };
    RECT client;
    GetClientRect(app.main, &client);
    EXPECT_EQ(client.right, 792);
    EXPECT_EQ(client.bottom, 624);
    EXPECT_EQ(rect("gbsourcetarget"), (std::vector<LONG>{8, 8, 481, 225}));
    EXPECT_EQ(rect("gbextractionmode"), (std::vector<LONG>{8, 240, 481, 337}));
    EXPECT_EQ(rect("gbextractionfolder"), (std::vector<LONG>{496, 8, 289, 225}));
    EXPECT_EQ(rect("gbadvanced"), (std::vector<LONG>{496, 240, 289, 337}));
    EXPECT_EQ(rect("bmake"), (std::vector<LONG>{688, 584, 97, 33}));
    int linkX[] = {8, 96, 200, 280, 432};
    const char* links[] = {"labout", "lweb", "ldonate", "lcmdline", "lcmdlinegen"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rect(links[i])[0], linkX[i]) << links[i];
        EXPECT_EQ(rect(links[i])[1], 600) << links[i];
    }
    // Every link shows its whole text in the window's underlined font and stays clear of the next.
    HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, FALSE, TRUE, FALSE, HANGUL_CHARSET, 0, 0, 0, 0, L"맑은 고딕");
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    for (int i = 0; i < 5; ++i) {
        std::wstring text = WindowText(app.C(links[i]));
        SIZE size = {};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        EXPECT_GE(rect(links[i])[2], size.cx) << links[i] << " cuts its text";
        if (i < 4) {
            EXPECT_LT(rect(links[i])[0] + rect(links[i])[2], rect(links[i + 1])[0]) << links[i];
        }
    }
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    DeleteObject(font);
    LONG style = GetWindowLongW(app.main, GWL_STYLE);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    app.Close();
}

TEST(MainWindow, SavedSettingsLoadWithTheirEdgeCases) {
    DeleteSavedSettings();
    SetText("Source", "C:\\src\\");
    SetText("Target", "C:\\out\\t.exe");
    SetText("Icon", "   ");
    SetNumber("ExtractionMode", 1);
    SetText("ExecutableFile", "C:\\src\\run.exe");
    SetText("CmdParameters", "-x");
    SetNumber("ExtractionFolder", 9);
    SetText("CustomFolder", "%TEMP%\\q\\");
    SetText("OpenFolder", "0");  // text where a number belongs: not read
    SetNumber("WorkingDirectory", 2);
    SetNumber("DeleteMode", 2);
    SetNumber("OneInstance", 1);
    SetNumber("SilentMode", 7);
    SetNumber("SelfDeleteMode", 0);
    SetNumber("UACAutoElevation", 2);
    SetNumber("OverwriteMode", 3);
    SetNumber("Compact", 1);
    App app;
    EXPECT_EQ(app.Text("esource"), L"C:\\src\\");
    EXPECT_EQ(app.Text("etarget"), L"C:\\out\\t.exe");
    EXPECT_EQ(app.Text("eicon"), L"");
    EXPECT_TRUE(app.Checked("rbicondefault"));
    EXPECT_TRUE(app.Checked("rbexecutefile"));
    EXPECT_EQ(app.Text("eexecutablefile"), L"C:\\src\\run.exe");
    EXPECT_EQ(app.Text("ecmdparameters"), L"-x");
    EXPECT_TRUE(app.Checked("rbtemp"));
    EXPECT_EQ(app.Text("ecustomdir"), L"%TEMP%\\q\\");
    EXPECT_TRUE(app.Checked("cbopenfolder"));
    EXPECT_TRUE(app.Checked("rbwdcurrent"));
    EXPECT_TRUE(app.Checked("rbdmdonotdelete"));
    EXPECT_TRUE(app.Checked("cboneinstance"));
    EXPECT_TRUE(app.Checked("cbsilent"));
    EXPECT_FALSE(app.Checked("cbselfdelete"));
    EXPECT_TRUE(app.Checked("rbuacadministrator"));
    EXPECT_TRUE(app.Checked("rbomprompt"));
    EXPECT_TRUE(app.Checked("cbcompact"));
    app.Close();
}

TEST(MainWindow, EnablingRules) {
    DeleteSavedSettings();
    App app;
    app.Click("rbexecutefile");
    for (const char* on : {"eexecutablefile", "bexecutablefile", "ecmdparameters", "rbwdsource", "rbdmimmediately",
                           "rbdmdonotdelete", "rbuacadministrator", "cbcompact"})
        EXPECT_TRUE(app.Enabled(on)) << on;
    EXPECT_FALSE(app.Enabled("cbopenfolder"));
    EXPECT_FALSE(app.Enabled("rbdmonreboot")) << "restart deletion needs the administrator choice";
    app.Click("rbuacadministrator");
    EXPECT_TRUE(app.Enabled("rbdmonreboot"));
    app.Click("rbdmonreboot");
    EXPECT_TRUE(app.Checked("rbdmonreboot"));
    app.Click("rbuacnone");
    EXPECT_FALSE(app.Enabled("rbdmonreboot"));
    EXPECT_TRUE(app.Checked("rbdmimmediately")) << "the delete choice moves back";
    // Back to extract-only: the run-mode choices stay as they are, only disabled.
    app.Click("rbuacadministrator");
    app.Click("rbopenfolder");
    EXPECT_TRUE(app.Enabled("cbopenfolder"));
    EXPECT_FALSE(app.Enabled("rbuacadministrator"));
    EXPECT_TRUE(app.Checked("rbuacadministrator"));
    app.Click("rbcustom");
    EXPECT_TRUE(app.Enabled("ecustomdir"));
    EXPECT_TRUE(app.Enabled("benvvars"));
    app.Click("rbdesktop");
    EXPECT_FALSE(app.Enabled("ecustomdir"));
    app.Click("rbiconcustom");
    EXPECT_TRUE(app.Enabled("eicon"));
    EXPECT_TRUE(app.Enabled("bicon"));
    app.Close();
}

TEST(MainWindow, RefusedValidationStillSavesTheSettings) {
    DeleteSavedSettings();
    TempFolder work;
    App app("", work.Path());
    app.Type("esource", "  missing ");
    app.Type("etarget", "out.exe");
    app.Click("rbiconcustom");
    app.Type("eicon", "  ");
    app.Click("rbcustom");
    app.Type("ecustomdir", " %TEMP%\\app ");
    app.Click("cbsilent");
    app.Click("rbomskip");
    app.Click("cbcompact");
    app.Press("bmake");
    MessageBoxView box = app.NextBox();
    EXPECT_EQ(box.caption, L"Error");
    EXPECT_EQ(box.text, L"원본 폴더가 없습니다.\r\n\r\n" + WideOf(work / "missing\\"));
    Answer(box, IDOK);
    EXPECT_TRUE(IsWindow(app.main)) << "the window stays";
    EXPECT_EQ(GetText("Source"), work / "missing\\");
    EXPECT_EQ(GetText("Target"), work / "out.exe");
    EXPECT_EQ(GetText("Icon"), "");
    EXPECT_EQ(GetText("CustomFolder"), "%TEMP%\\app\\");
    EXPECT_EQ(GetNumber("ExtractionFolder"), 5u);
    EXPECT_EQ(GetNumber("SilentMode"), 1u);
    EXPECT_EQ(GetNumber("OverwriteMode"), 2u);
    EXPECT_EQ(GetNumber("OpenFolder"), 1u);
    EXPECT_EQ(GetNumber("Compact"), 1u);
    app.Close();
    App again;  // the next start reads them back
    EXPECT_TRUE(again.Checked("cbcompact"));
    EXPECT_TRUE(again.Checked("rbomskip"));
    again.Close();
}

// A complete command line fills the window; refused, it stays open with those values and saves nothing.
TEST(MainWindow, RefusedCommandLineKeepsItsValuesInTheWindow) {
    DeleteSavedSettings();
    TempFolder work;
    App app("-z -s " + Q(work / "missing") + " t.exe", work.Path());
    Answer(app.NextBox(), IDOK);
    EXPECT_TRUE(app.Checked("cbcompact"));
    EXPECT_TRUE(app.Checked("cbsilent"));
    EXPECT_FALSE(app.Checked("cboneinstance"));
    EXPECT_EQ(app.Text("etarget"), L"t.exe");
    app.Close();
    EXPECT_FALSE(KeyExists());
}

TEST(MainWindow, CreateSfxBuildsWithProgressAndEnds) {
    DeleteSavedSettings();
    TempFolder src, out;
    WriteFileBytes(src / "a.txt", "a");
    MakeFolder(src / "sub");
    WriteFileBytes(src / "sub\\b.bin", SomeBytes(20000000, 4));
    App app;
    app.Type("esource", src.Path());
    app.Type("etarget", out / "t.exe");
    app.Press("bmake");
    HWND progress = WaitForWindow(app.process.Id(), L"Tfprogress", 20000);
    ASSERT_TRUE(progress);
    EXPECT_EQ(WindowText(progress), L"Quillet 1.0");
    RECT c;
    GetClientRect(progress, &c);
    EXPECT_EQ(c.right, 632);
    EXPECT_EQ(c.bottom, 152);
    auto rect = [&](const char* name) {
        RECT r;
        GetWindowRect(FindControl(progress, name), &r);
        MapWindowPoints(nullptr, progress, reinterpret_cast<POINT*>(&r), 2);
        return std::vector<LONG>{r.left, r.top, r.right - r.left, r.bottom - r.top};
    };
    EXPECT_EQ(rect("pbfile"), (std::vector<LONG>{16, 32, 601, 17}));
    EXPECT_EQ(rect("pbtotal"), (std::vector<LONG>{16, 80, 601, 17}));
    EXPECT_EQ(rect("bcancel"), (std::vector<LONG>{544, 112, 73, 25}));
    EXPECT_EQ(rect("lsource")[0], 104);
    EXPECT_EQ(rect("lsource")[2], 513);
    EXPECT_EQ(GetWindowLongW(progress, GWL_STYLE) & WS_SYSMENU, 0) << "no title-bar buttons";
    // While it builds: the current file is shown and the bars and byte count move.
    bool sawFile = false, sawBytes = false;
    LRESULT total = 0;
    for (int i = 0; i < 400 && IsWindow(progress); ++i) {
        if (WindowText(FindControl(progress, "lsource")).find(L"b.bin") != std::wstring::npos) sawFile = true;
        if (WindowText(FindControl(progress, "lsize")).find(L"%") != std::wstring::npos) sawBytes = true;
        total = std::max<LRESULT>(total, SendMessageW(FindControl(progress, "pbtotal"), PBM_GETPOS, 0, 0));
        if (!WindowsOf(app.process.Id(), kDialogClass).empty()) break;
        Sleep(20);
    }
    EXPECT_TRUE(sawFile);
    EXPECT_TRUE(sawBytes);
    EXPECT_GT(total, 0);
    MessageBoxView box = app.NextBox();
    EXPECT_EQ(box.text, L"SFX 파일이 성공적으로 생성되었습니다");
    Answer(box, IDOK);
    DWORD code = 99;
    EXPECT_TRUE(app.process.Wait(20000, &code)) << "a completed build ends the program";
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(ReadSfx(out / "t.exe").error, "");
}

// Without a previous SFX file the warning says that none is written.
TEST(MainWindow, CancelWritesNoTargetAndKeepsTheWindow) {
    DeleteSavedSettings();
    TempFolder src, out;
    for (int i = 0; i < 4; ++i) WriteFileBytes(src / ("big" + std::to_string(i) + ".bin"), SomeBytes(20000000, i));
    App app;
    app.Type("esource", src.Path());
    app.Type("etarget", out / "t.exe");
    app.Press("bmake");
    HWND progress = WaitForWindow(app.process.Id(), L"Tfprogress", 20000);
    ASSERT_TRUE(progress);
    for (int i = 0; i < 200 && WindowText(FindControl(progress, "lsource")).find(L"big") == std::wstring::npos; ++i)
        Sleep(20);
    PostMessageW(FindControl(progress, "bcancel"), BM_CLICK, 0, 0);
    MessageBoxView box = app.NextBox();
    EXPECT_EQ(box.caption, L"Warning");
    EXPECT_EQ(box.text, L"SFX 생성 중단됨\r\n대상 SFX 파일은 만들어지지 않았습니다");
    Answer(box, IDOK);
    EXPECT_TRUE(BuildEnded(app));
    EXPECT_TRUE(out.List().empty()) << "no target, no temporary file";
    EXPECT_TRUE(IsWindow(app.main));
    EXPECT_EQ(app.Text("esource"), WideOf(src.Path()));
    app.Close();
}

// Seven packing threads: the bars only move forward, a cancel ends the build like one thread
// does (warning, window stays), the previous SFX file is kept as it was and the warning says so,
// and no worker outlives the build.
TEST(MainWindow, CancelWithSeveralThreadsEndsLikeOneThread) {
    DeleteSavedSettings();
    ScopedEnv threads("QUILLET_THREADS", "7");
    TempFolder src, out;
    WriteFileBytes(out / "t.exe", "the previous SFX file");
    for (int i = 0; i < 3; ++i) WriteFileBytes(src / ("big" + std::to_string(i) + ".bin"), SomeBytes(30000000, i));
    App app;
    app.Type("esource", src.Path());
    app.Type("etarget", out / "t.exe");
    int idle = ThreadCount(app.process.Id());
    app.Press("bmake");
    MessageBoxView question = app.NextBox();
    EXPECT_EQ(question.caption, L"Confirmation");
    Answer(question, IDYES);
    HWND progress = WaitForWindow(app.process.Id(), L"Tfprogress", 20000);
    ASSERT_TRUE(progress);
    // Wait for the second file, watching the bars.
    // (The file bar starts again with every file; the total bar and the percentage never go back.)
    LRESULT lastTotal = 0;
    long lastPercent = 0;
    bool backwards = false;
    std::wstring file;
    for (int i = 0; i < 1500 && IsWindow(progress); ++i) {
        LRESULT total = SendMessageW(FindControl(progress, "pbtotal"), PBM_GETPOS, 0, 0);
        std::wstring size = WindowText(FindControl(progress, "lsize"));
        size_t open = size.rfind(L'(');
        long percent = open == std::wstring::npos ? 0 : wcstol(size.c_str() + open + 1, nullptr, 10);
        std::wstring now = WindowText(FindControl(progress, "lsource"));
        if (total < lastTotal || percent < lastPercent) backwards = true;
        lastTotal = total;
        lastPercent = percent;
        file = now;
        if (now.find(L"big1.bin") != std::wstring::npos) break;
        Sleep(20);
    }
    EXPECT_FALSE(backwards) << "progress is shown in the order of the file";
    EXPECT_NE(file.find(L"big1.bin"), std::wstring::npos);
    EXPECT_GT(ThreadCount(app.process.Id()), idle) << "the build packs on worker threads";
    PostMessageW(FindControl(progress, "bcancel"), BM_CLICK, 0, 0);
    MessageBoxView box = app.NextBox();
    EXPECT_EQ(box.caption, L"Warning");
    EXPECT_EQ(box.text, L"SFX 생성 중단됨\r\n기존 대상 SFX 파일은 그대로 유지됩니다");
    Answer(box, IDOK);
    int after = 0;
    for (int i = 0; i < 100 && (after = ThreadCount(app.process.Id())) > idle; ++i) Sleep(20);
    EXPECT_LE(after, idle) << "no worker is left running";
    EXPECT_EQ(ReadFileBytes(out / "t.exe"), "the previous SFX file");
    EXPECT_EQ(out.List(), std::vector<std::string>{"t.exe"}) << "no temporary file is left";
    EXPECT_TRUE(IsWindow(app.main));
    app.Close();
}

TEST(MainWindow, FailedRebuildKeepsThePreviousFile) {
    DeleteSavedSettings();
    TempFolder src, out;
    WriteFileBytes(out / "t.exe", "the previous SFX file");
    WriteFileBytes(src / "a.bin", SomeBytes(3000000, 1));
    WriteFileBytes(src / "locked.txt", "x");
    HANDLE lock = CreateFileA((src / "locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    App app;
    app.Type("esource", src.Path());
    app.Type("etarget", out / "t.exe");
    app.Press("bmake");
    Answer(app.NextBox(), IDYES);
    MessageBoxView box = app.NextBox();
    EXPECT_EQ(box.caption, L"Quillet");
    EXPECT_NE(box.text.find(WideOf(src / "locked.txt")), std::wstring::npos) << testing::PrintToString(box.text);
    Answer(box, IDOK);
    CloseHandle(lock);
    EXPECT_TRUE(BuildEnded(app));
    EXPECT_EQ(ReadFileBytes(out / "t.exe"), "the previous SFX file");
    EXPECT_EQ(out.List(), std::vector<std::string>{"t.exe"}) << "no temporary file is left";
    EXPECT_TRUE(IsWindow(app.main));
    app.Close();
}

TEST(MainWindow, CompleteCommandLineBuildsByItself) {
    DeleteSavedSettings();
    TempFolder src, out;
    WriteFileBytes(src / "a.txt", "a");
    Process p(Q(BinPath("quillet.exe")) + " -c -fd " + Q(src.Path()) + " " + Q(out / "t.exe"));
    DWORD code = 99;
    EXPECT_TRUE(p.Wait(30000, &code));
    EXPECT_EQ(code, 0u);
    SfxFile f = ReadSfx(out / "t.exe");
    EXPECT_EQ(f.error, "");
    EXPECT_EQ(f.Byte(1), 1);
    EXPECT_FALSE(KeyExists()) << "a command-line build saves nothing";
}

TEST(AboutBox, F1ShowsItAndEscapeClosesIt) {
    App app;
    SetForegroundWindow(app.main);
    PostMessageW(app.C("bmake"), WM_KEYDOWN, VK_F1, 0);
    HWND about = WaitForWindow(app.process.Id(), L"tfabout", 10000);
    ASSERT_TRUE(about);
    EXPECT_EQ(WindowText(about), L"About...");
    RECT c;
    GetClientRect(about, &c);
    EXPECT_EQ(c.right, 264);
    EXPECT_EQ(c.bottom, 208);
    EXPECT_EQ(WindowText(FindControl(about, "ltitle")), L"Quillet");
    EXPECT_EQ(WindowText(FindControl(about, "lversion")), L"Version 1.0.0.0");
    std::wstring maker = WindowText(FindControl(about, "lmaker"));
    EXPECT_GE(maker.size(), 5u);
    WIN32_FILE_ATTRIBUTE_DATA a;
    GetFileAttributesExA(BinPath("quillet.exe").c_str(), GetFileExInfoStandard, &a);
    FILETIME local;
    SYSTEMTIME st;
    FileTimeToLocalFileTime(&a.ftLastWriteTime, &local);
    FileTimeToSystemTime(&local, &st);
    EXPECT_EQ(maker.substr(maker.size() - 4), std::to_wstring(st.wYear));
    EXPECT_EQ(WindowText(FindControl(about, "lweblink")), L"corvane.example/quillet");
    EXPECT_EQ(WindowText(FindControl(about, "lemaillink")), L"quillet@corvane.example");
    PostMessageW(FindControl(about, "bok"), WM_KEYDOWN, VK_ESCAPE, 0);
    for (int i = 0; i < 100 && IsWindowVisible(about); ++i) Sleep(20);
    EXPECT_FALSE(IsWindowVisible(about));
    app.Close();
}

TEST(MainWindow, FailedBuildLeavesTheWindowOpen) {
    DeleteSavedSettings();
    TempFolder src, out;
    WriteFileBytes(src / "locked.txt", "x");
    HANDLE lock = CreateFileA((src / "locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    App app;
    app.Type("esource", src.Path());
    app.Type("etarget", out / "t.exe");
    app.Press("bmake");
    MessageBoxView box = app.NextBox();
    EXPECT_EQ(box.caption, L"Quillet");
    EXPECT_NE(box.text.find(WideOf(src / "locked.txt")), std::wstring::npos) << testing::PrintToString(box.text);
    Answer(box, IDOK);
    EXPECT_TRUE(BuildEnded(app));
    EXPECT_TRUE(IsWindow(app.main));
    CloseHandle(lock);
    app.Close();
}

TEST(MainWindow, OverwriteQuestionAnsweredNo) {
    DeleteSavedSettings();
    TempFolder src, out;
    WriteFileBytes(src / "a.txt", "a");
    WriteFileBytes(out / "t.exe", "old");
    App app;
    app.Type("esource", src.Path());
    app.Type("etarget", out / "t.exe");
    app.Press("bmake");
    MessageBoxView box = app.NextBox();
    EXPECT_EQ(box.caption, L"Confirmation");
    EXPECT_EQ(box.text, L"대상 파일이 이미 존재합니다.\r\n덮어쓰시겠습니까?");
    EXPECT_EQ(box.defaultButton, IDNO);
    Answer(box, IDNO);
    app.Sync();  // the click has been handled: a build would have its window by now
    EXPECT_TRUE(WindowsOf(app.process.Id(), L"Tfprogress").empty());
    EXPECT_EQ(ReadFileBytes(out / "t.exe"), "old");
    app.Close();
}

// The executable's open dialog starts on the filter of the edit's extension; a name chosen
// without extension gets the extension of the chosen filter, except for "All files".
TEST(MainWindow, BrowseDialogFilterAndExtension) {
    DeleteSavedSettings();
    TempFolder dir;
    App app;
    app.Click("rbexecutefile");
    struct Case {
        std::string start;
        int filter;  // 0-based in the dialog's file-type list
        std::wstring result;
    } cases[] = {
        {dir / "run.bat", 1, WideOf(dir / "tool.bat")},
        {dir / "run.wsh", 6, WideOf(dir / "tool.wsh")},
        {dir / "run.zzz", 7, WideOf(dir / "tool")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.start);
        app.Type("eexecutablefile", c.start);
        app.Press("bexecutablefile");
        HWND dialog = WaitForWindow(app.process.Id(), kDialogClass, 10000);
        ASSERT_TRUE(dialog);
        HWND types = nullptr, name = nullptr;
        char proposed[MAX_PATH] = "";
        WaitUntil([&] {  // the dialog is set up: its file types chosen, a name proposed
            types = GetDlgItem(dialog, 0x470), name = GetDlgItem(dialog, 0x47c);
            if (!name) name = GetDlgItem(dialog, 0x480);
            if (name) SendMessageA(name, WM_GETTEXT, MAX_PATH, reinterpret_cast<LPARAM>(proposed));
            return types && SendMessageW(types, CB_GETCURSEL, 0, 0) >= 0 && proposed[0];
        }, 5000);
        ASSERT_TRUE(types && name);
        EXPECT_EQ(SendMessageW(types, CB_GETCURSEL, 0, 0), c.filter);
        EXPECT_EQ(std::string(proposed), c.start.substr(c.start.rfind('\\') + 1)) << "the edit's file name is proposed";
        SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>((dir / "tool").c_str()));
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 100 && IsWindow(dialog); ++i) Sleep(30);
        EXPECT_EQ(app.Text("eexecutablefile"), c.result);
    }
    app.Close();
}
