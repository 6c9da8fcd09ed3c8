// Lua's allocator. Lua makes and drops small objects at a high rate; every malloc and free
// is a call into the host, so small blocks come from size classes carved out of large
// chunks and are reused without the host. Large blocks go to the host directly. When a
// block cannot grow, Lua collects garbage and tries again, then raises "not enough memory".

#include <stdlib.h>
#include <string.h>

#include "lua_alloc.h"

namespace {

constexpr size_t kGrain = 16;
constexpr size_t kSmallLimit = 512;  // blocks up to this size come from the classes
constexpr size_t kClasses = kSmallLimit / kGrain;
constexpr size_t kChunkSize = 64 * 1024;

struct FreeBlock {
  FreeBlock* next;
};
struct Chunk {
  Chunk* next;
  // Header padding keeps the blocks after it aligned to 16 bytes.
  char padding[kGrain - sizeof(Chunk*)];
};

FreeBlock* gFree[kClasses];
Chunk* gChunks = nullptr;
char* gCursor = nullptr;
size_t gCursorLeft = 0;

size_t class_of(size_t size) { return (size + kGrain - 1) / kGrain - 1; }
bool is_small(size_t size) { return size <= kSmallLimit; }

void* small_alloc(size_t size) {
  size_t c = class_of(size);
  if (FreeBlock* block = gFree[c]) {
    gFree[c] = block->next;
    return block;
  }
  size_t bytes = (c + 1) * kGrain;
  if (gCursorLeft < bytes) {
    // The rest of the old chunk is left unused; it is at most one block's worth.
    Chunk* chunk = static_cast<Chunk*>(malloc(kChunkSize));
    if (!chunk) return nullptr;
    chunk->next = gChunks;
    gChunks = chunk;
    gCursor = reinterpret_cast<char*>(chunk + 1);
    gCursorLeft = kChunkSize - sizeof(Chunk);
  }
  void* block = gCursor;
  gCursor += bytes;
  gCursorLeft -= bytes;
  return block;
}

void small_free(void* block, size_t size) {
  FreeBlock* f = static_cast<FreeBlock*>(block);
  size_t c = class_of(size);
  f->next = gFree[c];
  gFree[c] = f;
}

void release(void* block, size_t size) {
  if (is_small(size)) small_free(block, size);
  else free(block);
}

void* obtain(size_t size) { return is_small(size) ? small_alloc(size) : malloc(size); }

}  // namespace

extern "C" void* nklua_alloc(void*, void* block, size_t old_size, size_t new_size) {
  if (new_size == 0) {
    if (block) release(block, old_size);
    return nullptr;
  }
  if (!block) return obtain(new_size);
  if (is_small(old_size) && is_small(new_size) && class_of(old_size) == class_of(new_size))
    return block;
  if (!is_small(old_size) && !is_small(new_size)) return realloc(block, new_size);
  void* moved = obtain(new_size);
  if (!moved) return new_size <= old_size ? block : nullptr;  // a shrink may keep its block
  memcpy(moved, block, old_size < new_size ? old_size : new_size);
  release(block, old_size);
  return moved;
}

extern "C" void nklua_alloc_release_all(void) {
  while (gChunks) {
    Chunk* next = gChunks->next;
    free(gChunks);
    gChunks = next;
  }
  for (FreeBlock*& head : gFree) head = nullptr;
  gCursor = nullptr;
  gCursorLeft = 0;
}
