// The builder's command line, read straight from GetCommandLineA every time.
//
// Parameters are split with the rules of the Microsoft C runtime (backslashes escape
// quotes only in front of them), stepping by whole characters of the system code page
// so that a double-byte character whose trail byte is '\' or '"' stays whole.
// Every function takes an optional command line; null means the process's own.
#pragma once
#include <string>

// Reads the parameter at pos and advances pos past it. Without out only the length
// (in bytes) is computed. Returns false at the end of the line.
bool NextParam(const char*& pos, char* out, int* length);

int CmdParamCount(const char* cmdLine = nullptr);
// i >= 1: parameter i; i <= 0: this module's path; empty beyond the count.
std::string CmdParamStr(int i, const char* cmdLine = nullptr);
// Parameters that do not start with '-' or '/'.
int PositionalCount(const char* cmdLine = nullptr);
// k >= 1: the k-th positional parameter; 0: this module's path; < 0 or missing: empty.
std::string PositionalParam(int k, const char* cmdLine = nullptr);
// True when some parameter is '-' or '/' followed by exactly name (case ignored).
bool SwitchPresent(const char* name, const char* cmdLine = nullptr);
