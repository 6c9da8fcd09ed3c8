/* File attributes the store does not keep: every file reads as mode 0644, owner 0 and the
   platform's time (nk_fill_stat). A change to what a file already reports succeeds, so
   that programs that copy one file's attributes to another (compressors, copiers) go on;
   any other change cannot be kept and fails with ENOSYS. */
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>
#include <utime.h>

static const mode_t kStoredPermissions = 0644;

static int unsupported(void) {
  errno = ENOSYS;
  return -1;
}

static int keeps_mode(mode_t mode) {
  return (mode & 07777) == kStoredPermissions ? 0 : unsupported();
}

/* -1 leaves an id as it is. */
static int keeps_owner(uid_t owner, gid_t group) {
  return (owner == (uid_t)-1 || owner == 0) && (group == (gid_t)-1 || group == 0)
             ? 0
             : unsupported();
}

static int keeps_time(time_t seconds, long nanoseconds) {
  return seconds == time(NULL) && nanoseconds == 0 ? 0 : unsupported();
}

int chmod(const char *name, mode_t mode) {
  struct stat status;
  return stat(name, &status) != 0 ? -1 : keeps_mode(mode);
}

int fchmod(int fd, mode_t mode) {
  struct stat status;
  return fstat(fd, &status) != 0 ? -1 : keeps_mode(mode);
}

int chown(const char *name, uid_t owner, gid_t group) {
  struct stat status;
  return stat(name, &status) != 0 ? -1 : keeps_owner(owner, group);
}

int lchown(const char *name, uid_t owner, gid_t group) {
  return chown(name, owner, group);
}

int fchown(int fd, uid_t owner, gid_t group) {
  struct stat status;
  return fstat(fd, &status) != 0 ? -1 : keeps_owner(owner, group);
}

/* No times (null) means now, which is the platform's time too. */
int utime(const char *name, const struct utimbuf *times) {
  struct stat status;
  if (stat(name, &status) != 0) return -1;
  if (!times) return 0;
  return keeps_time(times->actime, 0) == 0 ? keeps_time(times->modtime, 0) : -1;
}

static int keeps_timevals(const struct timeval *times) {
  if (!times) return 0;
  for (int i = 0; i < 2; ++i)
    if (keeps_time(times[i].tv_sec, times[i].tv_usec * 1000L) != 0) return -1;
  return 0;
}

int utimes(const char *name, const struct timeval times[2]) {
  struct stat status;
  return stat(name, &status) != 0 ? -1 : keeps_timevals(times);
}

int futimes(int fd, const struct timeval times[2]) {
  struct stat status;
  return fstat(fd, &status) != 0 ? -1 : keeps_timevals(times);
}

static int keeps_timespecs(const struct timespec *times) {
  if (!times) return 0;
  for (int i = 0; i < 2; ++i) {
    long nanoseconds = times[i].tv_nsec;
    if (nanoseconds == UTIME_NOW || nanoseconds == UTIME_OMIT) continue;
    if (keeps_time(times[i].tv_sec, nanoseconds) != 0) return -1;
  }
  return 0;
}

int futimens(int fd, const struct timespec times[2]) {
  struct stat status;
  return fstat(fd, &status) != 0 ? -1 : keeps_timespecs(times);
}

/* There are no folders to name a file from: only the store's own names (AT_FDCWD). */
int utimensat(int folder, const char *name, const struct timespec times[2], int flags) {
  (void)flags;
  if (folder != AT_FDCWD) return unsupported();
  struct stat status;
  return stat(name, &status) != 0 ? -1 : keeps_timespecs(times);
}
