// The extractor's path forming, its name checks and the helper's argument splitting, with exact outputs.
// Wine's W functions take long paths without the prefix, so only here does the prefix show.
#include <gtest/gtest.h>

#include <string>

#include "u_args.h"
#include "u_names.h"
#include "../../extractor/u_paths.h"
#include "widetools.h"

namespace {

std::wstring Formed(const std::wstring& path) {
    static WCHAR full[PathSize], out[PathSize + 8];
    if (!ResolvePath(path.c_str(), full, PathSize)) return L"(none)";
    return LongForm(full, out, PathSize + 8) ? out : L"(too long)";
}

std::wstring Part(wchar_t c, size_t n) { return std::wstring(n, c); }

}  // namespace

TEST(Paths, LongFormForDriveShareRelativeAndParentParts) {
    WCHAR cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    SetCurrentDirectoryW(L"C:\\");
    std::wstring a = Part(L'a', 200), b = Part(L'b', 200);
    struct Case {
        std::wstring in, out;
    } cases[] = {
        {L"C:\\short\\x.txt", L"C:\\short\\x.txt"},
        {L"\\\\server\\share\\x", L"\\\\server\\share\\x"},
        {L"C:\\" + a + L"\\" + b, L"\\\\?\\C:\\" + a + L"\\" + b},
        {L"\\\\server\\share\\" + a + L"\\" + b, L"\\\\?\\UNC\\server\\share\\" + a + L"\\" + b},
        {a + L"\\" + b, L"\\\\?\\C:\\" + a + L"\\" + b},                          // relative
        {L"C:\\" + a + L"\\x\\..\\" + b, L"\\\\?\\C:\\" + a + L"\\" + b},          // ".." resolved first
        {L"C:\\" + a + L"\\.\\" + b + L"\\..\\z", L"C:\\" + a + L"\\z"},              // "." and "..", then short
        {L"x\\..\\" + Part(L'c', 300), L"\\\\?\\C:\\" + Part(L'c', 300)},
        {L"\\\\?\\C:\\" + a + L"\\" + b, L"\\\\?\\C:\\" + a + L"\\" + b},         // already in the form
        {L"C:\\" + Part(L'd', 235), L"C:\\" + Part(L'd', 235)},                   // 238: short enough
        {L"C:\\" + Part(L'd', 245), L"\\\\?\\C:\\" + Part(L'd', 245)},            // 248: CreateDirectoryW's limit
    };
    for (const Case& c : cases) EXPECT_EQ(Formed(c.in), c.out) << c.in.size();
    SetCurrentDirectoryW(cwd);

    WCHAR out[64];
    EXPECT_TRUE(LongForm(L"C:\\x", out, 64, true));
    EXPECT_STREQ(out, L"\\\\?\\C:\\x");
    EXPECT_TRUE(LongForm(L"\\\\srv\\s\\x", out, 64, true));
    EXPECT_STREQ(out, L"\\\\?\\UNC\\srv\\s\\x");
    EXPECT_FALSE(LongForm(L"C:\\abcdefgh", out, 8, true));
    EXPECT_STREQ(out, L"");
}

TEST(Names, DeviceNamesAndUnsafePartsOnUtf16) {
    const wchar_t* refused[] = {L"COM0",      L"lpt0.txt", L"COM\u00b9", L"com\u00b2.log", L"Com\u00b3 .x",
                                L"LPT\u00b9", L"a\\LpT\u00b3", L"CON",   L"nul.txt",       L"sub\\aux",
                                L"a.",        L"b ",        L"..\\x",    L"\\x",           L"a:b",
                                L"a\\\\b",    L"x\x01"};
    for (const wchar_t* n : refused) EXPECT_FALSE(names::IsSafeName(n)) << U8(n);
    const wchar_t* stored[] = {L"COM10", L"com\u00b9\u00b2", L"lpt\u00bd", L"COM\u2074", L"\u0421OM1",
                               L"\u041f\u0440\u0438\u0432\u0435\u0442\\\u5f20.txt", L"a/b", L"\U0001F600.exe"};
    for (const wchar_t* n : stored) EXPECT_TRUE(names::IsSafeName(n)) << U8(n);
    // The same code on char16_t, as a native build runs it.
    EXPECT_FALSE(names::IsSafeName(u"lpt\u00b2.txt"));
    EXPECT_TRUE(names::IsSafeName(u"lpt\u00b2x.txt"));
}

TEST(Args, Utf16ArgumentsArriveWhole) {
    const wchar_t* line = L"sfx.exe \"a\uff02 b\" \ufe68\u2215x \u5f20\u4f1f  \"\"  \"q\"r\"s t\"";
    const wchar_t* expected[] = {L"sfx.exe", L"a\uff02 b", L"\ufe68\u2215x", L"\u5f20\u4f1f", L"", L"qrs t"};
    wchar_t arg[64];
    const wchar_t* p = line;
    for (const wchar_t* e : expected) {
        ASSERT_TRUE(NextArg(p, arg, 64));
        EXPECT_STREQ(arg, e);
    }
    EXPECT_FALSE(NextArg(p, arg, 64));
    p = L"abcdef";
    ASSERT_TRUE(NextArg(p, arg, 4));
    EXPECT_STREQ(arg, L"abc");
}
