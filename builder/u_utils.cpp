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

void ThrowFileError(const char* kind, const wchar_t* what, const std::wstring& path) {
    DWORD code = GetLastError();
    std::wstring message = std::wstring(what) + L" \"" + path + L"\".";
    if (code) message += L" " + SystemMessage(code);
    throw BuildError(kind, message);
}

ErrorReport DescribeException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const BuildError& e) {
        return {e.Kind(), e.Message()};
    } catch (const std::bad_alloc&) {
        return {"OutOfMemory", SystemMessage(ERROR_NOT_ENOUGH_MEMORY)};
    } catch (const std::exception& e) {
        return {"InternalError", AnsiToWide(e.what())};
    } catch (...) {
        return {"InternalError", L"An unknown error ended the work."};
    }
}

std::wstring FormatSizeText(int64_t bytes) {
    wchar_t separator[8] = L".";
    if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) || !separator[0]) lstrcpyW(separator, L".");
    char text[48];
    FormatSize(bytes, '.', text, sizeof(text));
    // The only '.' of the text is the decimal point.
    std::wstring out;
    for (const char* p = text; *p; ++p) {
        if (*p == '.')
            out += separator;
        else
            out += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    }
    return out;
}

std::wstring ReadFileVersion(const std::wstring& program, uint32_t* flags) {
    if (flags) *flags = 0;
    std::wstring path = ApiPath(program);
    DWORD handle = 0, size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (!size) return std::wstring();
    std::vector<char> info(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data()) ||
        !VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed)
        return std::wstring();
    if (flags) *flags = fixed->dwFileFlags & fixed->dwFileFlagsMask;
    return std::to_wstring(HIWORD(fixed->dwFileVersionMS)) + L"." + std::to_wstring(LOWORD(fixed->dwFileVersionMS)) +
           L"." + std::to_wstring(HIWORD(fixed->dwFileVersionLS)) + L"." +
           std::to_wstring(LOWORD(fixed->dwFileVersionLS));
}

std::wstring ShortVersion(const std::wstring& version) {
    size_t first = version.find(L'.');
    if (first == std::wstring::npos) return version;
    size_t second = version.find(L'.', first + 1);
    return second == std::wstring::npos ? version : version.substr(0, second);
}

bool ShellOpen(const std::wstring& text) {
    std::wstring target = Trim(text);
    if (target.empty()) return false;
    HINSTANCE result = ShellExecuteW(ApplicationWindow(), L"open", target.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32;
}
