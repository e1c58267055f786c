// After extraction: open the folder, or run the program and wait for it.
#include "runstate.h"

#include <shellapi.h>

namespace {

// The SFX file's own command line after its own name, as it came. The name ends where
// CommandLineToArgvW ends it: at its closing quote, or else at the first blank or tab; the blanks
// and tabs after it separate and go too.
const WCHAR* OwnArguments() {
    const WCHAR* p = GetCommandLineW();
    if (*p == '"') {
        do ++p;
        while (*p && *p != '"');
        if (*p) ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t') ++p;
    }
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

// CmdParameters, a blank and the own arguments verbatim: a program that reads its line by the
// usual rules gets exactly the arguments the SFX file was given, whatever quotes, backslashes, empty
// arguments or characters they hold. The text fits whole: no argument is ever cut.
Result RunProgram() {
    if (!Run.executablePath[0]) return {ERROR_INVALID_PARAMETER, Run.ownPath};
    const DWORD size = CmdParametersSize + 32768;
    static WCHAR parameters[size];
    const WCHAR* arguments = OwnArguments();
    lstrcpynW(parameters, Run.cmdParameters, CmdParametersSize);
    if (parameters[0] && arguments[0]) AppendText(parameters, L" ", size);
    AppendText(parameters, arguments, size);
    static WCHAR ownFolder[PathSize];
    lstrcpynW(ownFolder, Run.ownPath, PathSize);
    WCHAR* cut = nullptr;
    for (WCHAR* p = ownFolder; *p; ++p)
        if (*p == '\\') cut = p;
    if (cut) cut[1] = 0;

    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"open";
    info.lpFile = Run.executablePath;
    info.lpParameters = parameters;
    info.nShow = SW_SHOWNORMAL;
    switch (Run.settings.WorkingDirectory) {
    case 1: info.lpDirectory = ownFolder; break;
    case 2: info.lpDirectory = nullptr; break;
    default: info.lpDirectory = Run.extractionFolder; break;
    }
    Run.programExitCode = 0;
    auto* execute = ShellFunction<decltype(ShellExecuteExW)>("ShellExecuteExW");
    if (!execute || !execute(&info)) return LastError(Run.executablePath, ERROR_INVALID_FUNCTION);
    if (info.hProcess) {
        WaitForSingleObject(info.hProcess, INFINITE);
        DWORD code = 0;
        if (GetExitCodeProcess(info.hProcess, &code)) Run.programExitCode = code;
        Run.programEnded = true;
        CloseHandle(info.hProcess);
    }
    return GoOn;
}

}  // namespace

Result PostExtraction() {
    CloseProgressWindow();
    if (Run.settings.ExtractionMode == 0) {
        if (Run.settings.OpenFolder) ShellOpen(L"explore", Run.extractionFolder, nullptr, SW_SHOWNORMAL);
    } else if (Run.settings.ExtractionMode == 1) {
        return RunProgram();
    }
    return GoOn;
}
