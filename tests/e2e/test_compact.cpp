// SFX files of the compact form (-z): a tree of every kind of entry over several frames, extracted
// exactly (into a folder outside the code page too, and past files it keeps); run mode; the same
// file for any number of packing threads; and without -z the classic forms and extractor.
#include <gtest/gtest.h>

#include <map>

#include "sfxtools.h"
#include "widetools.h"

namespace {

const uint64_t Frame = 32u << 20;  // plain bytes of every data frame but the last

using Tree = std::map<std::wstring, std::string>;

// Blocks of 64 KiB, each its number and then the same noise: every block differs from every other,
// so a byte out of place shows, yet zstd's level 18 packs them fast (noise itself takes it some
// 3 MB/s, half a minute a frame).
std::string Blocks(size_t n, uint64_t seed) {
    const std::string noise = Noise(65536 - 8, seed);
    std::string out;
    out.reserve(n + 65536);
    for (uint64_t i = seed << 32; out.size() < n; ++i) out.append(reinterpret_cast<const char*>(&i), 8).append(noise);
    out.resize(n);
    return out;
}

// The names that are missing, extra or different in got, for a readable failure of a large tree.
std::string TreeDifferences(const Tree& got, const Tree& expected) {
    std::string out;
    for (const auto& [name, bytes] : expected) {
        auto at = got.find(name);
        if (at == got.end()) out += " missing " + U8(name) + ";";
        else if (at->second != bytes) out += " differs " + U8(name) + ";";
    }
    for (const auto& item : got)
        if (!expected.count(item.first)) out += " extra " + U8(item.first) + ";";
    return out;
}

// The tree, built once (7 packing threads) to extract into the folder %QUILLET_COMPACT_DEST%,
// keeping files that are there: folders nested and empty, an empty file, hidden and read-only
// ones, names outside every code page, a file of more than two frames and one that ends exactly
// where a frame does.
struct CompactTree {
    WideFolder base{L"qcompact"};
    std::wstring src = base.path + L"src\\", sfx = base.path + L"t.exe";
    std::string bytes;
    std::vector<FoundW> walk;  // the source as the builder walks it

    CompactTree() {
        FILETIME t1 = MakeTime(2020, 2, 29, 12, 34, 56), t2 = MakeTime(2023, 7, 1, 0, 0, 2);
        const std::string wide = U8(L"\uC124\uCE58 \U0001F4E6\\");
        EXPECT_TRUE(MakeTreeW(src, {{"docs\\", "", {}, FILE_ATTRIBUTE_HIDDEN},
                                    {"docs\\readme.txt", "read me\r\n", t1, FILE_ATTRIBUTE_READONLY},
                                    {"docs\\hidden.bin", SomeBytes(200000, 3), t2,
                                     FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE},
                                    {"docs\\nothing\\"},
                                    {"empty.txt", "", t1},
                                    {wide},
                                    {wide + U8(L"\u5F20\u4F1F \u041F.txt"), "wide", t2},
                                    {"blocks.bin", Blocks(2 * Frame + 12345, 1), t1},
                                    {"edge.bin"}}));
        // The stream holds the files in the walk's order: edge.bin is sized to end on a frame's end.
        uint64_t before = 0;
        for (const FoundW& w : WalkW(src)) {
            if (w.name == L"edge.bin") break;
            before += w.data.nFileSizeLow | static_cast<uint64_t>(w.data.nFileSizeHigh) << 32;
        }
        WriteFileW(src + L"edge.bin", Blocks(static_cast<size_t>(Frame - before % Frame), 2));
        walk = WalkW(src);
        ScopedEnv threads("QUILLET_THREADS", "7");
        EXPECT_EQ(Build(sfx), 0u);
        bytes = ReadFileW(sfx);
    }
    DWORD Build(const std::wstring& target) const {
        return BuildW(L"-o -z -s -os -fm " + QW(src) + L" " + QW(target) + L" \"%QUILLET_COMPACT_DEST%\"", base.path);
    }
};

const CompactTree& Fixture() {
    static CompactTree tree;
    return tree;
}

}  // namespace

// The file as built: the compact form, the entries in the walk's order with their checksums, the
// frames full but the last, the edge file ending on a frame's end.
TEST(Compact, TreeIsStoredInFullFrames) {
    const CompactTree& t = Fixture();
    SfxFile f = ReadSfx(U8(t.sfx), false);
    ASSERT_EQ(f.error, "");
    ASSERT_TRUE(f.compact);
    EXPECT_EQ(f.frameSize, Frame);
    ASSERT_EQ(f.entries.size(), t.walk.size());
    for (size_t i = 0; i < t.walk.size(); ++i) {
        SCOPED_TRACE(U8(t.walk[i].name));
        EXPECT_EQ(f.entries[i].wideName, t.walk[i].name);
        EXPECT_EQ(f.entries[i].attributes, t.walk[i].data.dwFileAttributes);
        EXPECT_EQ(f.entries[i].storedSum, f.entries[i].computedSum);
    }
    ASSERT_EQ(f.frames.size(), (f.streamSize + Frame - 1) / Frame);
    EXPECT_GE(f.frames.size(), 3u);
    for (size_t i = 0; i < f.frames.size(); ++i)
        EXPECT_EQ(static_cast<uint64_t>(f.frames[i].plain), i + 1 < f.frames.size() ? Frame : f.streamSize - i * Frame);
    const SfxEntry* edge = f.Find(L"edge.bin");
    ASSERT_TRUE(edge);
    EXPECT_EQ((edge->streamOffset + edge->size) % Frame, 0u) << "edge.bin from " << edge->streamOffset;
    EXPECT_GT(static_cast<uint64_t>(f.Find(L"blocks.bin")->size), 2 * Frame);
}

