// How SFX runs end: every row of the run-end table with its exit code and message, in silent
// mode without a message, and damaged files crafted byte by byte from real builds.
#include <gtest/gtest.h>

#include <set>

#include "sfxtools.h"
#include "widetools.h"

namespace {

// A source with a small text file and a compressible larger one in a folder, built with the
// custom folder and the switches given.
struct Fixture : SfxFolders {
    TempFolder work;
    std::string dest;  // the custom extraction folder, not yet existing
    Fixture() {
        WriteFileBytes(src / "aaaaaaaa.txt", "hello, extractor");
        MakeFolder(src / "sub");
        WriteFileBytes(src / "sub\\b.bin", SomeBytes(60000, 3));
        dest = work / "dest\\";
        switches = "-fm";
        folder = Q(dest);
    }
};

// Runs the file as built and, built again with -s, silently: same code, no message.
void ExpectEnd(Fixture& f, const std::string& switches, const std::function<void(const std::string&)>& craft,
               DWORD code, const std::function<std::wstring(const std::string&)>& message) {
    for (bool silent : {false, true}) {
        SCOPED_TRACE(silent ? "silent" : "with messages");
        RemoveTree(f.dest);
        std::string sfx = f.Build(silent ? "silent.exe" : "loud.exe", switches + (silent ? " -s" : ""));
        if (craft) craft(sfx);
        SfxRun run = RunSfx(sfx);
        EXPECT_EQ(run.code, code);
        if (silent) {
            EXPECT_TRUE(run.boxes.empty());
        } else {
            ASSERT_EQ(run.boxes.size(), 1u);
            EXPECT_EQ(run.boxes[0].text, message(sfx));
            EXPECT_EQ(run.boxes[0].caption, DefaultCaption());
            EXPECT_EQ(run.boxes[0].buttons, std::vector<int>{IDOK});
        }
    }
}

std::function<std::wstring(const std::string&)> OwnPath(DWORD code) {
    return [code](const std::string& sfx) { return RunEndMessage(sfx, code); };
}

}  // namespace

TEST(RunEnd, NormalEndIsSilentWithCodeZero) {
    Fixture f;
    SfxRun run = RunSfx(f.Build("t.exe", ""));
    EXPECT_EQ(run.code, 0u);
    EXPECT_TRUE(run.boxes.empty());
    EXPECT_EQ(ReadFileBytes(f.dest + "sub\\b.bin"), SomeBytes(60000, 3));
}

TEST(RunEnd, NoAppendedData) {
    TempFolder out;
    std::string bare = out / "bare.exe";
    CopyFileA(BinPath("sfxhead.exe").c_str(), bare.c_str(), FALSE);
    for (size_t extra : {0u, 100u, 2330u}) {
        if (extra) WriteFileBytes(bare, ReadFileBytes(BinPath("sfxhead.exe")) + std::string(extra, 'x'));
        SfxRun run = RunSfx(bare);
        EXPECT_EQ(run.code, 38u) << extra;
        ASSERT_EQ(run.boxes.size(), 1u);
        EXPECT_EQ(run.boxes[0].text, RunEndMessage(bare, 38)) << extra;
    }
}

TEST(RunEnd, PreScanRefusals) {
    Fixture f;
    // No terminator: the last 17 bytes cut off. Nothing is created.
    ExpectEnd(f, "", [](const std::string& sfx) {
        std::string b = ReadFileBytes(sfx);
        WriteFileBytes(sfx, b.substr(0, b.size() - 17));
    }, 13, OwnPath(13));
    EXPECT_FALSE(Exists(f.dest));

    // Only folders and empty files: no data bytes at all.
    TempFolder empty;
    MakeFolder(empty / "f");
    WriteFileBytes(empty / "f\\zero.txt", "");
    std::string sfx = f.out / "empty.exe";
    MakeSfx("-fm", empty.Path(), sfx, Q(f.dest));
    SfxRun run = RunSfx(sfx);
    EXPECT_EQ(run.code, 13u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, RunEndMessage(sfx, 13));
    EXPECT_FALSE(Exists(f.dest));
}

