// Packing of chunks: one compressor per worker thread, chunks handed back in queue order.
#pragma once
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

struct libdeflate_compressor;
class FramePacker;

// Packs one chunk into one complete zlib stream (RFC 1950: 32 KiB window, Adler-32) with
// libdeflate at PackLevel. Each worker owns one: a compressor keeps its match finder between
// chunks and is not shared between threads.
class ChunkCompressor {
public:
    // Level 8 packs the benchmark corpus 0.2 % smaller than zlib's level 9 at about twice its
    // speed; libdeflate's level 9 is barely faster than zlib's, its levels 7 and below larger.
    static const int PackLevel = 8;

    ChunkCompressor() = default;
    ~ChunkCompressor();
    ChunkCompressor(const ChunkCompressor&) = delete;
    ChunkCompressor& operator=(const ChunkCompressor&) = delete;

    // out receives the packed bytes; false when the compressor fails.
    bool Compress(const uint8_t* in, uint32_t n, std::vector<uint8_t>& out);

private:
    libdeflate_compressor* deflater_ = nullptr;
};

// The buffer of a chunk's plain bytes.
std::unique_ptr<uint8_t[]> AllocateChunk(uint32_t n);

// One chunk on its way through the pipeline. The plain bytes are either owned (read from a
// file, freed as soon as they are packed) or borrowed (the helper program in memory).
struct ChunkJob {
    std::unique_ptr<uint8_t[]> owned;
    const uint8_t* plain = nullptr;
    uint32_t n = 0;
    bool frame = false;  // a zstd frame of the compact form, not a zlib chunk (no sum)
    // Results, valid once done is set.
    std::vector<uint8_t> packed;
    uint32_t sum = 0;  // ByteSum of the plain bytes
    std::exception_ptr error;
    std::atomic<bool> done{false};
};

// Threads for a build: QUILLET_THREADS when it holds a number from 1 up, else the logical
// processors; never more than 16, so the chunks in flight fit the 32-bit address space. The
// compact form's packers take some 150 MiB each (zstd's tables and a frame in and out): a 32-bit
// builder runs at most 4 of them.
int BuildThreadCount(bool compact);

// Workers that pack queued chunks. With one thread there is no worker: Submit packs at once
// on the calling thread, which is the single-threaded build exactly.
class ChunkPipeline {
public:
    // A worker that cannot start ends the build: ThreadError.
    explicit ChunkPipeline(int threads);
    ~ChunkPipeline();  // drops what was not started, waits for the running chunks
    ChunkPipeline(const ChunkPipeline&) = delete;
    ChunkPipeline& operator=(const ChunkPipeline&) = delete;

    int Threads() const { return threads_; }
    void Submit(const std::shared_ptr<ChunkJob>& job);
    // Blocks until the job is done; pump (when given) runs whenever window messages arrive.
    void Wait(ChunkJob& job, const std::function<void()>& pump);
    // Ends the workers; idempotent.
    void Stop();

private:
    // A worker's packers: zstd's only once a frame comes (it takes far more memory).
    struct Packers {
        ChunkCompressor chunks;
        std::unique_ptr<FramePacker> frames;
        Packers();
        ~Packers();
    };
    void Work();
    static void Pack(Packers& packers, ChunkJob& job);

    int threads_;
    Packers inline_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::shared_ptr<ChunkJob>> queue_;
    bool stop_ = false;
    std::vector<std::thread> workers_;
    HANDLE finished_ = nullptr;  // set after every packed chunk
};
