// The loader's search for DLLs, narrowed to the system folder. The extractor and the helper run
// from folders like Downloads, where a DLL planted beside them would otherwise be found before the
// system's own. Call it first thing; DLLs loaded after it come from the system folder.
#pragma once
#include <windows.h>

// True when the system took the restriction. SetDefaultDllDirectories is looked up at run time: a
// system without it still runs the program, with the search as it was.
inline bool RestrictDllSearch() {
    typedef BOOL(WINAPI * SetDirectories)(DWORD);
    FARPROC f = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    return f && reinterpret_cast<SetDirectories>(reinterpret_cast<void*>(f))(LOAD_LIBRARY_SEARCH_SYSTEM32);
}
