// The builder's frame packer: zstd's compressor, single-threaded per frame, with the frame's
// content size and checksum.
#include <zstd.h>

#include "u_frames.h"

FramePacker::FramePacker(const FrameSettings& settings) : context_(ZSTD_createCCtx()), settings_(settings) {}

FramePacker::~FramePacker() { ZSTD_freeCCtx(static_cast<ZSTD_CCtx*>(context_)); }

size_t FramePacker::Bound(size_t size) { return ZSTD_compressBound(size); }

bool FramePacker::Pack(const void* plain, size_t size, std::string& out) {
    out.resize(Bound(size));
    size_t n = PackInto(plain, size, &out[0], out.size());
    out.resize(n);
    return n != 0;
}

size_t FramePacker::PackInto(const void* plain, size_t size, void* out, size_t capacity) {
    if (settings_.level >= QuickProbeFrom) {
        FrameSettings quick = {1, settings_.windowLog, 0, settings_.longMatches};
        size_t n = Compress(quick, plain, size, out, capacity);
        if (n > size - size / 32) return n;
    }
    return Compress(settings_, plain, size, out, capacity);
}

size_t FramePacker::Compress(const FrameSettings& s, const void* plain, size_t size, void* out, size_t capacity) {
    ZSTD_CCtx* c = static_cast<ZSTD_CCtx*>(context_);
    if (!c) return 0;
    ZSTD_CCtx_reset(c, ZSTD_reset_session_and_parameters);
    if (ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_compressionLevel, s.level)) ||
        (s.windowLog && ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_windowLog, s.windowLog))) ||
        (s.chainLog && ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_chainLog, s.chainLog))) ||
        (s.longMatches && ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_enableLongDistanceMatching, 1))) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_checksumFlag, 1)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(c, ZSTD_c_contentSizeFlag, 1)))
        return 0;
    size_t n = ZSTD_compress2(c, out, capacity, plain, size);
    return ZSTD_isError(n) ? 0 : n;
}
