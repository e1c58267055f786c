// Pieces of the command-line generator and the variable picker that need no window.
#include <gtest/gtest.h>

#include <windows.h>

#include "f_cmdline.h"

TEST(QuoteParameter, TrimsEscapesAndQuotes) {
    auto q = [](const std::string& v) {
        std::string out = "x ";
        QuoteParameter(out, v);
        return out;
    };
    EXPECT_EQ(q(""), "x ");
    EXPECT_EQ(q(" \t "), "x ");  // nothing at all, not even a blank
    EXPECT_EQ(q(" C:\\Source "), "x C:\\Source ");
    EXPECT_EQ(q("C:\\My Source"), "x \"C:\\My Source\" ");
    EXPECT_EQ(q("a\"b"), "x a\\\"b ");  // escaped, not wrapped
    EXPECT_EQ(q("C:\\dir\\"), "x C:\\dir\\ ");  // a final backslash stays as it is
    EXPECT_EQ(q("a\tb"), "x a\tb ");  // only blanks lead to quotes
    EXPECT_EQ(q("\"prm 1\" \"prm 2\""), "x \"\\\"prm 1\\\" \\\"prm 2\\\"\" ");
}

TEST(EnvironmentList, NamesWrappedInPercentSigns) {
    SetEnvironmentVariableA("QUILLET_UNIT_VAR", "value=with=equals");
    std::vector<std::string> lines = FillEnvironmentList();
    bool found = false;
    for (const std::string& line : lines) {
        if (line == "%QUILLET_UNIT_VAR%=value=with=equals") found = true;
        if (!line.empty()) {
            EXPECT_EQ(line[0], '%') << line;
        }
    }
    EXPECT_TRUE(found);
    // Block order, unsorted: the same order as the environment block itself.
    std::vector<std::string> names;
    char* block = GetEnvironmentStringsA();
    for (const char* p = block; *p; p += lstrlenA(p) + 1) names.push_back(p);
    FreeEnvironmentStringsA(block);
    ASSERT_EQ(lines.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        size_t eq = names[i].find('=');
        std::string expected = eq == std::string::npos ? "%" + names[i] + "%"
                                                       : "%" + names[i].substr(0, eq) + "%" + names[i].substr(eq);
        if (GetACP() == GetOEMCP()) {
            EXPECT_EQ(lines[i], expected);
        }
    }
    SetEnvironmentVariableA("QUILLET_UNIT_VAR", nullptr);
}
