// The builder's path forming and its one crossing into code-page bytes. Wine's
// W functions take long paths without the prefix, so only this test shows that
// the prefix is there.
#include <gtest/gtest.h>

#include <windows.h>

#include "u_paths.h"

namespace {

// Restores the current folder when it goes.
struct CurrentFolder {
    wchar_t old[MAX_PATH];
    explicit CurrentFolder(const wchar_t* dir) {
        GetCurrentDirectoryW(MAX_PATH, old);
        SetCurrentDirectoryW(dir);
    }
    ~CurrentFolder() { SetCurrentDirectoryW(old); }
};

}  // namespace

TEST(Paths, LongFormsOfFullPaths) {
    const std::wstring deep = std::wstring(150, L'a') + L"\\" + std::wstring(150, L'b') + L"\\f.txt";
    struct Case {
        std::wstring in, out;
    } cases[] = {
        {L"C:\\short\\f.txt", L"C:\\short\\f.txt"},  // short: as it is
        {L"C:\\" + deep, L"\\\\?\\C:\\" + deep},
        {L"z:\\" + deep, L"\\\\?\\z:\\" + deep},
        {L"\\\\server\\share\\" + deep, L"\\\\?\\UNC\\server\\share\\" + deep},
        {L"\\\\?\\C:\\" + deep, L"\\\\?\\C:\\" + deep},  // already in the long form
        {L"\\\\?\\UNC\\s\\x\\" + deep, L"\\\\?\\UNC\\s\\x\\" + deep},
        {L"\\\\.\\pipe\\" + deep, L"\\\\.\\pipe\\" + deep},  // a device path is no file path
    };
    for (const Case& c : cases) EXPECT_EQ(LongPathForm(c.in), c.out) << c.in.size();
    // The limit is that of a folder: MAX_PATH - 12 characters.
    EXPECT_EQ(LongPathForm(L"C:\\" + std::wstring(244, L'x')), L"C:\\" + std::wstring(244, L'x'));
    EXPECT_EQ(LongPathForm(L"C:\\" + std::wstring(245, L'x')), L"\\\\?\\C:\\" + std::wstring(245, L'x'));
}

TEST(Paths, RelativeAndDotDotResolvedFirst) {
    CurrentFolder here(L"C:\\");
    const std::wstring deep = std::wstring(200, L'd') + L"\\" + std::wstring(100, L'e');
    struct Case {
        std::wstring in, out;
    } cases[] = {
        {L"rel\\" + deep, L"\\\\?\\C:\\rel\\" + deep},
        {L"a\\..\\" + deep, L"\\\\?\\C:\\" + deep},
        {L"C:\\x\\y\\..\\..\\z\\.\\" + deep, L"\\\\?\\C:\\z\\" + deep},
        {L"C:/x/../" + deep, L"\\\\?\\C:\\" + deep},
        {L"\\\\server\\share\\d\\..\\" + deep, L"\\\\?\\UNC\\server\\share\\" + deep},
        {L"rel\\f.txt", L"C:\\rel\\f.txt"},
        {L"a\\..\\f.txt", L"C:\\f.txt"},
        {L"", L""},
    };
    for (const Case& c : cases) EXPECT_EQ(ApiPath(c.in), c.out) << c.in.substr(0, 30);
    EXPECT_EQ(FullPath(L"a\\..\\b\\"), L"C:\\b\\");
}

TEST(Paths, CodePageCrossingNeverBestFits) {
    ASSERT_EQ(GetACP(), 1252u);
    std::string bytes;
    EXPECT_TRUE(ToCodePage(L"caf\u00E9\\\u20AC.txt", bytes));
    EXPECT_EQ(bytes, "caf\xE9\\\x80.txt");
    EXPECT_TRUE(ToCodePage(L"", bytes));
    EXPECT_EQ(bytes, "");
    // Look-alikes that best fit would turn into '/', '"', '8', '\' or '?': no
    // exact form.
    for (const wchar_t* text : {L"..\u2215outside.txt", L"q\uFF02w", L"inf\u221E", L"\uFE68x", L"\u041F\u0440\u0438",
                                L"\u5F20", L"\U0001F600", L"lone\xD800"})
        EXPECT_FALSE(ToCodePage(text, bytes)) << bytes;
    EXPECT_EQ(AnsiToWide("caf\xE9"), L"caf\u00E9");
}
