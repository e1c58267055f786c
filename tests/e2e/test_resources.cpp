// The resources the builder gives an SFX file: icon, version information, manifest; read
// back from real builds, which must still extract after every edit.
#include <gtest/gtest.h>

#include <set>

#include "resources.h"
#include "sfxtools.h"

namespace {

struct Group {
    std::string name;
    WORD language;
    std::string bytes;
    int Count() const { return bytes.size() >= 6 ? static_cast<unsigned char>(bytes[4]) | (bytes[5] << 8) : -1; }
    WORD Id(int i) const {
        const unsigned char* e = reinterpret_cast<const unsigned char*>(bytes.data()) + 6 + 14 * i;
        return static_cast<WORD>(e[12] | (e[13] << 8));
    }
};

std::string NameText(LPCSTR name) {
    return IS_INTRESOURCE(name) ? "#" + std::to_string(LOWORD(reinterpret_cast<ULONG_PTR>(name))) : name;
}

struct Inventory {
    std::vector<Group> groups;
    std::vector<Group>* target = nullptr;
    HMODULE module = nullptr;
};

BOOL CALLBACK OnGroupLanguage(HMODULE module, LPCSTR type, LPCSTR name, WORD language, LONG_PTR data) {
    auto* inv = reinterpret_cast<Inventory*>(data);
    HRSRC r = FindResourceExA(module, type, name, language);
    const char* p = static_cast<const char*>(LockResource(LoadResource(module, r)));
    inv->groups.push_back({NameText(name), language, std::string(p, SizeofResource(module, r))});
    return TRUE;
}
BOOL CALLBACK OnGroupName(HMODULE module, LPCSTR type, LPSTR name, LONG_PTR data) {
    EnumResourceLanguagesA(module, type, name, OnGroupLanguage, data);
    return TRUE;
}

// Every resource of one type, each name in each language.
std::vector<Group> Resources(const std::string& program, LPCSTR type) {
    Inventory inv;
    HMODULE module = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) return {};
    EnumResourceNamesA(module, type, OnGroupName, reinterpret_cast<LONG_PTR>(&inv));
    FreeLibrary(module);
    return inv.groups;
}

const Group* FindGroup(const std::vector<Group>& groups, const std::string& name, WORD language) {
    for (const Group& g : groups)
        if (g.name == name && g.language == language) return &g;
    return nullptr;
}

std::string Image(const std::vector<Group>& images, WORD id, WORD language) {
    const Group* g = FindGroup(images, "#" + std::to_string(id), language);
    return g ? g->bytes : std::string("<missing>");
}

WORD VersionLanguage(const std::string& program) {
    DWORD handle, size = GetFileVersionInfoSizeA(program.c_str(), &handle);
    if (!size) return 0;
    std::string info(size, '\0');
    WORD* t = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoA(program.c_str(), 0, size, &info[0]) ||
        !VerQueryValueA(&info[0], "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&t), &length))
        return 0;
    return t[0];
}

std::string SourceData(const char* name) {
    std::string path = std::string("Z:") + QUILLET_SOURCE_DIR + "/tests/data/" + name;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

WORD ExtractorIconLanguage() { return Resources(BinPath("sfxhead.exe"), RT_GROUP_ICON).at(0).language; }

// Whether this platform honours a resource deletion (Wine 8 reports success but keeps it).
bool DeletionHonoured() {
    TempFolder dir;
    std::string copy = dir / "probe.exe";
    CopyFileA(BinPath("sfxhead.exe").c_str(), copy.c_str(), FALSE);
    HANDLE u = BeginUpdateResourceA(copy.c_str(), FALSE);
    UpdateResourceA(u, RT_GROUP_ICON, "MAINICON", ExtractorIconLanguage(), nullptr, 0);
    EndUpdateResourceA(u, FALSE);
    return Resources(copy, RT_GROUP_ICON).empty();
}

// Builds silently into dest with the switches, then runs the result: it must still extract.
struct Builds : SfxFolders {
    TempFolder dest;
    Builds() {
        WriteFileBytes(src / "a.txt", "payload after the resources");
        CopyFileA(BinPath("sample_app.exe").c_str(), (src / "app.exe").c_str(), FALSE);
        CopyFileA(BinPath("launch_probe.exe").c_str(), (src / "plain.exe").c_str(), FALSE);
        SetEnvironmentVariableA("QUILLET_PROBE_OUT", nullptr);
        SetEnvironmentVariableA("QUILLET_PROBE_EXIT", "0");
        switches = "-s -oo -dn -fm";
        folder = Q(dest.Path());
    }
    std::string Build(const std::string& name, const std::string& more, const std::string& tail = "") {
        std::string target = SfxFolders::Build(name, more, tail);
        DeleteFileA((dest / "a.txt").c_str());
        EXPECT_EQ(RunSfx(target).code, 0u) << name;
        EXPECT_EQ(ReadFileBytes(dest / "a.txt"), "payload after the resources") << name;
        return target;
    }
};

}  // namespace

TEST(Resources, ExtractOnlyKeepsTheExtractorsIconAndAddsNothing) {
    Builds b;
    std::string sfx = b.Build("plain.exe", "");
    std::vector<Group> groups = Resources(sfx, RT_GROUP_ICON);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].name, "MAINICON");
    EXPECT_EQ(groups[0].Count(), 10);
    EXPECT_TRUE(Resources(sfx, RT_VERSION).empty());
    EXPECT_TRUE(Resources(sfx, RT_MANIFEST).empty());
}

