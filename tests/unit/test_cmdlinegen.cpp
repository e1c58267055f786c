// Pieces of the command-line generator and the variable picker that need no window.
#include <gtest/gtest.h>

#include <windows.h>

#include "f_envvars.h"
#include "u_cmdlinegen.h"
#include "u_settings.h"

TEST(QuoteParameter, TrimsEscapesAndQuotes) {
    auto q = [](const std::wstring& v) {
        std::wstring out = L"x ";
        QuoteParameter(out, v);
        return out;
    };
    EXPECT_EQ(q(L""), L"x \"\" ");  // an empty value keeps its place
    EXPECT_EQ(q(L" \t "), L"x \"\" ");
    EXPECT_EQ(q(L" C:\\Source "), L"x C:\\Source ");
    EXPECT_EQ(q(L"C:\\My Source"), L"x \"C:\\My Source\" ");
    EXPECT_EQ(q(L"a\"b"), L"x a\\\"b ");  // escaped, not wrapped
    EXPECT_EQ(q(L"C:\\dir\\"), L"x C:\\dir\\ ");  // a final backslash stays as it is
    EXPECT_EQ(q(L"a\tb"), L"x \"a\tb\" ");  // a tab separates parameters as a blank does
    EXPECT_EQ(q(L"a\x01" L"b"), L"x \"a\x01" L"b\" ");
    // Backslashes before a quote are doubled and get one more; before the closing quote, doubled.
    EXPECT_EQ(q(L"a\\\"b"), L"x a\\\\\\\"b ");
    EXPECT_EQ(q(L"C:\\My Dir\\"), L"x \"C:\\My Dir\\\\\" ");
    EXPECT_EQ(q(L"\\\\server\\a b\\\\"), L"x \"\\\\server\\a b\\\\\\\\\" ");
    EXPECT_EQ(q(L"\"prm 1\" \"prm 2\""), L"x \"\\\"prm 1\\\" \\\"prm 2\\\"\" ");
    // A value that starts like a switch gets a blank in front, inside quotes.
    EXPECT_EQ(q(L"/S"), L"x \" /S\" ");
    EXPECT_EQ(q(L" -param \"a\""), L"x \" -param \\\"a\\\"\" ");
    // Text outside the code page is copied whole; its look-alike quote is no quote.
    EXPECT_EQ(q(L"C:\\Привет 张伟\\\U0001F600"), L"x \"C:\\Привет 张伟\\\U0001F600\" ");
    EXPECT_EQ(q(L"a\uFF02b"), L"x a\uFF02b ");
}

TEST(ComposeCommandLine, ProgramSwitchesThenValues) {
    CommandLinePieces p;
    p.program = L"C:\\Tools\\quillet.exe";
    p.switches = {L"me", L"ft", L"e", L"op"};
    p.values = {L"C:\\Source", L"C:\\Target.exe"};
    EXPECT_EQ(ComposeCommandLine(p), L"C:\\Tools\\quillet.exe -me -ft -e -op C:\\Source C:\\Target.exe");
    // An empty value holds its place: the next one is read where it belongs.
    p.program = L"C:\\Программы\\q.exe";
    p.switches = {L"mf", L"fm"};
    p.values = {L"C:\\Src", L"T.exe", L"  ", L"%APPDATA%\\张伟\\"};
    EXPECT_EQ(ComposeCommandLine(p), L"C:\\Программы\\q.exe -mf -fm C:\\Src T.exe \"\" %APPDATA%\\张伟\\");
}

// The generated line reads back as the settings it came from, for the values that once broke it;
// texts compare trimmed, as the builder uses them.
TEST(CommandLinePiecesFor, LineReadsBackAsTheSettings) {
    auto trim = [](const std::wstring& t) {
        size_t b = t.find_first_not_of(L" \t"), e = t.find_last_not_of(L" \t");
        return b == std::wstring::npos ? std::wstring() : t.substr(b, e - b + 1);
    };
    for (const wchar_t* v : {L"", L"  ", L"C:\\My Dir\\", L"a\\\"b", L"a\tb", L"/S", L"-param", L"\"\\\"x\"",
                             L"C:\\Привет 张伟\\\\"}) {
        BuildSettings s;
        s.Source = v;
        s.Target = L"T.exe";
        s.ExtractionMode = 1;
        s.ExtractionFolder = 5;
        s.ExecutableFile = v;
        s.CustomFolder = L"C:\\c";
        s.CmdParameters = v;
        s.UACAutoElevation = 2;
        s.Compact = 1;
        std::wstring line = ComposeCommandLine(CommandLinePiecesFor(s, L"C:\\Program Files\\q.exe"));
        StartupSettings st = ReadStartupSettings(line.c_str());
        EXPECT_TRUE(st.flags.CommandLineComplete) << line;
        EXPECT_EQ(trim(st.settings.Source), trim(v)) << line;
        EXPECT_EQ(st.settings.Target, L"T.exe") << line;
        EXPECT_EQ(trim(st.settings.ExecutableFile), trim(v)) << line;
        EXPECT_EQ(st.settings.CustomFolder, L"C:\\c") << line;
        EXPECT_EQ(trim(st.settings.CmdParameters), trim(v)) << line;
        EXPECT_EQ(st.settings.UACAutoElevation, 2) << line;
        EXPECT_EQ(st.settings.Compact, 1) << line;
    }
    // Elevation counts in extract-only mode too.
    BuildSettings s;
    s.Source = L"S";
    s.Target = L"T";
    s.UACAutoElevation = 1;
    std::wstring line = ComposeCommandLine(CommandLinePiecesFor(s, L"q.exe"));
    EXPECT_EQ(ReadStartupSettings(line.c_str()).settings.UACAutoElevation, 1) << line;
    EXPECT_EQ(ReadStartupSettings(line.c_str()).settings.Compact, 0) << line;
}

TEST(EnvironmentList, NamesWrappedInPercentSigns) {
    SetEnvironmentVariableW(L"QUILLET_UNIT_VAR", L"value=with=equals");
    SetEnvironmentVariableW(L"QUILLET_UNIT_\u5F20", L"\u041F\U0001F600");
    std::vector<std::wstring> lines = FillEnvironmentList();
    int found = 0;
    for (const std::wstring& line : lines) {
        if (line == L"%QUILLET_UNIT_VAR%=value=with=equals") ++found;
        if (line == L"%QUILLET_UNIT_\u5F20%=\u041F\U0001F600") ++found;  // the real text, whatever the code page
        if (!line.empty()) {
            EXPECT_EQ(line[0], L'%');
        }
    }
    EXPECT_EQ(found, 2);
    // Block order, unsorted: the same order as the environment block itself.
    std::vector<std::wstring> names;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; *p; p += lstrlenW(p) + 1) names.push_back(p);
    FreeEnvironmentStringsW(block);
    ASSERT_EQ(lines.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        size_t eq = names[i].find(L'=');
        std::wstring expected = eq == std::wstring::npos ? L"%" + names[i] + L"%"
                                                         : L"%" + names[i].substr(0, eq) + L"%" + names[i].substr(eq);
        EXPECT_EQ(lines[i], expected);
    }
    SetEnvironmentVariableW(L"QUILLET_UNIT_VAR", nullptr);
    SetEnvironmentVariableW(L"QUILLET_UNIT_\u5F20", nullptr);
}
