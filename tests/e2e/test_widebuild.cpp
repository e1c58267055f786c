// Builds from paths outside the code page and beyond MAX_PATH, and record texts
// that have no exact code-page form. Runs under code page 1252.
#include <gtest/gtest.h>

#include "buildtools.h"
#include "sfxreader.h"
#include "widetools.h"

namespace {

// One source tree: the program to run, an icon and data in a sub-folder. Every entry gets one
// fixed time, so two trees made apart in time store the same bytes.
bool MakeTree(const std::wstring& src) {
    const FILETIME t{0x12345600u, 0x01D70000u};
    return MakeTreeW(src, {{"setup.exe", ReadFileW(WBinDir() + L"sample_app.exe"), t},
                           {"data\\", "", t},
                           {"data\\a.bin", SomeBytes(300000, 7), t},
                           {"data\\caf\xC3\xA9.txt", "code-page name", t}});
}

// The SFX file's bytes with its InstanceName blanked (the only field two builds
// differ in).
std::string Comparable(const std::wstring& sfx) {
    std::string bytes = ReadFileW(sfx);
    uint32_t record = ImageEnd(bytes);
    if (record && bytes.size() >= record + 2330u) bytes.replace(record + 2311, 10, 10, '#');
    return bytes;
}

}  // namespace

TEST(WideBuild, SystemCodePageIs1252) { ASSERT_EQ(GetACP(), 1252u); }

