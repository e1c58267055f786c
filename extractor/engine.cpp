// The extraction engine: pre-scan, extraction folder, free space, and the entry loop.
#include "runstate.h"

#include <shlobj.h>
#include <libdeflate.h>
#include "u_translations.h"

namespace {

const int MaxNameLength = 512;  // longer names cannot be created through the A functions

BYTE* inputBuffer;   // MaxPackedChunk bytes, for packed chunks and pieces of stored data
BYTE* outputBuffer;  // ChunkSize bytes, one inflated chunk
libdeflate_decompressor* inflater;

BYTE* Allocate(DWORD size) {
    void* p = VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!p) FinishRun(Run.ownPath, ERROR_NOT_ENOUGH_MEMORY);
    return static_cast<BYTE*>(p);
}

EntryHeader ReadHeader() {
    BYTE b[EntryHeaderSize];
    ReadOwn(b, EntryHeaderSize);
    return DecodeEntryHeader(b);
}

DWORD Read32() {
    BYTE b[4];
    ReadOwn(b, 4);
    return GetLE32(b);
}

// A part up to its first dot, blanks before the dot dropped, that names a device: CON, nul.txt,
// Lpt9.log. Windows opens the device for such a name in any folder.
bool IsDeviceName(const char* from, const char* to) {
    const char* end = from;
    while (end < to && *end != '.') ++end;
    while (end > from && end[-1] == ' ') --end;
    int n = static_cast<int>(end - from);
    if (n != 3 && n != 4) return false;
    char u[4];
    for (int i = 0; i < n; ++i) u[i] = from[i] >= 'a' && from[i] <= 'z' ? static_cast<char>(from[i] - 32) : from[i];
    if (n == 4) {
        if (u[3] < '1' || u[3] > '9') return false;
        return (u[0] == 'C' && u[1] == 'O' && u[2] == 'M') || (u[0] == 'L' && u[1] == 'P' && u[2] == 'T');
    }
    static const char devices[] = "CONPRNAUXNUL";
    for (int k = 0; k < 12; k += 3)
        if (u[0] == devices[k] && u[1] == devices[k + 1] && u[2] == devices[k + 2]) return true;
    return false;
}

// A stored name must stay inside its base folder (no drive, no root, no ".." part) and must be
// one that Windows stores as given: no device name, no part ending in a dot or a blank (Windows
// drops them, so "a." would land on "a"), none of the characters Windows forbids in names.
bool IsSafeName(const char* name) {
    if (name[0] == '\\' || name[0] == '/') return false;
    const char* part = name;
    const char* last = nullptr;  // the last character of the part
    for (const char* p = name;; p = CharNextA(p)) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\\' || c == '/' || !c) {
            if (!last || *last == '.' || *last == ' ' || IsDeviceName(part, p)) return false;
            if (!c) return true;
            part = p + 1;
            last = nullptr;
        } else {
            if (c < 32 || c == ':' || c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return false;
            last = p;
        }
    }
}

// Reads a name of the given length after a header; refuses a malformed or unsafe one.
void ReadName(const EntryHeader& h, char* name) {
    if (h.NameLength < 0 || h.NameLength > MaxNameLength) FinishRun(Run.ownPath, ERROR_INVALID_DATA);
    ReadOwn(name, h.NameLength);
    name[h.NameLength] = 0;
    if (!IsSafeName(name)) FinishRun(Run.ownPath, ERROR_INVALID_DATA);
}

bool ShellFolder(int csidl, char* out) {
    out[0] = 0;
    auto* folderPath = ShellFunction<decltype(SHGetFolderPathA)>("SHGetFolderPathA");
    if (!folderPath || FAILED(folderPath(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, out))) out[0] = 0;
    return out[0] != 0;
}

// The folder dialog; a cancel ends the run quietly.
void AskForFolder(char* out) {
    if (auto* initialize = reinterpret_cast<decltype(CoInitialize)*>(SystemFunction("ole32.dll", "CoInitialize")))
        initialize(nullptr);
    auto* browse = ShellFunction<decltype(SHBrowseForFolderA)>("SHBrowseForFolderA");
    auto* toPath = ShellFunction<decltype(SHGetPathFromIDListA)>("SHGetPathFromIDListA");
    auto* release = ShellFunction<decltype(ILFree)>("ILFree");
    if (!browse || !toPath || !release) FailGuarded(ERROR_PROC_NOT_FOUND);
    char display[MAX_PATH];
    BROWSEINFOA info = {};
    info.hwndOwner = Run.window;
    info.pszDisplayName = display;
    info.lpszTitle = Text(msgExtractTo);
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    LPITEMIDLIST items = browse(&info);
    if (!items) FinishRun("", 0);
    char path[MAX_PATH];
    BOOL ok = toPath(items, path);
    release(items);
    if (!ok) FinishRun("", 0);
    lstrcpynA(out, path, PathSize);
}