TEST(RunEnd, NoFreeSpaceKnownOnANetworkPath) {
    TempFolder src, out;
    WriteFileBytes(src / "a.txt", "12345");
    for (bool silent : {false, true}) {
        std::string sfx = out / "t.exe";
        MakeSfx(std::string("-fm") + (silent ? " -s" : ""), src.Path(), sfx, Q("\\\\nowhere\\share\\app"));
        SfxRun run = RunSfx(sfx);
        EXPECT_EQ(run.code, 112u);
        if (!silent) {
            ASSERT_EQ(run.boxes.size(), 1u);
            // The share's root leads the message, where a drive letter would stand.
            EXPECT_EQ(run.boxes[0].text, RunEndMessage("\\\\nowhere\\share\\   [-1 B < 5 B]", 112));
        } else {
            EXPECT_TRUE(run.boxes.empty());
        }
    }
}

TEST(RunEnd, FileCannotBeCreated) {
    Fixture f;
    ExpectEnd(f, "", [&](const std::string&) {
        MakeFolder(f.dest);
        MakeFolder(f.dest + "aaaaaaaa.txt");  // a folder stands where the file goes
    }, ERROR_ACCESS_DENIED, [&](const std::string&) { return RunEndMessage(f.dest + "aaaaaaaa.txt", ERROR_ACCESS_DENIED); });
}

TEST(RunEnd, OversizedPackedChunk) {
    Fixture f;
    // A real build whose first file is replaced by one chunk of 10 MiB + 1 packed bytes.
    ExpectEnd(f, "", [](const std::string& sfx) {
        SfxFile r = ReadSfx(sfx);
        const SfxEntry* a = r.Find("aaaaaaaa.txt");
        std::string b = ReadFileBytes(sfx).substr(0, a->offset);
        b += std::string(1, '\0') + Le32Bytes(12) + Le32Bytes(1) + Le32Bytes(0) + Le32Bytes(0) + "aaaaaaaa.txt";
        b += Le32Bytes(1) + Le32Bytes(10485761) + std::string(10485761, '\0') + Le32Bytes(0);
        b += std::string(17, '\0');
        WriteFileBytes(sfx, b);
    }, 8, OwnPath(8));
}

TEST(RunEnd, DamagedChunkAndChecksum) {
    Fixture f;
    // A flipped byte inside a zlib stream: inflating fails, the message names the file.
    ExpectEnd(f, "", [](const std::string& sfx) {
        SfxFile r = ReadSfx(sfx);
        const SfxChunk& c = r.Find("sub\\b.bin")->chunks[0];
        std::string b = ReadFileBytes(sfx);
        b[c.offset + 8 + c.packed / 2] ^= 0x5A;
        WriteFileBytes(sfx, b);
    }, 160, [&](const std::string&) { return RunEndMessage(f.dest + "sub\\b.bin", 160); });

    // A stored checksum off by one: the file is written, then the run ends with 23.
    ExpectEnd(f, "", [](const std::string& sfx) {
        SfxFile r = ReadSfx(sfx);
        const SfxEntry* e = r.Find("aaaaaaaa.txt");
        PatchBytes(sfx, sfx, e->sumOffset, Le32Bytes(e->storedSum + 1));
    }, 23, OwnPath(23));
    ExpectEnd(f, "", [](const std::string& sfx) {
        SfxFile r = ReadSfx(sfx);
        const SfxEntry* e = r.Find("sub");
        PatchBytes(sfx, sfx, e->sumOffset, Le32Bytes(e->storedSum ^ 0x100));
    }, 23, OwnPath(23));
}

