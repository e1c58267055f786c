// SFX files of the extended container: names and record texts that the system code page lacks,
// a file of more than 2 GiB, and the 4 GiB limit of an SFX file. Runs under code page 1252 and
// under 949; every path and command line goes through the W functions.
#include <gtest/gtest.h>

#include <map>
#include <tuple>

#include "sfxtools.h"
#include "u_errors.h"
#include "u_paths.h"
#include "u_sfxtarget.h"
#include "widetools.h"

namespace {

void SetTimeAndAttributes(const std::wstring& path, const FILETIME& t, DWORD attributes) {
    HANDLE h = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << U8(path);
    SetFileTime(h, nullptr, nullptr, &t);
    CloseHandle(h);
    SetFileAttributesW(path.c_str(), attributes);
}

// The wide tree: emoji, CJK, Cyrillic and Hangul names, and look-alikes that best fit would turn
// into "..\x", 'q"w' and "inf8". One name fits every code page.
void MakeWideTree(const std::wstring& src) {
    MakeFolderW(src);
    MakeFolderW(src + L"\u5F20\u4F1F");
    MakeFolderW(src + L"\uC124\uCE58 \U0001F4E6");
    const std::pair<const wchar_t*, std::string> files[] = {
        {L"\U0001F600 smile.txt", "smile"},
        {L"\u5F20\u4F1F\\\u6DF1\u3044\u30D5\u30A9\u30EB\u30C0.bin", SomeBytes(150000, 5)},
        {L"\u041F\u0440\u0438\u0432\u0435\u0442.txt", "privet"},
        {L"\uC124\uCE58 \U0001F4E6\\\uD55C\uAE00 \uC774\uB984.dat", SomeBytes(4000, 6)},
        {L"..\u2215x", "look-alike slash"},
        {L"q\uFF02w", "look-alike quote"},
        {L"inf\u221E", "look-alike eight"},
        {L"plain.txt", ""},
    };
    FILETIME t = MakeTime(2021, 6, 7, 8, 9, 10);
    for (const auto& [name, bytes] : files) {
        WriteFileW(src + name, bytes);
        SetTimeAndAttributes(src + name, t, FILE_ATTRIBUTE_ARCHIVE);
        t.dwHighDateTime += 3;
    }
    SetFileAttributesW((src + L"q\uFF02w").c_str(), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    SetFileAttributesW((src + L"inf\u221E").c_str(), FILE_ATTRIBUTE_HIDDEN);
}

const std::string Planted = "PLANTED OUTSIDE";

}  // namespace

// The whole tree, with its names, data, times and attributes, and nothing outside the folder.
TEST(Extended, WideTreeExtractsExactly) {
    ASSERT_TRUE(GetACP() == 1252 || GetACP() == 949) << GetACP();
    WideFolder base(L"qext");
    std::wstring src = base.path + L"src\\", dest = base.path + L"out\\\u5F20 \U0001F600\\";
    MakeWideTree(src);
    MakeFolderW(base.path + L"out");
    WriteFileW(base.path + L"out\\x", Planted);  // where "..\x" would land
    std::wstring sfx = base.path + L"t.exe";
    ASSERT_EQ(BuildW(L"-o -s -fm " + QW(src) + L" " + QW(sfx) + L" " + QW(dest), base.path), 0u);
    SfxFile f = ReadSfx(U8(sfx));
    ASSERT_EQ(f.error, "");
    EXPECT_TRUE(f.extended);
    EXPECT_EQ(f.customFolder, dest);
    EXPECT_EQ(f.entries.size(), TreeW(src).size());
    ASSERT_EQ(RunSfxW(sfx, L"", base.path.c_str()), 0u);
    EXPECT_EQ(TreeW(dest), TreeW(src));
    EXPECT_EQ(MetaW(dest), MetaW(src));
    EXPECT_EQ(ReadFileW(base.path + L"out\\x"), Planted);
    EXPECT_EQ(TreeW(base.path + L"out\\").size(), TreeW(src).size() + 2) << "the folder and x, nothing else";
}

// The program to run has such a name, and so have its stored parameters: it gets them and the
// run's own arguments, and the clean-up removes everything from the temporary folder.
TEST(Extended, ProgramWithWideNameRuns) {
    WideFolder base(L"qextrun");
    SfxFile f = ExpectWideProgramRuns(base.path, L"", L"\uC124\uCE58 \U0001F600 \u0417.exe",
                                      L"\"\u5F20\uFF02 \U0001F4E6\"", L"\u041F \"a b\"",
                                      {L"\u5F20\uFF02", L"\U0001F4E6", L"\u041F", L"a b"});
    EXPECT_TRUE(f.extended);
}

// Names that all fit the code page keep the original form: 17-byte headers, code-page names.
TEST(Extended, CodePageTreeKeepsTheOriginalForm) {
    WideFolder base(L"qorig");
    std::wstring src = base.path + L"src\\", sfx = base.path + L"t.exe";
    const std::wstring local = GetACP() == 949 ? L"\uD55C\uAE00.txt" : L"caf\u00E9.txt";
    MakeFolderW(src);
    MakeFolderW(src + L"sub");
    WriteFileW(src + local, "local");
    WriteFileW(src + L"sub\\a.bin", SomeBytes(20000, 2));
    ASSERT_EQ(BuildW(L"-o -mf " + QW(src) + L" " + QW(sfx) + L" " + QW(src + local) + L" \"" + local + L"\"",
                     base.path),
              0u);
    SfxFile f = ReadSfx(U8(sfx));
    ASSERT_EQ(f.error, "");
    EXPECT_FALSE(f.extended);
    EXPECT_EQ(f.terminatorOffset + 17, ReadFileW(sfx).size());
    const SfxEntry* e = f.Find(local);
    ASSERT_TRUE(e);
    char bytes[32];
    int n = WideCharToMultiByte(CP_ACP, 0, local.c_str(), -1, bytes, sizeof(bytes), nullptr, nullptr);
    EXPECT_EQ(e->storedName, std::string(bytes, n - 1));
    EXPECT_EQ(f.Text(2, 2048), std::string(bytes, n - 1));
    EXPECT_EQ(f.entries.size(), 3u);
    for (const SfxEntry& entry : f.entries) EXPECT_EQ(entry.kind, entry.name == std::string(bytes, n - 1) ? 1 : 0);
}

// A file of just over 2 GiB (sparse in the source): the extended form's 64-bit size, extracted
// exactly, with data on both sides of 2 GiB.
TEST(Extended, FileAboveTwoGigabytesExtractsExactly) {
    WideFolder base(L"qbig");
    std::wstring src = base.path + L"src\\", dest = base.path + L"out\\", sfx = base.path + L"big.exe";
    MakeFolderW(src);
    const LONGLONG size = (1LL << 31) + (1 << 20) + 123;
    const std::pair<LONGLONG, std::string> pieces[] = {
        {0, SomeBytes(1 << 20, 1)}, {(1LL << 31) - 700000, SomeBytes(1500000, 2)}, {size - 90000, SomeBytes(90000, 3)}};
    HANDLE h = CreateFileW((src + L"disk.img").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    for (const auto& [at, bytes] : pieces) {
        LARGE_INTEGER to;
        to.QuadPart = at;
        DWORD written = 0;
        ASSERT_TRUE(SetFilePointerEx(h, to, nullptr, FILE_BEGIN) &&
                    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
    }
    CloseHandle(h);
    WriteFileW(src + L"small.txt", "small");
    ASSERT_EQ(BuildW(L"-o -s -fm " + QW(src) + L" " + QW(sfx) + L" " + QW(dest), base.path), 0u);
    SfxFile f = ReadSfx(U8(sfx), false);
    ASSERT_EQ(f.error, "");
    EXPECT_TRUE(f.extended);
    ASSERT_TRUE(f.Find(L"disk.img"));
    EXPECT_EQ(f.Find(L"disk.img")->size, size);
    EXPECT_EQ(f.Find(L"disk.img")->computedSum, f.Find(L"disk.img")->storedSum);

    ASSERT_EQ(RunSfxW(sfx, L"", base.path.c_str()), 0u);
    EXPECT_EQ(ReadFileW(dest + L"small.txt"), "small");
    EXPECT_EQ(MetaW(dest), MetaW(src));
    // Compared piece by piece: zeros but where the pieces lie.
    HANDLE out = CreateFileW((dest + L"disk.img").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    std::string block(16 << 20, '\0'), expected;
    LONGLONG done = 0, wrong = -1;
    for (DWORD got = 1; got && wrong < 0; done += got) {
        ASSERT_TRUE(ReadFile(out, &block[0], static_cast<DWORD>(block.size()), &got, nullptr));
        expected.assign(got, '\0');
        for (const auto& [at, bytes] : pieces)
            for (LONGLONG i = std::max(at, done); i < std::min<LONGLONG>(at + bytes.size(), done + got); ++i)
                expected[i - done] = bytes[i - at];
        if (memcmp(block.data(), expected.data(), got)) wrong = done;
    }
    CloseHandle(out);
    EXPECT_EQ(wrong, -1) << "the block at " << wrong << " differs";
    EXPECT_EQ(done, size);
}

// The writer's limit where it lies, without packing 4 GiB: the builder's own writer, its fresh
// file made 4 GiB less 5 bytes long (sparse, so it costs no disk), takes 4 bytes more, then not
// one: the refusal the builder shows, nothing written and nothing left, not even the fresh file.
// A chunk (written straight through, not buffered) is refused whole too.
TEST(Extended, WriterRefusesTheByteThatReaches4GiB) {
    WideFolder base(L"qlimit");
    const std::wstring sfx = base.path + L"t.exe";
    auto sizeOf = [](const std::wstring& path) {
        WIN32_FILE_ATTRIBUTE_DATA d{};
        GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &d);
        return static_cast<LONGLONG>(d.nFileSizeHigh) << 32 | d.nFileSizeLow;
    };
    const LONGLONG limit = 1LL << 32;
    const std::wstring text = L"SfxTooLarge: Cannot write file \"" + sfx +
                              L"\". An SFX file of 4 GB (4,294,967,296 bytes) or more cannot run: Windows starts no "
                              L"program file that large.";
    const std::string chunk = SomeBytes(100000, 1);
    const struct {
        LONGLONG size;
        std::string bytes;
        bool refused;
    } cases[] = {
        {limit - 5, "abcd", false}, {limit - 1, "e", true}, {limit - 5, "abcde", true},
        {limit - 100001, chunk, false}, {limit - 100000, chunk, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " + " + std::to_string(c.bytes.size()));
        DeleteFileW(sfx.c_str());
        std::wstring refusal;
        LONGLONG grown = -1;
        {
            SfxTarget out(sfx, ApiPath(sfx), ResourceData{});
            HANDLE h = CreateFileW(out.Path().c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
            LARGE_INTEGER at;
            at.QuadPart = c.size;
            EXPECT_TRUE(SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && SetEndOfFile(h));
            CloseHandle(h);
            out.OpenForAppend(false);
            try {
                out.Write(c.bytes);
                out.Flush();
            } catch (const BuildError& e) {
                refusal = U16(e.Kind()) + L": " + e.Message();
            }
            grown = sizeOf(out.Path()) - c.size;
            if (refusal.empty()) out.Commit();
        }
        EXPECT_EQ(refusal, c.refused ? text : L"");
        EXPECT_EQ(grown, c.refused ? 0 : static_cast<LONGLONG>(c.bytes.size()));
        std::vector<std::wstring> left;
        for (const auto& item : MetaW(base.path)) left.push_back(item.first);
        EXPECT_EQ(left, c.refused ? std::vector<std::wstring>{} : std::vector<std::wstring>{L"t.exe"});
        if (!c.refused) {
            EXPECT_EQ(sizeOf(sfx), c.size + static_cast<LONGLONG>(c.bytes.size()));
        }
    }
}

// A build whose SFX file would reach 4 GiB fails like a write failure, saying why; the previous
// SFX file stays and no temporary file is left. The source: 65 links to one file of 64 MiB of
// noise, which does not pack. It packs 4 GiB: a run by hand (label "heavy").
TEST(Extended, SfxFileOfFourGigabytesIsRefused) {
    WideFolder base(L"qhuge");
    std::wstring src = base.path + L"src\\", out = base.path + L"out\\", sfx = out + L"t.exe";
    MakeFolderW(src);
    MakeFolderW(out);
    WriteFileW(src + L"0.bin", Noise(64 << 20, 0));
    for (int i = 1; i < 65; ++i)
        ASSERT_TRUE(CreateHardLinkW((src + std::to_wstring(i) + L".bin").c_str(), (src + L"0.bin").c_str(), nullptr));
    // The classic form, and the compact one, whose frames wait in a spool beside the target: the
    // noise packs no smaller in either.
    for (const wchar_t* form : {L"", L"-z "}) {
        SCOPED_TRACE(form);
        WriteFileW(sfx, "previous");
        Process p(QW(WBinDir() + L"quillet.exe") + L" -h -c -o " + form + QW(src) + L" " + QW(sfx), base.path.c_str());
        HWND box = WaitForWindow(p.Id(), kDialogClass, 600000);
        ASSERT_TRUE(box) << "no error box";
        MessageBoxView v = ReadMessageBox(box);
        EXPECT_EQ(v.caption, L"Application Error");
        EXPECT_EQ(v.text, L"SfxTooLarge: Cannot write file \"" + sfx +
                              L"\". An SFX file of 4 GB (4,294,967,296 bytes) or more cannot run: Windows starts no "
                              L"program file that large.");
        PressButton(box, IDOK);
        EXPECT_EQ(ExpectEndsWithoutMessages(p, 60000), 1u);
        EXPECT_EQ(ReadFileW(sfx), "previous");
        EXPECT_EQ(TreeW(out).size(), 1u) << "no temporary file beside the target";
    }
}
