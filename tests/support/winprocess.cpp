#include "winprocess.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <tlhelp32.h>

std::string BinDir() {
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, n);
    return dir.substr(0, dir.find_last_of('\\') + 1);
}

std::string BinPath(const char* program) { return BinDir() + program; }

void RemoveTree(const std::string& folder) {
    std::string dir = folder.empty() || folder.back() == '\\' ? folder : folder + "\\";
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            std::string full = dir + name;
            // A link goes itself; what it leads to is not the tree's.
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
                if (!RemoveDirectoryA(full.c_str())) DeleteFileA(full.c_str());
                continue;
            }
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(full + "\\");
            else
                DeleteFileA(full.c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(dir.substr(0, dir.size() - 1).c_str());
}

TempFolder::TempFolder() {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    static LONG counter = 0;
    for (;;) {
        char name[MAX_PATH];
        wsprintfA(name, "%squillet-test-%lu-%ld", base, GetCurrentProcessId(),
                  InterlockedIncrement(&counter));
        if (CreateDirectoryA(name, nullptr)) {
            path_ = std::string(name) + "\\";
            return;
        }
    }
}

TempFolder::~TempFolder() { RemoveTree(path_); }

std::vector<std::string> TempFolder::List() const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((path_ + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        std::string name = fd.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
    ASSERT_EQ(written, bytes.size());
}

std::string ReadFileBytes(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::string();
    std::string bytes(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    if (!bytes.empty()) ReadFile(h, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(h);
    bytes.resize(got);
    return bytes;
}

Process::Process(const std::string& cmdLine, const char* workDir) {
    STARTUPINFOA si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    std::string line = cmdLine;
    Adopt(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, workDir, &si, &pi), pi);
}

Process::Process(const std::wstring& cmdLine, const wchar_t* workDir) {
    STARTUPINFOW si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    std::wstring line = cmdLine;
    Adopt(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, workDir, &si, &pi), pi);
}

void Process::Adopt(BOOL started, const PROCESS_INFORMATION& pi) {
    if (!started) return;
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
}

Process::~Process() {
    Kill();
    if (process_) CloseHandle(process_);
}

bool Process::Wait(DWORD ms, DWORD* exitCode) {
    if (!process_ || WaitForSingleObject(process_, ms) != WAIT_OBJECT_0) return false;
    if (exitCode) GetExitCodeProcess(process_, exitCode);
    return true;
}

void Process::Kill() {
    if (process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process_, 0xDEAD0000);
        WaitForSingleObject(process_, 5000);
    }
}

std::string RunForOutput(const std::string& cmdLine, DWORD ms, DWORD* exitCode) {
    SECURITY_ATTRIBUTES sa{sizeof(sa), nullptr, TRUE};
    HANDLE readEnd, writeEnd;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return std::string();
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{sizeof(si)};
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string line = cmdLine, output;
    BOOL ok = CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                             nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (!ok) {
        CloseHandle(readEnd);
        return output;
    }
    DWORD start = GetTickCount();
    for (;;) {
        DWORD available = 0;
        if (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available) {
            std::string chunk(available, '\0');
            DWORD got = 0;
            ReadFile(readEnd, &chunk[0], available, &got, nullptr);
            output.append(chunk, 0, got);
            continue;
        }
        bool ended = WaitForSingleObject(pi.hProcess, 20) == WAIT_OBJECT_0;
        if (ended) {
            if (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available)
                continue;
            break;
        }
        if (GetTickCount() - start > ms) {
            ADD_FAILURE() << "timed out: " << cmdLine;
            TerminateProcess(pi.hProcess, 0xDEAD0000);
            WaitForSingleObject(pi.hProcess, 5000);
            break;
        }
    }
    if (exitCode) GetExitCodeProcess(pi.hProcess, exitCode);
    CloseHandle(readEnd);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return output;
}

