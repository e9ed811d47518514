# What both Windows toolchains share; QUORIX_MINGW_TRIPLE and
# QUORIX_WINE_ARCH are set by the including file.
set(CMAKE_C_COMPILER ${QUORIX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QUORIX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QUORIX_MINGW_TRIPLE}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${QUORIX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Without -static an exe that uses libstdc++ ends at once under wine (its
# DLLs are not found) and prints nothing.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../../scripts/wine-run
    ${QUORIX_WINE_ARCH})
