# libdeflate, compiled from Debian's source package (scripts/fetch-libdeflate.sh unpacks it
# into .deps/libdeflate): whole-buffer zlib streams, for the builder's chunks and the
# extractor's inflate.
set(LIBDEFLATE_DIR ${PROJECT_SOURCE_DIR}/.deps/libdeflate CACHE PATH "libdeflate's unpacked sources")
if(NOT EXISTS ${LIBDEFLATE_DIR}/libdeflate.h OR NOT EXISTS ${LIBDEFLATE_DIR}/lib/deflate_decompress.c)
    message(FATAL_ERROR "libdeflate's sources are not in ${LIBDEFLATE_DIR}: run scripts/setup.sh")
endif()
set(LIBDEFLATE_COMMON ${LIBDEFLATE_DIR}/lib/adler32.c ${LIBDEFLATE_DIR}/lib/utils.c
    ${LIBDEFLATE_DIR}/lib/x86/cpu_features.c)

# The extractor's part: the zlib-format decompressor only, built like the stub itself (-Os).
# Measured on one 9 MiB chunk of mixed data under Wine, i686, best of six: -Os inflates at
# 590 MB/s, -O2 at 840 MB/s but adds 3 KiB to every SFX file; both are far above what
# writing the files allows, so the stub keeps the smaller one.
add_library(libdeflate_inflate STATIC ${LIBDEFLATE_DIR}/lib/deflate_decompress.c
            ${LIBDEFLATE_DIR}/lib/zlib_decompress.c ${LIBDEFLATE_COMMON})
target_include_directories(libdeflate_inflate SYSTEM PUBLIC ${LIBDEFLATE_DIR})
target_compile_options(libdeflate_inflate PRIVATE -w -include ${CMAKE_CURRENT_LIST_DIR}/libdeflate_baseline.h)
quillet_stub(libdeflate_inflate)

# The builder's part: compressor and decompressor, at full speed.
add_library(libdeflate_full STATIC ${LIBDEFLATE_DIR}/lib/deflate_compress.c ${LIBDEFLATE_DIR}/lib/zlib_compress.c
            ${LIBDEFLATE_DIR}/lib/deflate_decompress.c ${LIBDEFLATE_DIR}/lib/zlib_decompress.c ${LIBDEFLATE_COMMON})
target_include_directories(libdeflate_full SYSTEM PUBLIC ${LIBDEFLATE_DIR})
target_compile_options(libdeflate_full PRIVATE -O2 -w)
