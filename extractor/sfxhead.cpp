// sfxhead: the extractor at the head of every SFX file. It finds the data appended to its own
// program image, unpacks it and ends through FinishRun with a meaningful exit code.
#include "runstate.h"
#include "u_dllsearch.h"
#include "u_translations.h"

RunState Run;

void StringList::Add(const WCHAR* text) {
    HANDLE heap = GetProcessHeap();
    if (count == capacity) {
        int grown = capacity ? capacity * 2 : 64;
        void* items2 =
            items ? HeapReAlloc(heap, 0, items, grown * sizeof(WCHAR*)) : HeapAlloc(heap, 0, grown * sizeof(WCHAR*));
        if (!items2) return;
        items = static_cast<WCHAR**>(items2);
        capacity = grown;
    }
    int n = lstrlenW(text) + 1;
    WCHAR* copy = static_cast<WCHAR*>(HeapAlloc(heap, 0, n * sizeof(WCHAR)));
    if (!copy) return;
    lstrcpynW(copy, text, n);
    items[count++] = copy;
}

void SelectLanguage() { Run.LanguageIndex = LanguageFor(GetSystemDefaultLangID() & 0xFF, GetACP()); }

const char* Text(MessageId id) { return TextFor(Run.LanguageIndex, id); }

// A language is chosen only under its own code page, so the conversion is exact.
const WCHAR* Message(MessageId id) {
    static WCHAR texts[4][160];
    if (!texts[id][0]) FromCodePage(Text(id), texts[id], 160);
    return texts[id];
}

void* SystemFunction(const WCHAR* dll, const char* name) {
    WCHAR path[MAX_PATH + 16];
    UINT n = GetSystemDirectoryW(path, MAX_PATH);
    if (!n || n >= MAX_PATH) return nullptr;
    path[n] = '\\';
    lstrcpynW(path + n + 1, dll, 16);
    // Without the restriction (an old system), the DLL's own dependencies are still looked for in
    // the system folder first.
    HMODULE module = LoadLibraryExW(
        path, nullptr, Run.dllSearchRestricted ? LOAD_LIBRARY_SEARCH_SYSTEM32 : LOAD_WITH_ALTERED_SEARCH_PATH);
    return module ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

namespace {

// Reads at an offset; false on any failure or short read.
bool ReadAt(LONGLONG offset, void* buffer, DWORD size) {
    LARGE_INTEGER at;
    at.QuadPart = offset;
    DWORD got = 0;
    return SetFilePointerEx(Run.ownFile, at, nullptr, FILE_BEGIN) &&
           ReadFile(Run.ownFile, buffer, size, &got, nullptr) && got == size;
}

WORD Le16(const BYTE* b) { return static_cast<WORD>(b[0] | (b[1] << 8)); }

// The end of the raw data of the last section: where the appended data begins.
DWORD LocatePayload() {
    BYTE b[40];
    LONGLONG pos = 2;
    if (!ReadAt(0, b, 2)) return 0;
    if (b[0] == 'M' && b[1] == 'Z') {
        if (!ReadAt(0x3C, b, 2)) return 0;
        pos = Le16(b);
    }
    if (!ReadAt(pos, b, 24) || b[0] != 'P' || b[1] != 'E' || b[2] || b[3]) return 0;
    WORD sections = Le16(b + 6), optional = Le16(b + 20);
    pos += 24 + optional;
    LONGLONG end = 0;
    for (WORD i = 0; i < sections; ++i, pos += 40) {
        if (!ReadAt(pos, b, 40)) return 0;
        LONG size = static_cast<LONG>(GetLE32(b + 16));
        DWORD offset = GetLE32(b + 20);
        if (size > 0 && offset + static_cast<LONGLONG>(size) > end) end = offset + static_cast<LONGLONG>(size);
    }
    return end > 0x7FFFFFFF ? 0 : static_cast<DWORD>(end);
}

// The own file, shared the way scanners and indexers open theirs (reading and deleting), so that
// their holds never stop a run. A hold that does conflict (a scanner that takes the file without
// sharing as the program starts) lets go within moments: a sharing violation is tried again for 5 s.
Result OpenOwnFile() {
    DWORD start = GetTickCount();
    for (;;) {
        HANDLE file = CreateFileW(Long(Run.ownPath), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            Run.ownFile = file;
            break;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION || GetTickCount() - start >= 5000)
            return LastError(Run.ownPath, ERROR_INVALID_DATA);
        Sleep(100);
    }
    LARGE_INTEGER size;
    if (!GetFileSizeEx(Run.ownFile, &size)) return LastError(Run.ownPath, ERROR_INVALID_DATA);
    Run.ownSize = size.QuadPart;
    Run.payloadOffset = LocatePayload();
    if (!Run.payloadOffset || Run.ownSize <= static_cast<LONGLONG>(Run.payloadOffset) + SettingsRecordSize)
        return {ERROR_HANDLE_EOF, Run.ownPath};
    return GoOn;
}

// The steps of a run in their order; the first that ends the run ends the chain.
Result RunSteps() {
    DWORD n = GetModuleFileNameW(nullptr, Run.ownPath, PathSize);
    if (!n || n >= PathSize) return {ERROR_FILENAME_EXCED_RANGE, Run.ownPath};
    RETURN_IF_ENDS(OpenOwnFile());
    RETURN_IF_ENDS(OpenPayload());
    RETURN_IF_ENDS(CheckSingleInstance());
    SelectLanguage();
    CreateProgressWindow();
    PumpMessages();

    RETURN_IF_ENDS(ScanEntries());
    RETURN_IF_ENDS(ChooseExtractionFolder());
    RETURN_IF_ENDS(CheckFreeSpace());
    RETURN_IF_ENDS(MakeFolder(Run.extractionFolder));
    RETURN_IF_ENDS(ExtractEntries());
    CloseHandle(Run.ownFile);
    Run.ownFile = nullptr;
    return PostExtraction();
}

}  // namespace

// The entry point itself: the extractor needs nothing of a C runtime's start-up.
extern "C" __attribute__((noreturn)) void __stdcall SfxEntry() {
    Run.dllSearchRestricted = RestrictDllSearch();
    SetUnhandledExceptionFilter(UnexpectedFault);
    Result end = RunSteps();
    FinishRun(Ends(end) ? end.text : L"", end.code);
}