TEST(Resources, RunModeTakesTheProgramsIconAndVersion) {
    Builds b;
    std::string sfx = b.Build("run.exe", "-mf", Q(b.src / "app.exe"));
    std::vector<Group> appGroups = Resources(BinPath("sample_app.exe"), RT_GROUP_ICON);
    ASSERT_EQ(appGroups.size(), 1u);
    const Group& app = appGroups[0];
    EXPECT_EQ(app.language, 0x0407);
    // The program's group under the extractor's group name, in the program's language.
    std::vector<Group> groups = Resources(sfx, RT_GROUP_ICON);
    const Group* g = FindGroup(groups, "MAINICON", 0x0407);
    ASSERT_TRUE(g);
    EXPECT_EQ(g->bytes, app.bytes);
    std::vector<Group> images = Resources(sfx, RT_ICON), appImages = Resources(BinPath("sample_app.exe"), RT_ICON);
    for (int i = 0; i < app.Count(); ++i)
        EXPECT_EQ(Image(images, app.Id(i), 0x0407), Image(appImages, app.Id(i), 0x0407)) << i;
    EXPECT_EQ(VersionLanguage(sfx), 0x0407);
    DWORD handle, size = GetFileVersionInfoSizeA(sfx.c_str(), &handle);
    std::string info(size, '\0');
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(size && GetFileVersionInfoA(sfx.c_str(), 0, size, &info[0]) &&
                VerQueryValueA(&info[0], "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00050006u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x003600A4u);
    if (DeletionHonoured()) {
        EXPECT_EQ(groups.size(), 1u) << "the extractor's group is replaced";
    } else {
        std::printf("note: this Wine keeps deleted resources, so the extractor's old group stays beside the new one\n");
    }

    // A program without an icon group: the extractor's icon stays; it has no version either.
    sfx = b.Build("plainrun.exe", "-mf", Q(b.src / "plain.exe"));
    groups = Resources(sfx, RT_GROUP_ICON);
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].Count(), 10);
    EXPECT_TRUE(Resources(sfx, RT_VERSION).empty());
}

TEST(Resources, IcoFileBecomesTheIcon) {
    Builds b;
    std::string ico = ReadFileBytes(SourceData("three.ico"));
    ASSERT_GT(ico.size(), 6u + 3 * 16);
    for (const char* name : {"three.ico", "THREE.ICO"}) {
        SCOPED_TRACE(name);
        WriteFileBytes(b.out / name, ico);
        std::string sfx = b.Build(std::string("ico-") + name + ".exe", "-ic", Q(b.out / name));
        std::vector<Group> groups = Resources(sfx, RT_GROUP_ICON);
        const Group* g = FindGroup(groups, "MAINICON", 0);  // the bare extractor has no version: language 0
        ASSERT_TRUE(g);
        EXPECT_EQ(g->bytes.size(), 48u);
        EXPECT_EQ(g->Count(), 3);
        std::vector<Group> images = Resources(sfx, RT_ICON);
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(g->Id(i), i + 1);
            const unsigned char* e = reinterpret_cast<const unsigned char*>(ico.data()) + 6 + 16 * i;
            DWORD size = e[8] | (e[9] << 8) | (e[10] << 16) | (e[11] << 24);
            DWORD offset = e[12] | (e[13] << 8) | (e[14] << 16) | (e[15] << 24);
            EXPECT_EQ(Image(images, static_cast<WORD>(i + 1), 0), ico.substr(offset, size)) << i;
            EXPECT_EQ(g->bytes.compare(6 + 14 * i, 12, ico, 6 + 16 * i, 12), 0) << i;
        }
    }
}

