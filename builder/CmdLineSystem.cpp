// What the command-line reading needs of the system.
#include <windows.h>

#include "CmdLineHelper.h"
#include "u_paths.h"

const wchar_t* ProcessCommandLine() { return GetCommandLineW(); }

std::wstring CommandLineModulePath() { return ModulePath(); }

bool SameSwitchName(const std::wstring& given, const wchar_t* name) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, given.c_str(), -1, name, -1) == CSTR_EQUAL;
}
