#include "u_utils.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "u_dialogs.h"
#include "u_errors.h"
#include "u_shared.h"

std::wstring SystemMessage(unsigned long code) {
    wchar_t* text = nullptr;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n && text ? std::wstring(text, n) : L"Error " + std::to_wstring(code);
    if (text) LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L' '))
        message.pop_back();
    return message;
}

void ThrowFileError(const char* kind, const wchar_t* what, const std::string& path) {
    DWORD code = GetLastError();
    std::wstring message = std::wstring(what) + L" \"" + AnsiToWide(path) + L"\".";
    if (code) message += L" " + SystemMessage(code);
    throw BuildError(kind, message);
}

std::string FormatSizeText(int64_t bytes) {
    char separator[8] = ".";
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof(separator));
    char text[48];
    FormatSize(bytes, separator[0] ? separator[0] : '.', text, sizeof(text));
    return text;
}

void ForceDeleteFile(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(path.c_str());
}

std::string AddTrailingDelimiter(const std::string& path) {
    if (path.empty()) return path;
    const char* last = CharPrevA(path.c_str(), path.c_str() + path.size());
    if (last == path.c_str() + path.size() - 1 && *last == '\\') return path;
    return path + "\\";
}

std::string Trim(const std::string& text) {
    size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 32) ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 32) --e;
    return text.substr(b, e - b);
}

std::string ReadFileVersion(const std::string& program, uint32_t* flags) {
    if (flags) *flags = 0;
    DWORD handle = 0, size = GetFileVersionInfoSizeA(program.c_str(), &handle);
    if (!size) return std::string();
    std::vector<char> info(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(program.c_str(), 0, size, info.data()) ||
        !VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length) || !fixed)
        return std::string();
    if (flags) *flags = fixed->dwFileFlags & fixed->dwFileFlagsMask;
    return std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionMS)) +
           "." + std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." + std::to_string(LOWORD(fixed->dwFileVersionLS));
}

std::string ShortVersion(const std::string& version) {
    size_t first = version.find('.');
    if (first == std::string::npos) return version;
    size_t second = version.find('.', first + 1);
    return second == std::string::npos ? version : version.substr(0, second);
}

bool ShellOpen(const std::string& text) {
    std::string target = Trim(text);
    if (target.empty()) return false;
    HINSTANCE result = ShellExecuteA(ApplicationWindow(), "open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}

bool SameText(const std::string& a, const std::string& b) {
    return CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                          static_cast<int>(b.size())) == CSTR_EQUAL;
}

bool StartsText(const std::string& prefix, const std::string& text) {
    return text.size() >= prefix.size() && SameText(prefix, text.substr(0, prefix.size()));
}

bool FileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ExtractFileDir(const std::string& path) {
    // The last backslash or colon as whole characters, so a trail byte never counts.
    const char* start = path.c_str();
    const char* cut = nullptr;
    for (const char* p = start; *p; p = CharNextA(p))
        if (*p == '\\' || *p == ':') cut = p;
    if (!cut) return std::string();
    size_t n = cut - start;
    // Keep the backslash of a root ("C:\") and the colon of a drive.
    if (*cut == ':' || (n >= 1 && start[n - 1] == ':') || n == 0) ++n;
    return path.substr(0, n);
}
