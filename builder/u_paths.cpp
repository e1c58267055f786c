#include "u_paths.h"

#include <windows.h>

#include <vector>

#include "u_codepage.h"

namespace {

// Below this a path works everywhere without the prefix: CreateDirectory takes at most
// MAX_PATH - 12 characters, the other calls MAX_PATH - 1.
const size_t ShortPathLimit = MAX_PATH - 12;

bool StartsWith(const std::wstring& text, const wchar_t* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

std::wstring Trim(const std::wstring& text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] <= 32) ++b;
    while (e > b && text[e - 1] <= 32) --e;
    return text.substr(b, e - b);
}

std::wstring AddTrailingDelimiter(const std::wstring& path) {
    if (path.empty() || path.back() == L'\\') return path;
    return path + L"\\";
}

std::wstring ExtractFileDir(const std::wstring& path) {
    size_t cut = path.find_last_of(L"\\:");
    if (cut == std::wstring::npos) return std::wstring();
    size_t n = cut;
    // Keep the backslash of a root ("C:\") and the colon of a drive.
    if (path[cut] == L':' || (n >= 1 && path[n - 1] == L':') || n == 0) ++n;
    return path.substr(0, n);
}

std::wstring LongPathForm(const std::wstring& full) {
    if (full.size() < ShortPathLimit || StartsWith(full, L"\\\\?\\") || StartsWith(full, L"\\\\.\\")) return full;
    bool drive = full.size() >= 3 && full[1] == L':' && full[2] == L'\\' &&
                 ((full[0] >= L'A' && full[0] <= L'Z') || (full[0] >= L'a' && full[0] <= L'z'));
    if (drive) return L"\\\\?\\" + full;
    if (StartsWith(full, L"\\\\") && full.size() > 2 && full[2] != L'\\') return L"\\\\?\\UNC\\" + full.substr(2);
    return full;
}

std::wstring FullPath(const std::wstring& path) {
    if (path.empty()) return path;
    DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (!n) return path;
    std::wstring full(n, L'\0');
    n = GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
    if (!n || n >= full.size()) return path;
    full.resize(n);
    return full;
}

std::wstring ApiPath(const std::wstring& path) {
    if (path.empty() || StartsWith(path, L"\\\\?\\")) return path;
    return LongPathForm(FullPath(path));
}

bool IsFileAt(const std::wstring& apiPath) {
    DWORD a = apiPath.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(apiPath.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsFolderAt(const std::wstring& apiPath) {
    DWORD a = apiPath.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(apiPath.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool FileExists(const std::wstring& path) { return IsFileAt(ApiPath(path)); }
bool DirectoryExists(const std::wstring& path) { return IsFolderAt(ApiPath(path)); }

void ForceDeleteFile(const std::wstring& apiPath) {
    SetFileAttributesW(apiPath.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(apiPath.c_str());
}

bool SameText(const std::wstring& a, const std::wstring& b) {
    return CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool StartsText(const std::wstring& prefix, const std::wstring& text) {
    return text.size() >= prefix.size() && SameText(prefix, text.substr(0, prefix.size()));
}

std::wstring UpperExtension(const std::wstring& path) {
    size_t dot = path.find_last_of(L".\\/");
    if (dot == std::wstring::npos || path[dot] != L'.') return std::wstring();
    std::wstring ext = path.substr(dot);
    CharUpperBuffW(&ext[0], static_cast<DWORD>(ext.size()));
    return ext;
}

std::wstring ModulePath() {
    std::vector<wchar_t> path(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) return std::wstring(path.data(), n);
        if (path.size() >= 32768) return std::wstring(path.data(), n);
        path.resize(path.size() * 2);
    }
}

bool ToCodePage(const std::wstring& text, std::string& bytes) {
    bytes.clear();
    if (text.empty()) return true;
    int length = static_cast<int>(text.size());
    int n = WideToCodePage(text.data(), length, nullptr, 0);
    if (n < 0) return false;
    bytes.resize(n);
    return WideToCodePage(text.data(), length, &bytes[0], n) == n;
}

std::wstring AnsiToWide(const std::string& text) {
    if (text.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0], n);
    return wide;
}
