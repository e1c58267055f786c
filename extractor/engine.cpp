// The extraction engine: pre-scan, extraction folder, free space, and the entry loop.
#include "runstate.h"

#include "u_codepage.h"
#include "u_names.h"
#include "u_payload.h"
#ifdef QUILLET_COMPACT_EXTRACTOR
#include "u_frames.h"
#else
#include <libdeflate.h>
#endif
#include <shlobj.h>

namespace {

const DWORD MaxNameLength = MaxNameUnits;

BYTE* Allocate(DWORD size) {
    return static_cast<BYTE*>(VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
}

// The two builds of the extractor differ in their decoder alone. The classic one reads the
// original and the extended form and inflates their chunks with libdeflate; the compact one reads
// the compact form, whose reader unpacks the zstd frames into its own buffers.
#ifdef QUILLET_COMPACT_EXTRACTOR
void* AllocateForReader(void*, uint32_t size) { return Allocate(size); }

// The decoder for the reader's source; the form is checked once the reader has opened the file.
bool SetDecoder(PayloadSource& source) {
    size_t size = FrameDecoderSize();
    void* memory = Allocate(static_cast<DWORD>(size));
    source.unpack = UnpackFrame;
    source.decoder = memory ? MakeFrameDecoder(memory, size) : nullptr;
    source.allocate = AllocateForReader;
    return source.decoder != nullptr;
}
bool FormTaken(bool compact) { return compact; }

BYTE dataPass;  // the reader only needs to know that the data is wanted
BYTE* PrepareData() { return &dataPass; }

// The piece's plain bytes, in the reader's frame.
bool PlainOf(const PayloadPiece& piece, const BYTE*& plain) {
    plain = piece.Plain;
    return true;
}
#else
BYTE* inputBuffer;   // MaxPackedChunk bytes, for packed chunks and pieces of stored data
BYTE* outputBuffer;  // ChunkSize bytes, one inflated chunk
libdeflate_decompressor* inflater;

bool SetDecoder(PayloadSource&) { return true; }
bool FormTaken(bool compact) { return !compact; }

BYTE* PrepareData() {
    if (!inputBuffer) inputBuffer = Allocate(MaxPackedChunk);
    if (!outputBuffer) outputBuffer = Allocate(ChunkSize);
    if (!inflater) inflater = libdeflate_alloc_decompressor();
    return inputBuffer && outputBuffer && inflater ? inputBuffer : nullptr;
}

// A chunk inflated to exactly the stored plain length: a damaged stream, a wrong Adler-32, or one
// that inflates to more or fewer bytes is a failure. Stored data is the piece itself.
bool PlainOf(const PayloadPiece& piece, const BYTE*& plain) {
    plain = inputBuffer;
    if (!Run.settings.Compressed) return true;
    size_t produced = 0;
    plain = outputBuffer;
    return libdeflate_zlib_decompress(inflater, inputBuffer, piece.StoredLength, outputBuffer, piece.PlainLength,
                                      &produced) == LIBDEFLATE_SUCCESS &&
           produced == piece.PlainLength;
}
#endif

PayloadReader payload;
char nameBytes[MaxNameLength];     // a stored name of the original form
WCHAR name[MaxNameLength + 1];     // the current entry's name, decoded
WCHAR path[PathSize];              // and its full path

// A failure of the container or of reading it: the code the reader gives, with the own path.
Result Check(uint32_t code) { return code ? Result{code, Run.ownPath} : GoOn; }

uint32_t ReadOwn(LONGLONG at, void* buffer, DWORD size);
uint32_t ReadPayload(void*, uint64_t offset, void* buffer, uint32_t size) {
    return ReadOwn(static_cast<LONGLONG>(offset), buffer, size);
}

// The next entry, its name checked before anything is made of it; done at the terminator.
// Slashes become backslashes: the long path form takes no other separator.
Result NextEntry(PayloadEntry& entry, bool& done) {
    RETURN_IF_ENDS(Check(payload.NextEntry(entry, name, MaxNameLength + 1, done)));
    if (done) return GoOn;
    if (!names::IsSafeName(name)) return {ERROR_INVALID_DATA, Run.ownPath};
    for (WCHAR* p = name; *p; ++p)
        if (*p == '/') *p = '\\';
    return GoOn;
}

void ShellFolder(int csidl, WCHAR* out) {
    auto* folderPath = ShellFunction<decltype(SHGetFolderPathW)>("SHGetFolderPathW");
    if (!folderPath || FAILED(folderPath(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, out))) out[0] = 0;
}

// The folder dialog; a cancel ends the run quietly. The Ex form gives paths beyond MAX_PATH.
Result AskForFolder(WCHAR* out) {
    if (auto* initialize = reinterpret_cast<decltype(CoInitialize)*>(SystemFunction(L"ole32.dll", "CoInitialize")))
        initialize(nullptr);
    auto* browse = ShellFunction<decltype(SHBrowseForFolderW)>("SHBrowseForFolderW");
    auto* toLongPath = ShellFunction<BOOL WINAPI(LPCITEMIDLIST, PWSTR, DWORD, int)>("SHGetPathFromIDListEx");
    auto* toPath = ShellFunction<decltype(SHGetPathFromIDListW)>("SHGetPathFromIDListW");
    auto* release = ShellFunction<decltype(ILFree)>("ILFree");
    if (!browse || !toPath || !release) return LastError(Run.ownPath, ERROR_PROC_NOT_FOUND);
    WCHAR display[MAX_PATH];
    BROWSEINFOW info = {};
    info.hwndOwner = Run.window;
    info.pszDisplayName = display;
    info.lpszTitle = Message(msgExtractTo);
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    LPITEMIDLIST items = browse(&info);
    if (!items) return {0, L""};
    BOOL ok = toLongPath ? toLongPath(items, out, PathSize, 0) : toPath(items, out);
    release(items);
    return ok ? GoOn : Result{0, L""};
}

bool AskOverwrite(const WCHAR* path) {
    WCHAR system[256];
    SystemText(ERROR_FILE_EXISTS, system, 256);
    static WCHAR text[PathSize + 512];
    text[0] = 0;
    AppendText(text, system, PathSize + 512);
    AppendText(text, L"\r\n", PathSize + 512);
    AppendText(text, path, PathSize + 512);
    AppendText(text, L"\r\n\r\n", PathSize + 512);
    AppendText(text, Message(msgOverwriteFile), PathSize + 512);
    return MessageBoxW(nullptr, text, nullptr, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TOPMOST) == IDYES;
}

// Creates the file under a temporary name in the folder where it goes: "~sfx" and four hex digits.
// CREATE_NEW never touches a file that is there, and the name is free again before the next entry,
// since the file is renamed or deleted first. Run.currentFile and Run.tempPath hold the file, so
// that every end of the run closes and deletes it.
Result CreateTemporary(const WCHAR* path) {
    static DWORD serial;
    if (!serial) serial = GetTickCount() ^ (GetCurrentProcessId() << 4);
    lstrcpynW(Run.tempPath, path, PathSize);
    WCHAR* name = Run.tempPath;
    for (WCHAR* p = Run.tempPath; *p; ++p)
        if (*p == '\\') name = p + 1;
    DWORD code = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && code == ERROR_FILE_EXISTS; ++attempt) {
        wsprintfW(name, L"~sfx%04X.tmp", ++serial & 0xFFFF);
        if (!lstrcmpiW(Run.tempPath, path)) continue;  // never the entry's own name
        HANDLE file = CreateFileW(Long(Run.tempPath), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            Run.currentFile = file;
            return GoOn;
        }
        code = GetLastError();
        if (code == ERROR_ALREADY_EXISTS) code = ERROR_FILE_EXISTS;
    }
    Run.tempPath[0] = 0;
    return {code, path};
}

// Gives the open temporary file its real name, in the same folder, replacing a file there when
// asked: the rename MoveFileExW makes, but on the handle already open, which spares every file a
// second open and close. The system takes the new name in its own form: \??\C:\... or
// \??\UNC\server\share\...
bool Rename(HANDLE file, const WCHAR* path, bool replace) {
    static DWORD buffer[sizeof(FILE_RENAME_INFO) / 4 + PathSize / 2 + 8];
    FILE_RENAME_INFO* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer);
    info->ReplaceIfExists = replace;
    info->RootDirectory = nullptr;
    // \\?\C:\... or \\?\UNC\server\share\... with the second character changed.
    WCHAR* name = info->FileName;
    if (!LongForm(path, name, PathSize, true)) return false;
    name[1] = '?';
    info->FileNameLength = lstrlenW(name) * sizeof(WCHAR);
    return SetFileInformationByHandle(file, FileRenameInfo, info, sizeof(FILE_RENAME_INFO) + info->FileNameLength);
}

