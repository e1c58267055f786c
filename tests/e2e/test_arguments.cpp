// The program an SFX file runs gets the SFX file's own arguments exactly: for every command line of
// the table, the program's arguments (by CommandLineToArgvW) are the stored parameters' followed by
// the SFX file's own after its name, and its raw line ends in those parameters and the SFX file's
// line after its name, verbatim.
#include <gtest/gtest.h>

#include "sfxtools.h"
#include "widetools.h"

#include <shellapi.h>

namespace {

std::vector<std::wstring> Argv(const std::wstring& line) {
    std::vector<std::wstring> out;
    int n = 0;
    if (LPWSTR* argv = CommandLineToArgvW(line.c_str(), &n)) {
        out.assign(argv, argv + n);
        LocalFree(argv);
    }
    return out;
}

bool EndsWith(const std::wstring& s, const std::wstring& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

}  // namespace

TEST(Arguments, ReachTheProgramExactly) {
    TempFolder src, out, work;
    CopyFileA(BinPath("launch_probe.exe").c_str(), (src / "probe.exe").c_str(), FALSE);
    std::wstring report = U16(work / "report.txt");
    ScopedEnvW w(L"QUILLET_PROBE_WOUT", report), e(L"QUILLET_PROBE_EXIT", L"0");

    // One SFX file without CmdParameters, one with a quoted blank in them (a leading blank keeps
    // "/p" from being read as a switch by the builder).
    std::string plain = out / "plain.exe", stored = out / "stored.exe";
    std::string program = Q(src / "probe.exe") + " " + Q(work / "dest");
    MakeSfx("-mf -fm -s -di", src.Path(), plain, program);
    MakeSfx("-mf -fm -s -di", src.Path(), stored, program + " " + Q(" /p \"x y\""));
    ASSERT_EQ(ReadSfx(stored).cmdParameters, L"/p \"x y\"");

    // The unquoted name needs a path without blanks (the test's temporary folder has none).
    ASSERT_EQ(out.Path().find(' '), std::string::npos);
    struct Case {
        const char* what;
        bool quoted;        // how the line names the SFX file
        std::wstring gap;   // between the name and the arguments
        std::wstring args;  // as the program receives them
    } cases[] = {
        {"none", true, L"", L""},
        {"a trailing backslash", true, L" ", L"C:\\dir\\"},
        {"a quoted one, escaped", true, L" ", L"\"C:\\my dir\\\\\""},
        {"an escaped quote", true, L" ", L"a\\\"b"},
        {"empty arguments", true, L" ", L"\"\" a \"\""},
        {"a tab between and a quoted one", true, L" ", L"a\tb \"c\td\""},
        {"quoted blanks", true, L" ", L"\"two  blanks\"   x "},
        {"Cyrillic and emoji", true, L" ", L"\u041f\u0440\u0438\u0432\u0435\u0442 \"\U0001F4E6 \U0001F600\""},
        {"backslashes and quotes in runs", true, L" ", L"a\\\\\\\"b \\\\\"c d\\\\\" \"e\"\"\"f\" \"open end"},
        {"tabs after the name", true, L"\t \t", L"x"},
        {"no blank after the quoted name", true, L"", L"\"a b\"c"},
        {"an unquoted name", false, L" ", L"a \"b c\""},
        {"a long one", true, L" ", std::wstring(30000, L'l')},
    };
    for (const Case& c : cases)
        for (const std::string& sfx : {plain, stored}) {
            SCOPED_TRACE(std::string(c.what) + (sfx == stored ? ", with CmdParameters" : ""));
            std::wstring line = (c.quoted ? QW(U16(sfx)) : U16(sfx)) + c.gap + c.args;
            DeleteFileW(report.c_str());
            Process p(line);
            ASSERT_TRUE(p.Started());
            EXPECT_EQ(ExpectEndsWithoutMessages(p, 60000), 0u);

            std::wstring parameters = ReadSfx(sfx).cmdParameters;
            std::vector<std::wstring> lines = ProbeLines(report);
            ASSERT_GE(lines.size(), 2u);
            std::vector<std::wstring> expected = Argv(L"x " + parameters), own = Argv(line);
            expected.erase(expected.begin());
            expected.insert(expected.end(), own.begin() + 1, own.end());
            EXPECT_EQ(std::vector<std::wstring>(lines.begin() + 2, lines.end()), expected);
            std::wstring tail = parameters + (parameters.empty() || c.args.empty() ? L"" : L" ") + c.args;
            EXPECT_TRUE(tail.empty() ? EndsWith(lines[0], L"probe.exe\"") || EndsWith(lines[0], L"probe.exe")
                                     : EndsWith(lines[0], L" " + tail))
                << U8(lines[0].substr(0, 200));
        }
}
