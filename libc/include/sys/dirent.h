/* Folders as <dirent.h> sees them. The store cannot list a folder, so opendir always fails
   (see libc/folders.c) and no DIR is ever handed out; the types are here so that programs
   that list folders compile and take their error path. */
#ifndef _SYS_DIRENT_H
#define _SYS_DIRENT_H

#include <sys/types.h>

typedef struct __nk_dir DIR;

struct dirent {
  ino_t d_ino;
  unsigned char d_type;
  char d_name[256];
};

#define _DIRENT_HAVE_D_TYPE 1
#define DT_UNKNOWN 0
#define DT_FIFO 1
#define DT_CHR 2
#define DT_DIR 4
#define DT_BLK 6
#define DT_REG 8
#define DT_LNK 10
#define DT_SOCK 12

#endif