// Writes the inflated or stored bytes; a failed write ends the run with the file's path.
Result WriteOut(HANDLE file, const void* data, DWORD size, const WCHAR* path) {
    DWORD written = 0;
    if (!WriteFile(file, data, size, &written, nullptr) || written != size) return LastError(path, ERROR_WRITE_FAULT);
    return GoOn;
}

}  // namespace

// The own file is read through a small window, so the many small reads of headers and names cost no
// system call each; large reads go straight to the file.
namespace {
BYTE window[65536];
LONGLONG windowStart = -1;
DWORD windowLength = 0;

// A failed read gives the system's code; the reader has checked the size, so a short read means
// the file changed under the run.
uint32_t ReadDirect(LONGLONG at, void* buffer, DWORD size, DWORD* got) {
    LARGE_INTEGER offset;
    offset.QuadPart = at;
    *got = 0;
    if (!SetFilePointerEx(Run.ownFile, offset, nullptr, FILE_BEGIN) ||
        !ReadFile(Run.ownFile, buffer, size, got, nullptr))
        return LastCode(ERROR_INVALID_DATA);
    return 0;
}

uint32_t ReadOwn(LONGLONG at, void* buffer, DWORD size) {
    DWORD got = 0;
    uint32_t code;
    if (size > sizeof(window) / 2) {
        if ((code = ReadDirect(at, buffer, size, &got))) return code;
    } else {
        if (at < windowStart || at + size > windowStart + windowLength) {
            windowStart = -1;
            if ((code = ReadDirect(at, window, sizeof(window), &windowLength))) return code;
            windowStart = at;
        }
        got = at + size <= windowStart + windowLength ? size : 0;
        if (got) memcpy(buffer, window + (at - windowStart), size);
    }
    return got == size ? 0 : ERROR_HANDLE_EOF;
}

}  // namespace

