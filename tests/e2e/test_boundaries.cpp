// Where every failure of a build ends (the windowless start-up, the progress window), forced at
// the two points that no file fault reaches, and reproducible SFX files (SOURCE_DATE_EPOCH).
#include <gtest/gtest.h>

#include <algorithm>

#include "../gui/builderapp.h"

namespace {

// The system's text for a code as the builder shows it: trailing blanks and line breaks cut.
std::wstring BuilderSystemText(DWORD code) {
    wchar_t text[512] = L"";
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text, 512, nullptr);
    std::wstring s = text;
    while (!s.empty() && s.back() <= 32) s.pop_back();
    return s;
}

// A failure forced by QUILLET_TEST_FAULT and what the build then says: its kind, and its message
// (or the start of it).
struct Fault {
    const char* name;
    std::wstring kind, message;
};

std::vector<Fault> Faults() {
    return {{"thread", L"ThreadError", L"Cannot start a packing thread. "},
            {"alloc", L"OutOfMemory", BuilderSystemText(ERROR_NOT_ENOUGH_MEMORY)}};
}

// A previous SFX file, more files in its source (so that packed chunks are in flight when the third
// buffer fails), four packing threads and the fault, forced for the builders started from now on.
struct FaultedRebuild : PreviousSfx {
    ScopedEnv threads{"QUILLET_THREADS", "4"}, fault;
    explicit FaultedRebuild(const char* name) : fault("QUILLET_TEST_FAULT", name) {
        for (int i = 0; i < 4; ++i) WriteFileBytes(src / ("c" + std::to_string(i) + ".txt"), SomeBytes(30000 + i, i));
    }
};

void Answer(const MessageBoxView& box, int id) {
    PressButton(box.window, id);
    for (int i = 0; i < 100 && IsWindow(box.window); ++i) Sleep(20);
}

const FILETIME Fixed = MakeTime(2021, 3, 4, 5, 6, 8);

void SetTime(const std::string& path, const FILETIME& time) {
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    SetFileTime(h, nullptr, nullptr, &time);
    CloseHandle(h);
}