// Source, target, program and icon outside the code page give the SFX file of
// plain paths.
TEST(WideBuild, PathsOutsideTheCodePageBuildTheSameFile) {
    WideFolder plain(L"qplain"), wide(L"\u041F\u0440\u0438\u0432\u0435\u0442 \u5F20\u4F1F ");
    const std::wstring plainBase = plain.path, wideBase = wide.path + L"\U0001F600 \uC124\uCE58\\";
    const std::string ico = ReadFileW(U16(QUILLET_SOURCE_DIR "/tests/data/three.ico"));
    ASSERT_FALSE(ico.empty());
    for (const std::wstring& base : {plainBase, wideBase}) {
        ASSERT_TRUE(MakeTree(base + L"src\\"));
        WriteFileW(base + L"icon.ico", ico);
    }
    const struct {
        const wchar_t* args;  // %S source, %T target, %P program, %I icon
        bool window;
    } cases[] = {
        {L"%S %T", false},        {L"-mf -uh %S %T %P \"a b\"", false}, {L"-mf -ic -iv %S %T %P %P", false},
        {L"-ic %S %T %I", false}, {L"-mf -o %S %T %P", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(U8(c.args) + (c.window ? " (window)" : ""));
        std::wstring sfx[2];
        for (int i = 0; i < 2; ++i) {
            std::wstring base = i ? wideBase : plainBase, src = base + L"src\\";
            sfx[i] = base + (i ? L"\uC124\uCE58 \U0001F600.exe" : L"t.exe");
            DeleteFileW(sfx[i].c_str());
            std::wstring args = c.args, out;
            for (size_t k = 0; k < args.size(); ++k) {
                if (args[k] == L'%' && k + 1 < args.size()) {
                    wchar_t v = args[++k];
                    out += QW(v == L'S'   ? src
                              : v == L'T' ? sfx[i]
                              : v == L'I' ? base + L"icon.ico"
                                          : src + L"setup.exe");
                } else {
                    out += args[k];
                }
            }
            ASSERT_EQ(BuildW(out, base, c.window), 0u);
            ASSERT_TRUE(ExistsW(sfx[i]));
        }
        std::string a = Comparable(sfx[0]), b = Comparable(sfx[1]);
        EXPECT_GT(a.size(), 300000u);
        EXPECT_EQ(a.size(), b.size());
        EXPECT_TRUE(a == b) << Differences(b, a);
    }
}

// A source folder of about 400 characters, and a target beyond MAX_PATH beside
// it.
TEST(WideBuild, DeepSourceFolder) {
    WideFolder top(L"qdeep");
    std::wstring src = top.path;
    while (src.size() < 400) src += std::wstring(60, L'd') + L"\u5F20\\";
    std::wstring target = top.path + std::wstring(250, L't') + L"\\out.exe";
    MakeFoldersW(src);
    MakeFoldersW(target);
    WriteFileW(src + L"one.txt", "first");
    MakeFolderW(src + L"sub");
    WriteFileW(src + L"sub\\two.bin", SomeBytes(5000, 3));
    ASSERT_EQ(BuildW(QW(src) + L" " + QW(target), top.path), 0u);
    // Read back through a short copy: the reader works on short paths.
    std::wstring copy = top.path + L"copy.exe";
    WriteFileW(copy, ReadFileW(target));
    SfxFile f = ReadSfx(U8(copy));
    ASSERT_EQ(f.error, "");
    ASSERT_EQ(f.entries.size(), 3u);
    const SfxEntry* one = f.Find("one.txt");
    const SfxEntry* two = f.Find("sub\\two.bin");
    ASSERT_TRUE(one && two);
    EXPECT_EQ(one->data, "first");
    EXPECT_EQ(two->data, SomeBytes(5000, 3));
    // Nothing is left beside the target but the target.
    EXPECT_EQ(TreeW(target.substr(0, target.rfind(L'\\') + 1)).size(), 1u);
}

// The record's texts outside the code page go into the extension, in UTF-16, and the record's
// own text fields stay empty. A lone surrogate has no form at all, and a name longer than an
// extractor takes is refused: both up front, naming the text or the file.
TEST(WideBuild, RecordTextsOutsideTheCodePage) {
    WideFolder top(L"qfield");
    std::wstring src = top.path + L"src\\", out = top.path + L"out\\";
    MakeFolderW(src);
    MakeFolderW(out);
    WriteFileW(src + L"setup.exe", ReadFileW(WBinDir() + L"launch_probe.exe"));
    auto expand = [&](const std::wstring& pattern) {
        std::wstring args;
        for (size_t k = 0; k < pattern.size(); ++k) {
            if (pattern.compare(k, 2, L"%S") == 0)
                args += QW(src), ++k;
            else if (pattern.compare(k, 2, L"%T") == 0)
                args += QW(out + L"t.exe"), ++k;
            else if (pattern.compare(k, 2, L"%P") == 0)
                args += QW(src + L"setup.exe"), ++k;
            else
                args += pattern[k];
        }
        return args;
    };
    const struct {
        std::wstring args, cmd, folder;
    } stored[] = {
        {L"-mf %S %T %P \"a\uFF02 b\"", L"a\uFF02 b", L""},
        {L"-fm %S %T %APPDATA%\\\u5F20\u4F1F", L"", L"%APPDATA%\\\u5F20\u4F1F\\"},
        {L"-mf -fm %S %T %P C:\\x \"\U0001F600\"", L"\U0001F600", L"C:\\x\\"},
    };
    for (const auto& c : stored) {
        SCOPED_TRACE(U8(c.args));
        DeleteFileW((out + L"t.exe").c_str());
        ASSERT_EQ(BuildW(L"-o " + expand(c.args), top.path), 0u);
        WriteFileW(top.path + L"copy.exe", ReadFileW(out + L"t.exe"));
        SfxFile f = ReadSfx(U8(top.path + L"copy.exe"));
        ASSERT_EQ(f.error, "");
        EXPECT_TRUE(f.extended);
        EXPECT_EQ(f.cmdParameters, c.cmd);
        EXPECT_EQ(f.customFolder, c.folder);
        EXPECT_EQ(f.Text(2, 2048) + f.Text(2050, 261), "");
    }
    DeleteFileW((out + L"t.exe").c_str());
    WriteFileW(src + std::wstring(200, L'a'), "");
    MakeFolderW(src + std::wstring(200, L'b'));
    const std::wstring deep = std::wstring(200, L'b') + L"\\" + std::wstring(200, L'c') + L"\\" + std::wstring(200, L'd');
    MakeFolderW(src + deep.substr(0, 401));
    WriteFileW(src + deep, "");
    const struct {
        std::wstring args, text;
    } refused[] = {
        {L"-mf %S %T %P \"a \xD800 b\"", L"CmdParameters"},
        {L"-fm %S %T C:\\\xDC00", L"CustomFolder"},
        {L"%S %T", L"경로가 512자보다 긴 파일은 SFX 파일에 넣을 수 없습니다.\r\n\r\n" + src + deep},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(U8(c.args));
        Refusal r = BuildRefusedW(L"-o " + expand(c.args), top.path, 30000);
        EXPECT_EQ(r.box.caption, L"Error");
        EXPECT_NE(r.box.text.find(c.text), std::wstring::npos) << U8(r.box.text);
        EXPECT_EQ(r.code, 0u);
        EXPECT_TRUE(TreeW(out).empty());
    }
    RemoveTreeW(src + std::wstring(200, L'b'));
    // The same texts in the code page build.
    ASSERT_EQ(BuildW(L"-mf -fm -o " + QW(src) + L" " + QW(out + L"t.exe") + L" " + QW(src + L"setup.exe") +
                         L" %APPDATA%\\caf\u00E9 \"\u00E9 b\"",
                     top.path),
              0u);
    std::string bytes = ReadFileW(out + L"t.exe");
    uint32_t record = ImageEnd(bytes);
    ASSERT_GT(bytes.size(), record + 2330u);
    EXPECT_EQ(bytes.substr(record + 2, 4), std::string("\xE9 b", 3) + '\0');
    EXPECT_EQ(bytes.substr(record + 2050, 16), std::string("%APPDATA%\\caf\xE9\\") + '\0');
}
