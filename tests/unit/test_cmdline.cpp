// The builder's command-line reading: tokenizer, switches, positional parameters.
// Runs under code page 1252 and 949; the double-byte cases check whichever is active.
#include <gtest/gtest.h>

#include <vector>

#include "CmdLineHelper.h"
#include "cmdparams.h"
#include "describe.h"
#include "u_settings.h"
#include "winprocess.h"

namespace {

// The cases are written in code-page bytes, as the command line of the A functions was; they
// reach the reading as the system converts them, and come back the same way.
std::wstring W(const std::string& text) {
    std::wstring out(text.size() + 1, L'\0');
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), &out[0],
                                static_cast<int>(out.size()));
    out.resize(n > 0 ? n : 0);
    return out;
}
std::string A(const std::wstring& text) {
    std::string out(text.size() * 2 + 1, '\0');
    BOOL usedDefault = FALSE;
    int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.c_str(), static_cast<int>(text.size()), &out[0],
                                static_cast<int>(out.size()), nullptr, &usedDefault);
    EXPECT_FALSE(usedDefault);
    out.resize(n > 0 ? n : 0);
    return out;
}
int CmdParamCount(const std::string& line) { return ::CmdParamCount(W(line).c_str()); }
std::string CmdParamStr(int i, const std::string& line) { return A(::CmdParamStr(i, W(line).c_str())); }
int PositionalCount(const std::string& line) { return ::PositionalCount(W(line).c_str()); }
std::string PositionalParam(int k, const std::string& line) { return A(::PositionalParam(k, W(line).c_str())); }
bool SwitchPresent(const char* name, const std::string& line) { return ::SwitchPresent(W(name).c_str(), W(line).c_str()); }

std::vector<std::string> Params(const std::string& line) {
    std::vector<std::string> out;
    for (int i = 1, n = CmdParamCount(line.c_str()); i <= n; ++i) out.push_back(CmdParamStr(i, line.c_str()));
    return out;
}

using V = std::vector<std::string>;

StartupSettings Read(const std::string& args) {
    return ReadStartupSettings(W("quillet.exe " + args).c_str());
}

// 0xB0 starts a double-byte character in code pages 949 and 950, not in 1252.
bool DoubleByte() { return IsDBCSLeadByte(0xB0); }

}  // namespace

TEST(Tokenizer, SplitsOnBlanksTabsAndControlCharacters) {
    EXPECT_EQ(Params("q.exe a b"), (V{"a", "b"}));
    EXPECT_EQ(Params("q.exe   a \t b\t"), (V{"a", "b"}));
    EXPECT_EQ(Params("q.exe a\x01" "b\x1f" "c"), (V{"a", "b", "c"}));
    EXPECT_EQ(Params("q.exe"), V{});
    EXPECT_EQ(Params("q.exe    "), V{});
    EXPECT_EQ(CmdParamCount("\"C:\\Program Files\\q.exe\" one two"), 2);
    EXPECT_EQ(Params("\"C:\\Program Files\\q.exe\" one"), V{"one"});
}

TEST(Tokenizer, QuotesKeepBlanksTogether) {
    EXPECT_EQ(Params("q.exe \"a b\" c"), (V{"a b", "c"}));
    EXPECT_EQ(Params("q.exe \"a\tb\""), V{"a\tb"});
    EXPECT_EQ(Params("q.exe a\"b c\"d e"), (V{"ab cd", "e"}));
    EXPECT_EQ(Params("q.exe \"unterminated blank"), V{"unterminated blank"});
    EXPECT_EQ(Params("q.exe \"\" x"), (V{"", "x"}));
}

TEST(Tokenizer, BackslashRules) {
    // Three before a quote: one backslash and a literal quote.
    EXPECT_EQ(Params("q.exe a\\\\\\\"b"), V{"a\\\"b"});
    // Four before a quote: two backslashes, and the quote opens a quoted stretch.
    EXPECT_EQ(Params("q.exe a\\\\\\\\\"b c\""), V{"a\\\\b c"});
    // One before a quote: a literal quote, no stretch.
    EXPECT_EQ(Params("q.exe \\\"a b"), (V{"\"a", "b"}));
    // Before anything else they stay as they are.
    EXPECT_EQ(Params("q.exe a\\\\b C:\\dir\\ \\\\server\\share"), (V{"a\\\\b", "C:\\dir\\", "\\\\server\\share"}));
    EXPECT_EQ(Params("q.exe \"C:\\dir\\\\\" next"), (V{"C:\\dir\\", "next"}));
    // The third usage example: parameters for the program with their quotes.
    EXPECT_EQ(Params("q.exe \"\\\"prm 1\\\" \\\"prm 2\\\"\""), V{"\"prm 1\" \"prm 2\""});
}

