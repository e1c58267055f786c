// Drives the real builder into the states shown in docs/ and saves each window as a BMP file
// (read from the screen, as the user sees it), with the texts of its controls beside it in a
// UTF-8 text file of the same name (list views row by row), so what the pictures show can be
// checked. Used by scripts/screenshots.sh.
//   screenshot_driver <output folder> <builder> <large source folder> <target file>
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "formcontrols.h"
#include "winprocess.h"

namespace {

std::string out;

std::string Utf8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::string ControlName(HWND control) {
    ATOM atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(GetPropW(control, L"QuilletName")));
    char name[64] = "";
    if (atom) GlobalGetAtomNameA(atom, name, sizeof(name));
    return name;
}


BOOL CALLBACK DescribeControl(HWND control, LPARAM p) {
    std::string& text = *reinterpret_cast<std::string*>(p);
    std::string name = ControlName(control);
    if (name.empty() || !IsWindowVisible(control)) return TRUE;
    wchar_t cls[64] = L"";
    GetClassNameW(control, cls, 64);
    if (!lstrcmpiW(cls, WC_LISTVIEWW)) {
        HWND header = reinterpret_cast<HWND>(SendMessageW(control, LVM_GETHEADER, 0, 0));
        int columns = header ? static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0)) : 1;
        int rows = static_cast<int>(SendMessageW(control, LVM_GETITEMCOUNT, 0, 0));
        text += name + ": " + std::to_string(rows) + " rows\n";
        for (int r = 0; r < rows; ++r) {
            std::wstring line;
            for (int c = 0; c < columns; ++c) line += (c ? L"\t" : L"") + CellText(control, r, c);
            text += Utf8(line) + "\n";
        }
        return TRUE;
    }
    std::wstring caption(32768, L'\0');
    DWORD_PTR n = 0;
    SendMessageTimeoutW(control, WM_GETTEXT, caption.size(), reinterpret_cast<LPARAM>(&caption[0]), SMTO_NORMAL,
                        3000, &n);
    caption.resize(n);
    text += name + ": " + Utf8(caption) + "\n";
    return TRUE;
}

// Every named control of the window with its text, in creation order.
void SaveTexts(HWND window, const std::string& name) {
    std::string text = "caption: " + Utf8(WindowText(window)) + "\n";
    EnumChildWindows(window, DescribeControl, reinterpret_cast<LPARAM>(&text));
    WriteFileBytes(out + name.substr(0, name.rfind('.')) + ".txt", text);
}

// Wine adds variables of its own to every process it starts (WINECONFIGDIR, WINEDLLDIR0,
// WINEUSERNAME, winsysdir...), and what its Unix side needs (DISPLAY, LOCPATH, LC_ALL, the
// prefix) reaches the Windows environment too. No Windows machine has them, so the builder's
// environment becomes ours without them before its picker reads it.
bool WineOnly(const std::wstring& entry) {
    std::wstring name = entry.substr(0, entry.find(L'=', 1));
    for (wchar_t& c : name) c = towupper(c);
    if (name.compare(0, 4, L"WINE") == 0) return true;
    for (const wchar_t* unix : {L"WINSYSDIR", L"DISPLAY", L"LOCPATH", L"LC_ALL", L"LANG", L"USER", L"LOGNAME"})
        if (name == unix) return true;
    return false;
}

bool GiveWindowsEnvironment(DWORD pid) {
    std::vector<std::wstring> entries;
    wchar_t* own = GetEnvironmentStringsW();
    for (const wchar_t* e = own; *e; e += lstrlenW(e) + 1)
        if (!WineOnly(e)) entries.push_back(e);
    FreeEnvironmentStringsW(own);
    // In the order Windows keeps its environment: by name, ignoring case.
    std::sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
        return _wcsicmp(a.substr(0, a.find(L'=', 1)).c_str(), b.substr(0, b.find(L'=', 1)).c_str()) < 0;
    });
    std::vector<wchar_t> block;
    for (const std::wstring& e : entries) block.insert(block.end(), e.c_str(), e.c_str() + e.size() + 1);
    block.push_back(L'\0');
    HANDLE process = OpenProcess(PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION | PROCESS_VM_OPERATION |
                                     PROCESS_VM_WRITE | PROCESS_VM_READ, FALSE, pid);
    if (!process) return false;
    SIZE_T bytes = block.size() * sizeof(wchar_t);
    void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT, PAGE_READWRITE);
    bool done = false;
    // SetEnvironmentStringsW takes one pointer and is stdcall, exactly a thread's start routine;
    // kernel32 sits at the same address in both processes.
    auto start = reinterpret_cast<LPTHREAD_START_ROUTINE>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetEnvironmentStringsW")));
    if (remote && start && WriteProcessMemory(process, remote, block.data(), bytes, nullptr)) {
        if (HANDLE thread = CreateRemoteThread(process, nullptr, 0, start, remote, 0, nullptr)) {
            DWORD result = 0;
            done = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0 && GetExitCodeThread(thread, &result) && result;
            CloseHandle(thread);
        }
    }
    CloseHandle(process);
    return done;
}

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
    SaveTexts(window, name);
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
    if (argc != 5) return 2;
    out = argv[1];
    std::string builder = argv[2], large = argv[3], target = argv[4];
    // Started from the folder it is installed in, as from its shortcut.
    std::string home = builder.substr(0, builder.find_last_of('\\'));
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Corvane\\Quillet");
    {
        Process p("\"" + builder + "\"", home.c_str());
        HWND main = WaitForWindow(p.Id(), L"Tfquillet", 20000);
        if (!main) return 1;
        Save(main, "main-design.bmp");
        Type(main, "esource", large);
        Type(main, "etarget", target);
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
        DeleteFileA(target.c_str());
    }
    {
        Process p("\"" + builder + "\"", home.c_str());
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
        if (!GiveWindowsEnvironment(p.Id())) return 1;
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
