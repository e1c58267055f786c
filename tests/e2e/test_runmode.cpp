// Run mode: the launched program's parameters, working folder and exit code; the clean-up
// by delete mode; the single-instance lock; self-deletion and the helper itself.
#include <gtest/gtest.h>

#include "sfxtools.h"

namespace {

// A source folder holding the probe program and a few files; the probe reports to out.
struct RunFixture : SfxFolders {
    TempFolder work;
    std::string report;
    RunFixture() {
        CopyFileA(BinPath("launch_probe.exe").c_str(), (src / "probe.exe").c_str(), FALSE);
        WriteFileBytes(src / "data.txt", "data");
        MakeFolder(src / "lib");
        MakeFolder(src / "lib\\deep");
        WriteFileBytes(src / "lib\\deep\\x.dll", SomeBytes(5000, 9));
        report = work / "report.txt";
        SetEnvironmentVariableA("QUILLET_PROBE_OUT", report.c_str());
        SetEnvironmentVariableA("QUILLET_PROBE_WAIT", nullptr);
        SetEnvironmentVariableA("QUILLET_PROBE_EXIT", nullptr);
        // Run-mode SFX files; a build's tail follows the program (custom folder, parameters).
        switches = "-mf";
        program = Q(src / "probe.exe");
    }
    ~RunFixture() { SetEnvironmentVariableA("QUILLET_PROBE_OUT", nullptr); }
    // The probe's command line and working folder.
    std::pair<std::string, std::string> Report() const {
        std::string text = ReadFileBytes(report);
        size_t cut = text.find('\n');
        if (cut == std::string::npos) return {};
        return {text.substr(0, cut), text.substr(cut + 1, text.find('\n', cut + 1) - cut - 1)};
    }
};

bool EndsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string NoSlash(std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

}  // namespace

TEST(RunMode, ParametersArgumentsAndExitCode) {
    RunFixture f;
    std::string dest = f.work / "dest\\";
    // CmdParameters "/x", arguments a and "b": "/x", a blank, then the arguments as they were
    // given. (On the builder's command line a leading blank keeps "/x" from being read as a switch.)
    std::string sfx = f.Build("t.exe", "-fm -dn", Q(dest) + " " + Q(" /x"));
    SfxRun run = RunSfx(sfx, "a \"b\"");
    EXPECT_EQ(run.code, 3u) << "the program's exit code becomes the SFX file's";
    auto [line, cwd] = f.Report();
    EXPECT_TRUE(EndsWith(line, "probe.exe\" /x a \"b\"") || EndsWith(line, "probe.exe /x a \"b\"")) << line;
    EXPECT_EQ(cwd, NoSlash(dest));

    // No CmdParameters and one argument: the argument alone, with no second blank before it.
    sfx = f.Build("t2.exe", "-fm -dn", Q(dest));
    SetEnvironmentVariableA("QUILLET_PROBE_EXIT", "0");
    run = RunSfx(sfx, "a");
    EXPECT_EQ(run.code, 0u);
    line = f.Report().first;
    EXPECT_TRUE(EndsWith(line, "probe.exe\" a") || EndsWith(line, "probe.exe a")) << line;
}

TEST(RunMode, WorkingFolders) {
    RunFixture f;
    TempFolder cwd;
    std::string dest = f.work / "dest\\";
    struct Case {
        const char* sw;
        std::string expected;
    } cases[] = {
        {"-we", NoSlash(dest)},
        {"-ws", NoSlash(f.out.Path())},  // the folder of the SFX file
        {"-wc", NoSlash(cwd.Path())},    // the folder the SFX file was started in
    };
    for (const Case& c : cases) {
        std::string sfx = f.Build("t.exe", std::string("-fm -dn ") + c.sw, Q(dest));
        EXPECT_EQ(RunSfx(sfx, "", cwd.Path()).code, 3u) << c.sw;
        EXPECT_EQ(f.Report().second, c.expected) << c.sw;
    }
}

TEST(RunMode, DeleteAfterTheRunRemovesOnlyWhatTheRunWrote) {
    RunFixture f;
    std::string dest = f.work / "dest\\";
    MakeFolder(dest);
    WriteFileBytes(dest + "keep.txt", "not ours");
    WriteFileBytes(dest + "data.txt", "existed before");  // skipped with -os: never deleted
    std::string sfx = f.Build("t.exe", "-fm -os -di", Q(dest));
    EXPECT_EQ(RunSfx(sfx).code, 3u);
    EXPECT_EQ(ReadFileBytes(f.report).empty(), false);
    EXPECT_FALSE(Exists(dest + "probe.exe"));
    EXPECT_FALSE(Exists(dest + "lib\\deep\\x.dll"));
    EXPECT_FALSE(Exists(dest + "lib")) << "folders the run created are removed";
    EXPECT_EQ(ReadFileBytes(dest + "keep.txt"), "not ours");
    EXPECT_EQ(ReadFileBytes(dest + "data.txt"), "existed before");
    EXPECT_TRUE(Exists(dest)) << "a folder that existed before stays";

    // Into a new folder: the folder itself goes too.
    std::string fresh = f.work / "fresh\\";
    sfx = f.Build("t2.exe", "-fm", Q(fresh));
    EXPECT_EQ(RunSfx(sfx).code, 3u);
    EXPECT_FALSE(Exists(fresh));
}

TEST(RunMode, DeleteAtRestartAndKeep) {
    RunFixture f;
    std::string dest = f.work / "dest\\";
    PendingDeletions(true);
    std::string sfx = f.Build("t.exe", "-fm -dr -ua", Q(dest));
    EXPECT_EQ(RunSfx(sfx).code, 3u);
    // Nothing removed now; every file, then every created folder, deepest first.
    EXPECT_TRUE(Exists(dest + "lib\\deep\\x.dll"));
    std::vector<std::string> pending = PendingDeletions(true);
    // Files come in archive order, which is the directory-search order of the source.
    SfxFile r = ReadSfx(sfx);
    std::vector<std::string> files;
    for (const SfxEntry& e : r.entries)
        if (!(e.attributes & 0x10)) files.push_back(dest + e.name);
    ASSERT_GE(pending.size(), files.size());
    EXPECT_EQ(std::vector<std::string>(pending.begin(), pending.begin() + files.size()), files);
    // Then the folders: each tree deepest first (a tree handled again lists its inner folders again).
    std::vector<std::string> folders(pending.begin() + files.size(), pending.end());
    auto first = [&](const std::string& folder) { return std::find(folders.begin(), folders.end(), folder); };
    ASSERT_NE(first(dest + "lib\\deep"), folders.end());
    EXPECT_LT(first(dest + "lib\\deep"), first(dest + "lib"));
    EXPECT_LT(first(dest + "lib"), first(NoSlash(dest)));
    EXPECT_EQ(folders.back(), NoSlash(dest));
    for (const std::string& folder : folders)
        EXPECT_TRUE(folder == dest + "lib\\deep" || folder == dest + "lib" || folder == NoSlash(dest)) << folder;

    std::string kept = f.work / "kept\\";
    sfx = f.Build("t2.exe", "-fm -dn", Q(kept));
    EXPECT_EQ(RunSfx(sfx).code, 3u);
    EXPECT_TRUE(Exists(kept + "lib\\deep\\x.dll"));
    EXPECT_TRUE(PendingDeletions(true).empty());
}

TEST(RunMode, FailureHalfwayStillCleansUp) {
    RunFixture f;
    std::string dest = f.work / "dest\\";
    std::string sfx = f.Build("t.exe", "-fm -s", Q(dest));
    SfxFile r = ReadSfx(sfx);
    const SfxEntry& last = r.entries.back();  // damage the last file: the others are written
    ASSERT_FALSE(last.chunks.empty());
    std::string b = ReadFileBytes(sfx);
    b[last.chunks[0].offset + 8 + last.chunks[0].packed / 2] ^= 0x33;
    WriteFileBytes(sfx, b);
    SfxRun run = RunSfx(sfx);
    EXPECT_EQ(run.code, 160u);
    EXPECT_TRUE(ReadFileBytes(f.report).empty()) << "the program never ran";
    EXPECT_FALSE(Exists(dest)) << "everything written so far was removed";
}

TEST(OneInstance, SecondRunOfTheSameFileIsRefused) {
    RunFixture f;
    std::string go = f.work / "go";
    SetEnvironmentVariableA("QUILLET_PROBE_WAIT", go.c_str());
    std::string sfx = f.Build("one.exe", "-i -fm -dn", Q(f.work / "d1"));
    std::string other = f.Build("other.exe", "-i -fm -dn", Q(f.work / "d2"));
    Process first(Q(sfx));
    for (int i = 0; i < 400 && !Exists(f.report); ++i) Sleep(50);
    ASSERT_TRUE(Exists(f.report)) << "the first run's program did not start";

    SfxRun second = RunSfx(sfx);
    EXPECT_EQ(second.code, 1152u);
    ASSERT_EQ(second.boxes.size(), 1u);
    EXPECT_EQ(second.boxes[0].text, RunEndMessage(sfx, 1152));

    // Another build holds another lock: it runs while the first still waits.
    std::string otherReport = f.work / "other.txt";
    SetEnvironmentVariableA("QUILLET_PROBE_OUT", otherReport.c_str());
    Process third(Q(other));
    for (int i = 0; i < 400 && !Exists(otherReport); ++i) Sleep(50);
    EXPECT_TRUE(Exists(otherReport)) << "a different build was blocked";

    WriteFileBytes(go, "");
    DWORD code = 0;
    EXPECT_TRUE(first.Wait(30000, &code));
    EXPECT_EQ(code, 3u);
    EXPECT_TRUE(third.Wait(30000, &code));
    EXPECT_EQ(code, 3u);
    SetEnvironmentVariableA("QUILLET_PROBE_WAIT", nullptr);
}

TEST(SelfDelete, TheSfxFileIsGoneAfterASuccessfulRun) {
    TempFolder src, out;
    WriteFileBytes(src / "a.txt", "a");
    std::string sfx = out / "self deleting.exe";
    MakeSfx("-d -fm", src.Path(), sfx, Q(out / "dest"));
    PendingDeletions(true);
    SfxRun run = RunSfx(sfx);
    EXPECT_EQ(run.code, 0u);
    for (int i = 0; i < 600 && Exists(sfx); ++i) Sleep(50);
    EXPECT_FALSE(Exists(sfx));
    std::string helper = TempPath() + "xsfxdel~.exe";
    std::vector<std::string> pending = PendingDeletions(true);
    EXPECT_NE(std::find(pending.begin(), pending.end(), helper), pending.end()) << "the helper is removed at restart";
    EXPECT_EQ(ReadFileBytes(out / "dest\\a.txt"), "a");
}

TEST(SelfDelete, AFailureNeverStartsTheHelper) {
    TempFolder src, out;
    WriteFileBytes(src / "a.txt", "a");
    std::string sfx = out / "t.exe";
    MakeSfx("-d -s -oo -fm", src.Path(), sfx, Q(out / "dest"));
    SfxFile r = ReadSfx(sfx);
    PatchBytes(sfx, sfx, r.Find("a.txt")->sumOffset, Le32Bytes(r.Find("a.txt")->storedSum + 1));
    PendingDeletions(true);
    EXPECT_EQ(RunSfx(sfx).code, 23u);
    Sleep(1500);
    EXPECT_TRUE(Exists(sfx));
    EXPECT_TRUE(PendingDeletions(true).empty());
}

TEST(Helper, DeletesItsArgumentOrNothing) {
    TempFolder dir;
    auto helper = [](const std::string& args) {
        Process p(Q(BinPath("selfdelete.exe")) + args);
        DWORD code = 99;
        EXPECT_TRUE(p.Wait(40000, &code)) << args;
        return code;
    };
    EXPECT_EQ(helper(""), 0u);
    EXPECT_EQ(helper(" " + Q(dir / "missing.exe")), 0u);
    MakeFolder(dir / "folder");
    EXPECT_EQ(helper(" " + Q(dir / "folder")), 0u);
    EXPECT_TRUE(Exists(dir / "folder"));

    std::string spaced = dir / "with blanks.exe";
    WriteFileBytes(spaced, "x");
    SetFileAttributesA(spaced.c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
    EXPECT_EQ(helper(" " + Q(spaced) + " ignored"), 0u);
    EXPECT_FALSE(Exists(spaced));

    // Released while the helper retries: deleted.
    std::string locked = dir / "locked.exe";
    WriteFileBytes(locked, "x");
    HANDLE h = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    Process p(Q(BinPath("selfdelete.exe")) + " " + Q(locked));
    Sleep(500);
    CloseHandle(h);
    DWORD code = 99;
    EXPECT_TRUE(p.Wait(30000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(Exists(locked));
}

// A file locked for longer than the helper waits (20 s by design) is left in place, and the
// helper still ends with 0. The helper starts before the first case and is checked after the
// last, so the other cases run meanwhile.
namespace {

struct LockedFileHelper : ::testing::Environment {
    TempFolder* dir = nullptr;
    std::string locked;
    HANDLE lock = INVALID_HANDLE_VALUE;
    Process* helper = nullptr;
    DWORD start = 0;
    void SetUp() override {
        dir = new TempFolder;
        locked = *dir / "locked.exe";
        WriteFileBytes(locked, "x");
        lock = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        start = GetTickCount();
        helper = new Process(Q(BinPath("selfdelete.exe")) + " " + Q(locked));
    }
    void TearDown() override {
        delete helper;  // killed if a filter left it running
        CloseHandle(lock);
        delete dir;
    }
};
LockedFileHelper* const lockedFileHelper =
    static_cast<LockedFileHelper*>(::testing::AddGlobalTestEnvironment(new LockedFileHelper));

}  // namespace

TEST(Helper, LeavesAFileLockedLongerThanItWaits) {
    LockedFileHelper& f = *lockedFileHelper;
    DWORD code = 99;
    ASSERT_TRUE(f.helper->Wait(40000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_GE(GetTickCount() - f.start, 19000u);
    EXPECT_TRUE(Exists(f.locked));
}
