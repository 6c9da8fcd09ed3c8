#ifndef ORVANE_ERRNO_H
#define ORVANE_ERRNO_H
/* The library's one error number, set only by the file layer and never cleared. */

#ifdef __cplusplus
extern "C" {
#endif
#pragma GCC visibility push(default)

extern int nk_errno;

#pragma GCC visibility pop
#ifdef __cplusplus
}
#endif

#define errno nk_errno
#define ENOENT 2
#define EIO 5
#define EBADF 9
#define ENOMEM 12
#define EACCES 13
#define EEXIST 17
#define EINVAL 22
#endif
