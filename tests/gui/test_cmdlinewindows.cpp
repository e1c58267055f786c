// The usage window, the command-line generator and the environment-variable picker, driven
// through the real builder under Xvfb; the generated line builds the window's own SFX file.
#include <gtest/gtest.h>

#include "builderapp.h"

#include <commctrl.h>

namespace {

std::wstring EditText(HWND edit) {
    static wchar_t text[65536];
    text[0] = 0;
    SendMessageTimeoutW(edit, WM_GETTEXT, 65536, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000, nullptr);
    return text;
}

void PressEscape(HWND control) {
    PostMessageW(control, WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageW(control, WM_KEYUP, VK_ESCAPE, 0xC0000001);
}

void WaitGone(HWND window) {
    for (int i = 0; i < 200 && IsWindow(window) && IsWindowVisible(window); ++i) Sleep(20);
}

// Opens the generator, reads its line, closes it.
std::string GeneratedLine(App& b) {
    OpenLink(b, "lcmdlinegen");
    HWND gen = WaitForWindow(b.process.Id(), L"Tfcmdlinegen", 10000);
    EXPECT_TRUE(gen);
    if (!gen) return std::string();
    std::wstring text;
    EXPECT_TRUE(WaitUntil([&] { return !(text = EditText(FindControl(gen, "mcmdline"))).empty(); }, 5000));
    PressEscape(FindControl(gen, "mcmdline"));
    WaitGone(gen);
    int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, &s[0], n, nullptr, nullptr);
    s.resize(n ? n - 1 : 0);
    return s;
}

std::string Program() { return BinPath("quillet.exe"); }


}  // namespace

TEST(UsageWindow, ShowsTheUsageTextAndClosesOnEscape) {
    App b;
    OpenLink(b, "lcmdline");
    HWND w = WaitForWindow(b.process.Id(), L"Tfcmdline", 10000);
    ASSERT_TRUE(w);
    EXPECT_EQ(WindowText(w), L"명령줄 지원");
    RECT c;
    GetClientRect(w, &c);
    EXPECT_EQ(c.right, 792);
    EXPECT_EQ(c.bottom, 552);
    std::string usage = ReadFileBytes(std::string("Z:") + QUILLET_SOURCE_DIR + "/resources/cmdline.txt");
    EXPECT_EQ(EditText(FindControl(w, "mcmdline")), WideOf(usage));
    PressEscape(FindControl(w, "mcmdline"));
    WaitGone(w);
    EXPECT_FALSE(IsWindow(w) && IsWindowVisible(w));
    b.Close();
}

TEST(Generator, DefaultStateAndEdgeCases) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Corvane\\Quillet");
    App b;
    b.Type("esource", "C:\\Source");
    b.Type("etarget", "C:\\Target.exe");
    EXPECT_EQ(GeneratedLine(b), Program() + " -me -ft -e -op C:\\Source C:\\Target.exe");
    b.Click("cbcompact");  // the compact form: its creation switch last
    EXPECT_EQ(GeneratedLine(b), Program() + " -me -ft -e -op -z C:\\Source C:\\Target.exe");
    b.Click("cbcompact");

    // Run mode: the empty executable holds its place before the custom folder, quoted parameters.
    b.Type("esource", "C:\\My Source");
    b.Type("etarget", "C:\\a\"b.exe");
    b.Click("rbexecutefile");
    b.Type("eexecutablefile", "  ");
    b.Click("rbcustom");
    b.Type("ecustomdir", "%TEMP%\\x");
    b.Type("ecmdparameters", "\"prm 1\" \"prm 2\"");
    b.Click("rbuacadministrator");
    b.Click("rbdmonreboot");
    b.Click("rbiconcustom");  // chosen, but the icon field is empty
    EXPECT_EQ(GeneratedLine(b), Program() +
                                    " -mf -fm -we -dr -ua -op \"C:\\My Source\" C:\\a\\\"b.exe \"\" %TEMP%\\x "
                                    "\"\\\"prm 1\\\" \\\"prm 2\\\"\"");

    // Back to extract-only: the disabled choices are left out whatever they hold, but for the
    // elevation, which the builder applies in either mode.
    b.Click("rbopenfolder");
    std::string line = GeneratedLine(b);
    EXPECT_NE(line.find(" -ua "), std::string::npos) << line;
    EXPECT_EQ(line.find("-dr"), std::string::npos) << line;
    EXPECT_NE(line.find(" -me "), std::string::npos) << line;
    b.Close();
}