bool TempFolder(WCHAR* out, bool ownSubFolder) {
    DWORD n = GetTempPathW(0, nullptr);
    if (!n || n >= PathSize - MaxNameLength - 32 || !GetTempPathW(PathSize, out)) {
        out[0] = 0;
        return false;
    }
    AddBackslash(out);
    if (ownSubFolder) {
        AppendText(out, L"~sfx", PathSize);
        FromCodePage(Run.settings.InstanceName, out + lstrlenW(out), InstanceNameSize);
        AppendText(out, L"\\", PathSize);
    }
    return true;
}

Result OpenPayload() {
    PayloadSource source = {ReadPayload, nullptr, Run.payloadOffset, static_cast<uint64_t>(Run.ownSize),
                            CodePageToWide, nameBytes, MaxNameLength};
    if (!SetDecoder(source)) return {ERROR_NOT_ENOUGH_MEMORY, Run.ownPath};
    RETURN_IF_ENDS(Check(payload.Open(source, Run.settings, Run.cmdParameters, Run.customFolder)));
    // Each build takes the forms it has the decoder for; the builder never pairs them otherwise.
    return FormTaken(payload.Compact()) ? GoOn : Result{ERROR_INVALID_DATA, Run.ownPath};
}

// Every header, name and chunk header, before anything is created: a damaged or cut list, or an
// unsafe name, ends the run here.
Result ScanEntries() {
    PayloadEntry entry;
    PayloadPiece piece;
    uint64_t total = 0;
    for (bool done = false;;) {
        RETURN_IF_ENDS(NextEntry(entry, done));
        if (done) break;
        do RETURN_IF_ENDS(Check(payload.NextPiece(nullptr, piece)));
        while (piece.PlainLength);
        RETURN_IF_ENDS(Check(payload.EndEntry(false)));
        total += entry.DataSize;
        PumpMessages();
    }
    // Each size is bounded by the data present, so the sum stays far below 2^63.
    Run.totalBytes = static_cast<LONGLONG>(total);
    return total ? GoOn : Result{ERROR_INVALID_DATA, Run.ownPath};
}

Result ChooseExtractionFolder() {
    static WCHAR folder[PathSize];
    folder[0] = 0;
    switch (Run.settings.ExtractionFolder) {
    case 1: ShellFolder(CSIDL_DESKTOPDIRECTORY, folder); break;
    case 2: ShellFolder(CSIDL_PERSONAL, folder); break;
    case 3: GetCurrentDirectoryW(PathSize, folder); break;
    case 4: RETURN_IF_ENDS(AskForFolder(folder)); break;
    case 5: {
        DWORD n = ExpandEnvironmentStringsW(Run.customFolder, nullptr, 0);
        if (!n || n > PathSize || !ExpandEnvironmentStringsW(Run.customFolder, folder, PathSize)) folder[0] = 0;
        break;
    }
    default: TempFolder(folder, true); break;
    }
    // Relative and ".." texts become full paths; the names stored below it end within PathSize.
    Run.extractionFolder[0] = 0;
    if (folder[0] && !ResolvePath(folder, Run.extractionFolder, PathSize - MaxNameLength - 32))
        return {ERROR_FILENAME_EXCED_RANGE, folder};
    AddBackslash(Run.extractionFolder);
    return Run.extractionFolder[0] ? GoOn : LastError(Run.ownPath, ERROR_INVALID_DATA);
}

