// The container stores names, CmdParameters and CustomFolder as bytes of the system's ANSI
// code page; inside both programs every text is UTF-16. These are the two crossings, and
// neither ever maps a character by best fit.
#pragma once
#include <windows.h>

// Code-page bytes (length bytes, no zero needed) to UTF-16, as the A functions would see them.
// Writes at most size - 1 characters and a zero; returns the length, or -1 when the text does
// not fit (out then holds an empty text).
inline int CodePageToWide(const char* text, int length, WCHAR* out, int size) {
    if (size <= 0) return -1;
    out[0] = 0;
    if (length <= 0) return length == 0 ? 0 : -1;
    int n = MultiByteToWideChar(CP_ACP, 0, text, length, out, size - 1);
    if (n <= 0) {
        out[0] = 0;
        return -1;
    }
    out[n] = 0;
    return n;
}

// UTF-16 (length characters) to code-page bytes, only when the text has an exact form there:
// no best fit, no default character, no unpaired surrogate. Writes at most size bytes and no
// zero; out null: only the count. Returns the bytes, or -1 when there is no exact form (or it
// does not fit).
inline int WideToCodePage(const WCHAR* text, int length, char* out, int size) {
    if (length <= 0) return length == 0 ? 0 : -1;
    // A system whose ANSI code page is UTF-8 has an exact form for every valid text; there the
    // two flags below are not allowed, and unpaired surrogates are what can fail.
    bool utf8 = GetACP() == CP_UTF8;
    BOOL usedDefault = FALSE;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    int n = WideCharToMultiByte(CP_ACP, flags, text, length, out, out ? size : 0, nullptr,
                                utf8 ? nullptr : &usedDefault);
    if (n <= 0 || usedDefault) return -1;
    return n;
}
