// What the extractor will not do: leave a damaged file under a real name, replace a good file
// with a damaged one, store a name Windows would change or treat as a device, load a DLL from
// its own folder, or measure free space on the wrong volume.
#include <gtest/gtest.h>

#include <shlobj.h>
#include <zlib.h>

#include <algorithm>
#include <set>

#include "sfxtools.h"
#include "u_shared.h"

namespace {

// Entries crafted byte by byte: kind, name length, size, DOS time (2024-01-01), attributes, name.
std::string Header(const std::string& name, uint32_t size, uint32_t attributes) {
    return std::string(1, '\0') + Le32Bytes(static_cast<uint32_t>(name.size())) + Le32Bytes(size) +
           Le32Bytes(0x58210000) + Le32Bytes(attributes) + name;
}

std::string FileEntry(const std::string& name, const std::string& data) {
    std::string e = Header(name, static_cast<uint32_t>(data.size()), FILE_ATTRIBUTE_ARCHIVE);
    if (!data.empty()) {
        uLongf n = compressBound(static_cast<uLong>(data.size()));
        std::string packed(n, '\0');
        compress2(reinterpret_cast<Bytef*>(&packed[0]), &n, reinterpret_cast<const Bytef*>(data.data()),
                  static_cast<uLong>(data.size()), 9);
        packed.resize(n);
        e += Le32Bytes(static_cast<uint32_t>(data.size())) + Le32Bytes(static_cast<uint32_t>(n)) + packed;
    }
    return e + Le32Bytes(Sum(name) + Sum(data));
}

std::string FolderEntry(const std::string& name) { return Header(name, 0, FILE_ATTRIBUTE_DIRECTORY) + Le32Bytes(Sum(name)); }

// A real build's program and settings record, then the entries given and the terminator.
std::string Crafted(const std::string& sfx, const std::string& entries) {
    return ReadFileBytes(sfx).substr(0, PayloadOffset(sfx) + 2330) + entries + std::string(17, '\0');
}

// Entries whose sizes add up to at least total bytes, with chunks of 9 MiB holding one packed
// byte each: the pre-scan counts them, the first inflate would fail.
std::string HugeEntries(int64_t total, int64_t* stored) {
    const uint32_t chunk = 9 * 1048576, perEntry = 227;  // 227 chunks stay below 2 GiB
    std::string out;
    *stored = 0;
    for (int i = 0; *stored < total; ++i) {
        uint32_t chunks = static_cast<uint32_t>(std::min<int64_t>(perEntry, (total - *stored + chunk - 1) / chunk));
        std::string name = "huge" + std::to_string(i) + ".bin";
        out += Header(name, chunks * chunk, FILE_ATTRIBUTE_ARCHIVE);
        for (uint32_t c = 0; c < chunks; ++c) out += Le32Bytes(chunk) + Le32Bytes(1) + "x";
        out += Le32Bytes(0);
        *stored += static_cast<int64_t>(chunks) * chunk;
    }
    return out;
}

std::string SizeText(int64_t n) {
    char text[48];
    FormatSize(n, '.', text, sizeof(text));
    return text;
}

int64_t FreeSpace(const std::string& folder) {
    ULARGE_INTEGER available;
    return GetDiskFreeSpaceExA(folder.c_str(), &available, nullptr, nullptr) ? static_cast<int64_t>(available.QuadPart) : -1;
}

// Files the extractor left under a temporary name.
std::vector<std::string> TemporaryFiles(const std::string& folder) {
    std::vector<std::string> found;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "~sfx*.tmp").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return found;
    do found.push_back(fd.cFileName);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return found;
}

