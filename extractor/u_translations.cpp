#include "u_translations.h"

#include "u_translations_table.inc"

unsigned char LanguageFor(unsigned primaryLanguage, unsigned codePage) {
    for (unsigned char i = 1; i < 39; ++i)
        if (Rows[i].primaryLanguage == primaryLanguage && Rows[i].codePage == codePage) return i;
    return 0;
}

const char* TextFor(unsigned char languageIndex, MessageId id) { return Texts[id][languageIndex < 39 ? languageIndex : 0]; }

const LanguageRow& LanguageRowAt(unsigned char languageIndex) { return Rows[languageIndex < 39 ? languageIndex : 0]; }
