/* Process, signal, time and entropy calls. The platform runs one program with no
   processes, directories, signals from outside or clock: what cannot be had fails with
   ENOSYS and changes nothing, so that programs that use it link and can go on. */
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/times.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int unsupported(void) {
  errno = ENOSYS;
  return -1;
}

/* The platform's one clock reading (the library's time); the library's clock counts calls. */
static const time_t kPlatformTime = 1313554998;

int gettimeofday(struct timeval *now, void *zone) {
  (void)zone;
  if (now) {
    now->tv_sec = kPlatformTime;
    now->tv_usec = 0;
  }
  return 0;
}

/* Both clocks read the platform's constant: a monotonic clock may stand still. */
int clock_gettime(clockid_t clock, struct timespec *now) {
  if (clock != CLOCK_REALTIME && clock != CLOCK_MONOTONIC) {
    errno = EINVAL;
    return -1;
  }
  now->tv_sec = kPlatformTime;
  now->tv_nsec = 0;
  return 0;
}

int clock_getres(clockid_t clock, struct timespec *resolution) {
  if (clock != CLOCK_REALTIME && clock != CLOCK_MONOTONIC) {
    errno = EINVAL;
    return -1;
  }
  if (resolution) {
    resolution->tv_sec = 1;
    resolution->tv_nsec = 0;
  }
  return 0;
}

int clock_settime(clockid_t clock, const struct timespec *now) {
  (void)clock, (void)now;
  errno = EPERM;
  return -1;
}

/* No timer can fire: nothing runs beside the program. */
int timer_create(clockid_t clock, struct sigevent *event, timer_t *timer) {
  (void)clock, (void)event, (void)timer;
  return unsupported();
}
int timer_delete(timer_t timer) {
  (void)timer;
  return unsupported();
}
int timer_settime(timer_t timer, int flags, const struct itimerspec *value,
                  struct itimerspec *old) {
  (void)timer, (void)flags, (void)value, (void)old;
  return unsupported();
}
int timer_gettime(timer_t timer, struct itimerspec *value) {
  (void)timer, (void)value;
  return unsupported();
}
int timer_getoverrun(timer_t timer) {
  (void)timer;
  return unsupported();
}

/* Process times count what the library's clock counts: calls of clock. */
clock_t times(struct tms *used) {
  clock_t ticks = clock();
  if (used) {
    used->tms_utime = ticks;
    used->tms_stime = used->tms_cutime = used->tms_cstime = 0;
  }
  return ticks;
}

/* Resource use counts what times counts; nothing else is measured. */
int getrusage(int who, struct rusage *usage) {
  if (who != RUSAGE_SELF && who != RUSAGE_CHILDREN) {
    errno = EINVAL;
    return -1;
  }
  memset(usage, 0, sizeof *usage);
  if (who == RUSAGE_SELF) {
    clock_t ticks = clock();
    usage->ru_utime.tv_sec = ticks / CLOCKS_PER_SEC;
    usage->ru_utime.tv_usec = (suseconds_t)(ticks % CLOCKS_PER_SEC * (1000000 / CLOCKS_PER_SEC));
  }
  return 0;
}

/* An alarm would need a clock to fire: none is set, and none was pending. */
unsigned alarm(unsigned seconds) {
  (void)seconds;
  return 0;
}

/* Without a clock there is nothing to wait for: sleeping returns at once. */
unsigned sleep(unsigned seconds) {
  (void)seconds;
  return 0;
}

int usleep(useconds_t microseconds) {
  (void)microseconds;
  return 0;
}

int nanosleep(const struct timespec *request, struct timespec *remaining) {
  (void)request;
  if (remaining) remaining->tv_sec = remaining->tv_nsec = 0;
  return 0;
}

pid_t getpid(void) { return 1; }
pid_t getppid(void) { return 0; }
uid_t getuid(void) { return 0; }
uid_t geteuid(void) { return 0; }
gid_t getgid(void) { return 0; }
gid_t getegid(void) { return 0; }
/* The program runs with its own ids: nothing to distrust in its environment (glob asks). */
int issetugid(void) { return 0; }

/* SIGABRT ends the program as abort does; no other signal can be sent. */
int kill(pid_t pid, int signal_number) {
  if (signal_number == SIGABRT && (pid == getpid() || pid == 0)) abort();
  return unsupported();
}

/* Handlers are newlib's signal table, which raise consults; nothing else sends signals. */
int sigaction(int signal_number, const struct sigaction *action, struct sigaction *old) {
  _sig_func_ptr previous;
  if (action) {
    previous = signal(signal_number, action->sa_handler);
  } else {
    previous = signal(signal_number, SIG_DFL);
    if (previous != SIG_ERR) signal(signal_number, previous);
  }
  if (previous == SIG_ERR) return -1;
  if (old) {
    memset(old, 0, sizeof *old);
    old->sa_handler = previous;
  }
  return 0;
}

int sigprocmask(int how, const sigset_t *set, sigset_t *old) {
  (void)how, (void)set, (void)old;
  return unsupported();
}

/* There is no source of entropy. The buffer is zeroed all the same, so that a caller that
   goes on (newlib's arc4random does) reads defined bytes. */
int getentropy(void *buffer, size_t length) {
  if (buffer) memset(buffer, 0, length);
  return unsupported();
}

long sysconf(int name) {
  if (name == _SC_PAGESIZE) return 4096;
  errno = EINVAL;
  return -1;
}

int getpagesize(void) { return 4096; }

/* Memory comes from the library's heap only; there is no break to move. */
void *sbrk(ptrdiff_t increment) {
  (void)increment;
  errno = ENOMEM;
  return (void *)-1;
}

int fork(void) { return unsupported(); }
int vfork(void) { return unsupported(); }
int execve(const char *path, char *const argv[], char *const envp[]) {
  (void)path, (void)argv, (void)envp;
  return unsupported();
}
int execv(const char *path, char *const argv[]) {
  (void)path, (void)argv;
  return unsupported();
}
int execvp(const char *file, char *const argv[]) {
  (void)file, (void)argv;
  return unsupported();
}
int execl(const char *path, const char *argument, ...) {
  (void)path, (void)argument;
  return unsupported();
}
int execle(const char *path, const char *argument, ...) {
  (void)path, (void)argument;
  return unsupported();
}
int execlp(const char *file, const char *argument, ...) {
  (void)file, (void)argument;
  return unsupported();
}
FILE *popen(const char *command, const char *mode) {
  (void)command, (void)mode;
  errno = ENOSYS;
  return NULL;
}
int pclose(FILE *stream) {
  (void)stream;
  errno = ECHILD;
  return -1;
}
pid_t wait(int *status) {
  (void)status;
  errno = ECHILD;
  return -1;
}
pid_t waitpid(pid_t pid, int *status, int options) {
  (void)pid, (void)status, (void)options;
  errno = ECHILD;
  return -1;
}
int pipe(int fds[2]) {
  (void)fds;
  return unsupported();
}
int link(const char *existing, const char *name) {
  (void)existing, (void)name;
  return unsupported();
}
int symlink(const char *target, const char *name) {
  (void)target, (void)name;
  return unsupported();
}
int mkdir(const char *name, mode_t mode) {
  (void)name, (void)mode;
  return unsupported();
}
int rmdir(const char *name) {
  (void)name;
  return unsupported();
}
int chdir(const char *name) {
  (void)name;
  return unsupported();
}
char *getcwd(char *buffer, size_t size) {
  (void)buffer, (void)size;
  errno = ENOSYS;
  return NULL;
}
mode_t umask(mode_t mask) {
  (void)mask;
  return 022;
}
