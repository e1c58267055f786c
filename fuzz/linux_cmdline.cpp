// The system side of the builder's command-line reading on Linux (builder/CmdLineSystem.cpp is the
// Windows one). The fuzz targets always pass the line, so the process's own is never read.
#include "CmdLineHelper.h"

const wchar_t* ProcessCommandLine() { return L"quillet.exe"; }

std::wstring CommandLineModulePath() { return L"C:\\Program Files\\Quillet\\quillet.exe"; }

// CompareStringW with NORM_IGNORECASE, for the names it is asked about: the switch names are
// ASCII letters and '-', so ASCII case folding decides; any other character is only itself.
bool SameSwitchName(const std::wstring& given, const wchar_t* name) {
    auto fold = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; };
    size_t i = 0;
    for (; i < given.size() && name[i]; ++i)
        if (fold(given[i]) != fold(name[i])) return false;
    return i == given.size() && !name[i];
}
