// The builder's command line read parameter by parameter, by index, as the tests and the fuzz
// target compare it with the builder's own reading (which finds what it needs in one walk).
// Pure: it uses only the tokenizer and the system side that CmdLineHelper.h declares.
#pragma once
#include <string>

// Parameters after the program name; cmdLine null: the process's own line.
int CmdParamCount(const wchar_t* cmdLine = nullptr);
// i >= 1: parameter i; i <= 0: the module's path; empty beyond the count.
std::wstring CmdParamStr(int i, const wchar_t* cmdLine = nullptr);
