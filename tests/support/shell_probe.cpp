// The control of the planted-DLL tests: a program that imports shell32 at load time, as the
// extractor once did. Shell32 pulls further DLLs by name, which the loader then looks for in
// this program's folder first.
#include <windows.h>
#include <shlobj.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    char path[MAX_PATH];
    return SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, path)) ? 0 : 1;
}
