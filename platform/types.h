#pragma once
// The platform's integer and handle types that the device and file code use.
// BOOL, UINT, DWORD, TRUE and FALSE come from the window header so that every
// part of the program sees one definition of each.

#include <cstdint>

#include "platform/window.h"

using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;

using HANDLE = void*;
// -1 as a pointer, as the platform spells it. Not constexpr: a pointer made from
// an integer is no constant expression.
inline const HANDLE INVALID_HANDLE_VALUE = reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1));

// CreateFileW's access, disposition and flag values, as the platform defines them.
inline constexpr DWORD GENERIC_READ = 0x80000000;
inline constexpr DWORD GENERIC_WRITE = 0x40000000;
inline constexpr DWORD OPEN_EXISTING = 3;
inline constexpr DWORD OPEN_ALWAYS = 4;
inline constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
inline constexpr DWORD FILE_FLAG_WRITE_THROUGH = 0x80000000;
