// SFX files where Windows lets a user put them: folders, names, TEMP, arguments and extraction
// paths outside the system's code page (1252 here), and paths beyond MAX_PATH. The SFX files are
// built from plain paths, then placed and run through the W functions only.
#include <gtest/gtest.h>

#include "sfxtools.h"
#include "widetools.h"

namespace {

const std::wstring Outside = L"\u041f\u0440\u0438\u0432\u0435\u0442 \u5f20\u4f1f";  // Привет 张伟

// A source tree with a code-page name in it, and a probe to launch.
struct Fixture : SfxFolders {
    std::wstring base;  // a folder outside the code page, ends in '\'
    Fixture() {
        EXPECT_EQ(GetACP(), 1252u);
        CopyFileA(BinPath("launch_probe.exe").c_str(), (src / "probe.exe").c_str(), FALSE);
        WriteFileBytes(src / "caf\xe9.txt", SomeBytes(70000, 3));
        MakeFolder(src / "sub");
        WriteFileBytes(src / "sub\\x.bin", SomeBytes(5000, 4));
        base = U16(out.Path()) + Outside + L"\\";
        MakeFolderW(base);
    }
    ~Fixture() { RemoveTreeW(base); }
    std::string Probe() const { return Q(src / "probe.exe"); }
};

// Runs a silent SFX file at path (a copy of sfx) and returns its exit code.
DWORD RunW(const std::string& sfx, const std::wstring& path, const std::wstring& args = L"",
           const wchar_t* workDir = nullptr) {
    EXPECT_TRUE(CopyFileW(U16(sfx).c_str(), path.c_str(), FALSE)) << U8(path);
    return RunSfxW(path, args, workDir, 60000);
}

}  // namespace

// From a folder and under a name outside the code page, into the current folder below it.
TEST(Unicode, RunFromFolderAndNameOutsideTheCodePage) {
    Fixture f;
    std::string sfx = f.Build("t.exe", "-fc -s", "");
    std::wstring dest = f.base + L"\uc124\uce58 \U0001F600\\";
    MakeFolderW(dest);
    EXPECT_EQ(RunW(sfx, f.base + L"\uc124\uce58 \U0001F600.exe", L"", dest.c_str()), 0u);
    auto tree = TreeW(dest);
    EXPECT_EQ(tree, TreeW(U16(f.src.Path())));
}

// TEMP outside the code page: the temporary folder, the launch, the exit code and the clean-up.
TEST(Unicode, TempOutsideTheCodePage) {
    Fixture f;
    std::wstring temp = f.base + L"\u0422\u0435\u043c\u043f \u00e9\u20ac\u2215";
    MakeFolderW(temp);
    std::wstring report = f.base + L"report.txt";
    ScopedEnvW t(L"TEMP", temp), t2(L"TMP", temp), w(L"QUILLET_PROBE_WOUT", report), e(L"QUILLET_PROBE_EXIT", L"7");
    std::string sfx = f.Build("t.exe", "-mf -ft -s -di", f.Probe());
    EXPECT_EQ(RunW(sfx, f.base + L"t.exe"), 7u);
    auto lines = ProbeLines(report);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind(temp + L"\\~sfx", 0), 0u) << U8(lines[1]);
    EXPECT_TRUE(TreeW(temp).empty()) << "the run's folder and files are removed";
}

