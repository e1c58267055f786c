// The extractor's state of one run and the routines that share it. The extractor is copied
// into every SFX file: no exceptions, no C++ library, fixed buffers; every failure ends the
// run through FinishRun, which never returns.
#pragma once
#include <windows.h>

#include "u_shared.h"

const DWORD PathSize = 1024;  // the A functions stop at MAX_PATH long before this

// A growable list of texts on the process heap, for the clean-up lists.
struct StringList {
    char** items;
    int count;
    int capacity;
    void Add(const char* text);
};

struct RunState {
    char ownPath[PathSize];
    HANDLE ownFile;
    HANDLE currentFile;  // the file being written, if any
    char tempPath[2 * PathSize];  // its temporary name until it is verified and renamed; empty otherwise
    LONGLONG ownSize;
    DWORD payloadOffset;
    SettingsRecord settings;
    HANDLE mutex;
    BYTE LanguageIndex;
    HWND window;
    HFONT largeFont, smallFont;
    char extractionFolder[PathSize];  // ends in a backslash
    char executablePath[PathSize];    // the entry of kind 1, empty until met
    char helperPath[PathSize];        // the entry of kind 2, empty until met
    LONGLONG totalBytes, doneBytes;
    StringList ExtractedFiles;   // files this run wrote, for the clean-up
    StringList CreatedFolders;   // folders this run created, without trailing backslash
    bool dllSearchRestricted;    // the loader searches the system folder only
    bool programEnded;           // a launched program ended; its exit code is the run's
    DWORD programExitCode;
};
extern RunState Run;

// Run end (runend.cpp).
__attribute__((noreturn)) void FinishRun(const char* text, DWORD code);
// A failure while the own file is read or entries are written: the own path with the last
// error, or with a code of its own when the system left none.
__attribute__((noreturn)) void FailGuarded(DWORD fallback);
void CheckSingleInstance();
void RemoveFolderTree(const char* folder);

// Extraction (engine.cpp).
void ReadOwn(void* buffer, DWORD size);
void SeekOwn(LONGLONG position);
bool TempFolder(char* out, bool ownSubFolder);
void ScanEntries();
void ChooseExtractionFolder();
void CheckFreeSpace();
void MakeFolder(const char* path);
void ExtractEntries();

// After extraction (postextract.cpp).
__attribute__((noreturn)) void PostExtraction();

// Window (window.cpp): the progress display between work steps; nothing in silent mode.
void CreateProgressWindow();
void PaintProgress();
void RefreshProgress();
void PumpMessages();

// A function of a system DLL (shell32.dll, ole32.dll), loaded from the system folder on first
// use; null when it can't be had. These DLLs load others by name, so they are never imported
// at load time, when the program's own folder would still be searched.
void* SystemFunction(const char* dll, const char* name);
template <class F> F* ShellFunction(const char* name) { return reinterpret_cast<F*>(SystemFunction("shell32.dll", name)); }

// The system's text for a code, trailing blanks and full stops cut (256 bytes at most).
void SystemText(DWORD code, char* out, DWORD size);

// Texts in the system's code page.
void AppendText(char* out, const char* text, DWORD size);
void AddBackslash(char* path);
bool IsLeadByte(unsigned char c);