// The free space is that of the extraction folder itself, or of its nearest existing parent: a
// volume may be mounted into a folder, and a share has no drive letter at all.
Result CheckFreeSpace() {
    const WCHAR* folder = Run.extractionFolder;
    // The root that the message names and the walk up stops at: "C:\" or "\\server\share\".
    int root = 3;
    bool share = folder[0] == '\\' && folder[1] == '\\';
    if (share) {
        int backslashes = 0;
        root = lstrlenW(folder);
        for (const WCHAR* p = folder; *p; ++p)
            if (*p == '\\' && ++backslashes == 4) {
                root = static_cast<int>(p + 1 - folder);
                break;
            }
    }
    static WCHAR probe[PathSize];
    lstrcpynW(probe, folder, PathSize);
    LONGLONG free = -1;
    for (;;) {
        ULARGE_INTEGER available;
        if (GetDiskFreeSpaceExW(Long(probe), &available, nullptr, nullptr)) {
            free = static_cast<LONGLONG>(available.QuadPart);
            break;
        }
        // One part up: cut after the backslash before the trailing one.
        WCHAR* cut = nullptr;
        int n = lstrlenW(probe);
        for (WCHAR* p = probe; p < probe + n - 1; ++p)
            if (*p == '\\') cut = p;
        if (!cut || cut + 1 - probe < root) break;
        cut[1] = 0;
    }
    if (Run.totalBytes <= free) return GoOn;
    static WCHAR text[PathSize + 128];
    if (share) {
        lstrcpynW(text, folder, root + 1);
    } else {
        WCHAR drive = folder[0];
        if (drive >= 'a' && drive <= 'z') drive = static_cast<WCHAR>(drive - 'a' + 'A');
        text[0] = drive;
        text[1] = ':';
        text[2] = '\\';
        text[3] = 0;
    }
    // The sizes are ASCII with a '.' where the user's separator goes, which may lie outside it.
    char freeText[48], totalText[48];
    FormatSize(free, '.', freeText, 48);
    FormatSize(Run.totalBytes, '.', totalText, 48);
    WCHAR separator[8];
    if (!GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8)) separator[0] = 0;
    WCHAR* sizes = text + lstrlenW(text);
    wsprintfW(sizes, L"   [%hs < %hs]", freeText, totalText);
    for (; *sizes; ++sizes)
        if (*sizes == '.' && separator[0]) *sizes = separator[0];
    return {ERROR_DISK_FULL, text};
}