TEST(Resources, DamagedIcoKeepsTheExtractorsIcon) {
    Builds b;
    std::string ico = ReadFileBytes(SourceData("three.ico"));
    auto with = [&](size_t at, const std::string& bytes) {
        std::string d = ico;
        d.replace(at, bytes.size(), bytes);
        return d;
    };
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"cursor type", with(2, std::string("\x02\x00", 2))},
        {"reserved set", with(0, std::string("\x01\x00", 2))},
        {"no images", with(4, std::string("\x00\x00", 2))},
        {"directory past the end", with(4, std::string("\xFF\x00", 2))},
        {"image past the end", with(6 + 16 + 8, Le32Bytes(0x7FFFFFFF))},
        {"offset past the end", with(6 + 12, Le32Bytes(static_cast<uint32_t>(ico.size())))},
        {"cut short", ico.substr(0, ico.size() - 100)},
        {"not an icon", std::string("just text")},
    };
    std::vector<Group> original = Resources(BinPath("sfxhead.exe"), RT_GROUP_ICON);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        WriteFileBytes(b.out / "bad.ico", c.bytes);
        std::string sfx = b.Build("bad.exe", "-ic", Q(b.out / "bad.ico"));
        std::vector<Group> groups = Resources(sfx, RT_GROUP_ICON);
        ASSERT_EQ(groups.size(), 1u);
        EXPECT_EQ(groups[0].bytes, original[0].bytes);
        EXPECT_EQ(groups[0].language, original[0].language);
    }
}

TEST(Resources, ProgramIconWithAndWithoutItsVersion) {
    Builds b;
    std::string sfx = b.Build("icon.exe", "-ic", Q(b.src / "app.exe"));
    EXPECT_TRUE(FindGroup(Resources(sfx, RT_GROUP_ICON), "MAINICON", 0x0407));
    EXPECT_TRUE(Resources(sfx, RT_VERSION).empty());

    sfx = b.Build("iconiv.exe", "-ic -iv", Q(b.src / "app.exe"));
    EXPECT_TRUE(FindGroup(Resources(sfx, RT_GROUP_ICON), "MAINICON", 0x0407));
    EXPECT_EQ(VersionLanguage(sfx), 0x0407);

    // An .ICO file has no version information: the extractor's (none) stays.
    WriteFileBytes(b.out / "i.ico", ReadFileBytes(SourceData("three.ico")));
    sfx = b.Build("icoiv.exe", "-ic -iv", Q(b.out / "i.ico"));
    EXPECT_TRUE(Resources(sfx, RT_VERSION).empty());
}

TEST(Resources, ElevationManifest) {
    Builds b;
    std::string uac = ReadFileBytes(std::string("Z:") + QUILLET_SOURCE_DIR + "/resources/uac.xml");
    ASSERT_EQ(uac.size(), 420u);
    std::string highest = uac;
    highest.replace(highest.find("requireAdministrator"), 20, "highestAvailable");

    std::vector<Group> m = Resources(b.Build("uh.exe", "-uh"), RT_MANIFEST);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].name, "#1");
    EXPECT_EQ(m[0].language, 0);
    EXPECT_EQ(m[0].bytes, highest);
    EXPECT_NE(m[0].bytes.find("level=\"highestAvailable\""), std::string::npos);

    m = Resources(b.Build("ua.exe", "-ua"), RT_MANIFEST);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].bytes, uac);

    EXPECT_TRUE(Resources(b.Build("un.exe", "-un"), RT_MANIFEST).empty());

    // Written after the version copy: in the copied language.
    m = Resources(b.Build("runua.exe", "-mf -ua", Q(b.src / "app.exe")), RT_MANIFEST);
    ASSERT_EQ(m.size(), 1u);
    EXPECT_EQ(m[0].language, 0x0407);
}
