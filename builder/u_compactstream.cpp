// The compact form's payload: the data of all files as one stream, cut into frames of a fixed
// plain size that the pipeline's workers pack with zstd, and a directory of the entries in front
// of them. The directory holds each file's checksum, known only once the file is read, so the
// frames go to a spool beside the target first; Finish writes the header, the directory's frame
// and then the spooled frames. A frame always holds the same bytes of the stream, so the file is
// the same for any number of threads.
#include <deque>

#include "u_entries.h"
#include "u_errors.h"
#include "u_frames.h"
#include "u_pack.h"
#include "u_paths.h"
#include "u_payloadwrite.h"
#include "u_progress.h"
#include "u_sfxtarget.h"

namespace {

// Plain bytes read from a file at a time: the progress moves at least this often.
const uint32_t ReadBlock = 4u << 20;

class CompactStream : public PayloadStream {
public:
    CompactStream(const BuildPlan& plan, SfxTarget& out, ChunkPipeline& pipeline, BuildProgress* progress)
        : plan_(plan), out_(out), pipeline_(pipeline), progress_(progress),
          inFlight_(static_cast<size_t>(pipeline.Threads()) + 1) {}

    void Start(const char* instanceName) override {
        const BuildSettings& s = plan_.settings;
        record_ = MakeRecord(s, instanceName);
        cmd_ = StorableText(s.CmdParameters);
        folder_ = StorableText(s.CustomFolder);
        // A directory the extractor would refuse is refused before anything is packed.
        uint64_t directory = s.SelfDeleteMode ? DirectoryEntrySize + HelperStoredName(PayloadForm::Compact).size() : 0;
        for (const tfile& item : plan_.items) directory += DirectoryEntrySize + item.Stored.size();
        if (directory > MaxDirectorySize) RefuseDirectory();
        spool_ = std::make_unique<SfxSpool>(out_);
    }

    void SelfDeleteEntry(const ResourceData& helper) override {
        std::string name = HelperStoredName(PayloadForm::Compact);
        uint32_t sum = ByteSum(name.data(), static_cast<uint32_t>(name.size()));
        Feed(helper.bytes, helper.size, sum);
        AddEntry(EntrySelfDelete, name, helper.size, 0, 0, sum);
    }

    bool WantsMore() const override { return !Cancelled(); }

    void Entry(const tfile& item) override {
        uint32_t sum = ByteSum(item.Stored.data(), static_cast<uint32_t>(item.Stored.size()));
        if (item.Attributes & FILE_ATTRIBUTE_DIRECTORY)
            return AddEntry(EntryOrdinary, item.Stored, 0, item.Time, item.Attributes, sum);
        const BuildSettings& s = plan_.settings;
        std::wstring full = s.Source + item.Name;
        if (SameText(full, s.Target)) return;  // never archive the SFX file being written
        if (progress_) progress_->FileStarted(full);
        SourceFile in = OpenSourceFile(full);
        if (!in) ThrowFileError("OpenError", L"Cannot open file", full);
        // Exactly the size the walk saw: the directory was counted with it.
        for (int64_t done = 0; done < item.Size;) {
            if (Cancelled()) return;
            uint32_t n = Room(static_cast<uint64_t>(item.Size - done));
            if (!ReadExactly(in.get(), frame_.get() + used_, n)) ThrowFileError("ReadError", L"Cannot read file", full);
            sum = ByteSum(frame_.get() + used_, n, sum);
            Filled(n);
            done += n;
            if (progress_) progress_->Report(done, item.Size, totalDone_ + done, plan_.totalSize);
        }
        totalDone_ += item.Size;
        AddEntry(FileEntryKind(s, full), item.Stored, item.Size, item.Time, item.Attributes, sum);
    }

