// Links in the tree: the build follows none that leads outside the source folder or back into
// its own path, the SFX file writes and deletes through none. Linux symbolic links, made here on
// the Linux side, show under Wine as Windows shows a junction or a symbolic link.
#include <gtest/gtest.h>

#include "sfxtools.h"
#include "widetools.h"

namespace {

std::string UnixPath(const std::string& path) {
    using ToUnix = char*(CDECL*)(LPCWSTR);
    auto toUnix = reinterpret_cast<ToUnix>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32"), "wine_get_unix_file_name")));
    if (!toUnix) return std::string();
    std::wstring wide = U16(path);
    if (!wide.empty() && wide.back() == L'\\') wide.pop_back();
    char* unix = toUnix(wide.c_str());
    std::string out = unix ? unix : "";
    HeapFree(GetProcessHeap(), 0, unix);
    return out;
}

// Whether a folder lists a name (a link that leads nowhere is found by no other search).
bool Listed(const std::string& path) {
    std::string p = path.back() == '\\' ? path.substr(0, path.size() - 1) : path;
    std::string folder = p.substr(0, p.find_last_of('\\') + 1), name = p.substr(p.find_last_of('\\') + 1);
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(U16(folder + "*").c_str(), &found);
    bool listed = false;
    if (search == INVALID_HANDLE_VALUE) return false;
    do listed = listed || U8(found.cFileName) == name;
    while (FindNextFileW(search, &found));
    FindClose(search);
    return listed;
}

// Runs a Linux program (Wine starts it, but its end can't be waited for) and waits, bounded,
// until path is listed or not.
void RunLinux(const std::string& line, const std::string& path, bool listed) {
    Process p(U16(line));
    for (int i = 0; i < 200 && Listed(path) != listed; ++i) Sleep(25);
    EXPECT_EQ(Listed(path), listed) << line;
}

// A symbolic link at link (a Windows path) to target: a Windows path, or a relative text as is.
void MakeLink(const std::string& link, const std::string& target, bool relative = false) {
    RunLinux("/bin/ln -s " + Q(relative ? target : UnixPath(target)) + " " + Q(UnixPath(link)), link, true);
}

void RemoveLink(const std::string& link) { RunLinux("/bin/rm -f " + Q(UnixPath(link)), link, false); }

std::string NoBackslash(std::string path) {
    if (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

// The last part of a path.
std::string Leaf(const std::string& path) {
    std::string p = NoBackslash(path);
    return p.substr(p.find_last_of('\\') + 1);
}

// A folder outside the trees under test, with a file in it; it must end as it began.
struct Outside {
    TempFolder dir;
    Outside() { WriteFileBytes(dir / "secret.txt", "secret"); }
    void ExpectUntouched() const {
        EXPECT_EQ(dir.List(), std::vector<std::string>{"secret.txt"}) << "written or deleted outside";
        EXPECT_EQ(ReadFileBytes(dir / "secret.txt"), "secret");
    }
};

}  // namespace

// Each tree holds one link; the windowless build is refused with the validation refusals' exit
// code, at once, and the message names the link and where it leads; or the link is followed
// into the source folder itself.
// (A link that leads nowhere is refused too, but Wine lists no such link, so it can't be shown here.)
TEST(Links, BuildFollowsOnlyLinksInsideTheSourceFolder) {
    Outside outside;
    struct Case {
        const char* what;
        const char* link;    // in the source folder
        std::string target;  // absolute, or relative to the link's folder (as Linux writes it)
        bool relative;
        const char* named;   // what the message names as where it leads; null: the build succeeds
    } cases[] = {
        {"loop to the parent", "sub\\up", "..", true, "source"},
        {"loop to itself", "sub\\self", ".", true, "sub"},
        {"folder outside", "out", outside.dir.Path(), false, "outside"},
        {"file outside", "sub\\s.txt", outside.dir / "secret.txt", false, "secret.txt"},
        {"folder inside", "alias", "sub", true, nullptr},
        {"file inside", "copy.txt", "sub/a.txt", true, nullptr},
    };
    for (const Case& c : cases) {
        TempFolder src, out;
        MakeFolder(src / "sub");
        WriteFileBytes(src / "sub\\a.txt", "inside");
        MakeLink(src / c.link, c.target, c.relative);
        std::string target = out / "t.exe";
        std::string args = "-o " + Q(src.Path()) + " " + Q(target);
        if (!c.named) {
            EXPECT_EQ(BuildQuietly(args, out.Path()), 0u) << c.what;
            SfxFile sfx = ReadSfx(target);
            EXPECT_EQ(sfx.error, "") << c.what;
            bool folder = std::string(c.link) == "alias";
            const SfxEntry* inner = sfx.Find(folder ? "alias\\a.txt" : "copy.txt");
            ASSERT_TRUE(inner) << c.what;
            EXPECT_EQ(inner->data, "inside") << c.what;
            if (folder) {
                const SfxEntry* entry = sfx.Find("alias");
                ASSERT_TRUE(entry);
                EXPECT_EQ(entry->attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
                          static_cast<uint32_t>(FILE_ATTRIBUTE_DIRECTORY))
                    << "stored as the folder it leads to";
            }
        } else {
            DWORD start = GetTickCount();
            FailedBuild f = BuildFailing(args, out.Path());
            EXPECT_LT(GetTickCount() - start, 20000u) << c.what;
            EXPECT_EQ(f.code, 0u) << c.what;
            EXPECT_NE(f.box.text.find(U16(src / c.link)), std::wstring::npos) << c.what << ": " << U8(f.box.text);
            std::string named = c.named == std::string("outside") ? Leaf(outside.dir.Path())
                                : c.named == std::string("source")  ? Leaf(src.Path())
                                                                    : c.named;
            EXPECT_NE(f.box.text.find(U16(named)), std::wstring::npos) << c.what << ": " << U8(f.box.text);
            EXPECT_EQ(out.List(), std::vector<std::string>{}) << "nothing written: " << c.what;
        }
        RemoveLink(src / c.link);
    }
    outside.ExpectUntouched();
}

// A link planted where the SFX file writes: a folder that is one ends the run with 1920
// (ERROR_CANT_ACCESS_FILE) before anything is written below it; a file that is one is replaced,
// its target untouched.
TEST(Links, ExtractionNeverWritesThroughALink) {
    TempFolder src, out;
    MakeFolder(src / "sub");
    WriteFileBytes(src / "sub\\x.txt", "x");
    WriteFileBytes(src / "secret.txt", "from the SFX file");
    std::string custom = out / "t.exe", temp = out / "tt.exe";
    TempFolder base;
    MakeSfx("-fm -oo", src.Path(), custom, Q(base / "dest"));
    MakeSfx("-ft -oo", src.Path(), temp);
    struct Case {
        const char* what;
        std::string sfx;
        std::string link;   // planted as a link to the outside folder (or its file)
        std::string named;  // the message's path; empty: the run succeeds
    } cases[] = {
        {"extraction folder", custom, base / "dest", base / "dest\\"},
        {"folder inside it", custom, base / "dest\\sub", base / "dest\\sub"},
        {"temporary sub-folder", temp, NoBackslash(TempSubFolder(temp)), TempSubFolder(temp)},
        {"existing file", custom, base / "dest\\secret.txt", ""},
    };
    for (const Case& c : cases) {
        Outside outside;
        if (c.what == std::string("folder inside it") || c.what == std::string("existing file"))
            MakeFolder(base / "dest");
        bool file = c.named.empty();
        MakeLink(c.link, file ? outside.dir / "secret.txt" : outside.dir.Path());
        SfxRun run = RunSfx(c.sfx);
        if (file) {
            EXPECT_EQ(run.code, 0u) << c.what;
            EXPECT_EQ(ReadFileBytes(c.link), "from the SFX file") << "the link itself was replaced";
            EXPECT_EQ(GetFileAttributesA(c.link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);
        } else {
            EXPECT_EQ(run.code, 1920u) << c.what;
            ASSERT_EQ(run.boxes.size(), 1u) << c.what;
            EXPECT_EQ(run.boxes[0].text, RunEndMessage(c.named, 1920)) << c.what;
        }
        outside.ExpectUntouched();
        RemoveLink(c.link);
        RemoveTree(base / "dest");
    }
}

// Run mode with clean-up: a folder that the run made, replaced by a link while the program runs,
// is not followed; nothing outside goes.
TEST(Links, CleanUpNeverDeletesThroughALink) {
    Outside outside;
    WriteFileBytes(outside.dir / "x.dll", "not the run's");
    TempFolder src, out, work;
    CopyFileA(BinPath("launch_probe.exe").c_str(), (src / "probe.exe").c_str(), FALSE);
    MakeFolder(src / "lib");
    WriteFileBytes(src / "lib\\x.dll", "x");
    std::string go = work / "go", report = work / "report.txt", dest = work / "dest\\";
    SetEnvironmentVariableA("QUILLET_PROBE_OUT", report.c_str());
    SetEnvironmentVariableA("QUILLET_PROBE_WAIT", go.c_str());
    std::string sfx = out / "t.exe";
    MakeSfx("-mf -fm -di", src.Path(), sfx, Q(src / "probe.exe") + " " + Q(dest));
    Process run(Q(sfx));
    for (int i = 0; i < 400 && !Exists(report); ++i) Sleep(50);
    ASSERT_TRUE(Exists(report)) << "the program did not start";
    // The run's lib goes aside; a link to the outside folder takes its name.
    ASSERT_TRUE(MoveFileA((dest + "lib").c_str(), (work / "lib.moved").c_str()));
    MakeLink(dest + "lib", outside.dir.Path());
    WriteFileBytes(go, "");
    DWORD code = 0;
    EXPECT_TRUE(run.Wait(30000, &code));
    EXPECT_EQ(code, 3u);
    SetEnvironmentVariableA("QUILLET_PROBE_WAIT", nullptr);
    SetEnvironmentVariableA("QUILLET_PROBE_OUT", nullptr);
    EXPECT_EQ(outside.dir.List(), (std::vector<std::string>{"secret.txt", "x.dll"}));
    EXPECT_EQ(ReadFileBytes(outside.dir / "x.dll"), "not the run's");
    EXPECT_FALSE(Exists(dest + "probe.exe")) << "the run's own files still go";
    RemoveLink(dest + "lib");
}
