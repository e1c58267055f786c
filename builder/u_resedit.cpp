#include "u_resedit.h"

#include <memory>
#include <vector>

#include "u_paths.h"
#include "u_plan.h"
#include "u_resources.h"

namespace {

const LPCWSTR IconType = MAKEINTRESOURCEW(3), GroupIconType = MAKEINTRESOURCEW(14),
              VersionType = MAKEINTRESOURCEW(16);

// A resource name as enumeration gives it: a text, or a 16-bit identifier.
struct ResourceName {
    std::wstring text;  // empty for an identifier
    WORD id = 0;       // 0 for a text
    explicit ResourceName(LPCWSTR name) {
        if (IS_INTRESOURCE(name))
            id = LOWORD(reinterpret_cast<ULONG_PTR>(name));
        else
            text = name;
    }
    LPCWSTR Get() const { return text.empty() ? MAKEINTRESOURCEW(id) : text.c_str(); }
};

using ResourceNameList = std::vector<ResourceName>;

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR list) {
    reinterpret_cast<ResourceNameList*>(list)->emplace_back(name);
    return TRUE;
}

BOOL CALLBACK CollectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD language, LONG_PTR list) {
    reinterpret_cast<std::vector<WORD>*>(list)->push_back(language);
    return TRUE;
}

// Names of one type; false when the enumeration failed for another reason than "none".
bool Names(HMODULE module, LPCWSTR type, ResourceNameList& names) {
    names.clear();
    if (EnumResourceNamesW(module, type, CollectName, reinterpret_cast<LONG_PTR>(&names))) return true;
    DWORD code = GetLastError();
    return code == ERROR_RESOURCE_TYPE_NOT_FOUND || code == ERROR_RESOURCE_NAME_NOT_FOUND || code == 0;
}

bool Languages(HMODULE module, LPCWSTR type, LPCWSTR name, std::vector<WORD>& languages) {
    languages.clear();
    return EnumResourceLanguagesW(module, type, name, CollectLanguage, reinterpret_cast<LONG_PTR>(&languages)) &&
           !languages.empty();
}

// The bytes of one resource in one language, pinned by the loaded module.
const BYTE* Find(HMODULE module, LPCWSTR type, LPCWSTR name, WORD language, DWORD* size) {
    HRSRC found = FindResourceExW(module, type, name, language);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const BYTE* bytes = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    *size = bytes ? SizeofResource(module, found) : 0;
    return bytes;
}

struct Library {
    HMODULE module;
    explicit Library(const std::wstring& path)
        : module(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE)) {}
    ~Library() {
        if (module) FreeLibrary(module);
    }
};

// One update transaction on the target: open keeping its resources, load it as data for
// enumeration, do the work, release the modules, commit only when the work succeeded.
template <typename Work>
bool Transaction(const std::wstring& target, Work work) {
    HANDLE update = BeginUpdateResourceW(target.c_str(), FALSE);
    if (!update) return false;
    bool result = false;
    {
        Library targetModule(target);
        if (targetModule.module) result = work(update, targetModule.module);
    }
    return EndUpdateResourceW(update, !result) && result;
}

#pragma pack(push, 1)
struct GroupHeader {
    WORD reserved, type, count;
};
struct GroupEntry {  // an icon group's entry: the first 12 bytes of the .ICO entry, then the id
    BYTE width, height, colors, reserved;
    WORD planes, bits;
    DWORD size;
    WORD id;
};
struct IcoEntry {
    BYTE width, height, colors, reserved;
    WORD planes, bits;
    DWORD size, offset;
};
#pragma pack(pop)

// Removes the target's first icon group in all its languages, with its images. Gives the
// group's name, or none when the target has no icon group.
bool RemoveFirstIconGroup(HANDLE update, HMODULE target, ResourceNameList& group) {
    ResourceNameList names;
    if (!Names(target, GroupIconType, names)) return false;
    group.clear();
    if (names.empty()) return true;
    group.push_back(names.front());
    std::vector<WORD> languages;
    if (!Languages(target, GroupIconType, group.front().Get(), languages)) return false;
    for (WORD language : languages) {
        DWORD size = 0;
        const BYTE* bytes = Find(target, GroupIconType, group.front().Get(), language, &size);
        if (!bytes || size < sizeof(GroupHeader)) return false;
        const GroupHeader* header = reinterpret_cast<const GroupHeader*>(bytes);
        if (size < sizeof(GroupHeader) + header->count * sizeof(GroupEntry)) return false;
        const GroupEntry* entries = reinterpret_cast<const GroupEntry*>(bytes + sizeof(GroupHeader));
        for (WORD i = 0; i < header->count; ++i)
            if (!UpdateResourceW(update, IconType, MAKEINTRESOURCEW(entries[i].id), language, nullptr, 0)) return false;
        if (!UpdateResourceW(update, GroupIconType, group.front().Get(), language, nullptr, 0)) return false;
    }
    return true;
}

