#include "u_browse.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "u_dialogs.h"
#include "u_utils.h"
#include "ui/form.h"

namespace {

int CALLBACK Preselect(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data && *reinterpret_cast<const char*>(data))
        SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

}  // namespace

bool BrowseForFolder(const std::string& title, const std::wstring& root, std::string& folder) {
    if (!DirectoryExists(folder)) folder.clear();
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator) return false;
    char* display = static_cast<char*>(allocator->Alloc(MAX_PATH));
    LPITEMIDLIST rootItems = nullptr;
    if (!root.empty()) {
        IShellFolder* desktop = nullptr;
        if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && desktop) {
            std::wstring path = root;
            ULONG eaten = 0, attributes = 0;
            desktop->ParseDisplayName(nullptr, nullptr, &path[0], &eaten, &rootItems, &attributes);
            desktop->Release();
        }
    }
    BROWSEINFOA info = {};
    info.hwndOwner = ApplicationWindow();
    info.pidlRoot = rootItems;
    info.pszDisplayName = display;
    info.lpszTitle = title.empty() ? nullptr : title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    if (!folder.empty()) {
        info.lpfn = Preselect;
        info.lParam = reinterpret_cast<LPARAM>(folder.c_str());
    }
    // The builder's other windows wait, and a drive that is not ready brings no system box.
    std::vector<HWND> disabled = ui::DisableThreadWindows();
    UINT errorMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    LPITEMIDLIST chosen = SHBrowseForFolderA(&info);
    SetErrorMode(errorMode);
    ui::EnableWindows(disabled);
    bool ok = false;
    if (chosen) {
        char path[MAX_PATH];
        if (SHGetPathFromIDListA(chosen, path)) {
            folder = path;
            ok = true;
        }
        allocator->Free(chosen);
    }
    if (rootItems) allocator->Free(rootItems);
    allocator->Free(display);
    allocator->Release();
    return ok;
}
