// The end of every run: the system's message, the clean-up of run mode, the self-delete
// helper, the single-instance lock and the exit code.
#include "runstate.h"

#include <shellapi.h>

namespace {

void DeleteOrSchedule(const char* path, bool isFolder) {
    SetFileAttributesA(path, 0);
    if (Run.settings.DeleteMode == 1)
        MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    else if (isFolder)
        RemoveDirectoryA(path);
    else
        DeleteFileA(path);
}

void ShowMessage(const char* text, DWORD code) {
    char system[256];
    SystemText(code, system, sizeof(system));
    static char message[PathSize + 512];
    message[0] = 0;
    const char* mark = nullptr;
    for (const char* p = system; *p; p = CharNextA(p))
        if (p[0] == '%' && p[1] == '1') {
            mark = p;
            break;
        }
    if (mark) {
        lstrcpynA(message, system, static_cast<int>(mark - system) + 1);
        AppendText(message, text, sizeof(message));
        AppendText(message, mark + 2, sizeof(message));
    } else {
        AppendText(message, text, sizeof(message));
        AppendText(message, "\r\n\r\n", sizeof(message));
        AppendText(message, system, sizeof(message));
    }
    MessageBoxA(nullptr, message, nullptr, MB_ICONHAND | MB_TOPMOST);
}

}  // namespace

void SystemText(DWORD code, char* out, DWORD size) {
    out[0] = 0;
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
                   code, 0, out, size, nullptr);
    int n = lstrlenA(out);
    while (n > 0 && (static_cast<unsigned char>(out[n - 1]) <= 32 || out[n - 1] == '.')) out[--n] = 0;
}

void FailGuarded(DWORD fallback) {
    DWORD code = GetLastError();
    FinishRun(Run.ownPath, code ? code : fallback);
}

void CheckSingleInstance() {
    if (!Run.settings.OneInstance) return;
    Run.mutex = CreateMutexA(nullptr, TRUE, Run.settings.InstanceName);
    if (GetLastError() == ERROR_ALREADY_EXISTS) FinishRun(Run.ownPath, ERROR_SINGLE_INSTANCE_APP);
}

void RemoveFolderTree(const char* folder) {
    char path[PathSize];
    lstrcpynA(path, folder, PathSize - 4);
    bool blank = true;
    for (const char* p = path; *p; ++p)
        if (*p != ' ') blank = false;
    if (blank) return;
    AddBackslash(path);
    int base = lstrlenA(path);
    AppendText(path, "*.*", PathSize);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const char* n = found.cFileName;
            if (n[0] == '.' && (!n[1] || (n[1] == '.' && !n[2]))) continue;  // "." and ".."
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                path[base] = 0;
                AppendText(path, found.cFileName, PathSize);
                RemoveFolderTree(path);
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    path[base - 1] = 0;
    DeleteOrSchedule(path, true);
}

void FinishRun(const char* text, DWORD code) {
    if (Run.currentFile) CloseHandle(Run.currentFile);
    Run.currentFile = nullptr;
    // A file that did not get through its check never gets its name: its temporary one goes.
    if (Run.tempPath[0]) DeleteFileA(Run.tempPath);
    Run.tempPath[0] = 0;
    if (code != 0 && !Run.settings.SilentMode) {
        ShowMessage(text, code);
        if (Run.window) DestroyWindow(Run.window);
        if (Run.largeFont) DeleteObject(Run.largeFont);
        if (Run.smallFont) DeleteObject(Run.smallFont);
        Run.window = nullptr;
        Run.largeFont = Run.smallFont = nullptr;
    }
    if (Run.settings.ExtractionMode == 1 && Run.settings.DeleteMode != 2) {
        for (int i = 0; i < Run.ExtractedFiles.count; ++i) DeleteOrSchedule(Run.ExtractedFiles.items[i], false);
        for (int i = Run.CreatedFolders.count - 1; i >= 0; --i) RemoveFolderTree(Run.CreatedFolders.items[i]);
    }
    if (code == 0 && Run.helperPath[0]) {
        static char parameters[PathSize + 3];
        parameters[0] = 0;
        AppendText(parameters, "\"", sizeof(parameters));
        AppendText(parameters, Run.ownPath, sizeof(parameters));
        AppendText(parameters, "\"", sizeof(parameters));
        if (auto* execute = ShellFunction<decltype(ShellExecuteA)>("ShellExecuteA"))
            execute(nullptr, "open", Run.helperPath, parameters, nullptr, SW_HIDE);
        MoveFileExA(Run.helperPath, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    if (Run.mutex) CloseHandle(Run.mutex);
    ExitProcess(code == 0 && Run.programEnded ? Run.programExitCode : code);
}