bool AskOverwrite(const char* path) {
    char system[256];
    SystemText(ERROR_FILE_EXISTS, system, sizeof(system));
    static char text[PathSize + 512];
    text[0] = 0;
    AppendText(text, system, sizeof(text));
    AppendText(text, "\r\n", sizeof(text));
    AppendText(text, path, sizeof(text));
    AppendText(text, "\r\n\r\n", sizeof(text));
    AppendText(text, Text(msgOverwriteFile), sizeof(text));
    return MessageBoxA(nullptr, text, nullptr, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_TOPMOST) == IDYES;
}

// Creates the file under a temporary name in the folder where it goes: "~sfx" and four hex
// digits. CREATE_NEW never touches a file that is there, and the name is free again before the
// next entry, since the file is renamed or deleted first. Run.tempPath holds the name, so that
// every failure deletes it.
HANDLE CreateTemporary(const char* path) {
    static DWORD serial;
    if (!serial) serial = GetTickCount() ^ (GetCurrentProcessId() << 4);
    lstrcpynA(Run.tempPath, path, sizeof(Run.tempPath) - 16);
    char* name = Run.tempPath;
    for (char* p = Run.tempPath; *p; p = CharNextA(p))
        if (*p == '\\') name = p + 1;
    DWORD code = ERROR_FILE_EXISTS;
    for (int attempt = 0; attempt < 100 && code == ERROR_FILE_EXISTS; ++attempt) {
        wsprintfA(name, "~sfx%04X.tmp", ++serial & 0xFFFF);
        if (!lstrcmpiA(Run.tempPath, path)) continue;  // never the entry's own name
        HANDLE file =
            CreateFileA(Run.tempPath, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) return file;
        code = GetLastError();
        if (code == ERROR_ALREADY_EXISTS) code = ERROR_FILE_EXISTS;
    }
    Run.tempPath[0] = 0;
    FinishRun(path, code);
}

// Gives the open temporary file its real name, in the same folder, replacing a file there when
// asked: the rename MoveFileExA makes, but on the handle already open, which spares every file a
// second open and close. The system takes the new name in its own form: \??\C:\... or
// \??\UNC\server\share\...
bool Rename(HANDLE file, const char* path, bool replace) {
    static DWORD buffer[sizeof(FILE_RENAME_INFO) / 4 + PathSize + 8];
    FILE_RENAME_INFO* info = reinterpret_cast<FILE_RENAME_INFO*>(buffer);
    info->ReplaceIfExists = replace;
    info->RootDirectory = nullptr;
    WCHAR* name = info->FileName;
    lstrcpyW(name, L"\\??\\");
    if (path[0] == '\\' && path[1] == '\\') {
        if (path[2] == '?' && path[3] == '\\') {
            path += 4;
        } else {
            lstrcpyW(name + 4, L"UNC\\");
            path += 2;
        }
    }
    int n = lstrlenW(name);
    int m = MultiByteToWideChar(CP_ACP, 0, path, -1, name + n, 2 * PathSize);
    if (!m) return false;
    for (WCHAR* p = name + n; *p; ++p)
        if (*p == '/') *p = '\\';
    info->FileNameLength = (n + m - 1) * sizeof(WCHAR);
    return SetFileInformationByHandle(file, FileRenameInfo, info, sizeof(FILE_RENAME_INFO) + info->FileNameLength);
}

// Writes the inflated or stored bytes; a failed write ends the run with the file's path.
void WriteOut(HANDLE file, const void* data, DWORD size, const char* path) {
    DWORD written = 0;
    if (!WriteFile(file, data, size, &written, nullptr) || written != size) {
        DWORD code = GetLastError();
        FinishRun(path, code ? code : ERROR_WRITE_FAULT);
    }
}

}  // namespace

// The own file is read through a small window, so the many small reads of headers and names
// cost no system call each; large reads go straight to the file.
namespace {
BYTE window[65536];
LONGLONG windowStart = -1;
DWORD windowLength = 0;
LONGLONG position = 0;

void ReadDirect(LONGLONG at, void* buffer, DWORD size, DWORD* got) {
    LARGE_INTEGER offset;
    offset.QuadPart = at;
    *got = 0;
    if (!SetFilePointerEx(Run.ownFile, offset, nullptr, FILE_BEGIN) || !ReadFile(Run.ownFile, buffer, size, got, nullptr))
        FailGuarded(ERROR_INVALID_DATA);
}
}  // namespace

