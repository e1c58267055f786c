# zstd, compiled from Debian's source package libzstd (scripts/fetch-libzstd.sh unpacks it into
# .deps/libzstd): the compact form's frames.
set(LIBZSTD_DIR ${PROJECT_SOURCE_DIR}/.deps/libzstd CACHE PATH "zstd's unpacked sources")
include(${CMAKE_CURRENT_LIST_DIR}/libzstd_sources.cmake)

# The compact extractor's part: the decoder alone, built small. Each frame is decoded whole into
# its buffer, where the speed of the larger variants is lost behind the writing of the files.
add_library(libzstd_decode STATIC ${LIBZSTD_COMMON} ${LIBZSTD_DECOMPRESS})
target_include_directories(libzstd_decode SYSTEM PUBLIC ${LIBZSTD_DIR}/lib)
target_compile_definitions(libzstd_decode PUBLIC ${LIBZSTD_SMALL_PUBLIC} PRIVATE ${LIBZSTD_SMALL_PRIVATE})
target_compile_options(libzstd_decode PRIVATE -w)
quillet_stub(libzstd_decode)

# The builder's part (and the tests' independent reader): compressor and decoder, at full speed,
# single-threaded (the builder runs its own workers, one frame each).
add_library(libzstd_full STATIC ${LIBZSTD_COMMON} ${LIBZSTD_DECOMPRESS} ${LIBZSTD_COMPRESS})
target_include_directories(libzstd_full SYSTEM PUBLIC ${LIBZSTD_DIR}/lib)
target_compile_definitions(libzstd_full PRIVATE ZSTD_LEGACY_SUPPORT=0 ZSTD_DISABLE_ASM)
target_compile_options(libzstd_full PRIVATE -O2 -w)
