#include "u_build.h"

#include <windows.h>
#include <commctrl.h>
#include <zlib.h>

#include <memory>

#include "CmdLineHelper.h"
#include "u_dialogs.h"
#include "u_errors.h"
#include "u_messages.h"
#include "u_random.h"
#include "u_resedit.h"
#include "u_resources.h"
#include "u_savedsettings.h"
#include "u_shared.h"
#include "u_utils.h"

bool CancelRequested = false;
const ProgressControls* ProgressWindow = nullptr;

namespace {

int64_t g_totalSize = 0;  // bytes of all items of the running build
int64_t g_totalDone = 0;  // data bytes of the items already written

// One buffer for a chunk's plain bytes, allocated once for the process.
uint8_t* ReadBuffer() {
    static std::unique_ptr<uint8_t[]> buffer(new uint8_t[0xA00000]);
    return buffer.get();
}

void PumpMessages() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
}

void SetLabel(HWND label, const std::string& ansi) { SetWindowTextW(label, AnsiToWide(ansi).c_str()); }

std::string FullPath(const std::string& path) {
    if (path.empty()) return path;
    DWORD n = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
    if (!n) return path;
    std::string full(n, '\0');
    n = GetFullPathNameA(path.c_str(), n, &full[0], nullptr);
    full.resize(n);
    return full;
}

// Copies at most limit bytes of text into a zero-filled field, never splitting a character.
void PutText(char* field, const std::string& text, size_t limit) {
    const char* start = text.c_str();
    const char* end = start;
    while (*end) {
        const char* next = CharNextA(end);
        if (static_cast<size_t>(next - start) > limit) break;
        end = next;
    }
    for (const char* p = start; p < end; ++p) *field++ = *p;
}

void ForceDirectories(const std::string& dir) {
    if (dir.empty()) throw BuildError("DirectoryError", L"Unable to create directory");
    if (DirectoryExists(dir)) return;
    std::string parent = ExtractFileDir(dir);
    if (!parent.empty() && parent != dir) ForceDirectories(parent);
    if (!CreateDirectoryA(dir.c_str(), nullptr) && !DirectoryExists(dir))
        ThrowFileError("DirectoryError", L"Unable to create directory", dir);
}

// The target while entries are appended: small writes are gathered, chunks go straight through.
class TargetWriter {
public:
    explicit TargetWriter(const std::string& path) : path_(path) {
        handle_ = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) ThrowFileError("OpenError", L"Cannot open file", path);
        if (SetFilePointer(handle_, 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
            GetLastError() != NO_ERROR)
            ThrowFileError("WriteError", L"Cannot write file", path);
    }
    ~TargetWriter() {
        if (handle_ == INVALID_HANDLE_VALUE) return;
        if (used_) Put(buffer_, used_, false);  // what was written stays on disk
        CloseHandle(handle_);
    }
    void Write(const void* data, uint32_t n) {
        if (used_ + n > sizeof(buffer_) || n >= sizeof(buffer_) / 2) Flush();
        if (n >= sizeof(buffer_) / 2) {
            Put(data, n, true);
        } else {
            memcpy(buffer_ + used_, data, n);
            used_ += n;
        }
    }
    void Write32(uint32_t v) {
        uint8_t b[4];
        PutLE32(b, v);
        Write(b, 4);
    }
    void Close() {
        Flush();
        CloseHandle(handle_);
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    void Flush() {
        if (used_) Put(buffer_, used_, true);
        used_ = 0;
    }
    void Put(const void* data, uint32_t n, bool strict) {
        DWORD written = 0;
        BOOL ok = WriteFile(handle_, data, n, &written, nullptr);
        used_ = 0;
        if (strict && (!ok || written != n)) ThrowFileError("WriteError", L"Cannot write file", path_);
    }
    std::string path_;
    HANDLE handle_;
    uint8_t buffer_[65536];
    uint32_t used_ = 0;
};

void WriteHeader(TargetWriter& out, uint8_t kind, const std::string& name, int32_t size, uint32_t time,
                 uint32_t attributes) {
    uint8_t header[EntryHeaderSize];
    EncodeEntryHeader({kind, static_cast<int32_t>(name.size()), size, time, attributes}, header);
    out.Write(header, EntryHeaderSize);
    out.Write(name.data(), static_cast<uint32_t>(name.size()));
}

// One chunk: plain length, packed length, one complete zlib stream of level 9.
void WriteChunk(TargetWriter& out, const uint8_t* plain, uint32_t n) {
    uLongf packedLength = compressBound(n);
    std::unique_ptr<uint8_t[]> packed(new uint8_t[packedLength]);
    if (compress2(packed.get(), &packedLength, plain, n, 9) != Z_OK)
        throw BuildError("CompressionError", msg::CompressionFailed);
    if (packedLength > MaxPackedChunk) throw BuildError("OutOfMemory", SystemMessage(ERROR_NOT_ENOUGH_MEMORY));
    uint8_t header[ChunkHeaderSize];
    EncodeChunkHeader({static_cast<int32_t>(n), static_cast<int32_t>(packedLength)}, header);
    out.Write(header, ChunkHeaderSize);
    out.Write(packed.get(), static_cast<uint32_t>(packedLength));
}

// Reads exactly n bytes; a file that ends early is a read failure.
void ReadExactly(HANDLE file, uint8_t* buffer, uint32_t n, const std::string& path) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, n, &got, nullptr)) ThrowFileError("ReadError", L"Cannot read file", path);
    if (got != n) {
        SetLastError(ERROR_HANDLE_EOF);
        ThrowFileError("ReadError", L"Cannot read file", path);
    }
}

