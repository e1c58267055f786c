// Paths and texts outside the code page in tests: UTF-8 in the test's source, UTF-16 at every
// Win32 call (W functions only), so no name passes through a best-fit conversion on the way.
#pragma once
#include <map>
#include <string>
#include <tuple>
#include <vector>

#include <windows.h>

std::wstring U16(const std::string& utf8);
std::string U8(const std::wstring& text);
// Code-page bytes (the system's ANSI code page) as UTF-16.
std::wstring WideOf(const std::string& ansi);
// A parameter in quotes for a command line, with the C runtime's escaping rules.
std::wstring QW(const std::wstring& s);

std::wstring WBinDir();  // ends in '\'
bool ExistsW(const std::wstring& path);
bool MakeFolderW(const std::wstring& path);
// Makes every folder of a path up to its last '\' (paths of any length).
void MakeFoldersW(const std::wstring& path);
void WriteFileW(const std::wstring& path, const std::string& bytes);
std::string ReadFileW(const std::wstring& path);  // empty when it cannot be read
void RemoveTreeW(const std::wstring& folder);

// One item of a test's source tree: a folder when the name ends in '\', else a file with these
// bytes; its last-write time and its attributes where they are given (set after the bytes).
struct TreeItem {
    std::string name;  // UTF-8, relative to the root
    std::string bytes;
    FILETIME time{};        // none when zero
    DWORD attributes = 0;   // none when zero
};
// Makes the root (and its parents) and the items in their order; false when one could not be made.
bool MakeTreeW(const std::wstring& root, const std::vector<TreeItem>& items);
// A local time as the file time Windows stores.
FILETIME MakeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second);

// Every file and folder under a folder: relative name ("a\b.txt", folders end in '\') to the
// file's bytes (empty for folders).
std::map<std::wstring, std::string> TreeW(const std::wstring& folder);

// The folder walk as the builder makes it: depth first, each folder right before its contents, in
// the order the system lists them; names relative to the root.
struct FoundW {
    std::wstring name;
    WIN32_FIND_DATAW data;
};
std::vector<FoundW> WalkW(const std::wstring& root);

// Attributes, size and last-write time (in 2-second steps, as an SFX file stores it; 0 for folders)
// of every file and folder under a folder, by relative name (folders without a trailing '\').
std::map<std::wstring, std::tuple<DWORD, LONGLONG, LONGLONG>> MetaW(const std::wstring& folder);

// A folder under the temporary folder, "quillet-test-" + name + the process id (the name may lie
// outside the code page); made empty, removed with all it holds when it goes. path ends in '\'.
struct WideFolder {
    std::wstring path;
    explicit WideFolder(const std::wstring& name);
    ~WideFolder();
};

// Sets an environment variable of this process (inherited by the programs it starts) and
// restores the earlier state when it goes.
class ScopedEnvW {
public:
    ScopedEnvW(const wchar_t* name, const std::wstring& value);
    ~ScopedEnvW();

private:
    std::wstring name_, old_;
    bool had_ = false;
};
