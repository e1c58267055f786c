// After extraction: open the folder, or run the program and wait for it.
#include "runstate.h"

#include "u_args.h"
#include <shellapi.h>

namespace {

// CmdParameters, then each of the extractor's own arguments as a blank and the argument in double
// quotes.
void BuildParameters(WCHAR* out, DWORD size) {
    lstrcpynW(out, Run.cmdParameters, CmdParametersSize);
    const WCHAR* p = GetCommandLineW();
    static WCHAR arg[32768];
    NextArg(p, arg, 32768);  // the program itself
    while (NextArg(p, arg, 32768)) {
        AppendText(out, L" \"", size);
        AppendText(out, arg, size);
        AppendText(out, L"\"", size);
    }
}

Result RunProgram() {
    if (!Run.executablePath[0]) return {ERROR_INVALID_PARAMETER, Run.ownPath};
    static WCHAR parameters[CmdParametersSize + 32768];
    BuildParameters(parameters, CmdParametersSize + 32768);
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