namespace {

struct WindowQuery {
    DWORD pid;
    const wchar_t* cls;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM data) {
    auto* q = reinterpret_cast<WindowQuery*>(data);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == q->pid && IsWindowVisible(window) && (!q->cls || ClassName(window) == q->cls))
        q->found.push_back(window);
    return TRUE;
}

BOOL CALLBACK CollectChild(HWND window, LPARAM data) {
    reinterpret_cast<std::vector<HWND>*>(data)->push_back(window);
    return TRUE;
}

}  // namespace

std::vector<HWND> WindowsOf(DWORD pid, const wchar_t* cls) {
    WindowQuery q{pid, cls, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&q));
    return q.found;
}

HWND WaitForWindow(DWORD pid, const wchar_t* cls, DWORD ms) {
    DWORD start = GetTickCount();
    do {
        std::vector<HWND> found = WindowsOf(pid, cls);
        if (!found.empty()) return found.front();
        Sleep(30);
    } while (GetTickCount() - start < ms);
    return nullptr;
}

std::wstring WindowText(HWND window) {
    int n = GetWindowTextLengthW(window);
    std::wstring text(n + 1, L'\0');
    n = GetWindowTextW(window, &text[0], n + 1);
    text.resize(n);
    return text;
}

std::wstring ClassName(HWND window) {
    wchar_t name[256] = {};
    GetClassNameW(window, name, 256);
    return name;
}

MessageBoxView ReadMessageBox(HWND box) {
    MessageBoxView view;
    view.window = box;
    view.caption = WindowText(box);
    std::vector<HWND> children;
    EnumChildWindows(box, CollectChild, reinterpret_cast<LPARAM>(&children));
    for (HWND child : children) {
        std::wstring cls = ClassName(child);
        LONG style = GetWindowLongW(child, GWL_STYLE);
        int id = GetDlgCtrlID(child);
        if (_wcsicmp(cls.c_str(), L"Button") == 0) {
            view.buttons.push_back(id);
            if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON) view.defaultButton = id;
        }
        else if (_wcsicmp(cls.c_str(), L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON)
            view.icon = reinterpret_cast<HICON>(SendMessageW(child, STM_GETICON, 0, 0));
        else if (id == 0xFFFF)
            view.text = WindowText(child);
    }
    return view;
}

void PressButton(HWND box, int id) {
    HWND button = GetDlgItem(box, id);
    if (button)
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

DWORD ExpectEndsWithoutMessages(Process& process, DWORD ms) {
    DWORD start = GetTickCount(), code = 0;
    while (!process.Wait(50, &code)) {
        for (HWND box : WindowsOf(process.Id(), kDialogClass)) {
            MessageBoxView view = ReadMessageBox(box);
            ADD_FAILURE() << "unexpected message box: " << testing::PrintToString(view.caption)
                          << " " << testing::PrintToString(view.text);
            PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
            PressButton(box, view.defaultButton ? view.defaultButton : IDOK);
        }
        if (GetTickCount() - start > ms) {
            ADD_FAILURE() << "process did not end within " << ms << " ms";
            process.Kill();
            return 0xDEAD0000;
        }
    }
    return code;
}

int ThreadCount(DWORD pid) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snap == INVALID_HANDLE_VALUE) return -1;
    int n = 0;
    THREADENTRY32 t{sizeof(t)};
    for (BOOL more = Thread32First(snap, &t); more; more = Thread32Next(snap, &t))
        if (t.th32OwnerProcessID == pid) ++n;
    CloseHandle(snap);
    return n;
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
    char old[1024];
    DWORD n = GetEnvironmentVariableA(name, old, sizeof(old));
    had_ = n > 0 && n < sizeof(old);
    if (had_) old_ = old;
    SetEnvironmentVariableA(name, value);
}

ScopedEnv::~ScopedEnv() { SetEnvironmentVariableA(name_.c_str(), had_ ? old_.c_str() : nullptr); }
