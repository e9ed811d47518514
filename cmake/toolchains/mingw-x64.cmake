# Cross build of the Windows program, 64-bit: mingw-w64 with the posix thread
# model (std::thread), linked statically so that quorix.exe needs no DLL
# beside it. Test programs run under wine through scripts/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUORIX_MINGW_TRIPLE x86_64-w64-mingw32)
set(QUORIX_WINE_ARCH x64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
