#include "platform/Memory.h"

#include <cstddef>
#include <cstdlib>

namespace {
// A pointer block is a header holding its size, then the caller's bytes. The header is one
// max_align_t wide so the caller's bytes keep malloc's alignment (doubles in saved records).
struct alignas(std::max_align_t) PtrHeader {
    Size size;
};

// A handle is the address of a master pointer; the master pointer sits at the start of a small
// record that also holds the size of the block it points to.
struct HandleRec {
    Ptr master;  // first member: a Handle is the address of this field
    Size size;
};

OSErr lgMemError = noErr;
int lgFailAllocations = 0;

// Answers whether an allocation of byteCount may go ahead, and records why not.
bool MayAllocate(Size byteCount) {
    if (byteCount < 0) {
        lgMemError = paramErr;
        return false;
    }
    if (lgFailAllocations > 0) {
        lgFailAllocations--;
        lgMemError = memFullErr;
        return false;
    }
    return true;
}
}  // namespace

Ptr NewPtrClear(Size byteCount) {
    if (!MayAllocate(byteCount)) return nullptr;
    auto* header = static_cast<PtrHeader*>(std::calloc(1, sizeof(PtrHeader) + size_t(byteCount)));
    if (!header) {
        lgMemError = memFullErr;
        return nullptr;
    }
    header->size = byteCount;
    lgMemError = noErr;
    return reinterpret_cast<Ptr>(header + 1);
}

void DisposePtr(Ptr p) {
    if (p) std::free(reinterpret_cast<PtrHeader*>(p) - 1);
}

Size GetPtrSize(Ptr p) { return p ? (reinterpret_cast<PtrHeader*>(p) - 1)->size : 0; }

Handle NewHandleClear(Size byteCount) {
    if (!MayAllocate(byteCount)) return nullptr;
    auto* rec = static_cast<HandleRec*>(std::malloc(sizeof(HandleRec)));
    Ptr block = static_cast<Ptr>(std::calloc(1, byteCount > 0 ? size_t(byteCount) : 1));
    if (!rec || !block) {
        std::free(rec);
        std::free(block);
        lgMemError = memFullErr;
        return nullptr;
    }
    rec->master = block;
    rec->size = byteCount;
    lgMemError = noErr;
    return &rec->master;
}

void DisposeHandle(Handle h) {
    if (!h) return;
    auto* rec = reinterpret_cast<HandleRec*>(h);
    std::free(rec->master);
    std::free(rec);
}

Size GetHandleSize(Handle h) { return h ? reinterpret_cast<HandleRec*>(h)->size : 0; }

OSErr MemError() { return lgMemError; }

void MemFailNextAllocations(int count) { lgFailAllocations = count > 0 ? count : 0; }
