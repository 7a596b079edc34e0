// The classic resource-fork layout, read and written as a whole; all numbers big-endian.
//   header (16 bytes): data offset, map offset, data length, map length (u32 each); 240 reserved
//                      bytes follow in files we write, so the data starts at 256 as on the original.
//   data section:      per resource a u32 length, then that many bytes.
//   map:               a copy of the header (16), next-map handle (4), file ref (2), fork
//                      attributes (u16), type list offset (u16), name list offset (u16), both
//                      from the map's start;
//   type list:         count - 1 (u16), then per type: type (4), count - 1 (u16), offset of its
//                      reference list from the start of the type list (u16);
//   reference list:    per resource 12 bytes: ID (i16), name offset from the name list (u16,
//                      0xFFFF none), attributes (u8), data offset from the data section (u24),
//                      handle (4, 0 on disk);
//   name list:         length byte, then the characters.
// The reader treats the bytes as hostile: every offset and length is checked against the buffer,
// a map whose reference lists or data blocks overlap or repeat a type and ID is refused, and the
// work and memory it spends never exceed a fixed multiple of the input size.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/MacTypes.h"

inline constexpr size_t cResourceHeaderBytes = 256;         // header and reserved area in files we write
inline constexpr size_t cMaxResourceForkBytes = 32u << 20;  // larger files are not read at all

enum : uint8_t { resChanged = 2,
                 resPreload = 4,
                 resProtected = 8,
                 resLocked = 16,
                 resPurgeable = 32,
                 resSysHeap = 64 };
enum : uint16_t { mapChanged = 32,
                  mapCompact = 64,
                  mapReadOnly = 128 };

struct ResourceEntry {
    OSType Type;
    int16_t ID;
    bool HasName;
    std::string Name;    // at most 255 characters
    uint8_t Attributes;  // as stored; resChanged is never written
    std::vector<uint8_t> Data;
};

// A whole fork: its attributes and its resources, grouped by type in the order of the file.
struct ResourceForkImage {
    uint16_t Attributes = 0;
    std::vector<ResourceEntry> Entries;
};

// False for anything that is not a complete, consistent fork; out is then empty.
bool ParseResourceFork(const uint8_t* bytes, size_t length, ResourceForkImage& out);
// False when the fork does not fit the layout's fields (24-bit data offsets, 16-bit map offsets,
// names over 255 characters, a type and ID twice).
bool WriteResourceFork(const ResourceForkImage& fork, std::vector<uint8_t>& out);
