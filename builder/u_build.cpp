#include "u_build.h"

#include <windows.h>
#include <commctrl.h>

#include <deque>
#include <memory>

#include "CmdLineHelper.h"
#include "u_dialogs.h"
#include "u_errors.h"
#include "u_messages.h"
#include "u_pack.h"
#include "u_payloadwrite.h"
#include "u_paths.h"
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

void SetLabel(HWND label, const std::wstring& text) { SetWindowTextW(label, text.c_str()); }

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

void ForceDirectories(const std::wstring& dir) {
    if (dir.empty()) throw BuildError("DirectoryError", L"Unable to create directory");
    if (DirectoryExists(dir)) return;
    std::wstring parent = ExtractFileDir(dir);
    if (!parent.empty() && parent != dir) ForceDirectories(parent);
    if (!CreateDirectoryW(ApiPath(dir).c_str(), nullptr) && !DirectoryExists(dir))
        ThrowFileError("DirectoryError", L"Unable to create directory", dir);
}

// The target while entries are appended: small writes are gathered, chunks go straight through.
// It writes the file at path; failures name the target the user asked for.
class TargetWriter {
public:
    TargetWriter(const std::wstring& path, const std::wstring& target) : path_(target) {
        handle_ = CreateFileW(ApiPath(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle_ == INVALID_HANDLE_VALUE) ThrowFileError("OpenError", L"Cannot open file", target);
        LARGE_INTEGER zero = {}, end;
        if (!SetFilePointerEx(handle_, zero, &end, FILE_END)) ThrowFileError("WriteError", L"Cannot write file", target);
        size_ = static_cast<uint64_t>(end.QuadPart);
    }
    ~TargetWriter() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
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
        // Windows starts no program file of 4 GiB or more: such an SFX file is never made.
        if (size_ + n >= SfxSizeLimit)
            throw BuildError("SfxTooLarge", L"Cannot write file \"" + path_ +
                                                L"\". An SFX file of 4 GB (4,294,967,296 bytes) or more cannot "
                                                L"run: Windows starts no program file that large.");
        size_ += n;
        DWORD written = 0;
        BOOL ok = WriteFile(handle_, data, n, &written, nullptr);
        used_ = 0;
        if (strict && (!ok || written != n)) ThrowFileError("WriteError", L"Cannot write file", path_);
    }
    std::wstring path_;
    HANDLE handle_;
    uint64_t size_ = 0;  // of the file so far
    uint8_t buffer_[65536];
    uint32_t used_ = 0;
};

// Reads exactly n bytes; a file that ends early is a read failure.
void ReadExactly(HANDLE file, uint8_t* buffer, uint32_t n, const std::wstring& path) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, n, &got, nullptr)) ThrowFileError("ReadError", L"Cannot read file", path);
    if (got != n) {
        SetLastError(ERROR_HANDLE_EOF);
        ThrowFileError("ReadError", L"Cannot read file", path);
    }
}

void PumpIfShown() {
    if (ProgressWindow) PumpMessages();
}

// The entries of the build, queued in order by the reading side and written in the same
// order. Chunks are packed by the pipeline meanwhile; everything else (the target, the
// progress window, the cancel flag) is touched on this thread only, at the points where the
// single-threaded build touched it: a file's label, after each chunk, before each item.
class EntryStream {
public:
    EntryStream(TargetWriter& out, ChunkPipeline& pipeline, PayloadForm form)
        : out_(out), pipeline_(pipeline), form_(form) {
        int t = pipeline.Threads();
        // In flight: queued, being packed, or packed and waiting to be written.
        maxChunks_ = t == 1 ? 1 : 8 * t;
        maxBytes_ = t == 1 ? ChunkSize : 2ull * t * ChunkSize;
    }

    // No further item is needed: a cancel was requested (what is queued decides where the
    // target ends) or a failure is queued.
    bool Done() const { return stopped_ || failed_ || CancelRequested; }

