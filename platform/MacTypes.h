// Basic scalar types of the original platform, kept C-compatible so the host records can use them.
// Boolean is one byte as in every stored or shared record; texts inside the plug-in are
// length-prefixed (Str255: length byte, then up to 255 characters).
#pragma once
#include <stdint.h>

typedef unsigned char Boolean;
typedef int16_t OSErr;
typedef int32_t OSStatus;
typedef uint32_t OSType;
typedef uint32_t FourCharCode;
typedef char* Ptr;
typedef Ptr* Handle;
typedef int32_t Size;
typedef unsigned char Str255[256];
typedef unsigned char Str63[64];
typedef unsigned char Str31[32];

inline constexpr OSErr noErr = 0, paramErr = -50, memFullErr = -108, fnfErr = -43, ioErr = -36, eofErr = -39;

#ifdef __cplusplus
// Four-character code from a text literal: FourCC("Pref") == 'Pref' on the original compilers.
constexpr OSType FourCC(const char (&s)[5]) {
    return (OSType(uint8_t(s[0])) << 24) | (OSType(uint8_t(s[1])) << 16) | (OSType(uint8_t(s[2])) << 8) |
           OSType(uint8_t(s[3]));
}
#endif