void SeekOwn(LONGLONG at) { position = at; }

void ReadOwn(void* buffer, DWORD size) {
    DWORD got = 0;
    if (size > sizeof(window) / 2) {
        ReadDirect(position, buffer, size, &got);
    } else {
        if (position < windowStart || position + size > windowStart + windowLength) {
            ReadDirect(position, window, sizeof(window), &windowLength);
            windowStart = position;
        }
        got = position + size <= windowStart + windowLength ? size : 0;
        if (got) memcpy(buffer, window + (position - windowStart), size);
    }
    if (got != size) FinishRun(Run.ownPath, ERROR_HANDLE_EOF);
    position += size;
}

bool TempFolder(char* out, bool ownSubFolder) {
    out[0] = 0;
    DWORD n = GetTempPathA(0, nullptr);
    if (!n || n >= PathSize - 32 || !GetTempPathA(PathSize, out)) {
        out[0] = 0;
        return false;
    }
    AddBackslash(out);
    if (ownSubFolder) {
        AppendText(out, "~sfx", PathSize);
        AppendText(out, Run.settings.InstanceName, PathSize);
        AppendText(out, "\\", PathSize);
    }
    return true;
}

void ScanEntries() {
    LONGLONG pos = static_cast<LONGLONG>(Run.payloadOffset) + SettingsRecordSize;
    LONGLONG total = 0;
    bool terminated = false;
    char name[MaxNameLength + 1];
    while (pos >= 0 && pos + EntryHeaderSize <= Run.ownSize) {
        SeekOwn(pos);
        EntryHeader h = ReadHeader();
        if (IsTerminator(h)) {
            terminated = true;
            break;
        }
        if (h.DataSize < 0 || ((h.Attributes & FolderAttribute) && h.DataSize != 0) ||
            pos + EntryHeaderSize + h.NameLength > Run.ownSize)
            FinishRun(Run.ownPath, ERROR_INVALID_DATA);
        ReadName(h, name);
        pos += EntryHeaderSize + h.NameLength;
        if (Run.settings.Compressed) {
            // Every chunk must hold 1 .. ChunkSize bytes and the chunks must add up exactly.
            LONGLONG acc = 0;
            while (acc < h.DataSize && pos + ChunkHeaderSize <= Run.ownSize) {
                BYTE b[ChunkHeaderSize];
                SeekOwn(pos);
                ReadOwn(b, ChunkHeaderSize);
                ChunkHeader c = DecodeChunkHeader(b);
                if (c.PlainLength <= 0 || static_cast<DWORD>(c.PlainLength) > ChunkSize || c.PackedLength <= 0)
                    FinishRun(Run.ownPath, ERROR_INVALID_DATA);
                acc += c.PlainLength;
                if (acc > h.DataSize) FinishRun(Run.ownPath, ERROR_INVALID_DATA);
                pos += ChunkHeaderSize + static_cast<LONGLONG>(c.PackedLength);
            }
            if (acc < h.DataSize) break;  // ran off the end: no terminator
        } else {
            pos += h.DataSize;
        }
        pos += 4;
        total += h.DataSize;
        PumpMessages();
    }
    Run.totalBytes = total;
    if (total == 0 || !terminated) FinishRun(Run.ownPath, ERROR_INVALID_DATA);
}

void ChooseExtractionFolder() {
    char folder[PathSize] = "";
    switch (Run.settings.ExtractionFolder) {
    case 1: ShellFolder(CSIDL_DESKTOPDIRECTORY, folder); break;
    case 2: ShellFolder(CSIDL_PERSONAL, folder); break;
    case 3: GetCurrentDirectoryA(PathSize, folder); break;
    case 4: AskForFolder(folder); break;
    case 5: {
        DWORD n = ExpandEnvironmentStringsA(Run.settings.CustomFolder, nullptr, 0);
        if (!n || n > PathSize || !ExpandEnvironmentStringsA(Run.settings.CustomFolder, folder, PathSize))
            folder[0] = 0;
        break;
    }
    default: TempFolder(folder, true); break;
    }
    Run.extractionFolder[0] = 0;
    if (folder[0]) {
        DWORD n = GetFullPathNameA(folder, PathSize - 1, Run.extractionFolder, nullptr);
        if (!n || n >= PathSize - 1) Run.extractionFolder[0] = 0;
    }
    AddBackslash(Run.extractionFolder);
    if (!Run.extractionFolder[0]) FailGuarded(ERROR_INVALID_DATA);
}

