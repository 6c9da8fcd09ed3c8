/* Memory for newlib and the program from the library's heap: malloc, free and realloc
   are the library's own (so blocks from nkfs_read_entire_file, strdup and operator new
   mix freely with the program's); this adds what newlib calls and what C has beyond. */
#include <errno.h>
#include <malloc.h>
#include <reent.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

/* The host hands out blocks aligned to 16 bytes; nothing more is promised. */
enum { kGuaranteedAlignment = 16 };

void *_malloc_r(struct _reent *reent, size_t size) {
  void *block = malloc(size);
  if (!block) reent->_errno = ENOMEM;
  return block;
}

void _free_r(struct _reent *reent, void *block) {
  (void)reent;
  free(block);
}

void *_realloc_r(struct _reent *reent, void *block, size_t size) {
  void *moved = realloc(block, size);
  if (!moved && size != 0) reent->_errno = ENOMEM;
  return moved;
}

void *calloc(size_t count, size_t size) {
  if (size != 0 && count > SIZE_MAX / size) {
    errno = ENOMEM;
    return NULL;
  }
  void *block = malloc(count * size);
  if (!block) {
    errno = ENOMEM;
    return NULL;
  }
  return memset(block, 0, count * size);
}

void *_calloc_r(struct _reent *reent, size_t count, size_t size) {
  (void)reent;
  return calloc(count, size);
}

/* free must be able to release every block, so a block cannot be cut out of a larger one.
   Alignments above the host's are met only when the host's block happens to have them
   (nkhost aligns a block whose size is a power of two up to a page to that size, and
   larger blocks to a page): the size asked for is rounded up to a multiple of the
   alignment, and a block that still is not aligned is given back and the call fails. */
static int aligned_block(void **out, size_t alignment, size_t size) {
  if (alignment == 0 || (alignment & (alignment - 1)) != 0 || alignment % sizeof(void *) != 0)
    return EINVAL;
  if (alignment > kGuaranteedAlignment) {
    if (size > SIZE_MAX - alignment) return ENOMEM;
    size = size < alignment ? alignment : (size + alignment - 1) & ~(alignment - 1);
  }
  void *block = malloc(size);
  if (!block) return ENOMEM;
  if ((uintptr_t)block % alignment != 0) {
    free(block);
    return ENOMEM;
  }
  *out = block;
  return 0;
}

int posix_memalign(void **out, size_t alignment, size_t size) {
  return aligned_block(out, alignment, size);
}

void *aligned_alloc(size_t alignment, size_t size) {
  void *block = NULL;
  int error = aligned_block(&block, alignment < sizeof(void *) ? sizeof(void *) : alignment, size);
  if (error) errno = error;
  return block;
}

void *memalign(size_t alignment, size_t size) {
  return aligned_alloc(alignment, size);
}

void *_memalign_r(struct _reent *reent, size_t alignment, size_t size) {
  (void)reent;
  return aligned_alloc(alignment, size);
}
