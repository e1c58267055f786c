// The compact form's frames through zstd: each frame is one complete zstd frame with its content
// size and checksum. Kept apart from the reader and the writer, so that only the programs of
// the compact form link zstd: the decoder (u_frameunpack.cpp) goes into the compact extractor,
// the packer (u_framepack.cpp) into the builder.
#pragma once
#include <stddef.h>
#include <stdint.h>

#include <string>

// How a frame is packed: zstd's level and, where not 0, the window, the chain (the reach of the
// match search) and long-distance matching.
struct FrameSettings {
    int level;
    int windowLog;
    int chainLog;
    bool longMatches;
};
// What the builder packs with by default, chosen by bench/compact_bench.sh on a tree of 214 MB of
// programs, fonts, catalogues and documents: the smallest level within a tenth of 7-Zip's size
// (level 19 is 0.4 % smaller and takes a fifth longer), a window as large as the frame, and
// long-distance matching, which finds what files share across the whole frame for a tenth less
// time. About 140 MiB of memory per packer.
const FrameSettings CompactSettings = {18, 25, 0, true};

// A decoder in the caller's memory (no heap), of FrameDecoderSize() bytes, aligned to 8.
size_t FrameDecoderSize();
void* MakeFrameDecoder(void* memory, size_t size);
// A PayloadUnpack: exactly one zstd frame (no bytes after it) that unpacks to exactly
// plainLength bytes. PayloadOk; PayloadCrc when the frame's own checksum differs;
// PayloadBadFrame for anything else.
uint32_t UnpackFrame(void* decoder, const uint8_t* packed, uint32_t packedLength, uint8_t* plain,
                     uint32_t plainLength);

// The builder's side: one packer per thread. The same bytes, level and window give the same
// frame on any thread and in any order. At the slow levels (QuickProbeFrom and up) a frame is
// first packed at level 1 with the same window; bytes that barely pack there (already packed
// data: pictures, archives, media), the quick frame keeping more than 31/32 of them, keep that
// frame: the slow levels would take some 10 s per 32 MiB of them to save a few bytes.
class FramePacker {
public:
    explicit FramePacker(const FrameSettings& settings = CompactSettings);
    ~FramePacker();
    FramePacker(const FramePacker&) = delete;
    FramePacker& operator=(const FramePacker&) = delete;
    // One frame of the given bytes; false when zstd fails (out of memory).
    bool Pack(const void* plain, size_t size, std::string& out);
    // The same into capacity bytes at out (Bound(size) always suffice): the frame's length, 0 when
    // zstd fails.
    size_t PackInto(const void* plain, size_t size, void* out, size_t capacity);
    static size_t Bound(size_t size);

    static const int QuickProbeFrom = 10;

private:
    size_t Compress(const FrameSettings& settings, const void* plain, size_t size, void* out, size_t capacity);

    void* context_;
    FrameSettings settings_;
};
