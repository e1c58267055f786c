#include "u_entries.h"

#include <deque>

#include "u_errors.h"
#include "u_pack.h"
#include "u_paths.h"
#include "u_payloadwrite.h"
#include "u_progress.h"
#include "u_sfxtarget.h"
#include "u_shared.h"

namespace {

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

// A text of the record in the code page, for the original form, which only a text with an exact
// form there (or one not in use) is written in; any other is stored empty.
std::string StoredText(const std::wstring& text) {
    std::string bytes;
    return ToCodePage(text, bytes) ? bytes : std::string();
}

}  // namespace

std::wstring StorableText(const std::wstring& text) {
    return IsStorableUtf16(text.data(), text.size()) ? text : std::wstring();
}

SourceFile OpenSourceFile(const std::wstring& full) {
    HANDLE in = CreateFileW(ApiPath(full).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    return SourceFile(in == INVALID_HANDLE_VALUE ? nullptr : in, CloseHandle);
}

uint8_t FileEntryKind(const BuildSettings& s, const std::wstring& full) {
    return s.ExtractionMode == 1 && SameText(full, s.ExecutableFile) ? EntryExecutable : EntryOrdinary;
}

std::string HelperStoredName(PayloadForm form) {
    std::string name = SelfDeleteName;
    if (form == PayloadForm::Original) return name;
    std::wstring wide(name.begin(), name.end());
    return StoredName(wide.data(), wide.size());
}

bool ReadExactly(HANDLE file, uint8_t* buffer, uint32_t n) {
    DWORD got = 0;
    if (!ReadFile(file, buffer, n, &got, nullptr)) return false;
    if (got != n) SetLastError(ERROR_HANDLE_EOF);
    return got == n;
}

SettingsRecord MakeRecord(const BuildSettings& s, const char* instanceName) {
    SettingsRecord r;
    memset(&r, 0, sizeof(r));
    r.ExtractionMode = s.ExtractionMode;
    r.ExtractionFolder = s.ExtractionFolder;
    PutText(r.CmdParameters, StoredText(s.CmdParameters), CmdParametersSize - 1);
    PutText(r.CustomFolder, StoredText(s.CustomFolder), CustomFolderSize - 1);
    memcpy(r.InstanceName, instanceName, InstanceNameSize - 1);
    r.OpenFolder = s.OpenFolder;
    r.Compressed = 1;
    r.OneInstance = s.OneInstance;
    r.SilentMode = s.SilentMode;
    r.SelfDeleteMode = s.SelfDeleteMode;
    r.DeleteMode = s.DeleteMode;
    r.WorkingDirectory = s.WorkingDirectory;
    r.OverwriteMode = s.OverwriteMode;
    return r;
}

namespace {

// The original and the extended form: entries one after the other, file data in chunks. The
// entries are queued in order by the reading side and written in the same order; chunks are
// packed by the pipeline meanwhile. Everything else (the target, the progress window, the cancel
// request) is touched on this thread only, at the points where a single-threaded build touches
// it: a file's label, after each chunk, before each item.
class ClassicStream : public PayloadStream {
public:
    ClassicStream(const BuildPlan& plan, SfxTarget& out, ChunkPipeline& pipeline, BuildProgress* progress)
        : plan_(plan), out_(out), pipeline_(pipeline), progress_(progress), form_(plan.form) {
        int t = pipeline.Threads();
        // In flight: queued, being packed, or packed and waiting to be written.
        maxChunks_ = t == 1 ? 1 : 8 * t;
        maxBytes_ = t == 1 ? ChunkSize : 2ull * t * ChunkSize;
    }

    void Start(const char* instanceName) override {
        const BuildSettings& s = plan_.settings;
        std::wstring cmd = StorableText(s.CmdParameters), folder = StorableText(s.CustomFolder);
        out_.Write(EncodePayloadStart(form_, MakeRecord(s, instanceName), cmd.data(), cmd.size(), folder.data(),
                                      folder.size()));
    }

    // What is queued decides where the target ends after a cancel.
    bool WantsMore() const override { return !stopped_ && !failed_ && !Cancelled(); }

    void Entry(const tfile& item) override {
        Queue(Step::ItemStart);
        if (item.Attributes & FILE_ATTRIBUTE_DIRECTORY)
            FolderEntry(item);
        else
            FileEntry(item);
    }

    void SelfDeleteEntry(const ResourceData& helper) override {
        std::string name = HelperStoredName(form_);
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

    void Finish() override {
        while (!steps_.empty()) WriteFront();
        out_.Write(EncodeTerminator(form_));
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

    bool Cancelled() const { return progress_ && progress_->CancelRequested(); }

    // Header, name and the name's checksum.
    void FolderEntry(const tfile& item) {
        Step& st = Queue(Step::Bytes);
        st.bytes = Header(EntryOrdinary, item.Stored, 0, item.Time, item.Attributes);
        uint8_t sum[4];
        PutLE32(sum, ByteSum(item.Stored.data(), static_cast<uint32_t>(item.Stored.size())));
        st.bytes.append(reinterpret_cast<char*>(sum), 4);
        Flush();
    }

    // Header, name, the data in chunks, the checksum. A file that cannot be opened or read is a
    // failure in its place in the order.
    void FileEntry(const tfile& item) {
        const BuildSettings& s = plan_.settings;
        std::wstring full = s.Source + item.Name;
        if (SameText(full, s.Target)) return;  // never archive the SFX file being written
        Queue(Step::Label).label = full;
        Flush();
        SourceFile in = OpenSourceFile(full);
        if (!in) return FailWith(false, "OpenError", L"Cannot open file", full);
        StartEntry(Header(FileEntryKind(s, full), item.Stored, item.Size, item.Time, item.Attributes), item.Stored, item.Size, true);
        for (int64_t done = 0; done < item.Size && !Cancelled() && !stopped_ && !failed_;) {
            uint32_t n = static_cast<uint32_t>(std::min<int64_t>(item.Size - done, ChunkSize));
            auto job = std::make_shared<ChunkJob>();
            job->owned = AllocateChunk(n);
            if (!ReadExactly(in.get(), job->owned.get(), n)) {
                FailWith(true, "ReadError", L"Cannot read file", full);
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

    // A failure of a file (the last error tells why) takes its place in the order; nothing is read
    // after it.
    void FailWith(bool readFailure, const char* kind, const wchar_t* what, const std::wstring& path) {
        std::exception_ptr error;
        try {
            ThrowFileError(kind, what, path);
        } catch (const BuildError&) {
            error = std::current_exception();
        }
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

    void Report(int64_t doneInFile) {
        if (progress_) progress_->Report(doneInFile, fileSize_, totalDone_ + doneInFile, plan_.totalSize);
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
            if (Cancelled()) stopped_ = true;
            break;
        case Step::Label:
            if (progress_) progress_->FileStarted(st.label);
            break;
        case Step::Bytes:
            out_.Write(st.bytes);
            if (st.size >= 0) {
                sum_ = st.sum;
                doneInFile_ = 0;
                fileSize_ = st.size;
                skipping_ = st.progress && Cancelled();
            }
            break;
        case Step::Chunk:
            if (!skipping_) WriteChunk(*st.job, st.progress);
            break;
        case Step::Failure:
            if (!(skipping_ && st.readFailure)) std::rethrow_exception(st.error);
            break;
        case Step::EntryEnd:
            out_.Write32(sum_);
            if (st.progress) {
                Report(fileSize_);
                totalDone_ += fileSize_;
            }
            skipping_ = false;
            break;
        }
    }

    void WriteChunk(ChunkJob& job, bool progress) {
        if (progress_)
            pipeline_.Wait(job, [this] { progress_->Pump(); });
        else
            pipeline_.Wait(job, nullptr);
        if (job.error) std::rethrow_exception(job.error);
        uint8_t header[ChunkHeaderSize];
        EncodeChunkHeader({static_cast<int32_t>(job.n), static_cast<int32_t>(job.packed.size())}, header);
        out_.Write(header, ChunkHeaderSize);
        out_.Write(job.packed.data(), static_cast<uint32_t>(job.packed.size()));
        std::vector<uint8_t>().swap(job.packed);
        sum_ += job.sum;
        if (progress) {
            Report(doneInFile_);
            skipping_ = Cancelled();  // the entry ends without further data
        }
        doneInFile_ += job.n;
    }

    const BuildPlan& plan_;
    SfxTarget& out_;
    ChunkPipeline& pipeline_;
    BuildProgress* progress_;
    PayloadForm form_;
    std::deque<Step> steps_;
    size_t chunks_ = 0, maxChunks_ = 1;
    uint64_t bytes_ = 0, maxBytes_ = 0;
    bool stopped_ = false;   // a cancel seen before an item
    bool skipping_ = false;  // a cancel seen within the current entry
    bool failed_ = false;    // a failure is queued: read nothing more
    uint32_t sum_ = 0;
    int64_t doneInFile_ = 0, fileSize_ = 0;
    int64_t totalDone_ = 0;  // data bytes of the source files written before the current one
};

}  // namespace

std::unique_ptr<PayloadStream> OpenPayloadStream(const BuildPlan& plan, SfxTarget& out, ChunkPipeline& pipeline,
                                                 BuildProgress* progress) {
    if (plan.form == PayloadForm::Compact) return OpenCompactStream(plan, out, pipeline, progress);
    return std::make_unique<ClassicStream>(plan, out, pipeline, progress);
}
