// The extractor's state of one run and the routines that share it. The extractor is copied into
// every SFX file: no exceptions, no C++ library, fixed buffers. No step ends the process: each
// returns a Result, the entry function passes the first that ends the run to FinishRun, the one
// place where a run ends (besides the guard for a fault that nothing expected).
#pragma once
#include <windows.h>

#include "u_paths.h"
#include "u_shared.h"
#include "u_translations.h"

// What a step ends with. A null text: the run goes on. Otherwise the run ends here, with code as its
// exit code (0: a quiet end, as after a cancelled folder dialog) and text as what its message names
// (a path, or the free-space text); the text lives at least until FinishRun.
struct Result {
    DWORD code;
    const WCHAR* text;
};
const Result GoOn = {0, nullptr};
inline bool Ends(const Result& r) { return r.text != nullptr; }
// The failure of a system call: its last error, or fallback when the system left none.
DWORD LastCode(DWORD fallback);
inline Result LastError(const WCHAR* text, DWORD fallback) { return {LastCode(fallback), text}; }
// Hands an ending result up to the caller, which ends its step there too.
#define RETURN_IF_ENDS(step)           \
    do {                               \
        Result ends_ = (step);         \
        if (Ends(ends_)) return ends_; \
    } while (0)

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
    HANDLE ownFile;                 // null until opened and after it is closed
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
    bool helperWritten;                // and this run wrote it there
    LONGLONG totalBytes, doneBytes;  // of all entries, 64-bit in either form
    StringList ExtractedFiles;  // files this run wrote, for the clean-up
    StringList CreatedFolders;  // folders this run created, without trailing backslash
    bool dllSearchRestricted;   // the loader searches the system folder only
    bool programEnded;          // a launched program ended; its exit code is the run's
    DWORD programExitCode;
    bool ending;                // FinishRun has begun
};
extern RunState Run;

// Run end (runend.cpp): the clean-up, then the message, the self-delete helper and the exit code.
__attribute__((noreturn)) void FinishRun(const WCHAR* text, DWORD code);
// The guard for a fault that nothing expected: the run still ends through FinishRun.
LONG WINAPI UnexpectedFault(EXCEPTION_POINTERS* fault);
Result CheckSingleInstance();
void RemoveFolderTree(const WCHAR* folder);
// ShellExecuteW without owner or folder; the result is not looked at.
void ShellOpen(const WCHAR* verb, const WCHAR* file, const WCHAR* parameters, int show);

// Extraction (engine.cpp). The steps in their order; every failure is the Result they return.
// Reads the record and its texts (either container form); a file without one ends the run.
Result OpenPayload();
bool TempFolder(WCHAR* out, bool ownSubFolder);
Result ScanEntries();
Result ChooseExtractionFolder();
Result CheckFreeSpace();
// Links (junctions, symbolic links) show as reparse points; the run follows none that it did not
// make. CutAtLink: whether a folder on path after its first from characters is a link; path is
// cut there when one is.
bool IsLink(DWORD attributes);
bool CutAtLink(WCHAR* path, int from);
// A folder already there as a link ends the run with ERROR_CANT_ACCESS_FILE, the path as its text.
Result MakeFolder(const WCHAR* path);
Result ExtractEntries();

// After extraction (postextract.cpp): opens the folder, or runs the program and waits for it.
Result PostExtraction();

// Window (window.cpp): the progress display between work steps; nothing in silent mode.
void CreateProgressWindow();
void CloseProgressWindow();
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
