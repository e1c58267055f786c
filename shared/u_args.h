// Splitting a command line into arguments the simple way: characters up to the space separate them,
// double quotes group characters and are removed; backslashes are plain. Used by the self-delete
// helper on the UTF-16 line of GetCommandLineW (the extractor quotes the path it passes), so every
// character arrives as it was given. Pure.
#pragma once

// Reads the argument at p into out (at most size - 1 characters, always ended by a zero) and
// advances p past it. False at the end of the line.
inline bool NextArg(const wchar_t*& p, wchar_t* out, int size) {
    while (*p && *p <= 32) ++p;
    if (!*p) return false;
    bool quoted = false;
    int n = 0;
    for (; *p; ++p) {
        wchar_t c = *p;
        if (c == '"') {
            quoted = !quoted;
            continue;
        }
        if (!quoted && c <= 32) break;
        if (n + 1 < size) out[n++] = c;
    }
    if (size > 0) out[n] = 0;
    return true;
}
