// The compact extractor's frame decoder: zstd's, one whole frame into its buffer at a time.
#define ZSTD_STATIC_LINKING_ONLY
#include <zstd.h>
#include <zstd_errors.h>

#include "u_frames.h"
#include "u_payload.h"

size_t FrameDecoderSize() { return ZSTD_estimateDCtxSize(); }

void* MakeFrameDecoder(void* memory, size_t size) { return ZSTD_initStaticDCtx(memory, size); }

uint32_t UnpackFrame(void* decoder, const uint8_t* packed, uint32_t packedLength, uint8_t* plain,
                     uint32_t plainLength) {
    ZSTD_DCtx* d = static_cast<ZSTD_DCtx*>(decoder);
    // One frame and nothing after it: zstd would go on to a second frame or skip a skippable one.
    if (ZSTD_findFrameCompressedSize(packed, packedLength) != packedLength) return PayloadBadFrame;
    size_t n = ZSTD_decompressDCtx(d, plain, plainLength, packed, packedLength);
    if (ZSTD_isError(n)) return ZSTD_getErrorCode(n) == ZSTD_error_checksum_wrong ? PayloadCrc : PayloadBadFrame;
    return n == plainLength ? PayloadOk : PayloadBadFrame;
}
