// The container layout and the builder's small utilities, with exact expectations.
#include <gtest/gtest.h>

#include <windows.h>

#include "containerbytes.h"
#include "u_build.h"
#include "u_utils.h"

TEST(ByteSum, SumsUnsignedBytesWithWrapAround) {
    EXPECT_EQ(ByteSum("abc", 3), 294u);
    EXPECT_EQ(ByteSum("", 0), 0u);
    const unsigned char high[] = {0xFF, 0x80};
    EXPECT_EQ(ByteSum(high, 2), 383u);
    EXPECT_EQ(ByteSum("abc", 3, 0xFFFFFFFFu), 293u);  // continues and wraps
}

TEST(SettingsRecord, EncodesEveryFieldAtItsOffset) {
    SettingsRecord r;
    memset(&r, 0, sizeof(r));
    r.ExtractionMode = 1;
    r.ExtractionFolder = 5;
    strcpy(r.CmdParameters, "-x");
    strcpy(r.CustomFolder, "%TEMP%\\a\\");
    strcpy(r.InstanceName, "00ABCDEF01");
    r.OpenFolder = 1;
    r.Compressed = 1;
    r.OneInstance = 1;
    r.SilentMode = 1;
    r.SelfDeleteMode = 1;
    r.DeleteMode = 2;
    r.WorkingDirectory = 1;
    r.OverwriteMode = 2;
    uint8_t bytes[SettingsRecordSize];
    EncodeSettings(r, bytes);
    std::string expected(2330, '\0');
    expected[0] = 1;
    expected[1] = 5;
    expected.replace(2, 2, "-x");
    expected.replace(2050, 9, "%TEMP%\\a\\");
    expected.replace(2311, 10, "00ABCDEF01");
    const char tail[] = {1, 1, 1, 1, 1, 2, 1, 2};
    expected.replace(2322, 8, tail, 8);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(bytes), 2330), expected);

    // Decoding keeps the bytes and always ends the texts, even when the stored ones do not.
    memset(bytes + 2, 'p', 2048);
    SettingsRecord back;
    DecodeSettings(bytes, back);
    EXPECT_EQ(strlen(back.CmdParameters), 2047u);
    EXPECT_EQ(back.DeleteMode, 2);
    EXPECT_STREQ(back.InstanceName, "00ABCDEF01");
}