    void WriteEntry(const BuildSettings& s, const tfile& item) {
        Queue(Step::ItemStart);
        if (item.Attributes & FILE_ATTRIBUTE_DIRECTORY) {
            Step& st = Queue(Step::Bytes);
            st.bytes = Header(EntryOrdinary, item.Stored, 0, item.Time, item.Attributes);
            uint8_t sum[4];
            PutLE32(sum, ByteSum(item.Stored.data(), static_cast<uint32_t>(item.Stored.size())));
            st.bytes.append(reinterpret_cast<char*>(sum), 4);
            Flush();
            return;
        }
        std::wstring full = s.Source + item.Name;
        if (SameText(full, s.Target)) return;  // never archive the SFX file being written
        Queue(Step::Label).label = full;
        Flush();
        HANDLE in = CreateFileW(ApiPath(full).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
        if (in == INVALID_HANDLE_VALUE) {
            try {
                ThrowFileError("OpenError", L"Cannot open file", full);
            } catch (const BuildError&) {
                Fail(false, std::current_exception());
            }
            return;
        }
        std::unique_ptr<void, decltype(&CloseHandle)> closer(in, CloseHandle);
        uint8_t kind = s.ExtractionMode == 1 && SameText(full, s.ExecutableFile) ? EntryExecutable : EntryOrdinary;
        StartEntry(Header(kind, item.Stored, item.Size, item.Time, item.Attributes), item.Stored, item.Size, true);
        for (int64_t done = 0; done < item.Size && !CancelRequested && !stopped_ && !failed_;) {
            uint32_t n = static_cast<uint32_t>(std::min<int64_t>(item.Size - done, ChunkSize));
            auto job = std::make_shared<ChunkJob>();
            job->owned.reset(new uint8_t[n]);
            try {
                ReadExactly(in, job->owned.get(), n, full);
            } catch (const BuildError&) {
                Fail(true, std::current_exception());
                break;
            }
            job->plain = job->owned.get();
            job->n = n;
            QueueChunk(job, true);
            done += n;
        }
        Queue(Step::EntryEnd).progress = true;
        Flush();
    }

    void WriteSelfDeleteEntry() {
        const ResourceData& helper = EmbeddedResources.selfdelete;
        std::string name = SelfDeleteName;
        if (form_ == PayloadForm::Extended) {
            std::wstring wide(name.begin(), name.end());
            name = StoredName(wide.data(), wide.size());
        }
        StartEntry(Header(EntrySelfDelete, name, helper.size, 0, 0), name, helper.size, false);
        for (uint32_t done = 0; done < helper.size;) {
            auto job = std::make_shared<ChunkJob>();
            job->n = std::min<uint32_t>(helper.size - done, ChunkSize);
            job->plain = helper.bytes + done;
            QueueChunk(job, false);
            done += job->n;
        }
        Queue(Step::EntryEnd);
        Flush();
    }

    // Writes what is queued; the first failure in order escapes from here.
    void Finish() {
        while (!steps_.empty()) WriteFront();
    }

private:
    struct Step {
        enum Kind { ItemStart, Label, Bytes, Chunk, EntryEnd, Failure } kind;
        std::string bytes;   // Bytes: header and name (folders: and checksum)
        std::wstring label;  // Label: the path
        std::shared_ptr<ChunkJob> job;
        std::exception_ptr error;     // Failure
        bool progress = false;        // Chunk, EntryEnd: of a source file (not the helper)
        bool readFailure = false;     // Failure: skipped like a chunk once a cancel was seen
        uint32_t sum = 0;             // Bytes of a file: the checksum of its name
        int64_t size = -1;            // Bytes of a file: its size (-1 for other bytes)
    };

    std::string Header(uint8_t kind, const std::string& name, int64_t size, uint32_t time, uint32_t attributes) const {
        return EncodeEntry(form_, kind, name, static_cast<uint64_t>(size), time, attributes);
    }

    Step& Queue(Step::Kind kind) {
        steps_.push_back(Step{kind});
        return steps_.back();
    }

    void StartEntry(std::string headerAndName, const std::string& name, int64_t size, bool progress) {
        Step& st = Queue(Step::Bytes);
        st.bytes = std::move(headerAndName);
        st.sum = ByteSum(name.data(), static_cast<uint32_t>(name.size()));
        st.size = size;
        st.progress = progress;
    }

    // A failure takes its place in the order; nothing is read after it.
    void Fail(bool readFailure, std::exception_ptr error) {
        Step& st = Queue(Step::Failure);
        st.error = error;
        st.readFailure = readFailure;
        failed_ = true;
    }

    void QueueChunk(const std::shared_ptr<ChunkJob>& job, bool progress) {
        while (chunks_ > 0 && (chunks_ >= maxChunks_ || bytes_ + job->n > maxBytes_)) WriteFront();
        Step& st = Queue(Step::Chunk);
        st.job = job;
        st.progress = progress;
        ++chunks_;
        bytes_ += job->n;
        pipeline_.Submit(job);
        Flush();
    }

    // Writes the steps that need no waiting.
    void Flush() {
        while (!steps_.empty() && (steps_.front().kind != Step::Chunk || steps_.front().job->done.load()))
            WriteFront();
    }

    void WriteFront() {
        Step st = std::move(steps_.front());
        steps_.pop_front();
        if (st.kind == Step::Chunk) {
            --chunks_;
            bytes_ -= st.job->n;
        }
        if (stopped_) return;  // after a cancel nothing more is written
        switch (st.kind) {
        case Step::ItemStart:
            if (CancelRequested) stopped_ = true;
            break;
        case Step::Label:
            if (ProgressWindow) {
                SetLabel(ProgressWindow->lsource, st.label);
                PumpMessages();
            }
            break;
        case Step::Bytes:
            out_.Write(st.bytes.data(), static_cast<uint32_t>(st.bytes.size()));
            if (st.size >= 0) {
                sum_ = st.sum;
                doneInFile_ = 0;
                fileSize_ = st.size;
                skipping_ = st.progress && CancelRequested;
            }
            break;
        case Step::Chunk: {
            if (skipping_) break;
            ChunkJob& job = *st.job;
            pipeline_.Wait(job, ProgressWindow ? PumpIfShown : nullptr);
            if (job.error) std::rethrow_exception(job.error);
            uint8_t header[ChunkHeaderSize];
            EncodeChunkHeader({static_cast<int32_t>(job.n), static_cast<int32_t>(job.packed.size())}, header);
            out_.Write(header, ChunkHeaderSize);
            out_.Write(job.packed.data(), static_cast<uint32_t>(job.packed.size()));
            std::vector<uint8_t>().swap(job.packed);
            sum_ += job.sum;
            if (st.progress) {
                ReportProgress(doneInFile_, fileSize_);
                skipping_ = CancelRequested;  // the entry ends without further data
            }
            doneInFile_ += job.n;
            break;
        }
        case Step::Failure:
            if (!(skipping_ && st.readFailure)) std::rethrow_exception(st.error);
            break;
        case Step::EntryEnd:
            out_.Write32(sum_);
            if (st.progress) {
                ReportProgress(fileSize_, fileSize_);
                g_totalDone += fileSize_;
            }
            skipping_ = false;
            break;
        }
    }

    TargetWriter& out_;
    ChunkPipeline& pipeline_;
    PayloadForm form_;
    std::deque<Step> steps_;
    size_t chunks_ = 0, maxChunks_ = 1;
    uint64_t bytes_ = 0, maxBytes_ = 0;
    bool stopped_ = false;   // a cancel seen before an item
    bool skipping_ = false;  // a cancel seen within the current entry
    bool failed_ = false;    // a failure is queued: read nothing more
    uint32_t sum_ = 0;
    int64_t doneInFile_ = 0, fileSize_ = 0;
};

bool IsNtFamily() {
    OSVERSIONINFOA version{sizeof(version)};
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
#pragma GCC diagnostic pop
}

std::wstring UpperExtension(const std::wstring& path) {
    size_t dot = path.find_last_of(L".\\");
    if (dot == std::wstring::npos || path[dot] != L'.') return std::wstring();
    std::wstring ext = path.substr(dot);
    CharUpperBuffW(&ext[0], static_cast<DWORD>(ext.size()));
    return ext;
}

// Icon, version information and manifest of the fresh file; each edit may fail silently.
void EditTargetResources(const BuildSettings& s, const std::wstring& file) {
    std::wstring icon = Trim(s.Icon);
    if (!icon.empty()) {
        if (UpperExtension(icon) == L".ICO")
            SetIconFromIco(icon, file);
        else
            SetIconFromExe(icon, file);
    } else if (s.ExtractionMode == 1) {
        SetIconFromExe(s.ExecutableFile, file);
    }
    if (!icon.empty() && SwitchPresent(L"iv"))
        CopyVersionInfo(icon, file);
    else if (s.ExtractionMode == 1)
        CopyVersionInfo(s.ExecutableFile, file);
    if (s.UACAutoElevation != 0) {
        const ResourceData& uac = EmbeddedResources.uac;
        std::string manifest(reinterpret_cast<const char*>(uac.bytes), uac.size);
        size_t at = manifest.find("requireAdministrator");
        if (s.UACAutoElevation == 1 && at != std::string::npos)
            manifest.replace(at, 20, "highestAvailable");
        UpdateTargetResource(file, MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(1), manifest.data(),
                             static_cast<DWORD>(manifest.size()));
    }
}

// A text of the record in the code page, for the original form, which only a text with an exact
// form there (or one not in use) is written in; any other is stored empty.
std::string StoredText(const std::wstring& text) {
    std::string bytes;
    return ToCodePage(text, bytes) ? bytes : std::string();
}

bool HasCodePageForm(const std::wstring& text) {
    std::string bytes;
    return ToCodePage(text, bytes);
}

bool IsStorable(const std::wstring& text) { return IsStorableUtf16(text.data(), text.size()); }

// A text for the extended form: as it is, or empty when it can't be stored (then it is not in use).
std::wstring StorableText(const std::wstring& text) { return IsStorable(text) ? text : std::wstring(); }

// The original form holds the tree unless a name, a text in use or a file size needs more.
PayloadForm FormOf(const BuildSettings& s, const std::vector<tfile>& items) {
    bool wide = (s.ExtractionMode == 1 && !HasCodePageForm(s.CmdParameters)) ||
                (s.ExtractionFolder == 5 && !HasCodePageForm(s.CustomFolder));
    uint64_t largest = 0;
    for (const tfile& item : items) {
        wide = wide || item.NoCodePageForm;
        largest = std::max(largest, static_cast<uint64_t>(item.Size));
    }
    return FormFor(wide, largest);
}

SettingsRecord MakeRecord(const BuildSettings& s, uint8_t compression) {
    SettingsRecord r;
    memset(&r, 0, sizeof(r));
    r.ExtractionMode = s.ExtractionMode;
    r.ExtractionFolder = s.ExtractionFolder;
    PutText(r.CmdParameters, StoredText(s.CmdParameters), CmdParametersSize - 1);
    PutText(r.CustomFolder, StoredText(s.CustomFolder), CustomFolderSize - 1);
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

// The new SFX file while it is written: a fresh name beside the target, created by us (so never
// a source file, and never in the item list, which is collected before). Deleted unless it
// replaced the target. The name is made here, not by GetTempFileName, which takes only short
// folders.
class TemporaryTarget {
public:
    explicit TemporaryTarget(const std::wstring& target) {
        std::wstring dir = AddTrailingDelimiter(ExtractFileDir(target));
        DWORD seed = GetTickCount() ^ (GetCurrentProcessId() << 16);
        for (DWORD attempt = 0; attempt < 0x10000; ++attempt) {
            wchar_t name[16];
            wsprintfW(name, L"~qt%04X.tmp", (seed + attempt) & 0xFFFF);
            HANDLE h = CreateFileW(ApiPath(dir + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                CloseHandle(h);
                path_ = dir + name;
                return;
            }
            if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) break;
        }
        ThrowFileError("CreateError", L"Cannot create file", target);
    }
    ~TemporaryTarget() {
        if (!path_.empty()) ForceDeleteFile(path_);
    }
    const std::wstring& Path() const { return path_; }
    // Replaces the target in one step; a target that cannot be replaced is a write failure.
    void Replace(const std::wstring& target) {
        if (!MoveFileExW(ApiPath(path_).c_str(), ApiPath(target).c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            ThrowFileError("WriteError", L"Cannot write file", target);
        path_.clear();
    }

private:
    std::wstring path_;
};

bool ShowError(const wchar_t* text, std::initializer_list<std::wstring> args) {
    ShowErrorMessage(FormatText(text, args));
    return false;
}

}  // namespace

void AppendToSfxFile(const std::wstring& path, const std::string& bytes) {
    TargetWriter out(path, path);
    out.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    out.Close();
}

tfile::tfile(const std::wstring& prefix, const WIN32_FIND_DATAW& found)
    : Name(prefix + found.cFileName), Attributes(found.dwFileAttributes) {
    // A name longer in bytes than the original form takes fits the extended one.
    NoCodePageForm = !ToCodePage(Name, Stored) || Stored.size() > MaxNameUnits;
    Unencodable = !IsStorableUtf16(Name.data(), Name.size());
    bool folder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    Size = folder ? 0 : static_cast<int64_t>(static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow);
    FILETIME local;
    WORD date = 0, time = 0;
    if (FileTimeToLocalFileTime(&found.ftLastWriteTime, &local)) FileTimeToDosDateTime(&local, &date, &time);
    Time = (static_cast<uint32_t>(date) << 16) | time;
}

void CollectItems(const std::wstring& source, const std::wstring& prefix, std::vector<tfile>& items) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(ApiPath(source + prefix + L"*.*").c_str(), FindExInfoStandard, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || (found.dwFileAttributes & 0x8)) continue;  // 0x8: volume label
        items.emplace_back(prefix, found);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) CollectItems(source, prefix + name + L"\\", items);
    } while (FindNextFileW(search, &found));
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
    if (!DirectoryExists(s.Source)) return ShowError(msg::SourceMissing, {s.Source});
    std::wstring icon = Trim(s.Icon);
    if (!icon.empty() && !FileExists(icon)) return ShowError(msg::IconMissing, {s.Icon});
    if (s.ExtractionMode == 1) {
        if (!FileExists(s.ExecutableFile)) return ShowError(msg::ExecutableMissing, {s.ExecutableFile});
        if (!StartsText(s.Source, s.ExecutableFile))
            return ShowError(msg::ExecutableOutside, {s.ExecutableFile, s.Source});
    }
    // Every text in use and every name is stored as it is, in the code page or in UTF-16; only a
    // lone surrogate has no form at all. The extractor takes names up to MaxNameUnits long.
    if (s.ExtractionMode == 1 && !IsStorable(s.CmdParameters))
        return ShowError(msg::TextNotStorable, {msg::CmdParametersField, s.CmdParameters});
    if (s.ExtractionFolder == 5 && !IsStorable(s.CustomFolder))
        return ShowError(msg::TextNotStorable, {msg::CustomFolderField, s.CustomFolder});
    std::vector<tfile> items;
    CollectItems(s.Source, std::wstring(), items);
    for (const tfile& item : items) {
        if (item.Unencodable) return ShowError(msg::NameNotStorable, {s.Source + item.Name});
        if (item.Name.size() > MaxNameUnits) return ShowError(msg::NameTooLong, {s.Source + item.Name});
    }
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
    CollectItems(s.Source, std::wstring(), items);
    for (const tfile& item : items) {
        // Validation refused these already; a tree that changed since is refused here, never
        // stored under another name.
        if (item.Unencodable || item.Name.size() > MaxNameUnits) {
            SetLastError(item.Unencodable ? ERROR_NO_UNICODE_TRANSLATION : ERROR_FILENAME_EXCED_RANGE);
            ThrowFileError("NameError", L"Cannot store file", s.Source + item.Name);
        }
        g_totalSize += item.Size;
    }
    PayloadForm form = FormOf(s, items);
    if (form == PayloadForm::Extended)
        for (tfile& item : items) item.Stored = StoredName(item.Name.data(), item.Name.size());