TEST(Tokenizer, NextParamMeasuresAndAdvances) {
    const wchar_t* line = L"  \"a b\"\\\" rest";
    const wchar_t* pos = line;
    int length = -1;
    ASSERT_TRUE(NextParam(pos, nullptr, &length));
    EXPECT_EQ(length, 4);  // a b"
    EXPECT_STREQ(pos, L" rest");
    wchar_t out[16];
    pos = line;
    ASSERT_TRUE(NextParam(pos, out, &length));
    EXPECT_STREQ(out, L"a b\"");
    ASSERT_TRUE(NextParam(pos, out, nullptr));
    EXPECT_STREQ(out, L"rest");
    EXPECT_FALSE(NextParam(pos, out, &length));
    EXPECT_EQ(*pos, L'\0');
}

// Text outside the code page: every character whole, and look-alikes of the quote, the
// backslash and the slash are ordinary characters (no best fit makes them real ones).
TEST(Tokenizer, TextOutsideTheCodePage) {
    auto params = [](const std::wstring& line) {
        std::vector<std::wstring> out;
        for (int i = 1, n = ::CmdParamCount(line.c_str()); i <= n; ++i) out.push_back(::CmdParamStr(i, line.c_str()));
        return out;
    };
    using WV = std::vector<std::wstring>;
    EXPECT_EQ(params(L"q.exe \"C:\\Привет 张伟\\\\\" \U0001F600.exe"), (WV{L"C:\\Привет 张伟\\", L"\U0001F600.exe"}));
    EXPECT_EQ(params(L"q.exe a\uFF02 b \uFE68\u2215x"), (WV{L"a\uFF02", L"b", L"\uFE68\u2215x"}));
    EXPECT_EQ(params(L"q.exe \"x\u3000y\" \u00A0"), (WV{L"x\u3000y", L"\u00A0"}));  // wide blanks are no separators
    // A switch needs the real hyphen or slash; a fullwidth one is a positional parameter.
    EXPECT_FALSE(::SwitchPresent(L"h", L"q.exe \uFF0Dh src tgt"));
    EXPECT_EQ(::PositionalCount(L"q.exe \uFF0Dh src tgt"), 3);
    StartupSettings st = ReadStartupSettings(L"q.exe -mf -fm Привет\\ 张伟.exe Привет\\run.exe %APPDATA%\\\U0001F600 \"\\\"a\uFF02 b\\\"\"");
    EXPECT_EQ(st.settings.Source, L"Привет\\");
    EXPECT_EQ(st.settings.Target, L"张伟.exe");
    EXPECT_EQ(st.settings.ExecutableFile, L"Привет\\run.exe");
    EXPECT_EQ(st.settings.CustomFolder, L"%APPDATA%\\\U0001F600");
    EXPECT_EQ(st.settings.CmdParameters, L"\"a\uFF02 b\"");
    EXPECT_TRUE(st.flags.CommandLineComplete);
}

TEST(Tokenizer, HighBytesFollowTheSystemCodePage) {
    // 0xA0 is a character of its own in 1252 and a lead byte in 949: never a separator.
    EXPECT_EQ(Params("q.exe a\xA0\xA1" "b c"), (V{"a\xA0\xA1" "b", "c"}));
    // A lead byte whose trail byte is '\' or '"': where the code page has such a pair (Big5 takes
    // '\' as a trail byte, 949 takes neither) it is one character and the trail has no effect of
    // its own; elsewhere it reaches no UTF-16 command line at all. In 1252 they are three
    // separate characters.
    auto whole = [](const std::string& pair) { return W(pair).size() == 1 && A(W(pair)) == pair; };
    if (DoubleByte()) {
        if (whole("\xB0\\")) {
            EXPECT_EQ(Params("q.exe \xB0\\\" x"), V{"\xB0\\ x"});  // the quote after the pair opens
            EXPECT_EQ(Params("q.exe \xB0\\\xB0\\ y"), (V{"\xB0\\\xB0\\", "y"}));
        }
        if (whole("\xB0\"")) {
            EXPECT_EQ(Params("q.exe \"\xB0\"\" x"), (V{"\xB0\"", "x"}));  // the pair's quote is no quote
        }
        EXPECT_EQ(Params("q.exe \xC7\xD1\xB1\xDB \"\xC6\xFA \xB4\xF5\""),
                  (V{"\xC7\xD1\xB1\xDB", "\xC6\xFA \xB4\xF5"}));  // 한글 "폴 더"
    } else {
        EXPECT_EQ(Params("q.exe \xB0\\\" x"), (V{"\xB0\"", "x"}));  // an escaped quote
        EXPECT_EQ(Params("q.exe \"\xB0\"\" x"), V{"\xB0 x"});        // closes and reopens
        EXPECT_EQ(Params("q.exe \xB0\\\xB0\\ y"), (V{"\xB0\\\xB0\\", "y"}));
    }
}

