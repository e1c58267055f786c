// The extractor's own four texts in 39 languages, stored as code-page bytes. A language is chosen
// only when the system's ANSI code page is exactly the one its texts are stored in, so their
// conversion to UTF-16 for the W functions is exact; everything else gets English.
#pragma once

enum MessageId { msgInitialization, msgPleaseWait, msgExtractTo, msgOverwriteFile };

struct LanguageRow {
    unsigned char primaryLanguage;  // low 8 bits of the system's default LANGID
    unsigned short codePage;        // the ANSI code page the texts are stored in
};

// The row for a primary language id and code page; 0 (English) when none matches.
unsigned char LanguageFor(unsigned primaryLanguage, unsigned codePage);
// The text of a message in a row's language.
const char* TextFor(unsigned char languageIndex, MessageId id);
const LanguageRow& LanguageRowAt(unsigned char languageIndex);

// The run's choice, from the system's default language and ANSI code page.
void SelectLanguage();
const char* Text(MessageId id);
