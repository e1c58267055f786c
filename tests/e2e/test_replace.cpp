// Rebuilding over an existing SFX file: the new file is written beside it and replaces it only
// when complete, so a failed rebuild keeps the previous file and leaves nothing behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "buildtools.h"
#include "sfxreader.h"

namespace {

std::vector<std::string> Sorted(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

TEST(Rebuild, FailureKeepsThePreviousFile) {
    PreviousSfx p;
    WriteFileBytes(p.src / "c.txt", "locked");
    HANDLE lock = CreateFileA((p.src / "c.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    Refusal e = BuildRefused("-o " + Q(p.src.Path()) + " " + Q(p.target), p.out.Path());
    CloseHandle(lock);
    EXPECT_EQ(e.box.caption, L"Application Error");
    EXPECT_EQ(e.box.text.rfind(L"OpenError: ", 0), 0u) << testing::PrintToString(e.box.text);
    EXPECT_NE(e.box.text.find(WideOf(p.src / "c.txt")), std::wstring::npos);
    EXPECT_EQ(e.code, 1u);
    p.ExpectUntouched();
}

TEST(Rebuild, SuccessReplacesThePreviousFile) {
    PreviousSfx p;
    WriteFileBytes(p.src / "a.txt", "second");
    ASSERT_EQ(BuildQuietly("-o " + Q(p.src.Path()) + " " + Q(p.target), p.out.Path()), 0u);
    SfxFile f = ReadSfx(p.target);
    ASSERT_EQ(f.error, "");
    ASSERT_TRUE(f.Find("a.txt"));
    EXPECT_EQ(f.Find("a.txt")->data, "second");
    EXPECT_EQ(p.out.List(), std::vector<std::string>{"t.exe"});
    // Byte for byte what a build into a fresh name gives, apart from the InstanceName.
    ASSERT_EQ(BuildQuietly(Q(p.src.Path()) + " " + Q(p.out / "fresh.exe"), p.out.Path()), 0u);
    std::string fresh = ReadFileBytes(p.out / "fresh.exe"), rebuilt = ReadFileBytes(p.target);
    ASSERT_EQ(fresh.size(), rebuilt.size());
    fresh.replace(f.payloadOffset + 2311, 10, rebuilt.substr(f.payloadOffset + 2311, 10));
    EXPECT_TRUE(fresh == rebuilt);
}

TEST(Rebuild, TargetHeldOpenFailsAndLosesNothing) {
    PreviousSfx p;
    WriteFileBytes(p.src / "a.txt", "second");
    HANDLE held = CreateFileA(p.target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Refusal e = BuildRefused("-o " + Q(p.src.Path()) + " " + Q(p.target), p.out.Path());
    CloseHandle(held);
    EXPECT_EQ(e.box.caption, L"Application Error");
    EXPECT_EQ(e.box.text.rfind(L"WriteError: ", 0), 0u) << testing::PrintToString(e.box.text);
    EXPECT_NE(e.box.text.find(WideOf(p.target)), std::wstring::npos) << testing::PrintToString(e.box.text);
    EXPECT_EQ(e.code, 1u);
    p.ExpectUntouched();
}

// The temporary file lies in the target's folder; with the target inside the source folder
// it is never archived, and it is gone afterwards.
TEST(Rebuild, TemporaryFileInsideTheSourceIsNotArchived) {
    TempFolder src;
    WriteFileBytes(src / "a.txt", "a");
    MakeFolder(src / "sub");
    WriteFileBytes(src / "sub\\b.txt", "b");
    for (int round = 0; round < 2; ++round) {  // the second round replaces the first file
        ASSERT_EQ(BuildQuietly("-o " + Q(src.Path()) + " " + Q(src / "t.exe"), src.Path()), 0u);
        SfxFile f = ReadSfx(src / "t.exe");
        ASSERT_EQ(f.error, "");
        std::vector<std::string> names;
        for (const SfxEntry& e : f.entries) names.push_back(e.name);
        EXPECT_EQ(Sorted(names), (std::vector<std::string>{"a.txt", "sub", "sub\\b.txt"}));
        EXPECT_EQ(Sorted(src.List()), (std::vector<std::string>{"a.txt", "sub", "t.exe"}));
    }
}