TEST(Tokenizer, IndexedAccess) {
    std::string line = "q.exe -h src /C tgt";
    EXPECT_EQ(CmdParamCount(line), 4);
    EXPECT_EQ(CmdParamStr(3, line), "/C");
    EXPECT_EQ(CmdParamStr(5, line), "");
    EXPECT_EQ(PositionalCount(line), 2);
    EXPECT_EQ(PositionalParam(1, line), "src");
    EXPECT_EQ(PositionalParam(2, line), "tgt");
    EXPECT_EQ(PositionalParam(3, line), "");
    EXPECT_EQ(PositionalParam(-1, line), "");
    // 0 and below: this module's path as the system reports it.
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, MAX_PATH);
    EXPECT_EQ(CmdParamStr(0, line), self);
    EXPECT_EQ(CmdParamStr(-3, line), self);
    EXPECT_EQ(PositionalParam(0, line), self);
}

TEST(Switches, MatchWholeNamesWithEitherPrefixAnyCase) {
    std::string line = "q.exe src -MF /fD tgt -fmx -- - /";
    EXPECT_TRUE(SwitchPresent("mf", line));
    EXPECT_TRUE(SwitchPresent("fd", line));
    EXPECT_TRUE(SwitchPresent("FD", line));
    EXPECT_FALSE(SwitchPresent("fm", line));  // further characters: another switch
    EXPECT_FALSE(SwitchPresent("f", line));
    EXPECT_TRUE(SwitchPresent("-", line));
    EXPECT_FALSE(SwitchPresent("src", line));  // positional parameters are no switches
    EXPECT_EQ(PositionalCount(line), 2);
}

TEST(StartupReading, DefaultsWithoutSwitches) {
    StartupSettings st = Read("");
    EXPECT_EQ(DescribeStartup(st), DescribeStartup(StartupSettings()));
    EXPECT_FALSE(st.flags.CommandLineComplete);
    EXPECT_TRUE(st.flags.ShowSuccessMessage);
    EXPECT_EQ(st.flags.PositionalCursor, 2);
}

TEST(StartupReading, EverySwitchSetsItsMember) {
    auto code = [](const StartupSettings& st, const char* name) {
        const BuildSettings& s = st.settings;
        std::string n = name;
        if (n == "ExtractionMode") return int(s.ExtractionMode);
        if (n == "ExtractionFolder") return int(s.ExtractionFolder);
        if (n == "OpenFolder") return int(s.OpenFolder);
        if (n == "OneInstance") return int(s.OneInstance);
        if (n == "SilentMode") return int(s.SilentMode);
        if (n == "SelfDeleteMode") return int(s.SelfDeleteMode);
        if (n == "DeleteMode") return int(s.DeleteMode);
        if (n == "WorkingDirectory") return int(s.WorkingDirectory);
        if (n == "UACAutoElevation") return int(s.UACAutoElevation);
        if (n == "OverwriteMode") return int(s.OverwriteMode);
        if (n == "Compact") return int(s.Compact);
        return -1;
    };
    const struct {
        const char* sw;
        const char* member;
        int value;
    } table[] = {
        {"-me", "ExtractionMode", 0},   {"-mf", "ExtractionMode", 1},  {"-ft", "ExtractionFolder", 0},
        {"-fd", "ExtractionFolder", 1}, {"-fp", "ExtractionFolder", 2}, {"-fc", "ExtractionFolder", 3},
        {"-fs", "ExtractionFolder", 4}, {"-fm", "ExtractionFolder", 5}, {"-op", "OverwriteMode", 0},
        {"-oo", "OverwriteMode", 1},    {"-os", "OverwriteMode", 2},    {"-i", "OneInstance", 1},
        {"-s", "SilentMode", 1},        {"-d", "SelfDeleteMode", 1},    {"-e", "OpenFolder", 1},
        {"-we", "WorkingDirectory", 0}, {"-ws", "WorkingDirectory", 1}, {"-wc", "WorkingDirectory", 2},
        {"-di", "DeleteMode", 0},       {"-dr", "DeleteMode", 1},       {"-dn", "DeleteMode", 2},
        {"-un", "UACAutoElevation", 0}, {"-uh", "UACAutoElevation", 1}, {"-ua", "UACAutoElevation", 2},
        {"-z", "Compact", 1},
    };
    const std::string defaults = DescribeStartup(Read("src tgt"));
    for (const auto& c : table) {
        StartupSettings st = Read(std::string(c.sw) + " src tgt x y z");
        EXPECT_EQ(code(st, c.member), c.value) << c.sw;
        EXPECT_EQ(A(st.settings.Source), "src") << c.sw;
        EXPECT_EQ(A(st.settings.Target), "tgt") << c.sw;
    }
    // Switches that only name a default change nothing at all.
    for (const char* sw : {"-me", "-ft", "-op", "-we", "-di", "-un"})
        EXPECT_EQ(DescribeStartup(Read(std::string(sw) + " src tgt")), defaults) << sw;

    StartupSettings flags = Read("/O /C /H src tgt");
    EXPECT_TRUE(flags.flags.OverwriteTargetSilently);
    EXPECT_FALSE(flags.flags.ShowSuccessMessage);
    EXPECT_TRUE(flags.flags.HideWindow);
    // Not enforced: -e with -mf is stored as it comes.
    EXPECT_EQ(Read("-mf -e s t p").settings.OpenFolder, 1);
}

