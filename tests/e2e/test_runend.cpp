// How SFX runs end: every row of the run-end table with its exit code and message, in silent
// mode without a message, and damaged files crafted byte by byte from real builds.
#include <gtest/gtest.h>

#include "sfxtools.h"

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
    std::string system = SystemText(run.code);
    size_t mark = system.find("%1");
    std::string expected = mark == std::string::npos ? f.dest + "run.exe\r\n\r\n" + system
                                                     : system.replace(mark, 2, f.dest + "run.exe");
    EXPECT_EQ(run.boxes[0].text, WideOf(expected));
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
