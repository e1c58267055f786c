#include "u_browse.h"

#include <windows.h>
#include <shlobj.h>

#include <vector>

#include "u_dialogs.h"
#include "u_utils.h"
#include "ui/form.h"

namespace {

int CALLBACK Preselect(HWND dialog, UINT message, LPARAM, LPARAM data) {
    if (message == BFFM_INITIALIZED && data && *reinterpret_cast<const wchar_t*>(data))
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
    return 0;
}

}  // namespace

bool BrowseForFolder(const std::wstring& title, const std::wstring& root, std::wstring& folder) {
    if (!DirectoryExists(folder)) folder.clear();
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator) return false;
    wchar_t* display = static_cast<wchar_t*>(allocator->Alloc(MAX_PATH * sizeof(wchar_t)));
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
    BROWSEINFOW info = {};
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
    LPITEMIDLIST chosen = SHBrowseForFolderW(&info);
    SetErrorMode(errorMode);
    ui::EnableWindows(disabled);
    bool ok = false;
    if (chosen) {
        // A folder of any length.
        std::vector<wchar_t> path(32768);
        if (SHGetPathFromIDListEx(chosen, path.data(), static_cast<DWORD>(path.size()), GPFIDL_DEFAULT)) {
            folder = path.data();
            ok = true;
        }
        allocator->Free(chosen);
    }
    if (rootItems) allocator->Free(rootItems);
    allocator->Free(display);
    allocator->Release();
    return ok;
}
