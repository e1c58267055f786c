// Drives the real builder into the states shown in docs/ and saves each window as a BMP file
// (read from the screen, as the user sees it). Used by scripts/screenshots.sh.
//   screenshot_driver <output folder> <large source folder>
#include <windows.h>

#include <string>

#include "formcontrols.h"
#include "winprocess.h"

namespace {

std::string out;

void Save(HWND window, const char* name) {
    Sleep(400);
    RECT r;
    GetWindowRect(window, &r);
    int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr), memory = CreateCompatibleDC(screen);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);
    int stride = (w * 3 + 3) & ~3;
    BITMAPFILEHEADER file = {0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER) + stride * h), 0,
                             0, sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER)};
    std::string bytes(reinterpret_cast<char*>(&file), sizeof(file));
    bytes.append(reinterpret_cast<char*>(&info.bmiHeader), sizeof(BITMAPINFOHEADER));
    bytes.append(static_cast<char*>(bits), stride * h);
    WriteFileBytes(out + name, bytes);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}

void Type(HWND form, const char* name, const std::string& text) {
    SendMessageA(FindControl(form, name), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Click(HWND form, const char* name) {
    DWORD_PTR result;
    SendMessageTimeoutW(FindControl(form, name), BM_CLICK, 0, 0, SMTO_NORMAL, 3000, &result);
}

void CloseBoxes(DWORD pid) {
    for (HWND box : WindowsOf(pid, kDialogClass)) PressButton(box, IDOK);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    out = argv[1];
    std::string large = argv[2];
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Corvane\\Quillet");
    TempFolder target;
    {
        Process p("\"" + BinPath("quillet.exe") + "\"");
        HWND main = WaitForWindow(p.Id(), L"Tfquillet", 20000);
        if (!main) return 1;
        Save(main, "main-design.bmp");
        Type(main, "esource", large);
        Type(main, "etarget", target / "Setup.exe");
        Click(main, "rbexecutefile");
        Type(main, "eexecutablefile", large + "\\setup.exe");
        Type(main, "ecmdparameters", "/quiet");
        Click(main, "rbuacadministrator");
        Click(main, "rbdmonreboot");
        Click(main, "rbcustom");
        Type(main, "ecustomdir", "%PROGRAMFILES%\\Sample\\");
        Click(main, "cboneinstance");
        Save(main, "main-runmode.bmp");
        // Back to a plain build of the large folder, to watch its progress.
        Click(main, "rbopenfolder");
        Click(main, "rbtemp");
        PostMessageW(FindControl(main, "bmake"), BM_CLICK, 0, 0);
        HWND progress = WaitForWindow(p.Id(), L"Tfprogress", 20000);
        for (int i = 0; progress && i < 600; ++i) {
            wchar_t text[128] = L"";
            GetWindowTextW(FindControl(progress, "lsize"), text, 128);
            std::wstring t = text;
            size_t open = t.find(L'(');
            if (open != std::wstring::npos && _wtoi(t.c_str() + open + 1) >= 40) break;
            Sleep(50);
        }
        if (progress) Save(progress, "progress.bmp");
        for (int i = 0; i < 1200 && !p.Wait(50); ++i) CloseBoxes(p.Id());
    }
    {
        Process p("\"" + BinPath("quillet.exe") + "\"");
        HWND main = WaitForWindow(p.Id(), L"Tfquillet", 20000);
        if (!main) return 1;
        PostMessageW(FindControl(main, "labout"), WM_COMMAND, 0, 0);
        PostMessageW(main, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(FindControl(main, "labout")), STN_CLICKED),
                     reinterpret_cast<LPARAM>(FindControl(main, "labout")));
        HWND about = WaitForWindow(p.Id(), L"tfabout", 10000);
        if (about) {
            Save(about, "about.bmp");
            PostMessageW(FindControl(about, "bok"), BM_CLICK, 0, 0);
        }
        Sleep(300);
        // The usage window, the generator for a run-mode state, and the variable picker.
        auto open = [&](const char* link) {
            HWND l = FindControl(main, link);
            PostMessageW(main, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(l), STN_CLICKED), reinterpret_cast<LPARAM>(l));
        };
        auto closeWith = [](HWND w) {
            PostMessageW(w, WM_COMMAND, IDCANCEL, 0);
            for (int i = 0; i < 100 && IsWindowVisible(w); ++i) Sleep(20);
        };
        open("lcmdline");
        if (HWND w = WaitForWindow(p.Id(), L"Tfcmdline", 10000)) {
            Save(w, "cmdline.bmp");
            closeWith(w);
        }
        Type(main, "esource", "C:\\Source");
        Type(main, "etarget", "C:\\Target.exe");
        Click(main, "rbexecutefile");
        Type(main, "eexecutablefile", "C:\\Source\\setup.exe");
        Type(main, "ecmdparameters", "\"prm 1\" \"prm 2\"");
        Click(main, "rbcustom");
        Type(main, "ecustomdir", "%PROGRAMFILES%\\Sample\\");
        open("lcmdlinegen");
        if (HWND w = WaitForWindow(p.Id(), L"Tfcmdlinegen", 10000)) {
            Save(w, "cmdlinegen.bmp");
            closeWith(w);
        }
        PostMessageW(FindControl(main, "benvvars"), BM_CLICK, 0, 0);
        if (HWND w = WaitForWindow(p.Id(), L"Tfenvvars", 10000)) {
            Save(w, "envvars.bmp");
            closeWith(w);
        }
        Sleep(300);
        PostMessageW(main, WM_CLOSE, 0, 0);
        p.Wait(10000);
    }
    return 0;
}
