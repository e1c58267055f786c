#include "u_resources.h"

EmbeddedResourceSet EmbeddedResources;

bool LoadResourceData(const char* type, const char* name, ResourceData& data) {
    data = ResourceData();
    HRSRC found = FindResourceA(nullptr, name, type);
    if (!found) return false;
    HGLOBAL loaded = LoadResource(nullptr, found);
    data.size = SizeofResource(nullptr, found);
    if (!loaded || data.size == 0) return false;
    data.bytes = static_cast<const BYTE*>(LockResource(loaded));
    return data.bytes != nullptr;
}

bool LoadEmbeddedResources() {
    return LoadResourceData("EXE", "SFXHEAD", EmbeddedResources.sfxhead) &&
           LoadResourceData("EXE", "SFXHEADCOMPACT", EmbeddedResources.sfxheadCompact) &&
           LoadResourceData("EXE", "SELFDELETE", EmbeddedResources.selfdelete) &&
           LoadResourceData("XML", "UAC", EmbeddedResources.uac) &&
           LoadResourceData("TXT", "CMDLINE", EmbeddedResources.cmdline);
}