TEST(StartupReading, EarlierSwitchOfAGroupWins) {
    StartupSettings st = Read("-fm -fd -dn -dr -ua -uh -os -oo -wc -ws src tgt custom");
    EXPECT_EQ(st.settings.ExtractionFolder, 1);
    EXPECT_EQ(A(st.settings.CustomFolder), "");  // no custom-folder parameter read
    EXPECT_EQ(st.settings.DeleteMode, 1);
    EXPECT_EQ(st.settings.UACAutoElevation, 1);
    EXPECT_EQ(st.settings.OverwriteMode, 1);
    EXPECT_EQ(st.settings.WorkingDirectory, 1);
    EXPECT_EQ(Read("-fs -fc -fp").settings.ExtractionFolder, 2);
    EXPECT_EQ(Read("-fs -fc").settings.ExtractionFolder, 3);
    EXPECT_EQ(Read("-fm -fs").settings.ExtractionFolder, 4);
}

TEST(StartupReading, PositionalCursorFollowsTheSwitches) {
    StartupSettings st = Read("-ic -mf -fm S T I E C P extra");
    EXPECT_EQ(A(st.settings.Source), "S");
    EXPECT_EQ(A(st.settings.Target), "T");
    EXPECT_EQ(A(st.settings.Icon), "I");
    EXPECT_EQ(A(st.settings.ExecutableFile), "E");
    EXPECT_EQ(A(st.settings.CustomFolder), "C");
    EXPECT_EQ(A(st.settings.CmdParameters), "P");
    EXPECT_EQ(st.flags.PositionalCursor, 5);
    EXPECT_TRUE(st.flags.CommandLineComplete);

    // The program's parameters are optional; one fewer is incomplete.
    EXPECT_TRUE(Read("-ic -mf -fm S T I E C").flags.CommandLineComplete);
    EXPECT_FALSE(Read("-ic -mf -fm S T I E").flags.CommandLineComplete);
    // Switches may stand anywhere among the positional parameters.
    StartupSettings mixed = Read("S -fm T /ic I C");
    EXPECT_EQ(A(mixed.settings.Icon), "I");
    EXPECT_EQ(A(mixed.settings.CustomFolder), "C");
    EXPECT_TRUE(mixed.flags.CommandLineComplete);

    StartupSettings iconOnly = Read("-ic S T icon.ico");
    EXPECT_EQ(A(iconOnly.settings.Icon), "icon.ico");
    EXPECT_EQ(A(iconOnly.settings.CmdParameters), "");
    EXPECT_EQ(iconOnly.flags.PositionalCursor, 3);
}

TEST(StartupReading, Completeness) {
    EXPECT_FALSE(Read("").flags.CommandLineComplete);
    EXPECT_FALSE(Read("-h src").flags.CommandLineComplete);
    EXPECT_TRUE(Read("-h src tgt").flags.CommandLineComplete);
    EXPECT_FALSE(Read("-mf src tgt").flags.CommandLineComplete);
    EXPECT_TRUE(Read("-mf src tgt prog").flags.CommandLineComplete);
    // A parameter for the program that starts with '-' is a switch and fills no slot.
    StartupSettings dash = Read("-mf src tgt prog -param");
    EXPECT_EQ(A(dash.settings.CmdParameters), "");
    StartupSettings kept = Read("-mf src tgt prog \"\\\"-param\\\"\"");
    EXPECT_EQ(A(kept.settings.CmdParameters), "\"-param\"");
    // An empty parameter holds a positional slot.
    StartupSettings empty = Read("\"\" tgt");
    EXPECT_EQ(A(empty.settings.Source), "");
    EXPECT_EQ(A(empty.settings.Target), "tgt");
    EXPECT_TRUE(empty.flags.CommandLineComplete);
}

