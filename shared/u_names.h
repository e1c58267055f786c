// The checks every part of a stored name passes before anything is created under it. Pure and over
// the character type: the extractor checks UTF-16 names as wchar_t, a native build checks them as
// char16_t. A name text ends with a zero.
#pragma once

namespace names {

// Three letters as one number, for comparing without case.
constexpr unsigned long Key(char a, char b, char c) { return (static_cast<unsigned long>(a) << 16) | (b << 8) | c; }

// A part up to its first dot, blanks before the dot dropped, that names a device: CON, nul.txt,
// Lpt9.log, COM0, com¹.txt. Windows opens the device for such a name in any folder.
template <class C>
bool IsDeviceName(const C* from, const C* to) {
    const C* end = from;
    while (end < to && *end != '.') ++end;
    while (end > from && end[-1] == ' ') --end;
    long n = static_cast<long>(end - from);
    if (n != 3 && n != 4) return false;
    unsigned long key = 0;
    for (int i = 0; i < 3; ++i) {
        unsigned long c = static_cast<unsigned long>(from[i]);
        if (c >= 'a' && c <= 'z') c -= 32;
        if (c > 'Z') return false;
        key = (key << 8) | c;
    }
    if (n == 4) {
        unsigned long d = static_cast<unsigned long>(from[3]);
        // The digits and the superscripts one, two and three.
        bool digit = (d >= '0' && d <= '9') || d == 0xB9 || d == 0xB2 || d == 0xB3;
        return digit && (key == Key('C', 'O', 'M') || key == Key('L', 'P', 'T'));
    }
    return key == Key('C', 'O', 'N') || key == Key('P', 'R', 'N') || key == Key('A', 'U', 'X') ||
           key == Key('N', 'U', 'L');
}

// A stored name must stay inside its base folder (no drive, no root, no ".." part) and must be one
// that Windows stores as given: no device name, no part ending in a dot or a blank (Windows drops
// them, so "a." would land on "a"), none of the characters Windows forbids in names.
template <class C>
bool IsSafeName(const C* name) {
    if (name[0] == '\\' || name[0] == '/') return false;
    const C* part = name;
    const C* last = nullptr;  // the last character of the part
    for (const C* p = name;; ++p) {
        C c = *p;
        if (c == '\\' || c == '/' || !c) {
            if (!last || *last == '.' || *last == ' ' || IsDeviceName(part, p)) return false;
            if (!c) return true;
            part = p + 1;
            last = nullptr;
        } else {
            if (static_cast<unsigned long>(c) < 32 || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' ||
                c == '?' || c == '*')
                return false;
            last = p;
        }
    }
}

}  // namespace names
