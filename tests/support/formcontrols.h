// Finding the builder's controls by name from another process: every control carries its
// name as the window property "QuilletName" (a global atom).
#pragma once
#include <string>

#include <windows.h>

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
