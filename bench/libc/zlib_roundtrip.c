/* Compresses 8 MiB of generated text-like data with zlib (level 6) and expands it again,
   three times, and prints sizes and a checksum so that both builds are seen to do the same
   work. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <zlib.h>

enum { kSize = 8 << 20, kRounds = 3 };

/* Words from a small vocabulary in a reproducible order, with numbers between them. */
static void generate(unsigned char *data, size_t size) {
  static const char *words[] = {"alpha", "beta", "gamma", "delta", "compress", "stream",
                                "window", "buffer", "inflate", "deflate", "huffman", "match"};
  unsigned long state = 12345;
  size_t at = 0;
  while (at < size) {
    state = state * 6364136223846793005UL + 1442695040888963407UL;
    char piece[32];
    int n = (state >> 60) < 3 ? snprintf(piece, sizeof piece, "%lu ", (state >> 33) % 100000)
                              : snprintf(piece, sizeof piece, "%s ", words[(state >> 40) % 12]);
    for (int i = 0; i < n && at < size; ++i) data[at++] = (unsigned char)piece[i];
  }
}

int main(void) {
  unsigned char *original = malloc(kSize), *restored = malloc(kSize);
  uLong bound = compressBound(kSize);
  unsigned char *packed = malloc(bound);
  if (!original || !restored || !packed) return 2;
  generate(original, kSize);
  uLong packed_size = 0, check = adler32(0, NULL, 0);
  for (int round = 0; round < kRounds; ++round) {
    packed_size = bound;
    if (compress2(packed, &packed_size, original, kSize, 6) != Z_OK) return 3;
    uLong restored_size = kSize;
    if (uncompress(restored, &restored_size, packed, packed_size) != Z_OK) return 4;
    if (restored_size != kSize || memcmp(original, restored, kSize) != 0) return 5;
    check = adler32(check, packed, (uInt)packed_size);
  }
  printf("%d bytes -> %lu bytes, adler32 %08lx\n", kSize, packed_size, check);
  return 0;
}
