#include "resources.h"

#include <vector>

namespace {

// A resource type or name as enumeration gives it: an integer id or a text.
struct ResName {
    std::string text;
    WORD id = 0;
    explicit ResName(LPCSTR n) {
        if (IS_INTRESOURCE(n))
            id = LOWORD(reinterpret_cast<ULONG_PTR>(n));
        else
            text = n;
    }
    LPCSTR Get() const { return text.empty() ? MAKEINTRESOURCEA(id) : text.c_str(); }
    bool Is(LPCSTR other) const {
        ResName o(other);
        return o.text.empty() ? (text.empty() && id == o.id) : lstrcmpiA(text.c_str(), o.text.c_str()) == 0;
    }
};

struct Entry {
    ResName type, name;
    WORD language;
};

BOOL CALLBACK OnLanguage(HMODULE, LPCSTR type, LPCSTR name, WORD language, LONG_PTR data) {
    reinterpret_cast<std::vector<Entry>*>(data)->push_back({ResName(type), ResName(name), language});
    return TRUE;
}
BOOL CALLBACK OnName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR data) {
    EnumResourceLanguagesA(module, type, name, OnLanguage, data);
    return TRUE;
}
BOOL CALLBACK OnType(HMODULE module, LPSTR type, LONG_PTR data) {
    EnumResourceNamesA(module, type, OnName, data);
    return TRUE;
}

}  // namespace

std::string ReadResource(const std::string& program, LPCSTR type, LPCSTR name, bool* found) {
    std::string bytes;
    if (found) *found = false;
    HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return bytes;
    HRSRC res = FindResourceA(module, name, type);
    if (res) {
        HGLOBAL loaded = LoadResource(module, res);
        const char* p = static_cast<const char*>(LockResource(loaded));
        if (p) {
            bytes.assign(p, SizeofResource(module, res));
            if (found) *found = true;
        }
    }
    FreeLibrary(module);
    return bytes;
}

bool CopyWithoutResource(const std::string& from, const std::string& to, LPCSTR type, LPCSTR name) {
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) return false;
    HMODULE module = LoadLibraryExA(from.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return false;
    std::vector<Entry> entries;
    EnumResourceTypesA(module, OnType, reinterpret_cast<LONG_PTR>(&entries));
    HANDLE update = BeginUpdateResourceA(to.c_str(), TRUE);
    bool ok = update != nullptr;
    for (const Entry& e : entries) {
        if (!ok) break;
        if (e.type.Is(type) && e.name.Is(name)) continue;
        HRSRC res = FindResourceExA(module, e.type.Get(), e.name.Get(), e.language);
        HGLOBAL loaded = res ? LoadResource(module, res) : nullptr;
        void* bytes = loaded ? LockResource(loaded) : nullptr;
        ok = bytes && UpdateResourceA(update, e.type.Get(), e.name.Get(), e.language, bytes,
                                      SizeofResource(module, res));
    }
    FreeLibrary(module);
    if (update) ok = EndUpdateResourceA(update, !ok) && ok;
    return ok;
}
