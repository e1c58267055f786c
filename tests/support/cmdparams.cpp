#include "cmdparams.h"

#include "CmdLineHelper.h"

namespace {

// The position of parameter 1: past the program name.
const wchar_t* FirstParam(const wchar_t* cmdLine) {
    const wchar_t* pos = cmdLine ? cmdLine : ProcessCommandLine();
    NextParam(pos, nullptr, nullptr);
    return pos;
}

}  // namespace

int CmdParamCount(const wchar_t* cmdLine) {
    const wchar_t* pos = FirstParam(cmdLine);
    int count = 0;
    while (NextParam(pos, nullptr, nullptr)) ++count;
    return count;
}

std::wstring CmdParamStr(int i, const wchar_t* cmdLine) {
    if (i <= 0) return CommandLineModulePath();
    const wchar_t* pos = FirstParam(cmdLine);
    for (int k = 1; k < i; ++k)
        if (!NextParam(pos, nullptr, nullptr)) return std::wstring();
    const wchar_t* start = pos;
    int length = 0;
    if (!NextParam(pos, nullptr, &length)) return std::wstring();
    std::wstring text(length, L'\0');
    NextParam(start, &text[0], nullptr);
    return text;
}
