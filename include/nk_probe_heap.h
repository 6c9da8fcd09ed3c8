#ifndef ORVANE_NK_PROBE_HEAP_H
#define ORVANE_NK_PROBE_HEAP_H
/* The probe heap: an allocate-only heap over the machine's memory above 3 MiB, built from
   the boot memory map on first use. It never asks the host. Blocks are 16-byte aligned
   and are never freed one by one; nk_probe_heap_reset forgets them all. */
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

void *nk_probe_heap_alloc(size_t size); /* null for 0 or when nothing fits */
void nk_probe_heap_reset(void);
uint32_t nk_probe_heap_free_bytes(void);  /* saturates at 0xFFFFFFFF */
uint64_t nk_probe_heap_free_bytes64(void);
uint32_t nk_probe_heap_total_bytes(void); /* saturates at 0xFFFFFFFF */
uint64_t nk_probe_heap_total_bytes64(void);

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif
#endif
