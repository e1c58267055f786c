// The end of every run: the clean-up (the file being written, what run mode removes, the helper of a
// failed run, the single-instance lock), then the system's message, the self-delete helper and the
// exit code.
#include "runstate.h"

#include <shellapi.h>

namespace {

// Only what the run made goes, never through a link: a file is deleted by its name, which removes a
// link itself (one that took its place since), and its attributes are cleared only when the first
// try fails and no link stands there; a folder that is a link is left alone.
// Nor below a folder that a link has taken the place of since.
void DeleteOrSchedule(const WCHAR* path, bool isFolder) {
    static WCHAR checked[PathSize];
    lstrcpynW(checked, path, PathSize);
    if (CutAtLink(checked, lstrlenW(Run.extractionFolder))) return;
    const WCHAR* target = Long(path);
    if (!isFolder && Run.settings.DeleteMode != 1 && DeleteFileW(target)) return;
    if (IsLink(GetFileAttributesW(target))) {
        if (isFolder) return;
    } else {
        SetFileAttributesW(target, 0);
    }
    if (Run.settings.DeleteMode == 1)
        MoveFileExW(target, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    else if (isFolder)
        RemoveDirectoryW(target);
    else
        DeleteFileW(target);
}

void ShowMessage(const WCHAR* text, DWORD code) {
    const DWORD size = PathSize + 512;
    WCHAR system[256];
    SystemText(code, system, 256);
    static WCHAR message[size];
    message[0] = 0;
    const WCHAR* mark = nullptr;
    for (const WCHAR* p = system; *p; ++p)
        if (p[0] == '%' && p[1] == '1') {
            mark = p;
            break;
        }
    if (mark) {
        lstrcpynW(message, system, static_cast<int>(mark - system) + 1);
        AppendText(message, text, size);
        AppendText(message, mark + 2, size);
    } else {
        AppendText(message, text, size);
        AppendText(message, L"\r\n\r\n", size);
        AppendText(message, system, size);
    }
    MessageBoxW(nullptr, message, nullptr, MB_ICONHAND | MB_TOPMOST);
}

}  // namespace

void SystemText(DWORD code, WCHAR* out, DWORD size) {
    out[0] = 0;
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ARGUMENT_ARRAY, nullptr,
                   code, 0, out, size, nullptr);
    int n = lstrlenW(out);
    while (n > 0 && (out[n - 1] <= 32 || out[n - 1] == '.')) out[--n] = 0;
}

void ShellOpen(const WCHAR* verb, const WCHAR* file, const WCHAR* parameters, int show) {
    if (auto* execute = ShellFunction<decltype(ShellExecuteW)>("ShellExecuteW"))
        execute(nullptr, verb, file, parameters, nullptr, show);
}

DWORD LastCode(DWORD fallback) {
    DWORD code = GetLastError();
    return code ? code : fallback;
}

Result CheckSingleInstance() {
    if (!Run.settings.OneInstance) return GoOn;
    WCHAR name[InstanceNameSize];
    FromCodePage(Run.settings.InstanceName, name, InstanceNameSize);
    Run.mutex = CreateMutexW(nullptr, TRUE, name);
    return GetLastError() == ERROR_ALREADY_EXISTS ? Result{ERROR_SINGLE_INSTANCE_APP, Run.ownPath} : GoOn;
}

namespace {

// The tree's path grows and shrinks in one buffer: a deep tree costs no stack per level but its
// find data. Below the depth limit nothing is removed, and neither can its parents be.
WCHAR treePath[PathSize];

void RemoveTreeAt(int length, int depth) {
    if (depth > 200 || length + 2 >= static_cast<int>(PathSize)) return;
    lstrcpyW(treePath + length, L"*");
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(Long(treePath), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const WCHAR* n = found.cFileName;
            if (n[0] == '.' && (!n[1] || (n[1] == '.' && !n[2]))) continue;  // "." and ".."
            // A link among the folders was not made by the run: nothing below it is looked at.
            if ((found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
                FILE_ATTRIBUTE_DIRECTORY) {
                treePath[length] = 0;
                AppendText(treePath, n, PathSize - 1);
                int end = lstrlenW(treePath);
                treePath[end] = '\\';
                treePath[end + 1] = 0;
                RemoveTreeAt(end + 1, depth + 1);
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    treePath[length - 1] = 0;
    DeleteOrSchedule(treePath, true);
}

}  // namespace

void RemoveFolderTree(const WCHAR* folder) {
    bool blank = true;
    for (const WCHAR* p = folder; *p; ++p)
        if (*p != ' ') blank = false;
    if (blank) return;
    lstrcpynW(treePath, folder, PathSize - 4);
    // A created folder that a link has taken the place of is not the run's any more.
    if (IsLink(GetFileAttributesW(Long(treePath))) || CutAtLink(treePath, lstrlenW(Run.extractionFolder))) return;
    AddBackslash(treePath);
    RemoveTreeAt(lstrlenW(treePath), 0);
}

namespace {

// Everything of the run that must not outlive it, done before any message, so that a box left open
// holds no temporary file, no extracted file and no lock: the own file and the file being written
// (its temporary name deleted), what run mode removes by DeleteMode, the helper's copy of a failed
// run, and the single-instance lock.
void CleanUp(bool failed) {
    if (Run.ownFile) CloseHandle(Run.ownFile);
    Run.ownFile = nullptr;
    if (Run.currentFile) CloseHandle(Run.currentFile);
    Run.currentFile = nullptr;
    // A file that did not get through its check never gets its name: its temporary one goes.
    if (Run.tempPath[0]) DeleteFileW(Long(Run.tempPath));
    Run.tempPath[0] = 0;
    if (Run.settings.ExtractionMode == 1 && Run.settings.DeleteMode != 2) {
        for (int i = 0; i < Run.ExtractedFiles.count; ++i) DeleteOrSchedule(Run.ExtractedFiles.items[i], false);
        for (int i = Run.CreatedFolders.count - 1; i >= 0; --i) RemoveFolderTree(Run.CreatedFolders.items[i]);
    }
    // A failed run never starts the helper: the copy it wrote in the temporary folder goes.
    if (failed && Run.helperWritten) {
        SetFileAttributesW(Long(Run.helperPath), 0);
        DeleteFileW(Long(Run.helperPath));
    }
    if (Run.mutex) CloseHandle(Run.mutex);
    Run.mutex = nullptr;
}

}  // namespace

void FinishRun(const WCHAR* text, DWORD code) {
    Run.ending = true;
    CleanUp(code != 0);
    if (code != 0 && !Run.settings.SilentMode) ShowMessage(text, code);
    CloseProgressWindow();
    if (code == 0 && Run.helperPath[0]) {
        // The helper gets the own path in the form it can delete at any length.
        static WCHAR parameters[PathSize + 16];
        lstrcpyW(parameters, L"\"");
        AppendText(parameters, Long(Run.ownPath), PathSize + 16);
        AppendText(parameters, L"\"", PathSize + 16);
        ShellOpen(L"open", Run.helperPath, parameters, SW_HIDE);
        MoveFileExW(Long(Run.helperPath), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    ExitProcess(code == 0 && Run.programEnded ? Run.programExitCode : code);
}

// A fault inside the run (none is expected: every failure is a step's result) still gets the
// clean-up and a message; one inside FinishRun itself is left to the system.
LONG WINAPI UnexpectedFault(EXCEPTION_POINTERS*) {
    if (Run.ending) return EXCEPTION_CONTINUE_SEARCH;
    FinishRun(Run.ownPath, ERROR_INVALID_FUNCTION);
}
