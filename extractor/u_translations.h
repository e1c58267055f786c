// The extractor's own four texts, in the language that SelectLanguage chose.
#pragma once

enum MessageId { msgInitialization, msgPleaseWait, msgExtractTo, msgOverwriteFile };

void SelectLanguage();
const char* Text(MessageId id);
