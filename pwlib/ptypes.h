// Basic integer types and constants shared by the portable and the Windows layers.
#pragma once

#include <cstdint>

typedef int BOOL;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

typedef uint8_t BYTE;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef int64_t PInt64;
typedef uint64_t PUInt64;

/// Index and size of the library's containers and strings.
typedef int PINDEX;
/// The largest index; as a position it means "not found" or "to the end".
#define P_MAX_INDEX 0x7fffffff