    void Finish() override {
        if (Cancelled()) return;  // the build discards the file
        if (used_) Submit();
        while (!frames_.empty()) WriteFront();
        // The directory is packed as one more frame, by the same packers.
        if (directory_.size() > MaxDirectorySize) RefuseDirectory();
        auto job = std::make_shared<ChunkJob>();
        job->plain = reinterpret_cast<const uint8_t*>(directory_.data());
        job->n = static_cast<uint32_t>(directory_.size());
        job->frame = true;
        pipeline_.Submit(job);
        Wait(*job);
        CompactLayout layout = {CompactFrameSize, streamSize_, job->n, static_cast<uint32_t>(job->packed.size()),
                                ByteSum(directory_.data(), job->n)};
        out_.Write(EncodeCompactStart(record_, cmd_.data(), cmd_.size(), folder_.data(), folder_.size(), layout));
        out_.Write(job->packed.data(), static_cast<uint32_t>(job->packed.size()));
        spool_->CopyTo(out_);
    }

private:
    [[noreturn]] void RefuseDirectory() const {
        throw BuildError("DirectoryTooLarge", L"Cannot write file \"" + plan_.settings.Target +
                                                  L"\". The directory of a compact SFX file takes at most 16 MB "
                                                  L"(some 100,000 files and folders).");
    }

    bool Cancelled() const { return progress_ && progress_->CancelRequested(); }

    void AddEntry(uint8_t kind, const std::string& name, int64_t size, uint32_t time, uint32_t attributes,
                  uint32_t sum) {
        directory_ += EncodeDirectoryEntry(kind, name, static_cast<uint64_t>(size), time, attributes, sum);
    }

    // Bytes from memory into the stream.
    void Feed(const uint8_t* bytes, uint32_t size, uint32_t& sum) {
        for (uint32_t done = 0; done < size;) {
            uint32_t n = Room(size - done);
            memcpy(frame_.get() + used_, bytes + done, n);
            sum = ByteSum(bytes + done, n, sum);
            Filled(n);
            done += n;
        }
    }

    // How many of want bytes go into the current frame (one is made when none is open).
    uint32_t Room(uint64_t want) {
        if (!frame_) frame_ = AllocateChunk(CompactFrameSize);
        return static_cast<uint32_t>(std::min<uint64_t>({want, CompactFrameSize - used_, ReadBlock}));
    }

    void Filled(uint32_t n) {
        used_ += n;
        streamSize_ += n;
        if (used_ == CompactFrameSize) Submit();
    }

    // The frame to the packers; while too many are in flight, the oldest is written first.
    void Submit() {
        auto job = std::make_shared<ChunkJob>();
        job->owned = std::move(frame_);
        job->plain = job->owned.get();
        job->n = used_;
        job->frame = true;
        used_ = 0;
        while (frames_.size() >= inFlight_) WriteFront();
        frames_.push_back(job);
        pipeline_.Submit(job);
    }

    void Wait(ChunkJob& job) {
        if (progress_)
            pipeline_.Wait(job, [this] { progress_->Pump(); });
        else
            pipeline_.Wait(job, nullptr);
        if (job.error) std::rethrow_exception(job.error);
    }

    void WriteFront() {
        std::shared_ptr<ChunkJob> job = std::move(frames_.front());
        frames_.pop_front();
        Wait(*job);
        std::string header = EncodeFrameHeader(job->n, static_cast<uint32_t>(job->packed.size()));
        // The header, the directory and what came before are far below a frame: a stream that
        // cannot fit is refused while it is packed, not after.
        out_.CheckRoom(spool_->Size() + header.size() + job->packed.size());
        spool_->Write(header.data(), static_cast<uint32_t>(header.size()));
        spool_->Write(job->packed.data(), static_cast<uint32_t>(job->packed.size()));
    }

    const BuildPlan& plan_;
    SfxTarget& out_;
    ChunkPipeline& pipeline_;
    BuildProgress* progress_;
    size_t inFlight_;  // frames queued, being packed or waiting to be written
    SettingsRecord record_;
    std::wstring cmd_, folder_;
    std::unique_ptr<SfxSpool> spool_;
    std::string directory_;
    std::unique_ptr<uint8_t[]> frame_;  // the frame being filled
    uint32_t used_ = 0;
    uint64_t streamSize_ = 0;
    int64_t totalDone_ = 0;
    std::deque<std::shared_ptr<ChunkJob>> frames_;
};

}  // namespace

std::unique_ptr<PayloadStream> OpenCompactStream(const BuildPlan& plan, SfxTarget& out, ChunkPipeline& pipeline,
                                                 BuildProgress* progress) {
    return std::make_unique<CompactStream>(plan, out, pipeline, progress);
}
