// The four payloads that the builder carries in its own executable.
#pragma once
#include <windows.h>

struct ResourceData {
    const BYTE* bytes = nullptr;  // belongs to the loaded module, never freed
    DWORD size = 0;
};

// Finds type/name in this module; true only when it exists, loads, is not empty and locks.
bool LoadResourceData(const char* type, const char* name, ResourceData& data);

struct EmbeddedResourceSet {
    ResourceData sfxhead;         // "EXE"/"SFXHEAD": the extractor, head of every SFX file
    ResourceData sfxheadCompact;  // "EXE"/"SFXHEADCOMPACT": the extractor of the compact form
    ResourceData selfdelete;      // "EXE"/"SELFDELETE": the self-delete helper
    ResourceData uac;             // "XML"/"UAC": the elevation manifest template
    ResourceData cmdline;         // "TXT"/"CMDLINE": the usage text
};

extern EmbeddedResourceSet EmbeddedResources;

// Loads the four in order and stops at the first one missing or empty.
bool LoadEmbeddedResources();
