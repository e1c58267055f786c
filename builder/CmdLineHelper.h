// The builder's command line, read from the process's UTF-16 command line every time.
//
// Parameters are split with the rules of the Microsoft C runtime (backslashes escape quotes
// only in front of them). Every function takes an optional command line; null means the
// process's own. The splitting itself makes no system call; the few it needs (the process's
// line, this module's path, the comparison of switch names) sit in CmdLineSystem.cpp.
#pragma once
#include <string>

// Reads the parameter at pos and advances pos past it. Without out only the length
// (in characters) is computed. Returns false at the end of the line.
bool NextParam(const wchar_t*& pos, wchar_t* out, int* length);

// Parameters that do not start with '-' or '/'.
int PositionalCount(const wchar_t* cmdLine = nullptr);
// k >= 1: the k-th positional parameter; 0: this module's path; < 0 or missing: empty.
std::wstring PositionalParam(int k, const wchar_t* cmdLine = nullptr);
// True when some parameter is '-' or '/' followed by exactly name (case ignored).
bool SwitchPresent(const wchar_t* name, const wchar_t* cmdLine = nullptr);

// The system side.
const wchar_t* ProcessCommandLine();
std::wstring CommandLineModulePath();
// Equal as the user's locale sees them, case ignored.
bool SameSwitchName(const std::wstring& given, const wchar_t* name);
