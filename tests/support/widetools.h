// Paths and texts outside the code page in tests: UTF-8 in the test's source, UTF-16 at every
// Win32 call (W functions only), so no name passes through a best-fit conversion on the way.
#pragma once
#include <map>
#include <string>

#include <windows.h>

std::wstring U16(const std::string& utf8);
std::string U8(const std::wstring& text);
// A parameter in quotes for a command line, with the C runtime's escaping rules.
std::wstring QW(const std::wstring& s);

std::wstring WBinDir();  // ends in '\'
bool ExistsW(const std::wstring& path);
bool MakeFolderW(const std::wstring& path);
void WriteFileW(const std::wstring& path, const std::string& bytes);
std::string ReadFileW(const std::wstring& path);  // empty when it cannot be read
void RemoveTreeW(const std::wstring& folder);

// Every file and folder under a folder: relative name ("a\b.txt", folders end in '\') to the
// file's bytes (empty for folders).
std::map<std::wstring, std::string> TreeW(const std::wstring& folder);

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