// The DLLs a program imports at load time, read from its import directory.
std::set<std::string> ImportedDlls(const std::string& program) {
    std::set<std::string> names;
    HMODULE m = LoadLibraryExA(program.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    if (!m) return names;
    const BYTE* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(m) & ~static_cast<ULONG_PTR>(3));
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
    DWORD rva = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
    for (auto* d = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + rva); rva && d->Name; ++d) {
        std::string name = reinterpret_cast<const char*>(base + d->Name);
        std::transform(name.begin(), name.end(), name.begin(), [](char c) { return static_cast<char>(tolower(c)); });
        names.insert(name);
    }
    FreeLibrary(m);
    return names;
}

// A source with a file of two chunks (ChunkSize is 9 MiB), so damage can hit its second one
// after the first 9 MiB have been written.
struct TwoChunks {
    TempFolder src, out, work;
    std::string big, dest;
    TwoChunks() {
        for (int i = 0; big.size() < 9 * 1048576 + 4096; ++i) big += "line " + std::to_string(i) + " of the big file\r\n";
        WriteFileBytes(src / "big.bin", big);
        WriteFileBytes(src / "small.txt", "small");
        dest = work / "dest\\";
    }
};

}  // namespace

// A damaged second chunk or a wrong checksum: an existing file stays byte for byte, a new one
// never appears, and no temporary file is left, whatever OverwriteMode and ExtractionMode say.
TEST(VerifiedBeforeNamed, DamagedFileNeverTakesItsName) {
    TwoChunks f;
    std::string sfx = f.out / "t.exe", bad = f.out / "bad.exe";
    MakeSfx("-fm -oo -s", f.src.Path(), sfx, Q(f.dest));
    SfxFile r = ReadSfx(sfx);
    const SfxEntry* e = r.Find("big.bin");
    ASSERT_TRUE(e);
    ASSERT_EQ(e->chunks.size(), 2u);
    std::string bytes = ReadFileBytes(sfx), damagedChunk = bytes, damagedSum = bytes;
    const SfxChunk& second = e->chunks[1];
    damagedChunk[second.offset + 8 + second.packed / 2] ^= 0x5A;
    damagedSum.replace(e->sumOffset, 4, Le32Bytes(e->storedSum + 1));
    size_t record = r.payloadOffset;

    struct Damage {
        const char* what;
        std::string bytes;
        DWORD code;
    } damages[] = {{"second chunk", damagedChunk, 160}, {"checksum", damagedSum, 23}};
    struct Mode {
        const char* what;
        size_t offset;
        char value;
    } modes[] = {
        {"overwrite all", record + 2329, 1},
        {"ask, answered yes", record + 2329, 0},
        {"run mode, whose clean-up deletes what the run wrote", record + 0, 1},
    };
    for (const Damage& d : damages)
        for (const Mode& m : modes) {
            SCOPED_TRACE(std::string(d.what) + ", " + m.what);
            std::string crafted = d.bytes;
            crafted[m.offset] = m.value;
            WriteFileBytes(bad, crafted);
            auto yes = [](const MessageBoxView&) { return IDYES; };
            // A file of that name existed, read-only and hidden.
            RemoveTree(f.dest);
            MakeFolder(f.dest);
            WriteFileBytes(f.dest + "big.bin", "the old big file");
            SetFileAttributesA((f.dest + "big.bin").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
            DWORD attributes = GetFileAttributesA((f.dest + "big.bin").c_str());
            SfxRun run = RunSfx(bad, "", "", yes);
            EXPECT_EQ(run.code, d.code);
            EXPECT_EQ(ReadFileBytes(f.dest + "big.bin"), "the old big file");
            EXPECT_EQ(GetFileAttributesA((f.dest + "big.bin").c_str()), attributes);
            EXPECT_EQ(TemporaryFiles(f.dest), std::vector<std::string>{});
            // No file of that name: none afterwards.
            SetFileAttributesA((f.dest + "big.bin").c_str(), FILE_ATTRIBUTE_NORMAL);
            RemoveTree(f.dest);
            MakeFolder(f.dest);
            run = RunSfx(bad, "", "", yes);
            EXPECT_EQ(run.code, d.code);
            EXPECT_FALSE(Exists(f.dest + "big.bin"));
            EXPECT_EQ(TemporaryFiles(f.dest), std::vector<std::string>{});
        }

    // Intact, the same file replaces the old one and no temporary file is left either.
    RemoveTree(f.dest);
    MakeFolder(f.dest);
    WriteFileBytes(f.dest + "big.bin", "the old big file");
    SetFileAttributesA((f.dest + "big.bin").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(RunSfx(sfx).code, 0u);
    EXPECT_TRUE(ReadFileBytes(f.dest + "big.bin") == f.big);
    EXPECT_EQ(GetFileAttributesA((f.dest + "big.bin").c_str()), DWORD(FILE_ATTRIBUTE_ARCHIVE));
    EXPECT_EQ(ReadFileBytes(f.dest + "small.txt"), "small");
    EXPECT_EQ(TemporaryFiles(f.dest), std::vector<std::string>{});
}

// Device names in any part and any case, with or without an extension, parts ending in a dot or
// a blank, and characters Windows forbids: refused by the pre-scan, before anything is created.
TEST(Names, ThoseWindowsCannotStoreAreRefused) {
    TempFolder src, out;
    WriteFileBytes(src / "x.txt", "x");
    std::string dest = out / "dest\\", base = out / "base.exe", bad = out / "bad.exe";
    MakeSfx("-fm -s", src.Path(), base, Q(dest));
    std::string first = FileEntry("first.txt", "written before the bad name, if anything were");
    std::vector<std::pair<std::string, std::string>> cases = {
        {"CON", FileEntry("CON", "d")},
        {"Con.TXT", FileEntry("Con.TXT", "d")},
        {"nul.txt", FileEntry("nul.txt", "d")},
        {"lpt9.log", FileEntry("lpt9.log", "d")},
        {"COM1", FileEntry("COM1", "d")},
        {"COM0", FileEntry("COM0", "d")},
        {"lpt0.txt", FileEntry("lpt0.txt", "d")},
        // The superscripts one, two and three as bytes of code page 1252.
        {"COM\u00b9", FileEntry("COM\xb9", "d")},
        {"com\u00b2.log", FileEntry("com\xb2.log", "d")},
        {"Com\u00b3 .txt", FileEntry("Com\xb3 .txt", "d")},
        {"LPT\u00b9", FileEntry("LPT\xb9", "d")},
        {"lpt\u00b2.x", FileEntry("lpt\xb2.x", "d")},
        {"sub\\LpT\u00b3", FolderEntry("sub") + FileEntry("sub\\LpT\xb3", "d")},
        {"aux .txt", FileEntry("aux .txt", "d")},
        {"PRN\\x.txt", FolderEntry("PRN") + FileEntry("PRN\\x.txt", "d")},
        {"sub\\AUX.dat", FolderEntry("sub") + FileEntry("sub\\AUX.dat", "d")},
        {"sub\\cOm9\\y", FolderEntry("sub") + FolderEntry("sub\\cOm9") + FileEntry("sub\\cOm9\\y", "d")},
        {"a.", FileEntry("a.", "d")},
        {"b ", FileEntry("b ", "d")},
        {"dir.\\x.txt", FolderEntry("dir.") + FileEntry("dir.\\x.txt", "d")},
        {"dir \\x.txt", FolderEntry("dir ") + FileEntry("dir \\x.txt", "d")},
        {"a<b", FileEntry("a<b", "d")},
        {"a>b", FileEntry("a>b", "d")},
        {"a\"b", FileEntry("a\"b", "d")},
        {"a|b", FileEntry("a|b", "d")},
        {"a?b", FileEntry("a?b", "d")},
        {"a*b", FileEntry("a*b", "d")},
        {"control 1", FileEntry("a\x01" "b", "d")},
        {"control 31", FileEntry("a\x1f" "b", "d")},
        {"tab", FileEntry("a\tb", "d")},
        {"empty part", FolderEntry("sub") + FileEntry("sub\\\\x.txt", "d")},
    };
    for (const auto& [what, entries] : cases) {
        SCOPED_TRACE(what);
        WriteFileBytes(bad, Crafted(base, first + entries));
        SfxRun run = RunSfx(bad);
        EXPECT_EQ(run.code, 13u);
        EXPECT_FALSE(Exists(dest));
    }
    // With messages: the pre-scan's invalid-data message naming the SFX file.
    std::string loud = Crafted(base, first + FileEntry("nul.txt", "d"));
    loud[PayloadOffset(base) + 2325] = 0;
    WriteFileBytes(bad, loud);
    SfxRun run = RunSfx(bad);
    EXPECT_EQ(run.code, 13u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, RunEndMessage(bad, 13));
    EXPECT_FALSE(Exists(dest));
}

TEST(Names, LookAlikesAreStored) {
    TempFolder src, out;
    WriteFileBytes(src / "x.txt", "x");
    std::string dest = out / "dest\\", base = out / "base.exe", good = out / "good.exe";
    MakeSfx("-fm -s", src.Path(), base, Q(dest));
    std::vector<std::string> names = {"CONSOLE.txt", "icon",    "com10.txt",      "lptx.log",  "nul_.txt",
                                      "con-x.txt",   ".profile", "a.b.c",         "auxiliary\\n.txt", "prnt.d\\con2",
                                      "com\xb9\xb2.txt", "lpt\xbd"};
    std::string entries = FolderEntry("auxiliary") + FolderEntry("prnt.d");
    for (const std::string& n : names) entries += FileEntry(n, "content of " + n);
    WriteFileBytes(good, Crafted(base, entries));
    SfxRun run = RunSfx(good);
    EXPECT_EQ(run.code, 0u);
    for (const std::string& n : names) EXPECT_EQ(ReadFileBytes(dest + n), "content of " + n) << n;
}

// The extractor imports at load time only DLLs that load nothing from its folder, the helper only
// kernel32; shell32 and ole32 come later, from the system folder.
TEST(DllSearch, LoadTimeImports) {
    std::set<std::string> allowed = {"kernel32.dll", "user32.dll", "gdi32.dll", "msvcrt.dll"};
    std::set<std::string> sfxhead = ImportedDlls(BinPath("sfxhead.exe"));
    ASSERT_FALSE(sfxhead.empty());
    for (const std::string& dll : sfxhead) EXPECT_TRUE(allowed.count(dll)) << dll;
    EXPECT_EQ(ImportedDlls(BinPath("selfdelete.exe")), std::set<std::string>{"kernel32.dll"});
}

// A shcore.dll planted beside an SFX file (and beside the helper) is not loaded, in extract-only
// and run mode, silent or not. The control shows that this Wine would load it for a program that
// imports shell32 at load time.
TEST(DllSearch, PlantedDllBesideTheProgramsIsNotLoaded) {
    TempFolder planted, src, dest;
    ASSERT_TRUE(CopyFileA(BinPath("planted.dll").c_str(), (planted / "shcore.dll").c_str(), FALSE));
    std::string marker = planted / "shcore.dll.loaded";
    WriteFileBytes(src / "dllsearch-a.txt", "a");
    CopyFileA(BinPath("launch_probe.exe").c_str(), (src / "run.exe").c_str(), FALSE);
    std::string documents;
    {
        char path[MAX_PATH] = "";
        SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, 0, path);
        documents = std::string(path) + "\\";
    }
    struct Case {
        const char* what;
        std::string switches, tail;
    } cases[] = {
        // The documents folder: shell32 is loaded to find it.
        {"extract only", "-fp", ""},
        {"extract only, silent", "-fp -s", ""},
        {"run mode", "-mf -fm -dn", Q(src / "run.exe") + " " + Q(dest / "run")},
        {"run mode, silent", "-mf -fm -dn -s", Q(src / "run.exe") + " " + Q(dest / "run")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string sfx = planted / "setup.exe";
        MakeSfx("-oo " + c.switches, src.Path(), sfx, c.tail);
        SfxRun run = RunSfx(sfx);
        EXPECT_EQ(run.code, c.switches.find("-mf") != std::string::npos ? 3u : 0u);  // launch_probe ends with 3
        EXPECT_TRUE(run.boxes.empty());
        EXPECT_FALSE(Exists(marker));
        DeleteFileA(marker.c_str());
        DeleteFileA(sfx.c_str());
    }
    EXPECT_EQ(ReadFileBytes(documents + "dllsearch-a.txt"), "a");
    DeleteFileA((documents + "dllsearch-a.txt").c_str());
    DeleteFileA((documents + "run.exe").c_str());

    // The helper, in the folder of the planted DLL, deletes its file and loads nothing there.
    CopyFileA(BinPath("selfdelete.exe").c_str(), (planted / "xsfxdel~.exe").c_str(), FALSE);
    WriteFileBytes(planted / "victim.txt", "v");
    Process helper(Q(planted / "xsfxdel~.exe") + " " + Q(planted / "victim.txt"));
    DWORD code = 1;
    EXPECT_TRUE(helper.Wait(30000, &code));
    EXPECT_EQ(code, 0u);
    EXPECT_FALSE(Exists(planted / "victim.txt"));
    EXPECT_FALSE(Exists(marker));

    // The control: a program importing shell32 at load time, in the same folder.
    CopyFileA(BinPath("shell_probe.exe").c_str(), (planted / "shell_probe.exe").c_str(), FALSE);
    Process control(Q(planted / "shell_probe.exe"));
    EXPECT_TRUE(control.Wait(30000, &code));
    if (!Exists(marker))
        GTEST_SKIP() << "this Wine does not load a planted shcore.dll even for a program importing shell32 at load time, "
                        "so the runs above cannot show the difference";
}

// The free space is that of the folder's own volume: a folder under /dev/shm (a tmpfs mounted into
// drive Z) against one on the volume of the test's temporary folder. A crafted total between the
// two free spaces must fail on the smaller volume only.
TEST(FreeSpace, OfTheVolumeTheFolderIsOn) {
    TempFolder src, out, large;
    std::string shm = "Z:\\dev\\shm\\";
    int64_t freeShm = FreeSpace(shm), freeTemp = FreeSpace(large.Path());
    if (freeShm < 0 || freeTemp < 0 || std::llabs(freeShm - freeTemp) < (int64_t(8) << 30))
        GTEST_SKIP() << "no second volume with a free space far enough from the temporary folder's (Z:\\dev\\shm: "
                     << freeShm << ", temporary folder: " << freeTemp << ")";
    std::string shmFolder = shm + "quillet-test-" + std::to_string(GetCurrentProcessId()) + "\\";
    std::string smallDest = (freeShm < freeTemp ? shmFolder : large.Path()) + "dest\\";
    std::string largeDest = (freeShm < freeTemp ? large.Path() : shmFolder) + "dest\\";
    int64_t total = std::min(freeShm, freeTemp) + std::llabs(freeShm - freeTemp) / 2, stored = 0;
    std::string entries = HugeEntries(total, &stored);
    WriteFileBytes(src / "a.txt", "a");

    MakeSfx("-fm", src.Path(), out / "small.exe", Q(smallDest));
    WriteFileBytes(out / "small.exe", Crafted(out / "small.exe", entries));
    SfxRun run = RunSfx(out / "small.exe");
    EXPECT_EQ(run.code, 112u);
    ASSERT_EQ(run.boxes.size(), 1u);
    std::wstring text = run.boxes[0].text;
    std::string root = smallDest.substr(0, 3);
    EXPECT_EQ(text.substr(0, 7), WideOf(root + "   [")) << text;
    std::wstring tail = WideOf(" < " + SizeText(stored) + "]\r\n\r\n" + SystemText(112));
    ASSERT_GT(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    EXPECT_FALSE(Exists(smallDest));

    // On the larger volume the check passes; the crafted data then fails to inflate.
    MakeSfx("-fm -s", src.Path(), out / "large.exe", Q(largeDest));
    WriteFileBytes(out / "large.exe", Crafted(out / "large.exe", entries));
    EXPECT_EQ(RunSfx(out / "large.exe").code, 160u);
    RemoveTree(shmFolder);
}

// A share: Wine maps \\server\share to a folder of its prefix (dosdevices\unc\server\share).
// The free space is the share's, and the message names the share's root.
TEST(FreeSpace, OfAShare) {
    char prefix[MAX_PATH] = "";
    DWORD n = GetEnvironmentVariableA("WINEPREFIX", prefix, MAX_PATH);
    if (!n || n >= MAX_PATH || prefix[0] != '/') GTEST_SKIP() << "no Wine prefix to hold a share";
    std::string unc = std::string("Z:") + prefix + "\\dosdevices\\unc\\";
    std::replace(unc.begin(), unc.end(), '/', '\\');
    std::string server = "quillet-" + std::to_string(GetCurrentProcessId());
    MakeFoldersW(WideOf(unc + server + "\\share\\"));
    std::string share = "\\\\" + server + "\\share\\";
    if (FreeSpace(share) < 0) {
        RemoveTree(unc + server);
        RemoveDirectoryA(unc.substr(0, unc.size() - 1).c_str());
        GTEST_SKIP() << "this Wine maps no share to " << unc;
    }
    TempFolder src, out;
    WriteFileBytes(src / "a.txt", "on the share");
    std::string sfx = out / "t.exe";
    MakeSfx("-fm", src.Path(), sfx, Q(share + "app\\folder"));
    EXPECT_EQ(RunSfx(sfx).code, 0u);
    EXPECT_EQ(ReadFileBytes(share + "app\\folder\\a.txt"), "on the share");

    int64_t stored = 0;
    WriteFileBytes(sfx, Crafted(sfx, HugeEntries(FreeSpace(share) + (int64_t(4) << 30), &stored)));
    SfxRun run = RunSfx(sfx);
    EXPECT_EQ(run.code, 112u);
    ASSERT_EQ(run.boxes.size(), 1u);
    std::wstring head = WideOf(share + "   [");
    EXPECT_EQ(run.boxes[0].text.substr(0, head.size()), head) << run.boxes[0].text;
    EXPECT_EQ(run.boxes[0].text.find(L"[-1 B"), std::wstring::npos) << "the share's free space is known";
    RemoveTree(unc + server);
    RemoveDirectoryA(unc.substr(0, unc.size() - 1).c_str());  // only when no other share is left there
}

// Overwriting all needs no look before writing; a folder standing where the file goes still
// stops the run with the file's path, and the folder stays as it was.
TEST(VerifiedBeforeNamed, FolderWhereTheFileGoes) {
    TempFolder src, out, work;
    WriteFileBytes(src / "a.txt", "a");
    std::string dest = work / "dest\\";
    MakeSfx("-fm -oo", src.Path(), out / "t.exe", Q(dest));
    MakeFolder(dest);
    MakeFolder(dest + "a.txt");
    WriteFileBytes(dest + "a.txt\\inside.txt", "inside");
    SfxRun run = RunSfx(out / "t.exe");
    EXPECT_NE(run.code, 0u);
    ASSERT_EQ(run.boxes.size(), 1u);
    EXPECT_EQ(run.boxes[0].text, RunEndMessage(dest + "a.txt", run.code));
    EXPECT_EQ(ReadFileBytes(dest + "a.txt\\inside.txt"), "inside");
    EXPECT_EQ(TemporaryFiles(dest), std::vector<std::string>{});
}