bool ReadAt(HANDLE file, DWORD offset, void* buffer, DWORD size) {
    DWORD got = 0;
    return SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           ReadFile(file, buffer, size, &got, nullptr) && got == size;
}

}  // namespace

WORD GetVersionLanguage(const std::wstring& program) {
    const std::wstring& path = program;
    DWORD handle = 0, size = GetFileVersionInfoSizeW(path.c_str(), &handle);
    if (!size) return 0;
    std::vector<BYTE> info(size);
    WORD* translation = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, info.data()) ||
        !VerQueryValueW(info.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) ||
        !translation || length < sizeof(WORD))
        return 0;
    return translation[0];
}

bool UpdateTargetResource(const std::wstring& program, LPCWSTR type, LPCWSTR name, const void* bytes, DWORD size) {
    WORD language = GetVersionLanguage(program);
    HANDLE update = BeginUpdateResourceW(program.c_str(), FALSE);
    if (!update) return false;
    bool written = UpdateResourceW(update, type, name, language, const_cast<void*>(bytes), size);
    return EndUpdateResourceW(update, !written) && written;
}

bool CopyVersionInfo(const std::wstring& source, const std::wstring& target) {
    return Transaction(target, [&](HANDLE update, HMODULE targetModule) {
        ResourceNameList names;
        std::vector<WORD> languages;
        if (!Names(targetModule, VersionType, names)) return false;
        for (const ResourceName& name : names) {
            if (!Languages(targetModule, VersionType, name.Get(), languages)) return false;
            for (WORD language : languages)
                if (!UpdateResourceW(update, VersionType, name.Get(), language, nullptr, 0)) return false;
        }
        Library sourceModule(source);
        if (!sourceModule.module || !Names(sourceModule.module, VersionType, names)) return false;
        bool result = false;
        for (const ResourceName& name : names) {
            if (!Languages(sourceModule.module, VersionType, name.Get(), languages)) return false;
            for (WORD language : languages) {
                DWORD size = 0;
                const BYTE* bytes = Find(sourceModule.module, VersionType, name.Get(), language, &size);
                if (!bytes) return false;
                result = UpdateResourceW(update, VersionType, name.Get(), language, const_cast<BYTE*>(bytes), size);
            }
        }
        return result;
    });
}

bool SetIconFromExe(const std::wstring& source, const std::wstring& target) {
    return Transaction(target, [&](HANDLE update, HMODULE targetModule) {
        ResourceNameList group;
        if (!RemoveFirstIconGroup(update, targetModule, group)) return false;
        Library sourceModule(source);
        ResourceNameList names;
        if (!sourceModule.module || !Names(sourceModule.module, GroupIconType, names) || names.empty()) return false;
        const ResourceName& sourceGroup = names.front();
        LPCWSTR groupName = group.empty() ? sourceGroup.Get() : group.front().Get();
        std::vector<WORD> languages;
        if (!Languages(sourceModule.module, GroupIconType, sourceGroup.Get(), languages)) return false;
        bool result = false;
        for (WORD language : languages) {
            DWORD size = 0;
            const BYTE* bytes = Find(sourceModule.module, GroupIconType, sourceGroup.Get(), language, &size);
            if (!bytes || size < sizeof(GroupHeader)) return false;
            const GroupHeader* header = reinterpret_cast<const GroupHeader*>(bytes);
            if (size < sizeof(GroupHeader) + header->count * sizeof(GroupEntry)) return false;
            const GroupEntry* entries = reinterpret_cast<const GroupEntry*>(bytes + sizeof(GroupHeader));
            for (WORD i = 0; i < header->count; ++i) {
                // The image in whatever language the program has it.
                HRSRC found = FindResourceW(sourceModule.module, MAKEINTRESOURCEW(entries[i].id), IconType);
                HGLOBAL loaded = found ? LoadResource(sourceModule.module, found) : nullptr;
                void* image = loaded ? LockResource(loaded) : nullptr;
                if (!image || !UpdateResourceW(update, IconType, MAKEINTRESOURCEW(entries[i].id), language, image,
                                               SizeofResource(sourceModule.module, found)))
                    return false;
            }
            result = UpdateResourceW(update, GroupIconType, groupName, language, const_cast<BYTE*>(bytes), size);
        }
        return result;
    });
}