// The free space is that of the extraction folder itself, or of its nearest existing parent:
// a volume may be mounted into a folder, and a share has no drive letter at all.
void CheckFreeSpace() {
    const char* folder = Run.extractionFolder;
    // The root that the message names and the walk up stops at: "C:\" or "\\server\share\".
    int root = 3;
    bool share = folder[0] == '\\' && folder[1] == '\\';
    if (share) {
        int backslashes = 0;
        root = lstrlenA(folder);
        for (const char* p = folder; *p; p = CharNextA(p))
            if (*p == '\\' && ++backslashes == 4) {
                root = static_cast<int>(p + 1 - folder);
                break;
            }
    }
    char probe[PathSize];
    lstrcpynA(probe, folder, PathSize);
    LONGLONG free = -1;
    for (;;) {
        ULARGE_INTEGER available;
        if (GetDiskFreeSpaceExA(probe, &available, nullptr, nullptr)) {
            free = static_cast<LONGLONG>(available.QuadPart);
            break;
        }
        // One part up: cut after the backslash before the trailing one.
        char* cut = nullptr;
        int n = lstrlenA(probe);
        for (char* p = probe; *p && p < probe + n - 1; p = CharNextA(p))
            if (*p == '\\') cut = p;
        if (!cut || cut + 1 - probe < root) break;
        cut[1] = 0;
    }
    if (Run.totalBytes <= free) return;
    char freeText[48], totalText[48], separator[8] = ".";
    if (!GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof(separator)) || !separator[0])
        separator[0] = '.';
    FormatSize(free, separator[0], freeText, sizeof(freeText));
    FormatSize(Run.totalBytes, separator[0], totalText, sizeof(totalText));
    static char text[PathSize + 128];
    if (share) {
        lstrcpynA(text, folder, root + 1);
    } else {
        char drive = folder[0];
        if (drive >= 'a' && drive <= 'z') drive = static_cast<char>(drive - 'a' + 'A');
        wsprintfA(text, "%c:\\", drive);
    }
    char sizes[128];
    wsprintfA(sizes, "   [%s < %s]", freeText, totalText);
    AppendText(text, sizes, sizeof(text));
    FinishRun(text, ERROR_DISK_FULL);
}

namespace {
bool CreateWithParents(const char* folder) {
    auto* create = ShellFunction<decltype(SHCreateDirectoryExA)>("SHCreateDirectoryExA");
    return create && create(nullptr, folder, nullptr) == ERROR_SUCCESS;
}
}  // namespace

void MakeFolder(const char* path) {
    char folder[PathSize];
    lstrcpynA(folder, path, PathSize);
    int n = lstrlenA(folder);
    if (n && folder[n - 1] == '\\' && CharPrevA(folder, folder + n) == folder + n - 1) folder[--n] = 0;
    bool blank = true;
    for (const char* p = folder; *p; ++p)
        if (static_cast<unsigned char>(*p) > 32) blank = false;
    if (blank || GetFileAttributesA(folder) != INVALID_FILE_ATTRIBUTES) return;
    // Missing parents are made too; only the folder asked for goes on the clean-up list.
    if (CreateDirectoryA(folder, nullptr) ||
        (GetLastError() == ERROR_PATH_NOT_FOUND && CreateWithParents(folder)))
        Run.CreatedFolders.Add(folder);
}

