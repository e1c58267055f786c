// A DLL that the tests plant beside a program under a system DLL's name (shcore.dll). Its entry
// point leaves a marker, "<its own path>.loaded", so a test sees whether the loader took it.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        char path[MAX_PATH + 16];
        DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
        if (n && n < MAX_PATH) {
            lstrcpyA(path + n, ".loaded");
            HANDLE marker = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
            if (marker != INVALID_HANDLE_VALUE) CloseHandle(marker);
        }
    }
    return TRUE;
}
