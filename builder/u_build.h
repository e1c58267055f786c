// The build pipeline: check the settings, then write the SFX file.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

#include "u_settings.h"

// Both entry points work on their own copies; compression is always 1 from every caller.
bool ValidateSettings(BuildSettings settings, uint8_t compression);
// True when the build ran to its end, false when it was cancelled. Failures of file access
// and compression escape as BuildError. The new file is written beside the target and
// replaces it at the end: after a failure or a cancel the previous target is as it was.
bool BuildSfx(BuildSettings settings, uint8_t compression);

void NormalisePaths(BuildSettings& settings);

// Appends bytes to an existing file as a build appends to the SFX file it writes, through the same
// writer and so with its limit: a write that would make the file 4 GiB or larger fails whole
// (BuildError "SfxTooLarge"). Lets a test measure the limit on a sparse file.
void AppendToSfxFile(const std::wstring& path, const std::string& bytes);

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

// Depth first, each folder before its contents, siblings in directory-search order.
void CollectItems(const std::wstring& source, const std::wstring& prefix, std::vector<tfile>& items);

// Set by the progress window's cancel button; cleared by every build.
extern bool CancelRequested;

// The progress window's controls while one exists (null otherwise).
struct ProgressControls {
    HWND lsource, ltarget, lsize, pbfile, pbtotal;
};
extern const ProgressControls* ProgressWindow;
void ReportProgress(int64_t doneInFile, int64_t fileSize);