TEST(EntryHeader, SeventeenLittleEndianBytes) {
    uint8_t bytes[EntryHeaderSize];
    EncodeEntryHeader({1, 12, 0x01020304, 0xA1B2C3D4, 0x10}, bytes);
    const uint8_t expected[] = {1, 12, 0, 0, 0, 4, 3, 2, 1, 0xD4, 0xC3, 0xB2, 0xA1, 0x10, 0, 0, 0};
    EXPECT_EQ(memcmp(bytes, expected, 17), 0);
    EntryHeader h = DecodeEntryHeader(expected);
    EXPECT_EQ(h.Kind, 1);
    EXPECT_EQ(h.NameLength, 12);
    EXPECT_EQ(h.DataSize, 0x01020304);
    EXPECT_EQ(h.FileTime, 0xA1B2C3D4u);
    EXPECT_FALSE(IsTerminator(h));
    const uint8_t negative[] = {0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0x80, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(DecodeEntryHeader(negative).NameLength, -1);
    EXPECT_EQ(DecodeEntryHeader(negative).DataSize, INT32_MIN);
    const uint8_t zero[17] = {};
    EXPECT_TRUE(IsTerminator(DecodeEntryHeader(zero)));
    const uint8_t kindOnly[17] = {2};
    EXPECT_TRUE(IsTerminator(DecodeEntryHeader(kindOnly)));  // readers test the four fields only

    uint8_t chunk[ChunkHeaderSize];
    EncodeChunkHeader({9437184, 1234}, chunk);
    const uint8_t expectedChunk[] = {0, 0, 0x90, 0, 0xD2, 4, 0, 0};
    EXPECT_EQ(memcmp(chunk, expectedChunk, 8), 0);
    EXPECT_EQ(DecodeChunkHeader(expectedChunk).PlainLength, 9437184);
}

TEST(FormatSize, UnitsAndDecimals) {
    auto f = [](int64_t v, char sep = '.') {
        char text[48];
        FormatSize(v, sep, text, sizeof(text));
        return std::string(text);
    };
    EXPECT_EQ(f(0), "0 B");
    EXPECT_EQ(f(1023), "1023 B");
    EXPECT_EQ(f(1024), "1.0 kB");
    EXPECT_EQ(f(1536), "1.5 kB");
    EXPECT_EQ(f(1048575), "1024.0 kB");  // 1023.999 rounds up within its unit
    EXPECT_EQ(f(1048576), "1.00 MB");
    EXPECT_EQ(f(1073741824), "1.000 GB");
    EXPECT_EQ(f(1099511627776LL), "1.0000 TB");
    EXPECT_EQ(f(5 * 1099511627776LL + 549755813888LL), "5.5000 TB");
    EXPECT_EQ(f(9437184), "9.00 MB");
    EXPECT_EQ(f(1101), "1.1 kB");     // 1.0752
    EXPECT_EQ(f(1075), "1.0 kB");     // 1.0498
    EXPECT_EQ(f(1076), "1.1 kB");     // 1.0508
    EXPECT_EQ(f(1126), "1.1 kB");     // 1.0996
    EXPECT_EQ(f(1127), "1.1 kB");     // 1.1006
    EXPECT_EQ(f(-1536), "-1.5 kB");
    EXPECT_EQ(f(-5), "-5 B");
    EXPECT_EQ(f(1536, ','), "1,5 kB");
    EXPECT_EQ(f(INT64_MAX), "8388608.0000 TB");
    char small[5];
    EXPECT_EQ(FormatSize(1536, '.', small, sizeof(small)), 4);
    EXPECT_STREQ(small, "1.5 ");
}

TEST(Utilities, PathsAndVersions) {
    EXPECT_EQ(AddTrailingDelimiter(L""), L"");
    EXPECT_EQ(AddTrailingDelimiter(L"C:\\a"), L"C:\\a\\");
    EXPECT_EQ(AddTrailingDelimiter(L"C:\\a\\"), L"C:\\a\\");
    EXPECT_EQ(Trim(L" \t\x01" L"a b\r\n "), L"a b");
    EXPECT_EQ(Trim(L"   "), L"");
    EXPECT_EQ(ShortVersion(L"1.2.3.4"), L"1.2");
    EXPECT_EQ(ShortVersion(L"10.20"), L"10.20");
    EXPECT_EQ(ShortVersion(L""), L"");
    EXPECT_EQ(ExtractFileDir(L"C:\\a\\b.exe"), L"C:\\a");
    EXPECT_EQ(ExtractFileDir(L"C:\\b.exe"), L"C:\\");
    EXPECT_EQ(ExtractFileDir(L"b.exe"), L"");
    EXPECT_EQ(ExtractFileDir(L""), L"");
    EXPECT_TRUE(SameText(L"C:\\Src\\Setup.EXE", L"c:\\src\\setup.exe"));
    EXPECT_TRUE(StartsText(L"C:\\SRC\\", L"c:\\src\\a.exe"));
    EXPECT_FALSE(StartsText(L"C:\\src\\", L"C:\\src2\\a.exe"));
    EXPECT_EQ(UpperExtension(L"C:\\a.b\\Icon.ico"), L".ICO");
    EXPECT_EQ(UpperExtension(L"C:\\a.b\\icon"), L"");
    EXPECT_EQ(UpperExtension(L"C:\\a.b/icon"), L"");
    EXPECT_FALSE(ShellOpen(L"  "));
    EXPECT_EQ(ReadFileVersion(ModulePath()), L"");  // test programs carry no version information
}

TEST(Utilities, NormalisePaths) {
    wchar_t cwd[MAX_PATH];
    GetCurrentDirectoryW(MAX_PATH, cwd);
    std::wstring base = AddTrailingDelimiter(cwd);
    BuildSettings s;
    s.Source = L"  src ";
    s.Target = L"\tout\\t.exe ";
    s.ExecutableFile = L"";
    s.CmdParameters = L"  -a -b  ";
    s.CustomFolder = L" %TEMP%\\x ";
    s.Icon = L" icon.ico ";
    NormalisePaths(s);
    EXPECT_EQ(s.Source, base + L"src\\");
    EXPECT_EQ(s.Target, base + L"out\\t.exe");
    EXPECT_EQ(s.ExecutableFile, L"");
    EXPECT_EQ(s.CmdParameters, L"-a -b");
    EXPECT_EQ(s.CustomFolder, L"%TEMP%\\x\\");  // never made absolute
    EXPECT_EQ(s.Icon, L" icon.ico ");            // trimmed only where it is tested
}
