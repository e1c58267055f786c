// Windowless builds of real SFX files, read back by the tests' own reader.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "buildtools.h"
#include "sfxreader.h"

namespace {

uint32_t DosTime(const FILETIME& ft) {
    FILETIME local;
    WORD date = 0, time = 0;
    FileTimeToLocalFileTime(&ft, &local);
    FileTimeToDosDateTime(&local, &date, &time);
    return (static_cast<uint32_t>(date) << 16) | time;
}

bool IsHexName(const std::string& s) {
    if (s.size() != 10 || s.compare(0, 2, "00") != 0) return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); });
}

// A file name with a character beyond ASCII in the system code page.
std::string NonAsciiName() { return GetACP() == 949 ? "\xC7\xD1\xB1\xDB \xC0\xCC\xB8\xA7.txt" : "caf\xE9 menu.txt"; }

}  // namespace

TEST(Container, EntriesMatchTheSourceFolder) {
    TempFolder src, out;
    WriteFileBytes(src / "a.txt", "hello, quillet\r\n");
    MakeFolder(src / "sub");
    WriteFileBytes(src / "sub\\b.bin", SomeBytes(100000, 1));
    MakeFolder(src / "sub\\deeper");
    MakeFolder(src / "sub\\deeper\\empty");
    WriteFileBytes(src / "empty.txt", "");
    WriteFileBytes(src / "hidden.txt", "h");
    SetFileAttributesA((src / "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
    WriteFileBytes(src / "system.dat", "s");
    SetFileAttributesA((src / "system.dat").c_str(), FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE);
    WriteFileBytes(src / "readonly.txt", "r");
    SetFileAttributesA((src / "readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY);
    WriteFileBytes(src / NonAsciiName(), "x");

    ASSERT_EQ(BuildQuietly(Q(src.Path()) + " " + Q(out / "t.exe"), out.Path()), 0u);
    SfxFile f = ReadSfx(out / "t.exe");
    ASSERT_EQ(f.error, "");
    EXPECT_TRUE(f.terminated);
    EXPECT_EQ(f.trailing, 0u);
    // Extract only, no icon, no elevation: the head is the extractor byte for byte.
    EXPECT_EQ(ReadFileBytes(out / "t.exe").substr(0, f.payloadOffset), ReadFileBytes(BinPath("sfxhead.exe")));
    // ... of this build's architecture: PE32+ (optional header magic 0x20B) from the x86_64 builder.
    std::string head = ReadFileBytes(out / "t.exe");
    uint32_t pe = *reinterpret_cast<const uint32_t*>(head.data() + 0x3C);
    EXPECT_EQ(*reinterpret_cast<const WORD*>(head.data() + pe + 24), sizeof(void*) == 8 ? 0x20B : 0x10B);

    std::vector<FoundW> walk = WalkW(WideOf(src.Path()));
    SetFileAttributesA((src / "readonly.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_EQ(f.entries.size(), walk.size());
    for (size_t i = 0; i < walk.size(); ++i) {
        const SfxEntry& e = f.entries[i];
        const FoundW& w = walk[i];
        SCOPED_TRACE(U8(w.name));
        EXPECT_EQ(e.wideName, w.name);
        EXPECT_EQ(e.kind, 0);
        EXPECT_EQ(e.attributes, w.data.dwFileAttributes);
        EXPECT_EQ(e.time, DosTime(w.data.ftLastWriteTime));
        EXPECT_EQ(e.storedSum, e.computedSum);
        if (w.data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            EXPECT_EQ(e.size, 0);
            EXPECT_EQ(e.storedSum, Sum(e.name));
        } else {
            EXPECT_EQ(e.data, ReadFileW(WideOf(src.Path()) + w.name));
            EXPECT_EQ(static_cast<DWORD>(e.size), w.data.nFileSizeLow);
        }
    }
    // Each folder comes before its contents.
    for (size_t i = 0; i < f.entries.size(); ++i) {
        size_t cut = f.entries[i].name.rfind('\\');
        if (cut == std::string::npos) continue;
        std::string parent = f.entries[i].name.substr(0, cut);
        auto at = std::find_if(f.entries.begin(), f.entries.end(), [&](const SfxEntry& e) { return e.name == parent; });
        ASSERT_NE(at, f.entries.end());
        EXPECT_LT(at - f.entries.begin(), static_cast<long>(i));
    }
    EXPECT_TRUE(f.Find("empty.txt") && f.Find("empty.txt")->chunks.empty());
    EXPECT_TRUE(f.Find("sub\\deeper\\empty") && (f.Find("sub\\deeper\\empty")->attributes & 0x10));
}

TEST(Container, RecordFieldsFollowTheSwitches) {
    TempFolder src, out;
    WriteFileBytes(src / "setup.exe", "MZ");
    std::string exe = src / "setup.exe";
    struct Case {
        std::string args;  // between the switches and the positional parameters
        std::string tail;  // positional parameters after source and target
        std::map<size_t, int> bytes;
        std::string params, custom;
    } cases[] = {
        {"", "", {}, "", ""},
        {"-mf", Q(exe), {{0, 1}}, "", ""},
        {"-mf", Q(exe) + " " + Q("\"a b\" -c"), {{0, 1}}, "\"a b\" -c", ""},
        {"-fd", "", {{1, 1}}, "", ""},
        {"-fp", "", {{1, 2}}, "", ""},
        {"-fc", "", {{1, 3}}, "", ""},
        {"-fs", "", {{1, 4}}, "", ""},
        {"-fm", Q("%APPDATA%\\Q"), {{1, 5}}, "", "%APPDATA%\\Q\\"},
        {"-e", "", {{2322, 1}}, "", ""},
        {"-i", "", {{2324, 1}}, "", ""},
        {"-s", "", {{2325, 1}}, "", ""},
        {"-d", "", {{2326, 1}}, "", ""},
        {"-dr", "", {{2327, 1}}, "", ""},
        {"-dn", "", {{2327, 2}}, "", ""},
        {"-ws", "", {{2328, 1}}, "", ""},
        {"-wc", "", {{2328, 2}}, "", ""},
        {"-oo", "", {{2329, 1}}, "", ""},
        {"-os", "", {{2329, 2}}, "", ""},
        {"-uh -ua -un -me -ft -op -we -di -o", "", {}, "", ""},  // nothing of these is in the record
        {"-mf -fm -e -i -s -d -dn -wc -os", Q(exe) + " " + Q("C:\\X") + " " + Q("p"),
         {{0, 1}, {1, 5}, {2322, 1}, {2324, 1}, {2325, 1}, {2326, 1}, {2327, 2}, {2328, 2}, {2329, 2}}, "p", "C:\\X\\"},
    };
    std::vector<std::string> names;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        std::string target = out / "t.exe";
        ASSERT_EQ(BuildQuietly(c.args + " " + Q(src.Path()) + " " + Q(target) + " " + c.tail + " -o", out.Path()), 0u);
        SfxFile f = ReadSfx(target);
        ASSERT_EQ(f.error, "");
        std::string expected(2330, '\0');
        expected[2323] = 1;  // always compressed
        for (auto [offset, value] : c.bytes) expected[offset] = static_cast<char>(value);
        expected.replace(2, c.params.size(), c.params);
        expected.replace(2050, c.custom.size(), c.custom);
        std::string name = f.Text(2311, 11);
        EXPECT_TRUE(IsHexName(name)) << name;
        EXPECT_EQ(f.Byte(2321), 0);
        expected.replace(2311, 10, name);
        EXPECT_EQ(Differences(f.record, expected), "");
        names.push_back(name);
        // Self-delete: the helper's entry comes first, exactly the helper program.
        bool selfDelete = c.bytes.count(2326) > 0;
        ASSERT_FALSE(f.entries.empty());
        EXPECT_EQ(f.entries[0].kind == 2, selfDelete);
        if (selfDelete) {
            const SfxEntry& h = f.entries[0];
            EXPECT_EQ(h.name, "xsfxdel~.exe");
            EXPECT_EQ(h.time, 0u);
            EXPECT_EQ(h.attributes, 0u);
            EXPECT_EQ(h.data, ReadFileBytes(BinPath("selfdelete.exe")));
            EXPECT_EQ(h.storedSum, h.computedSum);
        }
        // Kind 1 marks the program to run in run mode only.
        const SfxEntry* setup = f.Find("setup.exe");
        ASSERT_TRUE(setup);
        EXPECT_EQ(setup->kind, c.bytes.count(0) ? 1 : 0);
    }
    std::sort(names.begin(), names.end());
    EXPECT_EQ(std::unique(names.begin(), names.end()), names.end()) << "every build draws a new InstanceName";
}

TEST(Container, OnlyTheExecutableIsMarked) {
    TempFolder src, out;
    MakeFolder(src / "bin");
    WriteFileBytes(src / "bin\\Setup.exe", "MZ-run-me");
    WriteFileBytes(src / "setup.exe", "MZ-top");
    WriteFileBytes(src / "bin\\other.exe", "MZ-other");
    // Spelled in another case: the match ignores case.
    ASSERT_EQ(BuildQuietly("-mf " + Q(src.Path()) + " " + Q(out / "t.exe") + " " + Q(src / "BIN\\SETUP.EXE"), out.Path()),
              0u);
    SfxFile f = ReadSfx(out / "t.exe");
    ASSERT_EQ(f.error, "");
    int marked = 0;
    for (const SfxEntry& e : f.entries) {
        if (e.kind == 1) {
            ++marked;
            EXPECT_EQ(e.name, "bin\\Setup.exe");
        }
    }
    EXPECT_EQ(marked, 1);
}

TEST(Container, ChunkBoundaries) {
    TempFolder src, out;
    std::string exact = SomeBytes(9437184, 7);
    WriteFileBytes(src / "exact.bin", exact);
    WriteFileBytes(src / "more.bin", exact + "!");
    ASSERT_EQ(BuildQuietly(Q(src.Path()) + " " + Q(out / "t.exe"), out.Path()), 0u);
    SfxFile f = ReadSfx(out / "t.exe");
    ASSERT_EQ(f.error, "");
    const SfxEntry* one = f.Find("exact.bin");
    const SfxEntry* two = f.Find("more.bin");
    ASSERT_TRUE(one && two);
    ASSERT_EQ(one->chunks.size(), 1u);
    EXPECT_EQ(one->chunks[0].plain, 9437184);
    ASSERT_EQ(two->chunks.size(), 2u);
    EXPECT_EQ(two->chunks[0].plain, 9437184);
    EXPECT_EQ(two->chunks[1].plain, 1);
    EXPECT_EQ(two->data, exact + "!");
    EXPECT_EQ(two->storedSum, two->computedSum);
    for (const SfxChunk& c : two->chunks) EXPECT_LE(c.packed, 10485760);
}

TEST(Container, EmptyLayouts) {
    TempFolder out;
    {
        TempFolder src;  // an empty source: record and terminator only
        ASSERT_EQ(BuildQuietly(Q(src.Path()) + " " + Q(out / "empty.exe"), out.Path()), 0u);
        SfxFile f = ReadSfx(out / "empty.exe");
        EXPECT_EQ(f.error, "");
        EXPECT_TRUE(f.entries.empty());
        EXPECT_TRUE(f.terminated);
        EXPECT_EQ(ReadFileBytes(out / "empty.exe").size(), f.payloadOffset + 2330u + 17u);
    }
    {
        TempFolder src;  // one empty file: header, name, the name's checksum, no chunk
        WriteFileBytes(src / "zero.txt", "");
        ASSERT_EQ(BuildQuietly(Q(src.Path()) + " " + Q(out / "zero.exe"), out.Path()), 0u);
        SfxFile f = ReadSfx(out / "zero.exe");
        ASSERT_EQ(f.entries.size(), 1u);
        EXPECT_EQ(f.entries[0].size, 0);
        EXPECT_TRUE(f.entries[0].chunks.empty());
        EXPECT_EQ(f.entries[0].storedSum, Sum("zero.txt"));
        EXPECT_EQ(ReadFileBytes(out / "zero.exe").size(), f.payloadOffset + 2330u + 17 + 8 + 4 + 17);
    }
    {
        TempFolder src;  // folders only
        MakeFolder(src / "a");
        MakeFolder(src / "a\\b");
        ASSERT_EQ(BuildQuietly(Q(src.Path()) + " " + Q(out / "folders.exe"), out.Path()), 0u);
        SfxFile f = ReadSfx(out / "folders.exe");
        ASSERT_EQ(f.entries.size(), 2u);
        EXPECT_EQ(f.entries[0].name, "a");
        EXPECT_EQ(f.entries[1].name, "a\\b");
        for (const SfxEntry& e : f.entries) {
            EXPECT_TRUE(e.attributes & 0x10);
            EXPECT_EQ(e.size, 0);
            EXPECT_EQ(e.storedSum, Sum(e.name));
        }
    }
}

TEST(Container, TargetInsideTheSourceIsNotArchived) {
    TempFolder src;
    WriteFileBytes(src / "a.txt", "a");
    WriteFileBytes(src / "T.EXE", std::string(50000, 'o'));  // an older target of that name
    ASSERT_EQ(BuildQuietly("-o " + Q(src.Path()) + " " + Q(src / "t.exe"), src.Path()), 0u);
    SfxFile f = ReadSfx(src / "t.exe");
    ASSERT_EQ(f.error, "");
    ASSERT_EQ(f.entries.size(), 1u);
    EXPECT_EQ(f.entries[0].name, "a.txt");
}

TEST(Container, LongTextsAreCut) {
    TempFolder src, out;
    WriteFileBytes(src / "run.exe", "MZ");
    for (size_t length : {2047u, 2048u, 3000u}) {
        std::string params(length, 'p');
        std::string custom = "C:\\" + std::string(length / 8, 'c');
        ASSERT_EQ(BuildQuietly("-o -mf -fm " + Q(src.Path()) + " " + Q(out / "t.exe") + " " + Q(src / "run.exe") + " " +
                                   Q(custom) + " " + Q(params),
                               out.Path()),
                  0u);
        SfxFile f = ReadSfx(out / "t.exe");
        ASSERT_EQ(f.error, "");
        EXPECT_EQ(f.Text(2, 2048), std::string(2047, 'p')) << length;
        EXPECT_EQ(f.Byte(2049), 0);
        std::string stored = custom + "\\";
        EXPECT_EQ(f.Text(2050, 261), stored.substr(0, 260)) << length;
        EXPECT_EQ(f.Byte(2310), 0);
    }
}
