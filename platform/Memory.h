// Memory Manager blocks: pointer blocks and relocatable handles that know their allocated size, so
// that a copy can compare the sizes of two blocks. Blocks come zero-filled; whoever allocates one
// disposes of it. A failed allocation answers null and MemError() tells why.
#pragma once
#include "platform/MacTypes.h"

Ptr NewPtrClear(Size byteCount);  // null when out of memory or byteCount < 0
void DisposePtr(Ptr p);           // null is ignored
Size GetPtrSize(Ptr p);           // 0 for null

Handle NewHandleClear(Size byteCount);
void DisposeHandle(Handle h);
Size GetHandleSize(Handle h);

OSErr MemError();  // result of the last allocation: noErr, memFullErr or paramErr

// Test hook: the next `count` allocations (pointers and handles alike) fail as if memory were full.
void MemFailNextAllocations(int count);