    // The SFX file is written beside the target and replaces it only once complete, so a
    // failed or cancelled build never costs the previous SFX file.
    ForceDirectories(ExtractFileDir(s.Target));
    TemporaryTarget temporary(s.Target);
    HANDLE target = CreateFileW(ApiPath(temporary.Path()).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (target == INVALID_HANDLE_VALUE) ThrowFileError("CreateError", L"Cannot create file", s.Target);
    DWORD written = 0;
    BOOL ok = WriteFile(target, EmbeddedResources.sfxhead.bytes, EmbeddedResources.sfxhead.size, &written, nullptr);
    CloseHandle(target);
    if (!ok || written != EmbeddedResources.sfxhead.size) ThrowFileError("WriteError", L"Cannot write file", s.Target);

    if (IsNtFamily()) EditTargetResources(s, temporary.Path());

    {
        TargetWriter out(temporary.Path(), s.Target);
        std::wstring cmd = StorableText(s.CmdParameters), folder = StorableText(s.CustomFolder);
        std::string start =
            EncodePayloadStart(form, MakeRecord(s, compression), cmd.data(), cmd.size(), folder.data(), folder.size());
        out.Write(start.data(), static_cast<uint32_t>(start.size()));
        // Declared after the writer: an escaping error stops the workers before the target closes.
        ChunkPipeline pipeline(BuildThreadCount());
        EntryStream entries(out, pipeline, form);
        if (s.SelfDeleteMode) entries.WriteSelfDeleteEntry();
        for (const tfile& item : items) {
            if (entries.Done()) break;
            entries.WriteEntry(s, item);
        }
        entries.Finish();
        pipeline.Stop();
        std::string terminator = EncodeTerminator(form);
        out.Write(terminator.data(), static_cast<uint32_t>(terminator.size()));
        out.Close();
    }

    if (CancelRequested) {
        ForceDeleteFile(temporary.Path());
        ShowWarningMessage(msg::Cancelled);
        return false;
    }
    temporary.Replace(s.Target);
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
        std::wstring text = FormatSizeText(x) + L" / " + FormatSizeText(g_totalSize) + L"   (" +
                            std::to_wstring(x * 100 / g_totalSize) + L"%)";
        SetLabel(ProgressWindow->lsize, text);
    }
    PumpMessages();
}