void ExtractEntries() {
    if (!inputBuffer) inputBuffer = Allocate(MaxPackedChunk);
    if (!outputBuffer) outputBuffer = Allocate(ChunkSize);
    if (!inflater && !(inflater = libdeflate_alloc_decompressor())) FinishRun(Run.ownPath, ERROR_NOT_ENOUGH_MEMORY);
    char name[MaxNameLength + 1];
    static char path[PathSize + MaxNameLength];
    while (position < Run.ownSize) {
        EntryHeader h = ReadHeader();
        if (IsTerminator(h)) break;
        ReadName(h, name);
        if (h.Kind == EntrySelfDelete) {
            if (!TempFolder(path, false)) FailGuarded(ERROR_INVALID_DATA);
        } else {
            lstrcpynA(path, Run.extractionFolder, PathSize);
        }
        AppendText(path, name, sizeof(path));
        DWORD sum = ByteSum(name, h.NameLength);

        if (h.Attributes & FolderAttribute) {
            MakeFolder(path);
            if (Read32() != sum) FinishRun(Run.ownPath, ERROR_CRC);
            SetFileAttributesA(path, h.Attributes);
            continue;
        }
        if (h.Kind == EntryExecutable) lstrcpynA(Run.executablePath, path, PathSize);
        if (h.Kind == EntrySelfDelete) lstrcpynA(Run.helperPath, path, PathSize);

        // The overwrite question comes before any data is read; the file itself is written under
        // a temporary name and gets its own only once its checksum has been verified. Overwriting
        // all needs no look first: the rename replaces whatever is there.
        bool overwriteAll = Run.settings.OverwriteMode == 1;
        DWORD existing = overwriteAll ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(path);
        bool exists = existing != INVALID_FILE_ATTRIBUTES;
        if (exists && (existing & FILE_ATTRIBUTE_DIRECTORY)) FinishRun(path, ERROR_ACCESS_DENIED);  // a folder stands there
        bool write = !exists || overwriteAll || (Run.settings.OverwriteMode != 2 && AskOverwrite(path));
        HANDLE file = nullptr;
        if (write) {
            file = CreateTemporary(path);
            Run.currentFile = file;  // FinishRun closes it and deletes the temporary file
        }
        for (LONGLONG i = 0; i < h.DataSize;) {
            DWORD n;
            if (Run.settings.Compressed) {
                BYTE b[ChunkHeaderSize];
                ReadOwn(b, ChunkHeaderSize);
                ChunkHeader c = DecodeChunkHeader(b);
                if (c.PackedLength > static_cast<LONG>(MaxPackedChunk)) FinishRun(Run.ownPath, ERROR_NOT_ENOUGH_MEMORY);
                if (c.PlainLength <= 0 || static_cast<DWORD>(c.PlainLength) > ChunkSize || c.PackedLength <= 0 ||
                    i + c.PlainLength > h.DataSize)
                    FinishRun(Run.ownPath, ERROR_INVALID_DATA);
                ReadOwn(inputBuffer, c.PackedLength);
                // Exactly the stored plain length: a damaged stream, a wrong Adler-32, or one that
                // inflates to more or fewer bytes is a failure.
                size_t produced = 0;
                if (libdeflate_zlib_decompress(inflater, inputBuffer, c.PackedLength, outputBuffer, c.PlainLength,
                                               &produced) != LIBDEFLATE_SUCCESS ||
                    produced != static_cast<size_t>(c.PlainLength))
                    FinishRun(path, ERROR_BAD_ARGUMENTS);
                if (write) WriteOut(file, outputBuffer, produced, path);
                sum = ByteSum(outputBuffer, produced, sum);
                n = c.PlainLength;
            } else {
                n = h.DataSize - i < MaxPackedChunk ? static_cast<DWORD>(h.DataSize - i) : MaxPackedChunk;
                ReadOwn(inputBuffer, n);
                if (write) WriteOut(file, inputBuffer, n, path);
                sum = ByteSum(inputBuffer, n, sum);
            }
            Run.doneBytes += n;
            i += n;
            RefreshProgress();
            PumpMessages();
        }
        if (Read32() != sum) FinishRun(Run.ownPath, ERROR_CRC);
        if (write) {
            FILETIME local, utc;
            if (DosDateTimeToFileTime(HIWORD(h.FileTime), LOWORD(h.FileTime), &local) &&
                LocalFileTimeToFileTime(&local, &utc))
                SetFileTime(file, nullptr, nullptr, &utc);
            // One step from the temporary name to the real one: a rename for a new file, a
            // replacement for an existing one. A read-only one is made writable first, and
            // keeps its attributes when the step fails.
            bool named = Rename(file, path, exists || overwriteAll);
            if (!named && GetLastError() == ERROR_ACCESS_DENIED) {
                existing = GetFileAttributesA(path);
                if (existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY) &&
                    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL)) {
                    named = Rename(file, path, true);
                    DWORD code = GetLastError();
                    if (!named) SetFileAttributesA(path, existing);
                    SetLastError(code);
                }
            }
            if (!named) {
                DWORD code = GetLastError();
                FinishRun(path, code ? code : ERROR_WRITE_FAULT);
            }
            CloseHandle(file);
            Run.currentFile = nullptr;
            Run.tempPath[0] = 0;
            // Only files this run wrote go on the clean-up list, under their real names.
            if (h.Kind != EntrySelfDelete) Run.ExtractedFiles.Add(path);
        }
        // A file this run wrote has the archive attribute already: most need no change.
        if (!write || h.Attributes != FILE_ATTRIBUTE_ARCHIVE) SetFileAttributesA(path, h.Attributes);
    }
}
