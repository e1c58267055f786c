// The extractor's message table: every stored text, converted back with its row's code page,
// is the text of the readable table; and the choice of language.
#include <gtest/gtest.h>

#include <windows.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "u_translations.h"

namespace {

std::wstring FromCodePage(const std::string& bytes, UINT codePage) {
    int n = MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(codePage, 0, bytes.data(), static_cast<int>(bytes.size()), &w[0], n);
    return w;
}

struct TableRow {
    int index;
    std::string language;
    int primary, codePage;
    std::wstring texts[4];
};

// The readable table the extractor's bytes are generated from.
std::vector<TableRow> ReadTable() {
    std::string path = std::string("Z:") + QUILLET_SOURCE_DIR + "/extractor/translations.tsv";
    for (char& c : path)
        if (c == '/') c = '\\';
    std::ifstream in(path, std::ios::binary);
    std::vector<TableRow> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::vector<std::string> f;
        std::stringstream s(line);
        std::string field;
        while (std::getline(s, field, '\t')) f.push_back(field);
        if (f.size() != 8) continue;
        TableRow r{std::stoi(f[0]), f[1], std::stoi(f[2], nullptr, 16), std::stoi(f[3]), {}};
        for (int m = 0; m < 4; ++m) r.texts[m] = FromCodePage(f[4 + m], CP_UTF8);
        rows.push_back(r);
    }
    return rows;
}

}  // namespace

TEST(Translations, EveryStoredTextReadsBackInItsCodePage) {
    std::vector<TableRow> rows = ReadTable();
    ASSERT_EQ(rows.size(), 39u);
    for (const TableRow& r : rows) {
        const LanguageRow& stored = LanguageRowAt(static_cast<unsigned char>(r.index));
        EXPECT_EQ(stored.primaryLanguage, r.primary) << r.language;
        EXPECT_EQ(stored.codePage, r.codePage) << r.language;
        for (int m = 0; m < 4; ++m) {
            std::string bytes = TextFor(static_cast<unsigned char>(r.index), static_cast<MessageId>(m));
            UINT cp = r.codePage ? r.codePage : 1252;
            EXPECT_EQ(FromCodePage(bytes, cp), r.texts[m]) << r.index << " " << r.language << " message " << m;
        }
    }
    // Texts as the table has them: English defaults, plain and missing question marks.
    EXPECT_STREQ(TextFor(0, msgOverwriteFile), "Overwrite file?");
    EXPECT_STREQ(TextFor(5, msgOverwriteFile), "Overwrite file?");  // Catalan asks in English
    EXPECT_STREQ(TextFor(27, msgOverwriteFile), "Suprascriere fi?ier?");
    EXPECT_EQ(std::string(TextFor(33, msgOverwriteFile)).find('?'), std::string::npos);
    EXPECT_EQ(std::string(TextFor(38, msgOverwriteFile)).find('?'), std::string::npos);
    EXPECT_EQ(std::string(TextFor(8, msgOverwriteFile)).back(), ';');
    // Vietnamese is stored with combining tone marks (0xCC grave, 0xF2 dot below in 1258).
    EXPECT_NE(std::string(TextFor(36, msgInitialization)).find("la\xCCm"), std::string::npos);
    EXPECT_STREQ(TextFor(7, msgInitialization), "Initialisierung");
    EXPECT_STREQ(TextFor(7, msgOverwriteFile), "Datei \xFC" "berschreiben?");
}

TEST(Translations, LanguageChoice) {
    EXPECT_EQ(LanguageFor(0x07, 1252), 7);   // German
    EXPECT_EQ(LanguageFor(0x19, 1251), 28);  // Russian
    EXPECT_EQ(LanguageFor(0x19, 1252), 0);   // Russian under 1252: English
    EXPECT_EQ(LanguageFor(0x04, 936), 37);
    EXPECT_EQ(LanguageFor(0x04, 950), 38);
    EXPECT_EQ(LanguageFor(0x04, 1252), 0);
    EXPECT_EQ(LanguageFor(0x39, 1252), 0);  // Hindi is not in the table
    EXPECT_EQ(LanguageFor(0x12, 949), 20);
    EXPECT_EQ(LanguageFor(0x12, 1252), 0);
    EXPECT_EQ(LanguageFor(0x03, 1252), 5);  // Catalan
    EXPECT_EQ(LanguageFor(0x00, 0), 0);
    // Every row is chosen by its own pair and by no other.
    for (unsigned char i = 1; i < 39; ++i)
        EXPECT_EQ(LanguageFor(LanguageRowAt(i).primaryLanguage, LanguageRowAt(i).codePage), i);
}