bool IsLink(DWORD attributes) {
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// Creates a folder and its missing parents, each through its long form when it needs one. A folder
// that stands there already as a link (a junction, a symbolic link) leads elsewhere: the run never
// writes below one it did not make.
Result MakeFolder(const WCHAR* path) {
    static WCHAR folder[PathSize];
    lstrcpynW(folder, path, PathSize);
    int n = lstrlenW(folder);
    if (n && folder[n - 1] == '\\') folder[--n] = 0;
    bool blank = true;
    for (const WCHAR* p = folder; *p; ++p)
        if (*p > 32) blank = false;
    if (blank) return GoOn;
    // Missing parents are made too, from the top; only the folder asked for goes on the clean-up
    // list. What stands there when the call is done is looked at, whoever made it.
    if (GetFileAttributesW(Long(folder)) == INVALID_FILE_ATTRIBUTES) {
        bool made = CreateDirectoryW(Long(folder), nullptr);
        if (!made && GetLastError() == ERROR_PATH_NOT_FOUND) {
            int start = folder[0] == '\\' && folder[1] == '\\' ? 2 : 3;
            for (int i = start; i < n; ++i)
                if (folder[i] == '\\') {
                    folder[i] = 0;
                    CreateDirectoryW(Long(folder), nullptr);
                    folder[i] = '\\';
                }
            made = CreateDirectoryW(Long(folder), nullptr);
        }
        if (made) Run.CreatedFolders.Add(folder);
    }
    return IsLink(GetFileAttributesW(Long(folder))) ? Result{ERROR_CANT_ACCESS_FILE, path} : GoOn;
}

bool CutAtLink(WCHAR* path, int from) {
    if (from > lstrlenW(path)) return false;
    for (int i = from; path[i]; ++i)
        if (path[i] == '\\') {
            path[i] = 0;
            if (IsLink(GetFileAttributesW(Long(path)))) return true;
            path[i] = '\\';
        }
    return false;
}

Result ExtractEntries() {
    BYTE* buffer = PrepareData();
    if (!buffer) return {ERROR_NOT_ENOUGH_MEMORY, Run.ownPath};
    payload.Rewind();
    PayloadEntry h;
    for (bool done = false;;) {
        RETURN_IF_ENDS(NextEntry(h, done));
        if (done) return GoOn;
        if (h.Kind == EntrySelfDelete) {
            if (!TempFolder(path, false)) return LastError(Run.ownPath, ERROR_INVALID_DATA);
        } else {
            lstrcpynW(path, Run.extractionFolder, PathSize);
        }
        int base = lstrlenW(path);
        AppendText(path, name, PathSize);
        // No folder between the base and the entry is a link; the one that is ends the run, named.
        if (CutAtLink(path, base)) return {ERROR_CANT_ACCESS_FILE, path};

        if (h.Attributes & FolderAttribute) {
            RETURN_IF_ENDS(MakeFolder(path));
            RETURN_IF_ENDS(Check(payload.EndEntry(true)));
            SetFileAttributesW(Long(path), h.Attributes);
            continue;
        }
        if (h.Kind == EntryExecutable) lstrcpynW(Run.executablePath, path, PathSize);
        if (h.Kind == EntrySelfDelete) lstrcpynW(Run.helperPath, path, PathSize);

        // The overwrite question comes before any data is read; the file itself is written under a
        // temporary name and gets its own only once its checksum has been verified. Overwriting all
        // needs no look first: the rename replaces whatever is there.
        bool overwriteAll = Run.settings.OverwriteMode == 1;
        DWORD existing = overwriteAll ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(Long(path));
        bool exists = existing != INVALID_FILE_ATTRIBUTES;
        if (exists && (existing & FILE_ATTRIBUTE_DIRECTORY))
            return {ERROR_ACCESS_DENIED, path};  // a folder stands there
        bool write = !exists || overwriteAll || (Run.settings.OverwriteMode != 2 && AskOverwrite(path));
        if (write) RETURN_IF_ENDS(CreateTemporary(path));
        HANDLE file = Run.currentFile;  // FinishRun closes it and deletes the temporary file
        for (;;) {
            PayloadPiece piece;
            RETURN_IF_ENDS(Check(payload.NextPiece(buffer, piece)));
            if (!piece.PlainLength) break;
            const BYTE* plain;
            if (!PlainOf(piece, plain)) return {ERROR_BAD_ARGUMENTS, path};
            if (write) RETURN_IF_ENDS(WriteOut(file, plain, piece.PlainLength, path));
            payload.AddPlain(plain, piece.PlainLength);
            Run.doneBytes += piece.PlainLength;
            RefreshProgress();
            PumpMessages();
        }
        RETURN_IF_ENDS(Check(payload.EndEntry(true)));
        if (write) {
            FILETIME local, utc;
            if (DosDateTimeToFileTime(HIWORD(h.FileTime), LOWORD(h.FileTime), &local) &&
                LocalFileTimeToFileTime(&local, &utc))
                SetFileTime(file, nullptr, nullptr, &utc);
            // One step from the temporary name to the real one: a rename for a new file, a
            // replacement for an existing one. A read-only one is made writable first, and keeps
            // its attributes when the step fails.
            bool named = Rename(file, path, exists || overwriteAll);
            if (!named && GetLastError() == ERROR_ACCESS_DENIED) {
                existing = GetFileAttributesW(Long(path));
                if (existing != INVALID_FILE_ATTRIBUTES &&
                    !(existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) &&
                    SetFileAttributesW(Long(path), FILE_ATTRIBUTE_NORMAL)) {
                    named = Rename(file, path, true);
                    DWORD code = GetLastError();
                    if (!named) SetFileAttributesW(Long(path), existing);
                    SetLastError(code);
                }
            }
            if (!named) return LastError(path, ERROR_WRITE_FAULT);
            CloseHandle(file);
            Run.currentFile = nullptr;
            Run.tempPath[0] = 0;
            // Only files this run wrote go on the clean-up lists, under their real names.
            if (h.Kind == EntrySelfDelete)
                Run.helperWritten = true;
            else
                Run.ExtractedFiles.Add(path);
        }
        // A file this run wrote has the archive attribute already: most need no change. A kept
        // link keeps its target's attributes.
        if (write ? h.Attributes != FILE_ATTRIBUTE_ARCHIVE : !IsLink(existing))
            SetFileAttributesW(Long(path), h.Attributes);
    }
}