TEST(RunEnd, RunModeWithoutProgramOrWithABrokenOne) {
    Fixture f;
    WriteFileBytes(f.src / "run.exe", "this is no program");
    std::string args = "-mf";
    // The kind byte of the program's entry set to 0: nothing to launch, files removed again.
    auto unmark = [](const std::string& sfx) {
        PatchBytes(sfx, sfx, ReadSfx(sfx).Find("run.exe")->offset, std::string(1, '\0'));
    };
    for (bool silent : {false, true}) {
        std::string sfx = f.out / "t.exe";
        MakeSfx(std::string("-fm -mf") + (silent ? " -s" : ""), f.src.Path(), sfx, Q(f.src / "run.exe") + " " + Q(f.dest));
        // Positional order: source, target, executable, custom folder.
        unmark(sfx);
        SfxRun run = RunSfx(sfx);
        EXPECT_EQ(run.code, 87u);
        EXPECT_EQ(run.boxes.size(), silent ? 0u : 1u);
        if (!silent && !run.boxes.empty()) {
            EXPECT_EQ(run.boxes[0].text, RunEndMessage(sfx, 87));
        }
        EXPECT_FALSE(Exists(f.dest + "aaaaaaaa.txt"));
        EXPECT_FALSE(Exists(f.dest)) << "created folders are removed in run mode";
    }
    // A program that cannot start: the code of the failure, the message names the program.
    std::string sfx = f.out / "broken.exe";
    MakeSfx("-fm -mf -dn", f.src.Path(), sfx, Q(f.src / "run.exe") + " " + Q(f.dest));
    SfxRun run = RunSfx(sfx);
    EXPECT_NE(run.code, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, RunEndMessage(f.dest + "run.exe", run.code));
}