struct BuildContext {
    const BuildSettings& s;
    TargetWriter& out;
};

void WriteEntry(BuildContext& b, const tfile& item) {
    const BuildSettings& s = b.s;
    if (item.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
        WriteHeader(b.out, EntryOrdinary, item.Name, 0, item.Time, item.Attributes);
        b.out.Write32(ByteSum(item.Name.data(), static_cast<uint32_t>(item.Name.size())));
        return;
    }
    std::string full = s.Source + item.Name;
    if (SameText(full, s.Target)) return;  // never archive the SFX file being written
    if (ProgressWindow) {
        SetLabel(ProgressWindow->lsource, full);
        PumpMessages();
    }
    HANDLE in = CreateFileA(full.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (in == INVALID_HANDLE_VALUE) ThrowFileError("OpenError", L"Cannot open file", full);
    std::unique_ptr<void, decltype(&CloseHandle)> closer(in, CloseHandle);

    uint8_t kind = s.ExtractionMode == 1 && SameText(full, s.ExecutableFile) ? EntryExecutable : EntryOrdinary;
    WriteHeader(b.out, kind, item.Name, item.Size, item.Time, item.Attributes);
    uint32_t sum = ByteSum(item.Name.data(), static_cast<uint32_t>(item.Name.size()));
    int64_t done = 0;
    uint8_t* buffer = ReadBuffer();
    while (!CancelRequested && done < item.Size) {
        uint32_t n = static_cast<uint32_t>(std::min<int64_t>(item.Size - done, ChunkSize));
        ReadExactly(in, buffer, n, full);
        WriteChunk(b.out, buffer, n);
        ReportProgress(done, item.Size);
        sum = ByteSum(buffer, n, sum);
        done += n;
    }
    b.out.Write32(sum);
    ReportProgress(item.Size, item.Size);
    g_totalDone += item.Size;
}

void WriteSelfDeleteEntry(TargetWriter& out) {
    const ResourceData& helper = EmbeddedResources.selfdelete;
    std::string name = SelfDeleteName;
    WriteHeader(out, EntrySelfDelete, name, static_cast<int32_t>(helper.size), 0, 0);
    uint32_t sum = ByteSum(name.data(), static_cast<uint32_t>(name.size()));
    for (uint32_t done = 0; done < helper.size;) {
        uint32_t n = std::min<uint32_t>(helper.size - done, ChunkSize);
        WriteChunk(out, helper.bytes + done, n);
        sum = ByteSum(helper.bytes + done, n, sum);
        done += n;
    }
    out.Write32(sum);
}

bool IsNtFamily() {
    OSVERSIONINFOA version{sizeof(version)};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
#pragma GCC diagnostic pop
}

std::string UpperExtension(const std::string& path) {
    size_t dot = path.find_last_of(".\\");
    if (dot == std::string::npos || path[dot] != '.') return std::string();
    std::string ext = path.substr(dot);
    CharUpperBuffA(&ext[0], static_cast<DWORD>(ext.size()));
    return ext;
}

// Icon, version information and manifest of the fresh target; each edit may fail silently.
void EditTargetResources(const BuildSettings& s) {
    std::string icon = Trim(s.Icon);
    if (!icon.empty()) {
        if (UpperExtension(icon) == ".ICO")
            SetIconFromIco(icon, s.Target);
        else
            SetIconFromExe(icon, s.Target);
    } else if (s.ExtractionMode == 1) {
        SetIconFromExe(s.ExecutableFile, s.Target);
    }
    if (!icon.empty() && SwitchPresent("iv"))
        CopyVersionInfo(icon, s.Target);
    else if (s.ExtractionMode == 1)
        CopyVersionInfo(s.ExecutableFile, s.Target);
    if (s.UACAutoElevation != 0) {
        const ResourceData& uac = EmbeddedResources.uac;
        std::string manifest(reinterpret_cast<const char*>(uac.bytes), uac.size);
        size_t at = manifest.find("requireAdministrator");
        if (s.UACAutoElevation == 1 && at != std::string::npos)
            manifest.replace(at, 20, "highestAvailable");
        UpdateTargetResource(s.Target, MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), manifest.data(),
                             static_cast<DWORD>(manifest.size()));
    }
}

