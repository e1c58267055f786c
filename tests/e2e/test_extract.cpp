// Real SFX files run under Wine: where they extract, how they treat existing files, and the
// times and attributes they restore.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "sfxtools.h"

namespace {

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = "";
    SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
    std::string p = path;
    if (!p.empty() && p.back() != '\\') p += '\\';
    return p;
}

// A small source folder whose names are unique to one test.
void FillSource(const TempFolder& src, const std::string& tag) {
    WriteFileBytes(src / (tag + "-a.txt"), "alpha " + tag);
    MakeFolder(src / (tag + "-dir"));
    WriteFileBytes(src / (tag + "-dir\\b.txt"), "beta " + tag);
}

void ExpectExtracted(const std::string& folder, const std::string& tag) {
    EXPECT_EQ(ReadFileBytes(folder + tag + "-a.txt"), "alpha " + tag) << folder;
    EXPECT_EQ(ReadFileBytes(folder + tag + "-dir\\b.txt"), "beta " + tag) << folder;
}

void RemoveExtracted(const std::string& folder, const std::string& tag) {
    DeleteFileA((folder + tag + "-a.txt").c_str());
    DeleteFileA((folder + tag + "-dir\\b.txt").c_str());
    RemoveDirectoryA((folder + tag + "-dir").c_str());
}

// The overwrite question's last line in the system's language, where the extractor has one.
std::wstring OverwriteQuestion() {
    int language = GetSystemDefaultLangID() & 0xFF;
    if (language == 0x12 && GetACP() == 949) return L"파일을 덮어쓰시겠습니까?";
    if (language == 0x07 && GetACP() == 1252) return L"Datei überschreiben?";
    return L"Overwrite file?";
}

}  // namespace

TEST(ExtractionFolder, TemporarySubFolderPerBuild) {
    TempFolder src, out;
    FillSource(src, "tmp");
    MakeSfx("", src.Path(), out / "one.exe");
    MakeSfx("-ft", src.Path(), out / "two.exe");
    EXPECT_NE(TempSubFolder(out / "one.exe"), TempSubFolder(out / "two.exe"));
    for (const char* name : {"one.exe", "two.exe"}) {
        SfxRun run = RunSfx(out / name);
        EXPECT_EQ(run.code, 0u);
        EXPECT_TRUE(run.boxes.empty());
        std::string folder = TempSubFolder(out / name);
        ExpectExtracted(folder, "tmp");
        RemoveExtracted(folder, "tmp");
        RemoveDirectoryA(folder.c_str());
    }
}

TEST(ExtractionFolder, DesktopDocumentsAndCurrent) {
    TempFolder src, out, cwd;
    FillSource(src, "kinds");
    struct Case {
        const char* sw;
        std::string folder;
    } cases[] = {
        {"-fd", ShellFolder(CSIDL_DESKTOPDIRECTORY)},
        {"-fp", ShellFolder(CSIDL_PERSONAL)},
        {"-fc", cwd.Path()},
        {"-fs -fc", cwd.Path()},  // the first of a group wins: current folder
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.sw);
        ASSERT_FALSE(c.folder.empty());
        MakeSfx(c.sw, src.Path(), out / "t.exe");
        SfxRun run = RunSfx(out / "t.exe", "", cwd.Path());
        EXPECT_EQ(run.code, 0u);
        ExpectExtracted(c.folder, "kinds");
        RemoveExtracted(c.folder, "kinds");
    }
}

TEST(ExtractionFolder, CustomFolderWithVariablesOrRelative) {
    TempFolder src, out, base, cwd;
    FillSource(src, "custom");
    SetEnvironmentVariableA("QUILLET_TEST_BASE", base.Path().c_str());
    MakeSfx("-fm", src.Path(), out / "t.exe", Q("%QUILLET_TEST_BASE%\\My App"));
    EXPECT_EQ(RunSfx(out / "t.exe").code, 0u);
    ExpectExtracted(base / "My App\\", "custom");

    MakeSfx("-fm", src.Path(), out / "rel.exe", Q("rel\\out"));
    EXPECT_EQ(RunSfx(out / "rel.exe", "", cwd.Path()).code, 0u);
    ExpectExtracted(cwd / "rel\\out\\", "custom");
}

TEST(ExtractionFolder, AskedInADialog) {
    TempFolder src, out, cwd;
    FillSource(src, "dialog");
    MakeSfx("-fs", src.Path(), out / "t.exe");
    // Cancelled: nothing written, exit code 0.
    SfxRun cancelled = RunSfx(out / "t.exe", "", cwd.Path(), [](const MessageBoxView&) { return IDCANCEL; });
    EXPECT_EQ(cancelled.code, 0u);
    ASSERT_EQ(cancelled.boxes.size(), 1u);
    EXPECT_TRUE(cwd.List().empty());
    EXPECT_FALSE(Exists(TempSubFolder(out / "t.exe")));

    // Answered with the dialog's own first choice, the desktop folder.
    SfxRun answered = RunSfx(out / "t.exe", "", cwd.Path(), [](const MessageBoxView&) { return IDOK; });
    EXPECT_EQ(answered.code, 0u);
    ASSERT_EQ(answered.boxes.size(), 1u);
    std::string desktop = ShellFolder(CSIDL_DESKTOPDIRECTORY);
    ExpectExtracted(desktop, "dialog");
    RemoveExtracted(desktop, "dialog");
}

