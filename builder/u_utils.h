// Small utilities of the builder: sizes, versions, the shell. The path helpers are in u_paths.
#pragma once
#include <cstdint>
#include <string>

#include "u_paths.h"

// FormatSize with the user's decimal separator.
std::wstring FormatSizeText(int64_t bytes);
// Four decimal numbers "major.minor.release.build" of a program's fixed version
// information, and its flags masked by the flags mask; empty and 0 without one.
std::wstring ReadFileVersion(const std::wstring& program, uint32_t* flags = nullptr);
// The text before its second '.': 1.2.3.4 gives 1.2.
std::wstring ShortVersion(const std::wstring& version);
// Asks the shell to open the trimmed text; true when the shell reports success.
bool ShellOpen(const std::wstring& text);
