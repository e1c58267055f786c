#include "u_translations.h"

#include "runstate.h"

namespace {
const char* const English[] = {"Initialization", "Please wait", "Extract to", "Overwrite file?"};
}

void SelectLanguage() { Run.LanguageIndex = 0; }

const char* Text(MessageId id) { return English[id]; }
