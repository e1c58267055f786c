# Cross compile for Windows with Debian's mingw-w64 (posix thread variant). Included by the
# toolchain file of each architecture after it has set TRIPLE and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TRIPLE}-windres)
set(CMAKE_AR ${TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_STRIP ${TRIPLE}-strip CACHE FILEPATH "")
set(CMAKE_OBJCOPY ${TRIPLE}-objcopy CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
