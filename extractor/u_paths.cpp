#include "u_paths.h"

#include "u_codepage.h"

void AppendText(WCHAR* out, const WCHAR* text, DWORD size) {
    DWORD n = lstrlenW(out);
    if (n + 1 < size) lstrcpynW(out + n, text, size - n);
}

void AddBackslash(WCHAR* path) {
    DWORD n = lstrlenW(path);
    if (n && path[n - 1] != '\\' && n + 1 < PathSize) {
        path[n] = '\\';
        path[n + 1] = 0;
    }
}

bool ResolvePath(const WCHAR* path, WCHAR* out, DWORD size) {
    DWORD n = GetFullPathNameW(path, size, out, nullptr);
    if (n && n < size) return true;
    out[0] = 0;
    return false;
}

bool LongForm(const WCHAR* full, WCHAR* out, DWORD size, bool always) {
    out[0] = 0;
    DWORD n = lstrlenW(full);
    const WCHAR* prefix = L"";
    const WCHAR* rest = full;
    // CreateDirectoryW stops 12 characters before MAX_PATH, the others at it.
    if (always || n >= MAX_PATH - 12) {
        if (full[0] == '\\' && full[1] == '\\') {
            if (full[2] != '?' && full[2] != '.') {
                prefix = L"\\\\?\\UNC\\";
                rest = full + 2;
            }
        } else if (full[0] && full[1] == ':' && full[2] == '\\') {
            prefix = L"\\\\?\\";
        }
    }
    DWORD p = lstrlenW(prefix);
    DWORD r = lstrlenW(rest);
    if (p + r + 1 > size) return false;
    lstrcpyW(out, prefix);
    lstrcpyW(out + p, rest);
    return true;
}

const WCHAR* Long(const WCHAR* path) {
    static WCHAR buffers[2][PathSize + 8];
    static int next;
    WCHAR* out = buffers[next ^= 1];
    // A path too long for its own long form goes as it is, and the system refuses it.
    return LongForm(path, out, PathSize + 8) ? out : path;
}

bool FromCodePage(const char* text, int length, WCHAR* out, DWORD size) {
    return CodePageToWide(text, length, out, static_cast<int>(size)) >= 0;
}

bool FromCodePage(const char* text, WCHAR* out, DWORD size) { return FromCodePage(text, lstrlenA(text), out, size); }
