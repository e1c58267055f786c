// Builds with several packing threads (QUILLET_THREADS): the same SFX file as one thread
// writes, and the same failure when a source file breaks off in the middle.
#include <gtest/gtest.h>

#include "buildtools.h"
#include "sfxreader.h"

namespace {

const size_t Chunk = 9437184;

// Many small files in folders, a file of three chunks, empty files and folders.
std::vector<TreeItem> ManyFiles() {
    std::vector<TreeItem> items;
    for (int d = 0; d < 6; ++d) {
        std::string dir = "small" + std::to_string(d) + "\\";
        items.push_back({dir});
        for (int i = 0; i < 50; ++i)
            items.push_back({dir + "f" + std::to_string(i) + ".txt",
                             SomeBytes(100 + (i * 997 + d * 131) % 3000, d * 50 + i)});
    }
    items.insert(items.end(), {{"big.bin", SomeBytes(2 * Chunk + 4321, 99)}, {"empty.txt"}, {"emptydir\\"},
                               {"small2\\deeper\\"}, {"small2\\deeper\\emptydir\\"}, {"small2\\deeper\\zero.dat"}});
    return items;
}

}  // namespace

TEST(Threads, SameFileWhateverTheThreadCount) {
    TempFolder src, out;
    ASSERT_TRUE(MakeTreeW(U16(src.Path()), ManyFiles()));
    std::string reference;
    for (const char* threads : {"1", "2", "7"}) {
        SCOPED_TRACE(threads);
        ScopedEnv env("QUILLET_THREADS", threads);
        std::string target = out / (std::string("t") + threads + ".exe");
        ASSERT_EQ(BuildQuietly("-d " + Q(src.Path()) + " " + Q(target), out.Path()), 0u);
        SfxFile f = ReadSfx(target);
        ASSERT_EQ(f.error, "");
        ASSERT_EQ(f.entries.size(), 1 + 6 * 51 + 6u);  // the helper, six folders of 50 files, the rest
        EXPECT_EQ(f.entries[0].kind, 2);
        const SfxEntry* big = f.Find("big.bin");
        ASSERT_TRUE(big);
        EXPECT_EQ(big->chunks.size(), 3u);
        EXPECT_EQ(big->storedSum, big->computedSum);
        std::string bytes = WithoutInstanceName(ReadFileBytes(target));
        if (reference.empty())
            reference = bytes;
        else
            EXPECT_TRUE(bytes == reference)
                << "differs from the single-threaded build: " << Differences(bytes, reference).substr(0, 200);
    }
}

// A file listed with one size that turns out shorter when read: the second chunk fails.
// Win32 opens "mid.bin." as "mid.bin", so the listed size is that of the other file.
TEST(Threads, ReadFailureInTheMiddleOfAFileEndsAsWithOneThread) {
    TempFolder src, out;
    WriteFileBytes(src / "a.txt", "first");
    MakeFolder(src / "sub");
    WriteFileBytes(src / "sub\\b.bin", SomeBytes(Chunk + 999, 3));
    MakeFolder(src / "m");
    std::string dotted = "\\\\?\\" + (src / "m\\mid.bin.");
    WriteFileBytes(dotted, SomeBytes(2 * Chunk + 100, 4));
    WriteFileBytes(src / "m\\mid.bin", SomeBytes(12000000, 5));
    MakeFolder(src / "z");
    for (int i = 0; i < 40; ++i) WriteFileBytes(src / ("z\\after" + std::to_string(i) + ".txt"), SomeBytes(5000, i));

    // A previous SFX file in the target's place, which the failing rebuilds must keep.
    std::string target = out / "t.exe";
    {
        TempFolder good;
        WriteFileBytes(good / "good.txt", "good");
        ASSERT_EQ(BuildQuietly(Q(good.Path()) + " " + Q(target), out.Path()), 0u);
    }
    std::string previous = ReadFileBytes(target);
    FailedBuild one, seven;
    {
        ScopedEnv env("QUILLET_THREADS", "1");
        one = BuildFailing("-o " + Q(src.Path()) + " " + Q(target), out.Path());
        EXPECT_TRUE(ReadFileBytes(target) == previous);
    }
    {
        ScopedEnv env("QUILLET_THREADS", "7");
        seven = BuildFailing("-o " + Q(src.Path()) + " " + Q(target), out.Path(), one.threadsAtBox);
        EXPECT_TRUE(ReadFileBytes(target) == previous);
    }
    DeleteFileA(dotted.c_str());
    EXPECT_EQ(out.List(), std::vector<std::string>{"t.exe"}) << "no temporary file is left";
    EXPECT_EQ(one.box.caption, L"Application Error");
    EXPECT_EQ(one.box.text.rfind(L"ReadError: ", 0), 0u) << testing::PrintToString(one.box.text);
    EXPECT_NE(one.box.text.find(L"mid.bin."), std::wstring::npos) << testing::PrintToString(one.box.text);
    EXPECT_EQ(one.code, 1u);
    EXPECT_EQ(seven.box.caption, one.box.caption);
    EXPECT_EQ(seven.box.text, one.box.text);
    EXPECT_EQ(seven.code, 1u);
    EXPECT_EQ(seven.threadsAtBox, one.threadsAtBox) << "the workers have ended before the error is shown";
}
