// The program that SFX files launch in the tests. It writes its command line and current
// folder to %QUILLET_PROBE_OUT%, waits while %QUILLET_PROBE_WAIT% names a missing file
// (at most 60 s), and exits with %QUILLET_PROBE_EXIT% (3 when unset). %QUILLET_PROBE_WOUT% gets
// the UTF-16 command line and its arguments (CommandLineToArgvW), one a line, in UTF-8.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>
#include <string>

std::string Env(const char* name) {
    char value[1024];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof(value));
    return n && n < sizeof(value) ? std::string(value, n) : std::string();
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    std::string out = Env("QUILLET_PROBE_OUT");
    if (!out.empty()) {
        char cwd[MAX_PATH] = "";
        GetCurrentDirectoryA(MAX_PATH, cwd);
        std::string text = std::string(GetCommandLineA()) + "\n" + cwd + "\n";
        HANDLE h = CreateFileA(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written;
        WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        CloseHandle(h);
    }
    wchar_t wout[32768];
    DWORD n = GetEnvironmentVariableW(L"QUILLET_PROBE_WOUT", wout, 32768);
    if (n && n < 32768) {
        std::wstring text = std::wstring(GetCommandLineW()) + L"\n";
        int argc = 0;
        if (LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc)) {
            for (int i = 0; i < argc; ++i) text += std::wstring(argv[i]) + L"\n";
            LocalFree(argv);
        }
        std::string bytes(text.size() * 3 + 1, '\0');
        bytes.resize(WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0],
                                         static_cast<int>(bytes.size()), nullptr, nullptr));
        HANDLE h = CreateFileW(wout, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        DWORD written;
        WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
        CloseHandle(h);
    }
    std::string wait = Env("QUILLET_PROBE_WAIT");
    for (int i = 0; !wait.empty() && i < 1200 && GetFileAttributesA(wait.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    std::string code = Env("QUILLET_PROBE_EXIT");
    return code.empty() ? 3 : std::atoi(code.c_str());
}
