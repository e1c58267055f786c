// The extractor's state of one run and the routines that share it. The extractor is copied into
// every SFX file: no exceptions, no C++ library, fixed buffers; every failure ends the run through
// FinishRun, which never returns.
#pragma once
#include <windows.h>

#include "u_paths.h"
#include "u_shared.h"
#include "u_translations.h"

// A growable list of paths on the process heap, for the clean-up lists.
struct StringList {
    WCHAR** items;
    int count;
    int capacity;
    void Add(const WCHAR* text);
};

// Every path is UTF-16 and in its plain full form, as shown to the user; the file functions get it
// through Long().
struct RunState {
    WCHAR ownPath[PathSize];
    HANDLE ownFile;
    HANDLE currentFile;             // the file being written, if any
    WCHAR tempPath[PathSize + 16];  // its temporary name until verified and renamed; else empty
    LONGLONG ownSize;
    DWORD payloadOffset;
    SettingsRecord settings;
    WCHAR cmdParameters[CmdParametersSize];  // the record's texts, as the container holds them
    WCHAR customFolder[CustomFolderSize];
    HANDLE mutex;
    BYTE LanguageIndex;
    HWND window;
    HFONT largeFont, smallFont;
    WCHAR extractionFolder[PathSize];  // ends in a backslash
    WCHAR executablePath[PathSize];    // the entry of kind 1, empty until met
    WCHAR helperPath[PathSize];        // the entry of kind 2, empty until met
    LONGLONG totalBytes, doneBytes;  // of all entries, 64-bit in either form
    StringList ExtractedFiles;  // files this run wrote, for the clean-up
    StringList CreatedFolders;  // folders this run created, without trailing backslash
    bool dllSearchRestricted;   // the loader searches the system folder only
    bool programEnded;          // a launched program ended; its exit code is the run's
    DWORD programExitCode;
};
extern RunState Run;

// Run end (runend.cpp).
__attribute__((noreturn)) void FinishRun(const WCHAR* text, DWORD code);
// A failure while the own file is read or entries are written: the own path with the last error, or
// with a code of its own when the system left none.
__attribute__((noreturn)) void FailGuarded(DWORD fallback);
void CheckSingleInstance();
void RemoveFolderTree(const WCHAR* folder);
// ShellExecuteW without owner or folder; the result is not looked at.
void ShellOpen(const WCHAR* verb, const WCHAR* file, const WCHAR* parameters, int show);

// Extraction (engine.cpp).
void ReadOwn(void* buffer, DWORD size);
// Reads the record and its texts (either container form); a file without one ends the run.
void OpenPayload();
void SeekOwn(LONGLONG position);
bool TempFolder(WCHAR* out, bool ownSubFolder);
void ScanEntries();
void ChooseExtractionFolder();
void CheckFreeSpace();
void MakeFolder(const WCHAR* path);
void ExtractEntries();

// After extraction (postextract.cpp).
__attribute__((noreturn)) void PostExtraction();

// Window (window.cpp): the progress display between work steps; nothing in silent mode.
void CreateProgressWindow();
void PaintProgress();
void RefreshProgress();
void PumpMessages();

// A function of a system DLL (shell32.dll, ole32.dll), loaded from the system folder on first use;
// null when it can't be had. These DLLs load others by name, so they are never imported at load
// time, when the program's own folder would still be searched.
void* SystemFunction(const WCHAR* dll, const char* name);
template <class F>
F* ShellFunction(const char* name) {
    return reinterpret_cast<F*>(SystemFunction(L"shell32.dll", name));
}

// A message of the run's language as UTF-16 (its table holds the bytes of the system's code page).
const WCHAR* Message(MessageId id);

// The system's text for a code, trailing blanks and full stops cut (256 characters at most).
void SystemText(DWORD code, WCHAR* out, DWORD size);
