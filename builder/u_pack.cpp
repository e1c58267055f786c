#include "u_pack.h"

#include <libdeflate.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "u_errors.h"
#include "u_frames.h"
#include "u_payload.h"
#include "u_messages.h"
#include "u_paths.h"
#include "u_shared.h"
#include "u_testfault.h"

ChunkCompressor::~ChunkCompressor() { libdeflate_free_compressor(deflater_); }

bool ChunkCompressor::Compress(const uint8_t* in, uint32_t n, std::vector<uint8_t>& out) {
    if (!deflater_ && !(deflater_ = libdeflate_alloc_compressor(PackLevel))) return false;
    out.resize(libdeflate_zlib_compress_bound(deflater_, n));
    size_t length = libdeflate_zlib_compress(deflater_, in, n, out.data(), out.size());
    if (!length) return false;
    out.resize(length);
    // A chunk that packs well need not keep its worst-case buffer while it waits to be written.
    if (out.capacity() / 2 > out.size()) out.shrink_to_fit();
    return true;
}

int BuildThreadCount(bool compact) {
    wchar_t text[16] = L"";
    DWORD n = GetEnvironmentVariableW(L"QUILLET_THREADS", text, 16);
    int threads = n > 0 && n < 16 ? _wtoi(text) : 0;
    if (threads < 1) {
        SYSTEM_INFO info;
        GetSystemInfo(&info);
        threads = static_cast<int>(info.dwNumberOfProcessors);
    }
    int most = compact && sizeof(void*) == 4 ? 4 : 16;
    return std::max(1, std::min(threads, most));
}

std::unique_ptr<uint8_t[]> AllocateChunk(uint32_t n) {
    // The forced failure hits the third buffer, when packed chunks are in flight.
    static int allocations = 0;
    if (ForcedTestFault() == TestFault::Allocation && ++allocations == 3) throw std::bad_alloc();
    return std::unique_ptr<uint8_t[]>(new uint8_t[n]);
}

ChunkPipeline::Packers::Packers() = default;
ChunkPipeline::Packers::~Packers() = default;

ChunkPipeline::ChunkPipeline(int threads) : threads_(std::max(1, threads)) {
    if (threads_ == 1) return;
    finished_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (!finished_) {
        threads_ = 1;  // no event, no workers: the build still runs, on one thread
        return;
    }
    try {
        for (int i = 0; i < threads_; ++i) {
            // The forced failure hits the last worker, when the others run.
            if (ForcedTestFault() == TestFault::ThreadStart && i == threads_ - 1)
                throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
            workers_.emplace_back(&ChunkPipeline::Work, this);
        }
    } catch (const std::system_error& e) {
        Stop();
        CloseHandle(finished_);
        throw BuildError("ThreadError", L"Cannot start a packing thread. " + AnsiToWide(e.code().message()));
    } catch (...) {
        Stop();
        CloseHandle(finished_);
        throw;
    }
}

ChunkPipeline::~ChunkPipeline() {
    Stop();
    if (finished_) CloseHandle(finished_);
}

void ChunkPipeline::Stop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        queue_.clear();
    }
    wake_.notify_all();
    for (std::thread& t : workers_)
        if (t.joinable()) t.join();
    workers_.clear();
}

void ChunkPipeline::Submit(const std::shared_ptr<ChunkJob>& job) {
    if (workers_.empty()) {
        Pack(inline_, *job);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back(job);
    }
    wake_.notify_one();
}

void ChunkPipeline::Wait(ChunkJob& job, const std::function<void()>& pump) {
    while (!job.done.load(std::memory_order_acquire)) {
        if (pump) {
            DWORD woke = MsgWaitForMultipleObjectsEx(1, &finished_, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
            if (woke == WAIT_OBJECT_0 + 1) pump();
        } else {
            WaitForSingleObject(finished_, INFINITE);
        }
    }
}

void ChunkPipeline::Work() {
    Packers packers;
    for (;;) {
        std::shared_ptr<ChunkJob> job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
            if (stop_) return;
            job = std::move(queue_.front());
            queue_.pop_front();
        }
        Pack(packers, *job);
        SetEvent(finished_);
    }
}

// Never throws: a failure travels with the chunk to the thread that writes it.
void ChunkPipeline::Pack(Packers& packers, ChunkJob& job) {
    try {
        if (job.frame) {
            if (!packers.frames) packers.frames = std::make_unique<FramePacker>();
            job.packed.resize(FramePacker::Bound(job.n));
            size_t n = packers.frames->PackInto(job.plain, job.n, job.packed.data(), job.packed.size());
            if (!n) throw BuildError("CompressionError", msg::CompressionFailed);
            job.packed.resize(n);
            job.packed.shrink_to_fit();
        } else {
            job.sum = ByteSum(job.plain, job.n);
            if (!packers.chunks.Compress(job.plain, job.n, job.packed))
                throw BuildError("CompressionError", msg::CompressionFailed);
        }
        if (job.packed.size() > (job.frame ? MaxPackedFrame : MaxPackedChunk))
            throw BuildError("OutOfMemory", SystemMessage(ERROR_NOT_ENOUGH_MEMORY));
    } catch (...) {
        job.error = std::current_exception();
        job.packed.clear();
    }
    job.owned.reset();
    job.plain = nullptr;
    job.done.store(true, std::memory_order_release);
}
