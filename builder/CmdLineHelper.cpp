#include "CmdLineHelper.h"

namespace {

bool IsBlank(wchar_t c) { return c >= 1 && c <= 32; }

struct Emitter {
    wchar_t* out;
    int length = 0;
    void Put(wchar_t c) {
        if (out) out[length] = c;
        ++length;
    }
    void Repeat(wchar_t c, int count) {
        for (int i = 0; i < count; ++i) Put(c);
    }
};

const wchar_t* LineOrOwn(const wchar_t* cmdLine) { return cmdLine ? cmdLine : ProcessCommandLine(); }

// Skips the program name; returns the position of parameter 1.
const wchar_t* FirstParam(const wchar_t* cmdLine) {
    const wchar_t* pos = LineOrOwn(cmdLine);
    NextParam(pos, nullptr, nullptr);
    return pos;
}

bool IsSwitchText(const std::wstring& p) { return !p.empty() && (p[0] == L'-' || p[0] == L'/'); }

// Calls visit with each parameter from 1 on until it returns true. One walk over the line: a line
// of 32767 characters holds 16383 parameters, and reading each by its index would walk it again
// for every one (seconds for a single switch).
template <class Visit>
void FindParam(const wchar_t* cmdLine, Visit visit) {
    const wchar_t* pos = FirstParam(cmdLine);
    std::wstring text;
    for (;;) {
        const wchar_t* start = pos;
        int length = 0;
        if (!NextParam(pos, nullptr, &length)) return;
        text.assign(length, L'\0');
        NextParam(start, &text[0], nullptr);
        if (visit(text)) return;
    }
}

}  // namespace

bool NextParam(const wchar_t*& pos, wchar_t* out, int* length) {
    const wchar_t* p = pos;
    while (IsBlank(*p)) ++p;
    if (!*p) {
        pos = p;
        return false;
    }
    Emitter e{out};
    bool quoted = false;
    while (*p) {
        if (*p == L'\\') {
            const wchar_t* q = p;
            while (*q == L'\\') ++q;
            int run = static_cast<int>(q - p);
            if (*q == L'"') {
                e.Repeat(L'\\', run / 2);
                if (run % 2) {
                    e.Put(*q);
                    ++q;
                }
            } else {
                e.Repeat(L'\\', run);
            }
            p = q;
        } else if (*p == L'"') {
            quoted = !quoted;
            ++p;
        } else if (!quoted && IsBlank(*p)) {
            break;
        } else {
            e.Put(*p++);
        }
    }
    if (out) out[e.length] = 0;
    if (length) *length = e.length;
    pos = p;
    return true;
}

int PositionalCount(const wchar_t* cmdLine) {
    int count = 0;
    FindParam(cmdLine, [&](const std::wstring& p) {
        count += !IsSwitchText(p);
        return false;
    });
    return count;
}

std::wstring PositionalParam(int k, const wchar_t* cmdLine) {
    if (k == 0) return CommandLineModulePath();
    std::wstring found;
    if (k < 0) return found;
    int seen = 0;
    FindParam(cmdLine, [&](const std::wstring& p) {
        if (IsSwitchText(p) || ++seen < k) return false;
        found = p;
        return true;
    });
    return found;
}

bool SwitchPresent(const wchar_t* name, const wchar_t* cmdLine) {
    bool present = false;
    FindParam(cmdLine, [&](const std::wstring& p) {
        return present = IsSwitchText(p) && SameSwitchName(p.substr(1), name);
    });
    return present;
}