SettingsRecord MakeRecord(const BuildSettings& s, uint8_t compression) {
    SettingsRecord r;
    memset(&r, 0, sizeof(r));
    r.ExtractionMode = s.ExtractionMode;
    r.ExtractionFolder = s.ExtractionFolder;
    PutText(r.CmdParameters, s.CmdParameters, CmdParametersSize - 1);
    PutText(r.CustomFolder, s.CustomFolder, CustomFolderSize - 1);
    wsprintfA(r.InstanceName, "%010X", RandomBelow(0x7FFFFFFF));
    r.OpenFolder = s.OpenFolder;
    r.Compressed = compression;
    r.OneInstance = s.OneInstance;
    r.SilentMode = s.SilentMode;
    r.SelfDeleteMode = s.SelfDeleteMode;
    r.DeleteMode = s.DeleteMode;
    r.WorkingDirectory = s.WorkingDirectory;
    r.OverwriteMode = s.OverwriteMode;
    return r;
}

bool ShowError(const wchar_t* text, std::initializer_list<std::wstring> args) {
    ShowErrorMessage(FormatText(text, args));
    return false;
}

}  // namespace

tfile::tfile(const std::string& prefix, const WIN32_FIND_DATAA& found)
    : Name(prefix + found.cFileName), Attributes(found.dwFileAttributes) {
    bool folder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    TooLarge = !folder && (found.nFileSizeHigh != 0 || found.nFileSizeLow > 0x7FFFFFFF);
    Size = folder || TooLarge ? 0 : static_cast<int32_t>(found.nFileSizeLow);
    FILETIME local;
    WORD date = 0, time = 0;
    if (FileTimeToLocalFileTime(&found.ftLastWriteTime, &local)) FileTimeToDosDateTime(&local, &date, &time);
    Time = (static_cast<uint32_t>(date) << 16) | time;
}

