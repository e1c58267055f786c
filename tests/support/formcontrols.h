// Finding the builder's controls by name from another process: every control carries its
// name as the window property "QuilletName" (a global atom).
#pragma once
#include <string>

#include <windows.h>
#include <commctrl.h>

struct ControlSearch {
    const char* name;
    HWND found;
};

inline BOOL CALLBACK MatchControlName(HWND child, LPARAM p) {
    auto* s = reinterpret_cast<ControlSearch*>(p);
    ATOM atom = static_cast<ATOM>(reinterpret_cast<ULONG_PTR>(GetPropW(child, L"QuilletName")));
    char text[64] = "";
    if (atom && GlobalGetAtomNameA(atom, text, sizeof(text)) && !lstrcmpA(text, s->name)) {
        s->found = child;
        return FALSE;
    }
    return TRUE;
}

inline HWND FindControl(HWND form, const char* name) {
    ControlSearch search{name, nullptr};
    EnumChildWindows(form, MatchControlName, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// The text of a cell of another process's list view: the item record and the text buffer
// live in that process, written and read through its memory.
inline std::wstring CellText(HWND list, int row, int column) {
    DWORD pid = 0;
    GetWindowThreadProcessId(list, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process) return L"<no access>";
    const SIZE_T chars = 2048;
    BYTE* remote = static_cast<BYTE*>(
        VirtualAllocEx(process, nullptr, sizeof(LVITEMW) + chars * sizeof(wchar_t), MEM_COMMIT, PAGE_READWRITE));
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(remote + sizeof(LVITEMW));
    item.cchTextMax = chars;
    WriteProcessMemory(process, remote, &item, sizeof(item), nullptr);
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(remote));
    std::wstring text(chars, L'\0');
    ReadProcessMemory(process, remote + sizeof(LVITEMW), &text[0], chars * sizeof(wchar_t), nullptr);
    VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return text.c_str();
}