// Look-alikes of a quotation mark, a backslash and a slash, and CJK text, reach the program as
// given: its raw command line and its arguments, with and without stored parameters.
TEST(Unicode, RunModeArgumentsArriveExactly) {
    Fixture f;
    std::wstring report = f.base + L"report.txt";
    ScopedEnvW w(L"QUILLET_PROBE_WOUT", report);
    const std::wstring args = L"\"a\uff02 b\" \ufe68\u2215x \u5f20\u4f1f";
    for (bool stored : {false, true}) {
        SCOPED_TRACE(stored);
        std::string sfx = f.Build("t.exe", "-mf -fm -s -di", f.Probe() + " " + Q(f.out / "dest") + (stored ? " \" /x\"" : ""));
        EXPECT_EQ(RunW(sfx, f.base + L"t.exe", args), 3u);
        auto lines = ProbeLines(report);
        ASSERT_GE(lines.size(), 2u);
        std::wstring tail = (stored ? L" /x " : L" ") + args;
        ASSERT_GE(lines[0].size(), tail.size());
        EXPECT_EQ(lines[0].substr(lines[0].size() - tail.size()), tail) << U8(lines[0]);
        std::vector<std::wstring> argv(lines.begin() + 2, lines.end());
        std::vector<std::wstring> expected = {L"a\uff02 b", L"\ufe68\u2215x", L"\u5f20\u4f1f"};
        if (stored) expected.insert(expected.begin(), L"/x");
        EXPECT_EQ(argv, expected);
        DeleteFileW(report.c_str());
    }
}

// CustomFolder through a variable that leads outside the code page, and a 450-character path:
// extracted exactly; in run mode removed again.
TEST(Unicode, CustomFolderOutsideTheCodePageAndBeyondMaxPath) {
    Fixture f;
    std::wstring deep = f.base;
    while (deep.size() < 450) deep += L"\u6df1\u3044\u30d5\u30a9\u30eb\u30c0 " + std::to_wstring(deep.size()) + L"\\";
    MakeFoldersW(deep);
    struct Case {
        std::wstring var;
        std::wstring dest;
    } cases[] = {{f.base, f.base + L"out\\"}, {deep, deep + L"out\\"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.dest.size());
        ScopedEnvW q(L"QTEST", c.var);
        EXPECT_EQ(RunW(f.Build("t.exe", "-fm -s", Q("%QTEST%out")), f.base + L"x.exe"), 0u);
        EXPECT_EQ(TreeW(c.dest), TreeW(U16(f.src.Path())));
        RemoveTreeW(c.dest);
        EXPECT_EQ(RunW(f.Build("t.exe", "-mf -fm -s -di", f.Probe() + " " + Q("%QTEST%out")), f.base + L"r.exe"), 3u);
        EXPECT_FALSE(ExistsW(c.dest)) << "run mode removes what it extracted";
    }
    EXPECT_GE(deep.size(), 450u);
}

// Delete at restart records the real names, and the helper deletes the SFX file it ran from.
TEST(Unicode, PendingDeletionsAndSelfDeletion) {
    Fixture f;
    PendingDeletions(true);
    ScopedEnvW q(L"QTEST", f.base);
    EXPECT_EQ(RunW(f.Build("t.exe", "-mf -fm -s -ua -dr", f.Probe() + " " + Q("%QTEST%dest")), f.base + L"p.exe"), 3u);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"System\\CurrentControlSet\\Control\\Session Manager", 0,
                            KEY_QUERY_VALUE | KEY_SET_VALUE, &key),
              0);
    std::wstring data(65536, L'\0');
    DWORD size = static_cast<DWORD>(data.size() * 2);
    EXPECT_EQ(RegQueryValueExW(key, L"PendingFileRenameOperations", nullptr, nullptr,
                               reinterpret_cast<BYTE*>(&data[0]), &size),
              0);
    RegDeleteValueW(key, L"PendingFileRenameOperations");
    RegCloseKey(key);
    data.resize(size / 2);
    std::wstring d = L"\\??\\" + f.base + L"dest\\";
    for (const wchar_t* name : {L"caf\u00e9.txt", L"sub\\x.bin", L"probe.exe", L"sub"})
        EXPECT_NE(data.find(d + name + std::wstring(1, L'\0')), std::wstring::npos) << U8(name);

    std::wstring self = f.base + L"\u81ea\u5df1 \U0001F600.exe";
    EXPECT_EQ(RunW(f.Build("t.exe", "-d -oo -fm -s", Q(f.out / "dest")), self), 0u);
    for (int i = 0; i < 250 && ExistsW(self); ++i) Sleep(40);
    EXPECT_FALSE(ExistsW(self));
}
