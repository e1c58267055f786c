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

bool IsDotsAndBlanks(const char* from, const char* to) {
    int dots = 0;
    for (const char* p = from; p < to; ++p) {
        if (*p == '.')
            ++dots;
        else if (*p != ' ')
            return false;
    }
    return dots >= 2;
}

// A stored name must stay inside its base folder: no drive, no root, no ".." part.
bool IsSafeName(const char* name) {
    if (name[0] == '\\' || name[0] == '/') return false;
    const char* part = name;
    for (const char* p = name;; p = CharNextA(p)) {
        if (*p == ':') return false;
        if (*p == '\\' || *p == '/' || !*p) {
            if (IsDotsAndBlanks(part, p)) return false;
            if (!*p) return true;
            part = p + 1;
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
    LPITEMIDLIST items = nullptr;
    out[0] = 0;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) || !items) return false;
    BOOL ok = SHGetPathFromIDListA(items, out);
    ILFree(items);
    if (!ok) out[0] = 0;
    return ok;
}

// The folder dialog; a cancel ends the run quietly.
void AskForFolder(char* out) {
    CoInitialize(nullptr);
    char display[MAX_PATH];
    BROWSEINFOA info = {};
    info.hwndOwner = Run.window;
    info.pszDisplayName = display;
    info.lpszTitle = Text(msgExtractTo);
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_EDITBOX | BIF_NEWDIALOGSTYLE;
    LPITEMIDLIST items = SHBrowseForFolderA(&info);
    if (!items) FinishRun("", 0);
    char path[MAX_PATH];
    BOOL ok = SHGetPathFromIDListA(items, path);
    ILFree(items);
    if (!ok) FinishRun("", 0);
    lstrcpynA(out, path, PathSize);
}

bool FileExistsAt(const char* path) {
    DWORD a = GetFileAttributesA(path);
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
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

void CheckFreeSpace() {
    char drive = Run.extractionFolder[0];
    if (drive >= 'a' && drive <= 'z') drive = static_cast<char>(drive - 'a' + 'A');
    char root[4] = {drive, ':', '\\', 0};
    ULARGE_INTEGER available;
    LONGLONG free = GetDiskFreeSpaceExA(root, &available, nullptr, nullptr) ? static_cast<LONGLONG>(available.QuadPart) : -1;
    if (Run.totalBytes <= free) return;
    char freeText[48], totalText[48], text[160];
    FormatSize(free, '.', freeText, sizeof(freeText));
    FormatSize(Run.totalBytes, '.', totalText, sizeof(totalText));
    char separator[8];
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof(separator)) && separator[0]) {
        FormatSize(free, separator[0], freeText, sizeof(freeText));
        FormatSize(Run.totalBytes, separator[0], totalText, sizeof(totalText));
    }
    wsprintfA(text, "%c:\\   [%s < %s]", drive, freeText, totalText);
    FinishRun(text, ERROR_DISK_FULL);
}

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
        (GetLastError() == ERROR_PATH_NOT_FOUND && SHCreateDirectoryExA(nullptr, folder, nullptr) == ERROR_SUCCESS))
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

        // A new file is created at once; an existing one is replaced only as OverwriteMode says.
        HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        bool write = file != INVALID_HANDLE_VALUE;
        if (!write) {
            DWORD code = GetLastError();
            if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS && code != ERROR_ACCESS_DENIED)
                FinishRun(path, code);
            bool exists = FileExistsAt(path);  // a folder of that name does not count
            write = !exists || Run.settings.OverwriteMode == 1 ||
                    (Run.settings.OverwriteMode != 2 && AskOverwrite(path));
            if (write) {
                if (exists) SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);  // read-only, hidden and system too
                file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
                if (file == INVALID_HANDLE_VALUE) FinishRun(path, GetLastError());
            }
        }
        if (write) {
            // Only files this run writes go on the clean-up list.
            if (h.Kind != EntrySelfDelete) Run.ExtractedFiles.Add(path);
            Run.currentFile = file;  // FinishRun closes it, so the clean-up can delete it
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
            CloseHandle(file);
            Run.currentFile = nullptr;
        }
        // A file this run wrote has the archive attribute already: most need no change.
        if (!write || h.Attributes != FILE_ATTRIBUTE_ARCHIVE) SetFileAttributesA(path, h.Attributes);
    }
}