// The same tree wherever it is made: files, a folder, a hidden file and a program with an icon and
// version information, all with one fixed time.
void MakeTree(const std::string& root) {
    WriteFileBytes(root + "a.txt", "alpha");
    MakeFolder(root + "sub");
    WriteFileBytes(root + "sub\\b.bin", SomeBytes(300000, 1));
    WriteFileBytes(root + "hidden.txt", "h");
    SetFileAttributesA((root + "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    CopyFileA(BinPath("sample_app.exe").c_str(), (root + "setup.exe").c_str(), FALSE);
    for (const char* name : {"a.txt", "sub\\b.bin", "hidden.txt", "setup.exe", "sub"}) SetTime(root + name, Fixed);
}

// Run mode with the program's icon and version information, the elevation manifest and the
// self-delete helper, so that every part of an SFX file is in it.
std::string Build(const std::string& workDir, const std::string& source, const std::string& target,
                  const std::string& exe, const std::string& switches = "") {
    EXPECT_EQ(BuildQuietly("-o -mf -uh -d -i " + switches + " " + Q(source) + " " + Q(target) + " " + Q(exe) + " " +
                               Q("p 1"),
                           workDir),
              0u);
    EXPECT_EQ(ReadSfx(target).error, "");
    return ReadFileBytes(target);
}

std::string InstanceName(const std::string& sfx) {
    return sfx.substr(ImageEnd(sfx) + 2311, 10);
}

bool IsHexName(const std::string& s) {
    return s.size() == 10 && s.compare(0, 2, "00") == 0 &&
           std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

}  // namespace

TEST(Boundary, WindowlessFailureEndsWithApplicationErrorAndCode1) {
    for (const Fault& f : Faults()) {
        SCOPED_TRACE(f.name);
        FaultedRebuild p(f.name);
        FailedBuild e = BuildFailing("-o " + Q(p.src.Path()) + " " + Q(p.target), p.out.Path());
        EXPECT_EQ(e.box.caption, L"Application Error");
        EXPECT_EQ(e.box.text.rfind(f.kind + L": " + f.message, 0), 0u) << testing::PrintToString(e.box.text);
        EXPECT_EQ(e.code, 1u);
        p.ExpectUntouched();
    }
}

TEST(Boundary, ProgressWindowFailureEndsWithItsBoxAndTheWindowStays) {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Corvane\\Quillet");
    for (const Fault& f : Faults()) {
        SCOPED_TRACE(f.name);
        FaultedRebuild p(f.name);
        App app;
        app.Type("esource", p.src.Path());
        app.Type("etarget", p.target);
        app.Press("bmake");
        MessageBoxView question = app.NextBox();
        EXPECT_EQ(question.caption, L"Confirmation");
        Answer(question, IDYES);
        MessageBoxView box = app.NextBox();
        EXPECT_EQ(box.caption, L"Quillet");
        EXPECT_EQ(box.text.rfind(f.message, 0), 0u) << testing::PrintToString(box.text);
        Answer(box, IDOK);
        // Modal result 2: the progress window closes and the main window stays, as after a cancel.
        EXPECT_TRUE(WaitUntil([&] { return WindowsOf(app.process.Id(), L"Tfprogress").empty(); }, 10000));
        EXPECT_TRUE(IsWindow(app.main));
        p.ExpectUntouched();
        app.Close();
    }
}

// The same tree and settings from other working folders, a copy of the tree elsewhere, seconds
// later: the same bytes.
TEST(Reproducible, SameTreeAndSettingsGiveTheSameFile) {
    TempFolder a, b, out;
    MakeTree(a.Path());
    MakeTree(b.Path());
    ScopedEnv epoch("SOURCE_DATE_EPOCH", "1700000000");
    std::string first = Build(out.Path(), a.Path(), out / "one.exe", a / "setup.exe");
    Sleep(2500);  // past the two seconds of an MS-DOS time
    std::string again = Build(a.Path(), ".", out / "two.exe", "setup.exe");
    std::string copy = Build(b.Path(), b.Path(), out / "three.exe", b / "setup.exe");
    ASSERT_GT(first.size(), 300000u);
    EXPECT_TRUE(again == first) << Differences(again, first).substr(0, 300);
    EXPECT_TRUE(copy == first) << Differences(copy, first).substr(0, 300);
    EXPECT_TRUE(IsHexName(InstanceName(first))) << InstanceName(first);
}

// The InstanceName follows every part of the tree and the settings; without SOURCE_DATE_EPOCH
// each build draws a fresh one and nothing else differs.
TEST(Reproducible, InstanceNameFollowsTreeAndSettings) {
    TempFolder src, out;
    MakeTree(src.Path());
    std::string target = out / "t.exe", exe = src / "setup.exe";
    {
        ScopedEnv epoch("SOURCE_DATE_EPOCH", "1700000000");
        std::vector<std::string> names = {InstanceName(Build(out.Path(), src.Path(), target, exe))};
        // Each change on top of the ones before; the first is a setting (-s from then on).
        const struct {
            const char* what;
            void (*change)(const std::string& root);
        } changes[] = {
            {"a setting", [](const std::string&) {}},
            {"data",
             [](const std::string& r) {
                 WriteFileBytes(r + "a.txt", "alphA");
                 SetTime(r + "a.txt", Fixed);
             }},
            {"a time", [](const std::string& r) { SetTime(r + "a.txt", MakeTime(2021, 3, 4, 5, 6, 10)); }},
            {"attributes",
             [](const std::string& r) { SetFileAttributesA((r + "a.txt").c_str(), FILE_ATTRIBUTE_READONLY); }},
            {"a name", [](const std::string& r) { MoveFileA((r + "sub\\b.bin").c_str(), (r + "sub\\c.bin").c_str()); }},
        };
        for (const auto& c : changes) {
            SCOPED_TRACE(c.what);
            c.change(src.Path());
            names.push_back(InstanceName(Build(out.Path(), src.Path(), target, exe, "-s")));
            EXPECT_TRUE(IsHexName(names.back())) << names.back();
        }
        SetFileAttributesA((src / "a.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
        std::vector<std::string> sorted = names;
        std::sort(sorted.begin(), sorted.end());
        EXPECT_EQ(std::unique(sorted.begin(), sorted.end()), sorted.end()) << testing::PrintToString(names);
    }
    ScopedEnv unset("SOURCE_DATE_EPOCH", nullptr);
    std::string one = Build(out.Path(), src.Path(), target, exe), two = Build(out.Path(), src.Path(), target, exe);
    EXPECT_NE(InstanceName(one), InstanceName(two));
    EXPECT_TRUE(IsHexName(InstanceName(one)) && IsHexName(InstanceName(two)));
    two.replace(ImageEnd(two) + 2311, 10, InstanceName(one));
    EXPECT_TRUE(one == two) << "only the InstanceName differs";
}
