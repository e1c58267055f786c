// Paths and texts of the builder: UTF-16 everywhere, the long-path form at every Win32 call,
// and the one crossing into the code-page bytes that an SFX file stores.
#pragma once
#include <string>

// Pure text work (no system calls), so the command-line code can be built anywhere.

// Removes blanks and control characters (codes up to 32) at both ends.
std::wstring Trim(const std::wstring& text);
// Appends a backslash unless the text is empty or already ends in one.
std::wstring AddTrailingDelimiter(const std::wstring& path);
// The folder part of a path ("C:\a\b.exe" gives "C:\a", "C:\b.exe" gives "C:\"), empty when
// there is none.
std::wstring ExtractFileDir(const std::wstring& path);
// A full path in the form that passes MAX_PATH: "C:\..." becomes "\\?\C:\...", "\\server\share"
// becomes "\\?\UNC\server\share". Short paths, prefixed paths and anything else stay as given.
std::wstring LongPathForm(const std::wstring& fullPath);

// System calls.

// Resolved against the current folder (relative texts, ".." and "/" normalised); empty stays
// empty, and a text the system cannot resolve stays as it is.
std::wstring FullPath(const std::wstring& path);
// What a Win32 call gets for a path: full, and in the long form when it needs it.
std::wstring ApiPath(const std::wstring& path);
bool FileExists(const std::wstring& path);
bool DirectoryExists(const std::wstring& path);
// The same for a path already in API form (ApiPath), which is used as it is.
bool IsFileAt(const std::wstring& apiPath);
bool IsFolderAt(const std::wstring& apiPath);
// Sets the attributes of a file (path in API form) to normal and deletes it; failures are ignored.
void ForceDeleteFile(const std::wstring& apiPath);
// Comparisons as the user's locale sees them, case ignored.
bool SameText(const std::wstring& a, const std::wstring& b);
bool StartsText(const std::wstring& prefix, const std::wstring& text);
// The extension of a path's last part in upper case, with its dot (".ICO"); empty without one.
std::wstring UpperExtension(const std::wstring& path);
// This program's file, whole.
std::wstring ModulePath();

// The container's texts: code-page bytes, converted without best fit. False when the text has
// no exact form in the system code page.
bool ToCodePage(const std::wstring& text, std::string& bytes);
// Code-page bytes as the system reads them.
std::wstring AnsiToWide(const std::string& text);