TEST(Generator, CopyPutsTheLineOnTheClipboard) {
    App b;
    // Text outside the code page reaches the clipboard whole.
    const wchar_t* source = L"C:\\\u041F\u0440\u0438\u0432\u0435\u0442 \u5F20\u4F1F\\\U0001F600";
    DWORD_PTR set;
    SendMessageTimeoutW(b.C("esource"), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(source), SMTO_NORMAL, 5000, &set);
    b.Type("etarget", "C:\\T.exe");
    OpenLink(b, "lcmdlinegen");
    HWND gen = WaitForWindow(b.process.Id(), L"Tfcmdlinegen", 10000);
    ASSERT_TRUE(gen);
    RECT c;
    GetClientRect(gen, &c);
    EXPECT_EQ(c.right, 784);
    EXPECT_EQ(c.bottom, 128);
    DWORD_PTR r;
    SendMessageTimeoutW(FindControl(gen, "bcopy"), BM_CLICK, 0, 0, SMTO_NORMAL, 3000, &r);
    std::wstring clip;
    for (int i = 0; i < 20 && clip.empty(); ++i, Sleep(50)) {
        if (!OpenClipboard(nullptr)) continue;
        HANDLE data = GetClipboardData(CF_UNICODETEXT);
        if (data) {
            clip = static_cast<const wchar_t*>(GlobalLock(data));
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    EXPECT_EQ(clip, EditText(FindControl(gen, "mcmdline")));
    EXPECT_EQ(clip, WideOf(Program() + " -me -ft -e -op ") + L"\"" + source + L"\" C:\\T.exe");
    PressEscape(FindControl(gen, "mcmdline"));
    WaitGone(gen);
    b.Close();
}

TEST(Picker, ChosenVariableGoesIntoTheCustomFolder) {
    SetEnvironmentVariableA("QUILLET_PICK", "C:\\Picked");
    App b;
    b.Click("rbcustom");
    b.Type("ecustomdir", "\\sub");
    SendMessageW(b.C("ecustomdir"), EM_SETSEL, 0, 0);  // the caret at the start
    for (bool choose : {false, true}) {
        PostMessageW(b.C("benvvars"), BM_CLICK, 0, 0);
        HWND picker = WaitForWindow(b.process.Id(), L"Tfenvvars", 10000);
        ASSERT_TRUE(picker);
        EXPECT_EQ(WindowText(picker), L"Quillet 1.0 - 이 컴퓨터의 환경 변수");
        HWND list = FindControl(picker, "vleenvvars");
        EXPECT_TRUE(WaitUntil([&] { return SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) > 0; }, 5000)) << "an empty list";
        if (choose) {
            // Find the variable's row, check both columns, move there with the keyboard.
            int row = -1, count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
            for (int i = 0; i < count && row < 0; ++i)
                if (CellText(list, i, 0) == L"%QUILLET_PICK%") row = i;
            ASSERT_GE(row, 0) << "the variable is not listed";
            EXPECT_EQ(CellText(list, row, 1), L"C:\\Picked");
            SendMessageW(list, WM_KEYDOWN, VK_HOME, 0);
            for (int i = 0; i < row + 10; ++i) {
                if (SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED) == row) break;
                SendMessageW(list, WM_KEYDOWN, VK_DOWN, 0);
            }
            EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), row);
            PostMessageW(list, WM_KEYDOWN, VK_RETURN, 0);
        } else {
            PressEscape(list);
        }
        WaitGone(picker);
    }
    // The choice is inserted once the picker has closed: at most a moment later.
    WaitUntil([&] { return EditText(b.C("ecustomdir")) != L"\\sub"; }, 5000);
    EXPECT_EQ(EditText(b.C("ecustomdir")), L"%QUILLET_PICK%\\sub");
    b.Close();
    SetEnvironmentVariableA("QUILLET_PICK", nullptr);
}

// The generated line, run windowless, builds what the window builds: the same record but for
// InstanceName and the fields whose controls are disabled in this state (DeleteMode and
// WorkingDirectory belong to run mode; their choices go into the window's build only).
TEST(Generator, GeneratedLineBuildsTheWindowsSfxFile) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Corvane\\Quillet");
    TempFolder src, out;
    WriteFileBytes(src / "a.txt", "a");
    std::string target = out / "t.exe";
    App b;
    b.Type("esource", src.Path());
    b.Type("etarget", target);
    b.Click("rbexecutefile");
    b.Click("rbwdcurrent");
    b.Click("rbdmdonotdelete");
    b.Click("rbopenfolder");  // extract-only again: those two stay checked but disabled
    b.Click("rbdesktop");
    b.Click("cbsilent");
    b.Click("cboneinstance");
    b.Click("rbomskip");
    std::string line = GeneratedLine(b);
    PostMessageW(b.C("bmake"), BM_CLICK, 0, 0);
    HWND box = WaitForWindow(b.process.Id(), kDialogClass, 30000);
    ASSERT_TRUE(box);
    PressButton(box, IDOK);
    DWORD code = 99;
    EXPECT_TRUE(b.process.Wait(30000, &code));
    SfxFile window = ReadSfx(target);
    ASSERT_EQ(window.error, "");

    Process cli(line + " -h -c -o");
    EXPECT_EQ(ExpectEndsWithoutMessages(cli, 30000), 0u);
    SfxFile generated = ReadSfx(target);
    ASSERT_EQ(generated.error, "");
    std::string a = window.record, g = generated.record;
    EXPECT_EQ(a[2327], 2);  // DeleteMode: the disabled "do not delete"
    EXPECT_EQ(g[2327], 0);
    EXPECT_EQ(a[2328], 2);  // WorkingDirectory: the disabled "current folder"
    EXPECT_EQ(g[2328], 0);
    for (size_t at : {2327u, 2328u}) a[at] = g[at] = 0;
    a.replace(2311, 10, 10, '0');
    g.replace(2311, 10, 10, '0');
    EXPECT_EQ(Differences(g, a), "");
    EXPECT_EQ(g[1], 1);     // desktop
    EXPECT_EQ(g[2325], 1);  // silent
    EXPECT_EQ(g[2329], 2);  // skip existing files
}
