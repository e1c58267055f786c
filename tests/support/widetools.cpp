#include "widetools.h"

#include <vector>

std::wstring U16(const std::string& utf8) {
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    if (n) MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &w[0], n);
    return w;
}

std::string U8(const std::wstring& text) {
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    if (n) WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring WideOf(const std::string& ansi) {
    int n = MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    if (n) MultiByteToWideChar(CP_ACP, 0, ansi.data(), static_cast<int>(ansi.size()), &w[0], n);
    return w;
}

std::wstring QW(const std::wstring& s) {
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : s) {
        if (c == L'\\') {
            ++backslashes;
        } else {
            if (c == L'"') out.append(backslashes + 1, L'\\');
            backslashes = 0;
        }
        out += c;
    }
    out.append(backslashes, L'\\');
    return out + L"\"";
}

std::wstring WBinDir() {
    std::vector<wchar_t> path(32768);
    DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    std::wstring dir(path.data(), n);
    return dir.substr(0, dir.find_last_of(L'\\') + 1);
}

bool ExistsW(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool MakeFolderW(const std::wstring& path) { return CreateDirectoryW(path.c_str(), nullptr) != FALSE; }

void MakeFoldersW(const std::wstring& path) {
    for (size_t at = path.find(L'\\', 3); at != std::wstring::npos; at = path.find(L'\\', at + 1))
        MakeFolderW(path.substr(0, at));
}

void WriteFileW(const std::wstring& path, const std::string& bytes) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(h);
}

std::string ReadFileW(const std::wstring& path) {
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return std::string();
    LARGE_INTEGER size{};
    GetFileSizeEx(h, &size);
    std::string bytes(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    if (!bytes.empty()) ReadFile(h, &bytes[0], static_cast<DWORD>(bytes.size()), &got, nullptr);
    CloseHandle(h);
    bytes.resize(got);
    return bytes;
}

namespace {
template <class F> void ForEachIn(const std::wstring& dir, F f) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = fd.cFileName;
        if (name != L"." && name != L"..") f(name, fd.dwFileAttributes);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}

std::wstring WithBackslash(const std::wstring& folder) {
    return folder.empty() || folder.back() == L'\\' ? folder : folder + L"\\";
}

void CollectTree(const std::wstring& dir, const std::wstring& prefix, std::map<std::wstring, std::string>& out) {
    ForEachIn(dir, [&](const std::wstring& name, DWORD attributes) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[prefix + name + L"\\"];
            CollectTree(dir + name + L"\\", prefix + name + L"\\", out);
        } else {
            out[prefix + name] = ReadFileW(dir + name);
        }
    });
}
}  // namespace

void RemoveTreeW(const std::wstring& folder) {
    std::wstring dir = WithBackslash(folder);
    ForEachIn(dir, [&](const std::wstring& name, DWORD attributes) {
        std::wstring full = dir + name;
        // A link goes itself; what it leads to is not the tree's.
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            if (!RemoveDirectoryW(full.c_str())) DeleteFileW(full.c_str());
            return;
        }
        SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            RemoveTreeW(full);
        else
            DeleteFileW(full.c_str());
    });
    RemoveDirectoryW(dir.substr(0, dir.size() - 1).c_str());
}

namespace {
void Walk(const std::wstring& root, const std::wstring& prefix, std::vector<FoundW>& out) {
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((root + prefix + L"*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring n = fd.cFileName;
        if (n == L"." || n == L"..") continue;
        out.push_back({prefix + n, fd});
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) Walk(root, prefix + n + L"\\", out);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
}
}  // namespace

std::vector<FoundW> WalkW(const std::wstring& root) {
    std::vector<FoundW> out;
    Walk(WithBackslash(root), L"", out);
    return out;
}

std::map<std::wstring, std::tuple<DWORD, LONGLONG, LONGLONG>> MetaW(const std::wstring& folder) {
    std::map<std::wstring, std::tuple<DWORD, LONGLONG, LONGLONG>> out;
    std::wstring top = WithBackslash(folder);
    WIN32_FIND_DATAW d;
    HANDLE h = FindFirstFileW((top + L"*").c_str(), &d);
    if (h == INVALID_HANDLE_VALUE) return out;
    do {
        std::wstring name = d.cFileName;
        if (name == L"." || name == L"..") continue;
        bool isFolder = d.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        LONGLONG time = static_cast<LONGLONG>(d.ftLastWriteTime.dwHighDateTime) << 32 | d.ftLastWriteTime.dwLowDateTime;
        LONGLONG size = static_cast<LONGLONG>(d.nFileSizeHigh) << 32 | d.nFileSizeLow;
        out[name] = {d.dwFileAttributes, size, isFolder ? 0 : time / 20000000};
        if (isFolder)
            for (auto& [inner, meta] : MetaW(top + name)) out[name + L"\\" + inner] = meta;
    } while (FindNextFileW(h, &d));
    FindClose(h);
    return out;
}

std::map<std::wstring, std::string> TreeW(const std::wstring& folder) {
    std::map<std::wstring, std::string> out;
    CollectTree(WithBackslash(folder), L"", out);
    return out;
}

ScopedEnvW::ScopedEnvW(const wchar_t* name, const std::wstring& value) : name_(name) {
    DWORD n = GetEnvironmentVariableW(name, nullptr, 0);
    if (n) {
        std::vector<wchar_t> old(n);
        GetEnvironmentVariableW(name, old.data(), n);
        old_ = old.data();
        had_ = true;
    }
    SetEnvironmentVariableW(name, value.c_str());
}

ScopedEnvW::~ScopedEnvW() { SetEnvironmentVariableW(name_.c_str(), had_ ? old_.c_str() : nullptr); }

WideFolder::WideFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    path = std::wstring(temp) + L"quillet-test-" + name + std::to_wstring(GetCurrentProcessId()) + L"\\";
    RemoveTreeW(path);
    MakeFolderW(path);
}

WideFolder::~WideFolder() { RemoveTreeW(path); }

FILETIME MakeTime(WORD year, WORD month, WORD day, WORD hour, WORD minute, WORD second) {
    SYSTEMTIME st{year, month, 0, day, hour, minute, second, 0};
    FILETIME local, utc;
    SystemTimeToFileTime(&st, &local);
    LocalFileTimeToFileTime(&local, &utc);
    return utc;
}

bool MakeTreeW(const std::wstring& root, const std::vector<TreeItem>& items) {
    std::wstring top = WithBackslash(root);
    MakeFoldersW(top);
    bool ok = ExistsW(top);
    for (const TreeItem& item : items) {
        std::wstring path = top + U16(item.name);
        if (!item.name.empty() && item.name.back() == '\\')
            MakeFolderW(path);
        else
            WriteFileW(path, item.bytes);
        ok = ok && ExistsW(path);
    }
    // Times and attributes once every item is there: a new item would touch its folder's time.
    for (const TreeItem& item : items) {
        std::wstring path = top + U16(item.name);
        if (item.time.dwHighDateTime || item.time.dwLowDateTime) {
            HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
            ok = ok && h != INVALID_HANDLE_VALUE && SetFileTime(h, nullptr, nullptr, &item.time);
            if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
        }
        if (item.attributes) ok = ok && SetFileAttributesW(path.c_str(), item.attributes);
    }
    return ok;
}
