// Splitting a command line into arguments the simple way: characters up to the space
// separate them, double quotes group characters and are removed; backslashes are plain.
// Used by the extractor (its arguments go on to the launched program) and the helper.
// Pure: the caller says which bytes start a double-byte character.
#pragma once

typedef bool (*LeadBytePredicate)(unsigned char c);

// Reads the argument at p into out (at most size - 1 bytes, whole characters only, always
// ended by a zero) and advances p past it. False at the end of the line.
inline bool NextArg(const char*& p, char* out, int size, LeadBytePredicate isLead) {
    while (*p && static_cast<unsigned char>(*p) <= 32) ++p;
    if (!*p) return false;
    bool quoted = false;
    int n = 0;
    while (*p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"') {
            quoted = !quoted;
            ++p;
            continue;
        }
        if (!quoted && c <= 32) break;
        int length = isLead(c) && p[1] ? 2 : 1;
        if (n + length < size) {
            for (int i = 0; i < length; ++i) out[n++] = p[i];
        }
        p += length;
    }
    if (size > 0) out[n < size ? n : size - 1] = 0;
    return true;
}
