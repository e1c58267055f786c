# zstd's sources in .deps/libzstd (scripts/fetch-libzstd.sh), as the Windows builds and the native
# fuzz targets take them: LIBZSTD_COMMON, LIBZSTD_DECOMPRESS and LIBZSTD_COMPRESS (single-threaded),
# and the definitions of the small decoder that the compact extractor carries: no legacy formats,
# one Huffman decoder (X1), the short sequence decoder only, nothing inlined, no assembly, no
# error texts.
if(NOT EXISTS ${LIBZSTD_DIR}/lib/zstd.h OR NOT EXISTS ${LIBZSTD_DIR}/lib/decompress/zstd_decompress.c)
    message(FATAL_ERROR "zstd's sources are not in ${LIBZSTD_DIR}: run scripts/setup.sh")
endif()
set(LIBZSTD_COMMON ${LIBZSTD_DIR}/lib/common/entropy_common.c ${LIBZSTD_DIR}/lib/common/error_private.c
    ${LIBZSTD_DIR}/lib/common/fse_decompress.c ${LIBZSTD_DIR}/lib/common/xxhash.c
    ${LIBZSTD_DIR}/lib/common/zstd_common.c)
set(LIBZSTD_DECOMPRESS ${LIBZSTD_DIR}/lib/decompress/huf_decompress.c ${LIBZSTD_DIR}/lib/decompress/zstd_ddict.c
    ${LIBZSTD_DIR}/lib/decompress/zstd_decompress.c ${LIBZSTD_DIR}/lib/decompress/zstd_decompress_block.c)
file(GLOB LIBZSTD_COMPRESS ${LIBZSTD_DIR}/lib/compress/*.c)
list(FILTER LIBZSTD_COMPRESS EXCLUDE REGEX "zstdmt_compress\\.c$")
set(LIBZSTD_SMALL_PUBLIC ZSTD_LEGACY_SUPPORT=0 ZSTD_STRIP_ERROR_STRINGS)
set(LIBZSTD_SMALL_PRIVATE HUF_FORCE_DECOMPRESS_X1 ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT ZSTD_NO_INLINE ZSTD_DISABLE_ASM)
