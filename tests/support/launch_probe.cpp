// The program that SFX files launch in the tests. It writes its command line and current
// folder to %QUILLET_PROBE_OUT%, waits while %QUILLET_PROBE_WAIT% names a missing file
// (at most 60 s), and exits with %QUILLET_PROBE_EXIT% (3 when unset).
#include <windows.h>

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
    std::string wait = Env("QUILLET_PROBE_WAIT");
    for (int i = 0; !wait.empty() && i < 1200 && GetFileAttributesA(wait.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(50);
    std::string code = Env("QUILLET_PROBE_EXIT");
    return code.empty() ? 3 : std::atoi(code.c_str());
}
