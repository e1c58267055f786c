#include "CmdLineHelper.h"

#include <windows.h>

namespace {

bool IsBlank(char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 1 && u <= 32;
}

struct Emitter {
    char* out;
    int length = 0;
    void Put(const char* from, int count) {
        if (out)
            for (int i = 0; i < count; ++i) out[length + i] = from[i];
        length += count;
    }
    void Repeat(char c, int count) {
        for (int i = 0; i < count; ++i) Put(&c, 1);
    }
};

const char* LineOrOwn(const char* cmdLine) { return cmdLine ? cmdLine : GetCommandLineA(); }

std::string ModulePath() {
    char path[MAX_PATH + 1] = {};
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, n > MAX_PATH ? MAX_PATH : n);
}

// Skips the program name; returns the position of parameter 1.
const char* FirstParam(const char* cmdLine) {
    const char* pos = LineOrOwn(cmdLine);
    NextParam(pos, nullptr, nullptr);
    return pos;
}

bool IsSwitchText(const std::string& p) { return !p.empty() && (p[0] == '-' || p[0] == '/'); }

}  // namespace

bool NextParam(const char*& pos, char* out, int* length) {
    const char* p = pos;
    while (IsBlank(*p)) p = CharNextA(p);
    if (!*p) {
        pos = p;
        return false;
    }
    Emitter e{out};
    bool quoted = false;
    while (*p) {
        if (*p == '\\') {
            const char* q = p;
            while (*q == '\\') ++q;
            int run = static_cast<int>(q - p);
            if (*q == '"') {
                e.Repeat('\\', run / 2);
                if (run % 2) {
                    e.Put(q, 1);
                    ++q;
                }
            } else {
                e.Repeat('\\', run);
            }
            p = q;
        } else if (*p == '"') {
            quoted = !quoted;
            ++p;
        } else if (!quoted && IsBlank(*p)) {
            break;
        } else {
            const char* next = CharNextA(p);
            e.Put(p, static_cast<int>(next - p));
            p = next;
        }
    }
    if (out) out[e.length] = 0;
    if (length) *length = e.length;
    pos = p;
    return true;
}

int CmdParamCount(const char* cmdLine) {
    const char* pos = FirstParam(cmdLine);
    int count = 0;
    while (NextParam(pos, nullptr, nullptr)) ++count;
    return count;
}

std::string CmdParamStr(int i, const char* cmdLine) {
    if (i <= 0) return ModulePath();
    const char* pos = FirstParam(cmdLine);
    for (int k = 1; k < i; ++k)
        if (!NextParam(pos, nullptr, nullptr)) return std::string();
    const char* start = pos;
    int length = 0;
    if (!NextParam(pos, nullptr, &length)) return std::string();
    std::string text(length, '\0');
    NextParam(start, &text[0], nullptr);
    return text;
}

int PositionalCount(const char* cmdLine) {
    int count = 0;
    for (int i = 1, n = CmdParamCount(cmdLine); i <= n; ++i)
        if (!IsSwitchText(CmdParamStr(i, cmdLine))) ++count;
    return count;
}

std::string PositionalParam(int k, const char* cmdLine) {
    if (k == 0) return ModulePath();
    if (k < 0) return std::string();
    for (int i = 1, n = CmdParamCount(cmdLine), seen = 0; i <= n; ++i) {
        std::string p = CmdParamStr(i, cmdLine);
        if (!IsSwitchText(p) && ++seen == k) return p;
    }
    return std::string();
}

bool SwitchPresent(const char* name, const char* cmdLine) {
    for (int i = 1, n = CmdParamCount(cmdLine); i <= n; ++i) {
        std::string p = CmdParamStr(i, cmdLine);
        if (IsSwitchText(p) && CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, p.c_str() + 1, -1,
                                              name, -1) == CSTR_EQUAL)
            return true;
    }
    return false;
}