TEST(StartupReading, UsageExamples) {
    StartupSettings a = Read("-me -fd -e C:\\Source C:\\Target.exe");
    EXPECT_EQ(a.settings.ExtractionFolder, 1);
    EXPECT_EQ(a.settings.OpenFolder, 1);
    EXPECT_TRUE(a.flags.CommandLineComplete);

    StartupSettings b = Read("-mf -ft -o -c C:\\Source C:\\Target.exe C:\\Source\\Setup.exe");
    EXPECT_EQ(b.settings.ExtractionMode, 1);
    EXPECT_EQ(A(b.settings.ExecutableFile), "C:\\Source\\Setup.exe");
    EXPECT_TRUE(b.flags.OverwriteTargetSilently);
    EXPECT_FALSE(b.flags.ShowSuccessMessage);
    EXPECT_TRUE(b.flags.CommandLineComplete);

    StartupSettings c = Read(
        "-mf -fp -i -wc C:\\Source C:\\Target.exe C:\\Source\\setup.exe \"\\\"prm 1\\\" \\\"prm 2\\\"\"");
    EXPECT_EQ(c.settings.ExtractionFolder, 2);
    EXPECT_EQ(c.settings.OneInstance, 1);
    EXPECT_EQ(c.settings.WorkingDirectory, 2);
    EXPECT_EQ(A(c.settings.CmdParameters), "\"prm 1\" \"prm 2\"");
}

// The same reading through a real process's GetCommandLineW, as Wine hands it over.
TEST(ProcessCommandLine, ChildReadsItsOwnLineAsTheTestDoes) {
    std::string probe = "\"" + BinPath("cmdline_probe.exe") + "\"";
    std::vector<std::string> args = {
        "-ic -mf -fm \"C:\\My Source\\\\\" C:\\T.exe C:\\i.ico C:\\s\\run.exe %TEMP%\\x \"\\\"a b\\\" c\"",
        "/H /c -o src",
    };
    if (GetACP() == 949) args.push_back("-fm \"C:\\\xC7\xD1\xB1\xDB \xC6\xFA\xB4\xF5\\\\\" \xB0\xA1\\t.exe");
    // Big5 characters whose trail byte is a backslash: \xB3\x5C and \xA5\x5C.
    if (GetACP() == 950) args.push_back("\"C:\\\xB3\x5C\" \xA5\x5C\\\" x");
    for (const std::string& a : args) {
        std::string line = probe + " " + a;
        DWORD code = 99;
        std::string out = RunForOutput(line, 20000, &code);
        EXPECT_EQ(code, 0u);
        std::wstring wide = W(line);
        std::string expected = "count=" + std::to_string(CmdParamCount(line)) + "\n";
        for (int i = 1; i <= CmdParamCount(line); ++i)
            expected += "param" + std::to_string(i) + "=[" + DescribeText(::CmdParamStr(i, wide.c_str())) + "]\n";
        expected += "positional=" + std::to_string(PositionalCount(line)) + "\n";
        expected += DescribeStartup(ReadStartupSettings(wide.c_str()));
        // Console output may use CR LF.
        std::string got;
        for (char ch : out)
            if (ch != '\r') got += ch;
        EXPECT_EQ(got, expected) << a;
    }
}

TEST(ProcessCommandLine, KoreanPathsStayWhole) {
    if (GetACP() != 949) GTEST_SKIP() << "needs code page 949";
    std::string line = "q.exe -fm \"C:\\\xC7\xD1\xB1\xDB \xC6\xFA\xB4\xF5\\\\\" \xB0\xA1\\t.exe %APPDATA%\\\xB0\xA1";
    StartupSettings st = ReadStartupSettings(W(line).c_str());
    EXPECT_EQ(A(st.settings.Source), "C:\\\xC7\xD1\xB1\xDB \xC6\xFA\xB4\xF5\\");
    EXPECT_EQ(A(st.settings.Target), "\xB0\xA1\\t.exe");
    EXPECT_EQ(A(st.settings.CustomFolder), "%APPDATA%\\\xB0\xA1");
    EXPECT_TRUE(st.flags.CommandLineComplete);
}