// Into a new folder, one outside the code page, and one holding two of the files already (one of
// them the file of several frames), which the run keeps while it extracts every other file.
TEST(Compact, TreeExtractsExactly) {
    const CompactTree& t = Fixture();
    const Tree source = TreeW(t.src);
    const struct {
        std::wstring folder;
        Tree existing;
    } cases[] = {
        {L"plain", {}},
        {L"\u5F20 \U0001F600 \u041F", {}},
        {L"kept", {{L"blocks.bin", "old blocks"}, {L"docs\\readme.txt", "old readme"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(U8(c.folder));
        std::wstring dest = t.base.path + L"out\\" + c.folder + L"\\";
        for (const auto& [name, bytes] : c.existing) {
            MakeFoldersW(dest + name);
            WriteFileW(dest + name, bytes);
        }
        ScopedEnvW env(L"QUILLET_COMPACT_DEST", dest);
        ASSERT_EQ(RunSfxW(t.sfx, L"", t.base.path.c_str()), 0u);
        Tree expected = source;
        for (const auto& [name, bytes] : c.existing) expected[name] = bytes;
        std::string differences = TreeDifferences(TreeW(dest), expected);
        EXPECT_EQ(differences, "");
        if (c.existing.empty()) {
            EXPECT_EQ(MetaW(dest), MetaW(t.src));
        }
        RemoveTreeW(dest);
    }
}

// Builds with 1, 2 and 7 packing threads: the same bytes but the InstanceName.
TEST(Compact, SameFileWhateverTheThreadCount) {
    const CompactTree& t = Fixture();
    ASSERT_FALSE(t.bytes.empty());
    const std::string reference = WithoutInstanceName(t.bytes);
    for (const char* threads : {"1", "2"}) {
        SCOPED_TRACE(threads);
        ScopedEnv env("QUILLET_THREADS", threads);
        std::wstring target = t.base.path + L"threads.exe";
        ASSERT_EQ(t.Build(target), 0u);
        std::string bytes = WithoutInstanceName(ReadFileW(target));
        EXPECT_TRUE(bytes == reference) << Differences(bytes, reference).substr(0, 200);
        DeleteFileW(target.c_str());
    }
}

// The program to run, named outside the code page, gets its stored parameters and the run's own
// arguments; its exit code is the run's, and the clean-up empties the temporary folder.
TEST(Compact, RunModeRunsTheProgramAndCleansUp) {
    WideFolder base(L"qcrun");
    SfxFile f = ExpectWideProgramRuns(base.path, L"-z", L"\U0001F680 \u5F20.exe", L"\"\u041F \U0001F4E6\"",
                                      L"\u5F20 \"a b\"", {L"\u041F", L"\U0001F4E6", L"\u5F20", L"a b"});
    EXPECT_TRUE(f.compact);
}

// Without -z a build is what it was: the original form (the extended one for a name outside the
// code page) behind the classic extractor; with -z the compact form behind the compact extractor,
// whatever the names. Extract only, no icon: the head is the extractor byte for byte.
TEST(Compact, SwitchChoosesTheFormAndTheExtractor) {
    WideFolder base(L"qcform");
    ASSERT_NE(ReadFileBytes(BinPath("sfxhead.exe")), ReadFileBytes(BinPath("sfxhead_compact.exe")));
    const struct {
        const wchar_t* switches;
        const wchar_t* name;
        bool extended, compact;
        const char* head;
    } cases[] = {
        {L"", L"a.txt", false, false, "sfxhead.exe"},
        {L"", L"\U0001F4E6.txt", true, false, "sfxhead.exe"},
        {L"-z", L"a.txt", false, true, "sfxhead_compact.exe"},
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        const auto& c = cases[i];
        SCOPED_TRACE(U8(std::wstring(c.switches) + L" " + c.name));
        const std::wstring tag = std::to_wstring(i), src = base.path + L"src" + tag + L"\\",
                           dest = base.path + L"out" + tag + L"\\", sfx = base.path + L"t" + tag + L".exe";
        ASSERT_TRUE(MakeTreeW(src, {{"sub\\"}, {"sub\\b.bin", SomeBytes(70000, 4)}, {U8(c.name), "named"}}));
        ASSERT_EQ(BuildW(L"-o -s -fm " + std::wstring(c.switches) + L" " + QW(src) + L" " + QW(sfx) + L" " + QW(dest),
                         base.path),
                  0u);
        SfxFile f = ReadSfx(U8(sfx), false);
        ASSERT_EQ(f.error, "");
        EXPECT_EQ(f.extended, c.extended);
        EXPECT_EQ(f.compact, c.compact);
        EXPECT_TRUE(ReadFileW(sfx).substr(0, f.payloadOffset) == ReadFileBytes(BinPath(c.head)))
            << "the head is not " << c.head;
        ASSERT_EQ(RunSfxW(sfx, L"", base.path.c_str()), 0u);
        EXPECT_EQ(TreeW(dest), TreeW(src));
    }
}
