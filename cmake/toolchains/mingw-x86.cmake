# Cross build of the Windows program, 32-bit (i686): as mingw-x64.cmake.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(QUORIX_MINGW_TRIPLE i686-w64-mingw32)
set(QUORIX_WINE_ARCH x86)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
