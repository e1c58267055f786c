// The walk of the source folder into the list of items an SFX file stores.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

// One collected item of the source folder.
struct tfile {
    std::wstring Name;    // path relative to the source folder
    std::string Stored;   // Name as the SFX file stores it: code-page bytes, or UTF-16LE
    bool NoCodePageForm = false;  // Name has no exact code-page form: the extended form
    bool Unencodable = false;     // Name holds an unpaired surrogate: no form stores it
    int64_t Size = 0;     // 0 for folders
    uint32_t Time = 0;    // last write, local MS-DOS date and time
    uint32_t Attributes = 0;
    tfile(const std::wstring& prefix, const WIN32_FIND_DATAW& found);
};

// A link of the source folder (a junction, a symbolic link) that the walk does not follow.
struct LinkRefusal {
    enum Reason { None, Outside, Loop, Unresolved } reason = None;
    std::wstring link;    // relative to the source folder
    std::wstring target;  // the full path it leads to; empty when it leads nowhere
};

// Depth first, each folder before its contents, siblings in directory-search order. source is
// the source folder ending in '\'; a folder that cannot be searched adds nothing below it.
// A link is followed only when it leads inside the source folder, and for a folder, not back to
// one on the walk's own path (identities compared: volume serial and file index, never texts);
// the walk stops at the first other link and says which.
LinkRefusal CollectItems(const std::wstring& source, std::vector<tfile>& items);
