// Small utilities of the builder: paths, texts, versions, the shell.
#pragma once
#include <cstdint>
#include <string>

// FormatSize with the user's decimal separator.
std::string FormatSizeText(int64_t bytes);
// Sets the attributes to normal and deletes; failures are ignored.
void ForceDeleteFile(const std::string& path);
// Appends a backslash unless the text is empty or already ends in one (whole characters).
std::string AddTrailingDelimiter(const std::string& path);
// Removes blanks and control characters (codes up to 32) at both ends.
std::string Trim(const std::string& text);
// Four decimal numbers "major.minor.release.build" of a program's fixed version
// information, and its flags masked by the flags mask; empty and 0 without one.
std::string ReadFileVersion(const std::string& program, uint32_t* flags = nullptr);
// The text before its second '.': 1.2.3.4 gives 1.2.
std::string ShortVersion(const std::string& version);
// Asks the shell to open the trimmed text; true when the shell reports success.
bool ShellOpen(const std::string& text);

// Comparisons as the user's locale sees them, case ignored.
bool SameText(const std::string& a, const std::string& b);
bool StartsText(const std::string& prefix, const std::string& text);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
// The folder part of a path ("C:\a\b.exe" gives "C:\a"), empty when there is none.
std::string ExtractFileDir(const std::string& path);