// Names and sizes that would write outside the folder or never end a loop are refused by
// the pre-scan, before any folder is created or any file written.
TEST(RunEnd, UnsafeOrMalformedEntriesAreRefused) {
    Fixture f;
    std::string sfx = f.Build("base.exe", "-s");
    SfxFile r = ReadSfx(sfx);
    const SfxEntry* a = r.Find("aaaaaaaa.txt");
    const SfxEntry* bin = r.Find("sub\\b.bin");
    struct Case {
        const char* what;
        size_t offset;
        std::string bytes;
    } cases[] = {
        {"parent part", a->offset + 17, "..\\evil1.txt"},
        {"parent parts inside", a->offset + 17, "su\\..\\..\\evl"},
        {"three dots", a->offset + 17, "...\\evil.txt"},
        {"drive", a->offset + 17, "C:\\evil1.txt"},
        {"stream", a->offset + 17, "aaaa:bad.txt"},
        {"root", a->offset + 17, "\\evil123.txt"},
        {"slash root", a->offset + 17, "/evil123.txt"},
        {"negative name length", a->offset + 1, Le32Bytes(0xFFFFFFFF)},
        {"negative data size", a->offset + 5, Le32Bytes(0x80000000)},
        {"empty chunk", a->chunks[0].offset, Le32Bytes(0)},
        {"negative chunk", a->chunks[0].offset, Le32Bytes(0xFFFFFFF0)},
        {"chunk above 9 MiB", bin->chunks[0].offset, Le32Bytes(9437185)},
        {"chunk beyond the size", bin->chunks[0].offset, Le32Bytes(60001)},
        {"negative packed length", bin->chunks[0].offset + 4, Le32Bytes(0xFFFFFFF8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string bad = f.out / "bad.exe";
        PatchBytes(sfx, bad, c.offset, c.bytes);
        SfxRun run = RunSfx(bad);
        EXPECT_EQ(run.code, 13u);
        EXPECT_FALSE(Exists(f.dest));
        EXPECT_FALSE(Exists(f.work / "evil1.txt"));
        EXPECT_FALSE(Exists("C:\\evil1.txt"));
    }
}

// A custom folder that comes out empty: the run ends with the own path and a non-zero code.
TEST(RunEnd, EmptyExtractionFolder) {
    TempFolder src, out, cwd;
    WriteFileBytes(src / "a.txt", "a");
    std::string sfx = out / "t.exe";
    MakeSfx("-fm", src.Path(), sfx, "\"\"");
    EXPECT_EQ(ReadSfx(sfx).Byte(2050), 0);
    SfxRun run = RunSfx(sfx, "", cwd.Path());
    EXPECT_NE(run.code, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, RunEndMessage(sfx, run.code));
    EXPECT_TRUE(cwd.List().empty());
}

// A failure in each step of a run-mode run that holds the single-instance lock and carries the
// self-delete helper: the same code and box as ever, and by the time the box shows, the run has
// cleaned up: no file or folder of its own left, no temporary file, nothing in %TEMP%, the lock free.
TEST(RunEnd, CleanUpComesBeforeTheMessage) {
    Fixture f;
    WriteFileBytes(f.src / "run.exe", "this is no program");
    std::string temp = f.work / "temp\\";
    MakeFolder(temp);
    ScopedEnv t("TEMP", temp.c_str()), t2("TMP", temp.c_str());
    auto damage = [](const std::string& sfx) {
        SfxFile r = ReadSfx(sfx);
        const SfxChunk& c = r.Find("sub\\b.bin")->chunks[0];
        std::string b = ReadFileBytes(sfx);
        b[c.offset + 8 + c.packed / 2] ^= 0x5A;
        WriteFileBytes(sfx, b);
    };
    struct Case {
        const char* what;
        std::string folder;                             // custom folder; empty: the temporary one
        std::function<void(const std::string&)> craft;  // damage to the SFX file, or the scene
        DWORD code;                                     // 0: the system's code for the failure
        std::string named;                              // what the box names (below the folder)
        std::set<std::wstring> before;                  // what the folder held before, and keeps
    } cases[] = {
        {"no room", "\\\\nowhere\\share\\app\\", nullptr, 112, "", {}},
        {"a folder that cannot be made (a file stands there)", f.dest,
         [&](const std::string&) { WriteFileBytes(f.dest + "sub", "a file"); }, 0, "sub\\b.bin", {L"sub"}},
        // With -oo nothing is looked at before the write: the rename onto the folder fails.
        {"a file that cannot be written (a folder stands there)", f.dest,
         [&](const std::string&) { MakeFolder(f.dest + "sub"); MakeFolder(f.dest + "sub\\b.bin"); }, 0, "sub\\b.bin",
         {L"sub\\", L"sub\\b.bin\\"}},
        {"a damaged chunk", f.dest, damage, 160, "sub\\b.bin", {}},
        {"a program that does not start", f.dest, nullptr, 0, "run.exe", {}},
        {"a damaged chunk, in the temporary folder", "", damage, 160, "sub\\b.bin", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(f.dest);
        if (!c.before.empty()) MakeFolder(f.dest);
        std::string sfx = f.out / "t.exe";
        MakeSfx(std::string("-mf -i -d -oo ") + (c.folder.empty() ? "-ft" : "-fm"), f.src.Path(), sfx,
                Q(f.src / "run.exe") + (c.folder.empty() ? "" : " " + Q(c.folder)));
        std::string dest = c.folder.empty() ? TempSubFolder(sfx) : c.folder;
        SfxFile r = ReadSfx(sfx);
        // The failing file comes after one that the run writes and then removes.
        ASSERT_LT(r.Find("aaaaaaaa.txt")->offset, r.Find("sub\\b.bin")->offset);
        std::string lock = r.Text(2311, 11);
        if (c.craft) c.craft(sfx);
        SfxRun run = RunSfx(sfx, "", "", [&](const MessageBoxView&) {
            std::set<std::wstring> left;
            for (const auto& [name, bytes] : TreeW(U16(dest))) left.insert(name);
            EXPECT_EQ(left, c.before) << "what the run made is gone before the message";
            EXPECT_EQ(Exists(dest), !c.before.empty());
            EXPECT_EQ(TreeW(U16(temp)).size(), 0u) << "the helper's copy is gone before the message";
            HANDLE held = OpenMutexA(SYNCHRONIZE, FALSE, lock.c_str());
            EXPECT_EQ(held, nullptr) << "the lock is free before the message";
            if (held) CloseHandle(held);
            return IDOK;
        });
        if (c.code) {
            EXPECT_EQ(run.code, c.code);
        }
        EXPECT_NE(run.code, 0u);
        ASSERT_EQ(run.boxes.size(), 1u);
        std::wstring text = run.boxes[0].text;
        if (c.code == ERROR_DISK_FULL) {
            std::wstring head = WideOf("\\\\nowhere\\share\\   [-1 B < ");
            EXPECT_EQ(text.substr(0, head.size()), head);
        } else {
            EXPECT_EQ(text, RunEndMessage(dest + c.named, run.code));
        }
        EXPECT_EQ(TreeW(U16(temp)).size(), 0u) << "%TEMP% holds nothing of the failed run";
        RemoveTree(f.dest);
    }
}

namespace {

struct HeldRun {
    DWORD code = 0xDEAD0000;
    DWORD took = 0;                  // ms from the start of the run to its end
    std::vector<std::wstring> boxes;  // the message boxes it showed, each answered with OK
};

// Starts the SFX file held up before its first step, takes hold of the file with the access and
// sharing given, lets the run go and lets go of the file after releaseMs. A run is killed after 20 s.
HeldRun RunWhileHeld(const std::string& sfx, DWORD access, DWORD share, DWORD releaseMs) {
    HeldRun run;
    STARTUPINFOA si{sizeof(si)};
    PROCESS_INFORMATION pi{};
    std::string line = Q(sfx);
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi)) {
        ADD_FAILURE() << "cannot start " << sfx;
        return run;
    }
    HANDLE hold = CreateFileA(sfx.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(hold, INVALID_HANDLE_VALUE) << "cannot hold the file: " << GetLastError();
    DWORD start = GetTickCount();
    ResumeThread(pi.hThread);
    std::vector<HWND> answered;
    while (WaitForSingleObject(pi.hProcess, 20) == WAIT_TIMEOUT) {
        for (HWND box : WindowsOf(pi.dwProcessId, kDialogClass))
            if (std::find(answered.begin(), answered.end(), box) == answered.end()) {
                answered.push_back(box);
                Sleep(50);
                run.boxes.push_back(ReadMessageBox(box).text);
                PressButton(box, IDOK);
            }
        if (hold != INVALID_HANDLE_VALUE && GetTickCount() - start >= releaseMs) {
            CloseHandle(hold);
            hold = INVALID_HANDLE_VALUE;
        }
        if (GetTickCount() - start > 20000) {
            ADD_FAILURE() << "the run did not end";
            TerminateProcess(pi.hProcess, 0xDEAD0000);
            WaitForSingleObject(pi.hProcess, 5000);
        }
    }
    run.took = GetTickCount() - start;
    GetExitCodeProcess(pi.hProcess, &run.code);
    if (hold != INVALID_HANDLE_VALUE) CloseHandle(hold);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return run;
}

}  // namespace

// Another process holding the SFX file: with read and delete access, sharing everything (as a
// scanner does), it never stops the run; a hold without sharing is waited out when it ends within
// a second, and one of 30 s ends the run within 10 s with the sharing violation's code and message
// (the settings, and with them silence, are not read yet).
TEST(RunEnd, OwnFileHeldByAnotherProcess) {
    Fixture f;
    std::string sfx = f.Build("t.exe", "-s");
    const DWORD all = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    struct Case {
        const char* what;
        DWORD access, share, releaseMs, code;
    } cases[] = {
        {"a scanner's hold", GENERIC_READ | DELETE, all, 60000, 0},
        {"a hold of 1 s", GENERIC_READ, 0, 1000, 0},
        {"a hold of 30 s", GENERIC_READ, 0, 30000, ERROR_SHARING_VIOLATION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(f.dest);
        HeldRun run = RunWhileHeld(sfx, c.access, c.share, c.releaseMs);
        EXPECT_EQ(run.code, c.code);
        if (c.code) {
            EXPECT_LT(run.took, 10000u);
            EXPECT_EQ(run.boxes, std::vector<std::wstring>{RunEndMessage(sfx, c.code)});
            EXPECT_FALSE(Exists(f.dest));
        } else {
            if (!c.share) {
                EXPECT_GE(run.took, c.releaseMs) << "the hold was waited out";
            }
            EXPECT_TRUE(run.boxes.empty());
            EXPECT_EQ(ReadFileBytes(f.dest + "sub\\b.bin"), SomeBytes(60000, 3));
        }
    }
}