TEST(Overwrite, AskForEachExistingFile) {
    TempFolder src, out, dest;
    WriteFileBytes(src / "a.txt", "new a");
    WriteFileBytes(src / "b.txt", "new b");
    WriteFileBytes(src / "c.txt", "new c");
    WriteFileBytes(src / "d.txt", "new d");
    MakeSfx("-fm -s", src.Path(), out / "t.exe", Q(dest.Path()));  // silent: the questions still come
    for (const char* n : {"a.txt", "b.txt", "c.txt"}) WriteFileBytes(dest / n, std::string("old ") + n);
    SetFileAttributesA((dest / "c.txt").c_str(), FILE_ATTRIBUTE_READONLY);

    int asked = 0;
    SfxRun run = RunSfx(out / "t.exe", "", "", [&](const MessageBoxView&) { return ++asked == 2 ? IDNO : IDYES; });
    EXPECT_EQ(run.code, 0u);
    ASSERT_EQ(run.boxes.size(), 3u);
    const char* names[] = {"a.txt", "b.txt", "c.txt"};
    for (int i = 0; i < 3; ++i) {
        const MessageBoxView& v = run.boxes[i];
        EXPECT_EQ(v.text, WideOf(SystemText(ERROR_FILE_EXISTS) + "\r\n" + dest / names[i] + "\r\n\r\n") + OverwriteQuestion());
        EXPECT_EQ(v.caption, DefaultCaption());
        EXPECT_EQ(v.defaultButton, IDNO);
        std::vector<int> buttons = v.buttons;
        std::sort(buttons.begin(), buttons.end());
        EXPECT_EQ(buttons, (std::vector<int>{IDYES, IDNO}));
    }
    EXPECT_EQ(ReadFileBytes(dest / "a.txt"), "new a");
    EXPECT_EQ(ReadFileBytes(dest / "b.txt"), "old b.txt");  // answered No
    EXPECT_EQ(ReadFileBytes(dest / "c.txt"), "new c");      // read-only, replaced
    EXPECT_EQ(ReadFileBytes(dest / "d.txt"), "new d");
}

TEST(Overwrite, AllOrNone) {
    TempFolder src, out, dest;
    WriteFileBytes(src / "a.txt", "new a");
    WriteFileBytes(dest / "a.txt", "old a");
    SetFileAttributesA((dest / "a.txt").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    MakeSfx("-fm -os", src.Path(), out / "skip.exe", Q(dest.Path()));
    SfxRun skip = RunSfx(out / "skip.exe");
    EXPECT_EQ(skip.code, 0u);
    EXPECT_TRUE(skip.boxes.empty());
    EXPECT_EQ(ReadFileBytes(dest / "a.txt"), "old a");

    MakeSfx("-fm -oo", src.Path(), out / "all.exe", Q(dest.Path()));
    SfxRun all = RunSfx(out / "all.exe");
    EXPECT_EQ(all.code, 0u);
    EXPECT_TRUE(all.boxes.empty());
    EXPECT_EQ(ReadFileBytes(dest / "a.txt"), "new a");
}

TEST(Extraction, TimesAndAttributesAreRestored) {
    TempFolder src, out, dest;
    ASSERT_TRUE(MakeTreeW(WideOf(src.Path()), AttributeTree()));
    MakeSfx("-fm", src.Path(), out / "t.exe", Q(dest.Path()));
    SetFileAttributesA((src / "ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(RunSfx(out / "t.exe").code, 0u);

    for (const char* name : {"plain.txt", "ro.txt", "hidden.bin", "empty.txt", "folder\\inner.txt", "folder"}) {
        SCOPED_TRACE(name);
        WIN32_FILE_ATTRIBUTE_DATA a{}, b{};
        ASSERT_TRUE(GetFileAttributesExA((src / name).c_str(), GetFileExInfoStandard, &a));
        ASSERT_TRUE(GetFileAttributesExA((dest / name).c_str(), GetFileExInfoStandard, &b));
        EXPECT_EQ(b.dwFileAttributes, a.dwFileAttributes | (std::string(name) == "ro.txt" ? FILE_ATTRIBUTE_READONLY : 0));
        if (!(a.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            EXPECT_LE(std::llabs(Seconds(b.ftLastWriteTime) - Seconds(a.ftLastWriteTime)), 2);
            EXPECT_EQ(ReadFileBytes(dest / name), ReadFileBytes(src / name));
        }
    }
    SetFileAttributesA((dest / "ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}