bool SetIconFromIco(const std::wstring& icoFile, const std::wstring& target) {
    WORD language = GetVersionLanguage(target);
    return Transaction(target, [&](HANDLE update, HMODULE targetModule) {
        ResourceNameList group;
        if (!RemoveFirstIconGroup(update, targetModule, group)) return false;
        HANDLE file = CreateFileW(icoFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) return false;
        std::unique_ptr<void, decltype(&CloseHandle)> closer(file, CloseHandle);
        // An icon header (reserved 0, type 1, at least one image) and a directory and images
        // that lie inside the file; anything else is no icon file.
        DWORD fileSize = GetFileSize(file, nullptr);
        GroupHeader header;
        if (fileSize == INVALID_FILE_SIZE || !ReadAt(file, 0, &header, sizeof(header)) || header.reserved != 0 ||
            header.type != 1 || header.count == 0 || sizeof(header) + header.count * sizeof(IcoEntry) > fileSize)
            return false;
        std::vector<IcoEntry> directory(header.count);
        if (!ReadAt(file, sizeof(header), directory.data(), header.count * sizeof(IcoEntry))) return false;
        std::vector<BYTE> groupBytes(sizeof(GroupHeader) + header.count * sizeof(GroupEntry));
        memcpy(groupBytes.data(), &header, sizeof(header));
        GroupEntry* entries = reinterpret_cast<GroupEntry*>(groupBytes.data() + sizeof(GroupHeader));
        for (WORD i = 0; i < header.count; ++i) {
            const IcoEntry& e = directory[i];
            if (e.size == 0 || e.offset > fileSize || e.size > fileSize - e.offset) return false;
            memcpy(&entries[i], &e, 12);
            entries[i].id = static_cast<WORD>(i + 1);
            std::vector<BYTE> image(e.size);
            if (!ReadAt(file, e.offset, image.data(), e.size) ||
                !UpdateResourceW(update, IconType, MAKEINTRESOURCEW(i + 1), language, image.data(), e.size))
                return false;
        }
        LPCWSTR name = group.empty() ? MAKEINTRESOURCEW(1) : group.front().Get();
        return UpdateResourceW(update, GroupIconType, name, language, groupBytes.data(),
                               static_cast<DWORD>(groupBytes.size())) != FALSE;
    });
}

namespace {

bool IsNtFamily() {
    OSVERSIONINFOA version{sizeof(version)};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
#pragma GCC diagnostic pop
}

}  // namespace

void EditTargetResources(const BuildPlan& plan, bool iconVersionInfo, const std::wstring& file) {
    if (!IsNtFamily()) return;
    const BuildSettings& s = plan.settings;
    if (!plan.icon.empty()) {
        if (UpperExtension(plan.icon) == L".ICO")
            SetIconFromIco(plan.iconApi, file);
        else
            SetIconFromExe(plan.iconApi, file);
    } else if (s.ExtractionMode == 1) {
        SetIconFromExe(plan.executableApi, file);
    }
    if (!plan.icon.empty() && iconVersionInfo)
        CopyVersionInfo(plan.iconApi, file);
    else if (s.ExtractionMode == 1)
        CopyVersionInfo(plan.executableApi, file);
    if (s.UACAutoElevation != 0) {
        const ResourceData& uac = EmbeddedResources.uac;
        std::string manifest(reinterpret_cast<const char*>(uac.bytes), uac.size);
        size_t at = manifest.find("requireAdministrator");
        if (s.UACAutoElevation == 1 && at != std::string::npos) manifest.replace(at, 20, "highestAvailable");
        UpdateTargetResource(file, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), manifest.data(),
                             static_cast<DWORD>(manifest.size()));
    }
}