void CollectItems(const std::string& source, const std::string& prefix, std::vector<tfile>& items) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((source + prefix + "*.*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == ".." || (found.dwFileAttributes & 0x8)) continue;  // 0x8: volume label
        items.emplace_back(prefix, found);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) CollectItems(source, prefix + name + "\\", items);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

void NormalisePaths(BuildSettings& s) {
    s.Source = AddTrailingDelimiter(FullPath(Trim(s.Source)));
    s.Target = FullPath(Trim(s.Target));
    s.ExecutableFile = FullPath(Trim(s.ExecutableFile));
    s.CmdParameters = Trim(s.CmdParameters);
    s.CustomFolder = AddTrailingDelimiter(Trim(s.CustomFolder));
}

bool ValidateSettings(BuildSettings s, uint8_t) {
    NormalisePaths(s);
    if (!g_Startup.flags.CommandLineComplete) SaveSettings(s);
    if (!DirectoryExists(s.Source)) return ShowError(msg::SourceMissing, {AnsiToWide(s.Source)});
    std::string icon = Trim(s.Icon);
    if (!icon.empty() && !FileExists(icon)) return ShowError(msg::IconMissing, {AnsiToWide(s.Icon)});
    if (s.ExtractionMode == 1) {
        if (!FileExists(s.ExecutableFile))
            return ShowError(msg::ExecutableMissing, {AnsiToWide(s.ExecutableFile)});
        if (!StartsText(s.Source, s.ExecutableFile))
            return ShowError(msg::ExecutableOutside, {AnsiToWide(s.ExecutableFile), AnsiToWide(s.Source)});
    }
    // A size field holds at most 2 GiB - 1: refuse before anything is written.
    std::vector<tfile> items;
    CollectItems(s.Source, std::string(), items);
    for (const tfile& item : items)
        if (item.TooLarge) return ShowError(msg::FileTooLarge, {AnsiToWide(s.Source + item.Name)});
    if (!g_Startup.flags.OverwriteTargetSilently && FileExists(s.Target) &&
        !AskConfirmation(msg::TargetExists, false))
        return false;
    return true;
}

bool BuildSfx(BuildSettings s, uint8_t compression) {
    CancelRequested = false;
    g_totalSize = g_totalDone = 0;
    NormalisePaths(s);
    std::vector<tfile> items;
    if (ProgressWindow) {
        SetWindowTextW(ProgressWindow->lsource, msg::Initialization);
        SetLabel(ProgressWindow->ltarget, s.Target);
        ReportProgress(0, 0);
    }
    CollectItems(s.Source, std::string(), items);
    for (const tfile& item : items) {
        if (item.TooLarge) {
            SetLastError(ERROR_FILE_TOO_LARGE);
            ThrowFileError("FileTooLarge", L"Cannot store file", s.Source + item.Name);
        }
        g_totalSize += item.Size;
    }

    ForceDirectories(ExtractFileDir(s.Target));
    HANDLE target = CreateFileA(s.Target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (target == INVALID_HANDLE_VALUE) ThrowFileError("CreateError", L"Cannot create file", s.Target);
    DWORD written = 0;
    BOOL ok = WriteFile(target, EmbeddedResources.sfxhead.bytes, EmbeddedResources.sfxhead.size, &written, nullptr);
    CloseHandle(target);
    if (!ok || written != EmbeddedResources.sfxhead.size) ThrowFileError("WriteError", L"Cannot write file", s.Target);

    if (IsNtFamily()) EditTargetResources(s);

    {
        TargetWriter out(s.Target);
        uint8_t record[SettingsRecordSize];
        EncodeSettings(MakeRecord(s, compression), record);
        out.Write(record, SettingsRecordSize);
        if (s.SelfDeleteMode) WriteSelfDeleteEntry(out);
        BuildContext context{s, out};
        for (const tfile& item : items) {
            if (CancelRequested) break;
            WriteEntry(context, item);
        }
        uint8_t terminator[EntryHeaderSize] = {};
        out.Write(terminator, EntryHeaderSize);
        out.Close();
    }

    if (CancelRequested) {
        ForceDeleteFile(s.Target);
        ShowWarningMessage(msg::Cancelled);
        return false;
    }
    if (g_Startup.flags.ShowSuccessMessage) ShowInfoMessage(msg::Created);
    return true;
}

void ReportProgress(int64_t doneInFile, int64_t fileSize) {
    if (!ProgressWindow) return;
    int64_t fileMax = SendMessageW(ProgressWindow->pbfile, PBM_GETRANGE, FALSE, 0);
    int64_t position = fileMax;
    if (fileSize != 0) {
        int64_t scaled = fileMax * doneInFile, q = scaled / fileSize, r = scaled % fileSize;
        position = q + (2 * r > fileSize || (2 * r == fileSize && (q & 1)));  // halves to even
    }
    SendMessageW(ProgressWindow->pbfile, PBM_SETPOS, static_cast<WPARAM>(position), 0);

    if (g_totalSize == 0) {
        SendMessageW(ProgressWindow->pbtotal, PBM_SETPOS, SendMessageW(ProgressWindow->pbtotal, PBM_GETRANGE, TRUE, 0),
                     0);
    } else {
        int64_t x = g_totalDone + doneInFile;
        int64_t totalMax = SendMessageW(ProgressWindow->pbtotal, PBM_GETRANGE, FALSE, 0);
        SendMessageW(ProgressWindow->pbtotal, PBM_SETPOS, static_cast<WPARAM>(totalMax * x / g_totalSize), 0);
        std::string text = FormatSizeText(x) + " / " + FormatSizeText(g_totalSize) + "   (" +
                           std::to_string(x * 100 / g_totalSize) + "%)";
        SetLabel(ProgressWindow->lsize, text);
    }
    PumpMessages();
}
