# zstd, compiled from Debian's source package libzstd (scripts/fetch-libzstd.sh unpacks it into
# .deps/libzstd): the compact form's frames.
set(LIBZSTD_DIR ${PROJECT_SOURCE_DIR}/.deps/libzstd CACHE PATH "zstd's unpacked sources")
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

# The compact extractor's part: the decoder alone, built small. No legacy formats, one Huffman
# decoder (X1), the short sequence decoder only, nothing inlined, no assembly, no error texts.
# Each frame is decoded whole into its buffer, where the speed of the larger variants is lost
# behind the writing of the files.
add_library(libzstd_decode STATIC ${LIBZSTD_COMMON} ${LIBZSTD_DECOMPRESS})
target_include_directories(libzstd_decode SYSTEM PUBLIC ${LIBZSTD_DIR}/lib)
target_compile_definitions(libzstd_decode PUBLIC ZSTD_LEGACY_SUPPORT=0 ZSTD_STRIP_ERROR_STRINGS
    PRIVATE HUF_FORCE_DECOMPRESS_X1 ZSTD_FORCE_DECOMPRESS_SEQUENCES_SHORT ZSTD_NO_INLINE ZSTD_DISABLE_ASM)
target_compile_options(libzstd_decode PRIVATE -w)
quillet_stub(libzstd_decode)

# The builder's part (and the tests' independent reader): compressor and decoder, at full speed,
# single-threaded (the builder runs its own workers, one frame each).
add_library(libzstd_full STATIC ${LIBZSTD_COMMON} ${LIBZSTD_DECOMPRESS} ${LIBZSTD_COMPRESS})
target_include_directories(libzstd_full SYSTEM PUBLIC ${LIBZSTD_DIR}/lib)
target_compile_definitions(libzstd_full PRIVATE ZSTD_LEGACY_SUPPORT=0 ZSTD_DISABLE_ASM)
target_compile_options(libzstd_full PRIVATE -O2 -w)
