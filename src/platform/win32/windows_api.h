// The Windows API for the win32 implementations of the platform layer, and
// the conversions between the integers that the platform headers keep and
// the system's handles.
//
// Kernel handles keep their value when cut to 32 bits and sign-extended back
// (Windows guarantees it, so that 32-bit and 64-bit processes can share
// them), so an int member can hold a HANDLE or a SOCKET. -1 stays "none".
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// WIN32_LEAN_AND_MEAN keeps the old winsock.h out of windows.h, so Winsock 2 fits beside it.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdint>

// windows.h turns these names into macros; the platform headers use them as
// our own function names.
#undef DeleteFile

namespace quorix::platform::win32 {

inline HANDLE HandleOf(int value) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(value)); }

inline int IntOf(HANDLE handle) { return static_cast<int>(reinterpret_cast<intptr_t>(handle)); }

inline SOCKET SocketOf(int value) { return static_cast<SOCKET>(static_cast<intptr_t>(value)); }

inline int IntOf(SOCKET socket) { return static_cast<int>(static_cast<intptr_t>(socket)); }

}  // namespace quorix::platform::win32
