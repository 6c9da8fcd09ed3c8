/* What the platform cannot have fails with ENOSYS and the program goes on; signals
   raised by the program reach its handlers; time is the platform's constant clock; memory
   comes from the library's heap; thread-local variables work. One line a case: "name ok" or what went wrong. */
#include <errno.h>
#include <malloc.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static int failures;

static void check(const char *name, int ok) {
  printf("%s %s\n", name, ok ? "ok" : "FAILED");
  failures += !ok;
}

static int enosys(int result) { return result == -1 && errno == ENOSYS; }

static volatile sig_atomic_t caught;
static void on_signal(int number) { caught = number; }

static void processes_and_signals(void) {
  errno = 0;
  check("fork", enosys(fork()));
  char *arguments[] = {"x", NULL};
  check("execve", enosys(execve("x", arguments, arguments)));
  check("mkdir", enosys(mkdir("folder", 0755)));
  check("sigprocmask", enosys(sigprocmask(SIG_BLOCK, NULL, NULL)));
  check("wait", wait(NULL) == -1 && errno == ECHILD);
  check("kill SIGTERM does not end the program", enosys(kill(getpid(), SIGTERM)));
  check("raise SIGKILL does not end the program", raise(SIGKILL) != 0 && errno == ENOSYS);
  signal(SIGINT, on_signal);
  check("raise reaches a handler", raise(SIGINT) == 0 && caught == SIGINT);
  signal(SIGUSR1, SIG_IGN);
  check("raise of an ignored signal", raise(SIGUSR1) == 0);
  char entropy[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  check("getentropy", enosys(getentropy(entropy, sizeof entropy)) && entropy[7] == 0);
  uint32_t a = arc4random(), b = arc4random();
  check("arc4random goes on without entropy", a != b);
}

static void time_and_environment(void) {
  struct timeval now;
  check("time is the platform's clock", time(NULL) == 1313554998 &&
                                            gettimeofday(&now, NULL) == 0 &&
                                            now.tv_sec == 1313554998);
  struct timespec moment_now, resolution;
  check("clock_gettime stands still", clock_gettime(CLOCK_MONOTONIC, &moment_now) == 0 &&
                                          moment_now.tv_sec == 1313554998 &&
                                          clock_getres(CLOCK_REALTIME, &resolution) == 0 &&
                                          nanosleep(&resolution, NULL) == 0);
  clock_t first = clock(), second = clock();
  check("clock counts its calls", second == first + 1);
  char text[32];
  time_t moment = time(NULL);
  strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", gmtime(&moment));
  check("gmtime and strftime", strcmp(text, "2011-08-17 04:23:18") == 0);
  check("no environment", getenv("PATH") == NULL);
  check("setenv", setenv("NAME", "value", 1) == 0 && strcmp(getenv("NAME"), "value") == 0);
  check("sleep returns at once", sleep(100) == 0);
}

static void memory(void) {
  void *block = NULL;
  check("posix_memalign 64", posix_memalign(&block, 64, 100) == 0 && (uintptr_t)block % 64 == 0);
  free(block);
  block = aligned_alloc(4096, 4096);
  check("aligned_alloc 4096", block && (uintptr_t)block % 4096 == 0);
  free(block);
  check("posix_memalign of a bad alignment", posix_memalign(&block, 24, 8) == EINVAL);
  errno = 0;
  void *volatile too_large = calloc(SIZE_MAX / 2, 4);  /* volatile: a real call */
  check("calloc overflow", too_large == NULL && errno == ENOMEM);
  int *zeros = calloc(1000, sizeof *zeros);
  int all_zero = zeros != NULL;
  for (int i = 0; all_zero && i < 1000; ++i) all_zero = zeros[i] == 0;
  check("calloc", all_zero);
  char *copy = strdup("a copy from strdup grows with realloc");
  char *grown = realloc(copy, 4000);
  check("the heap is one", grown && strcmp(grown, "a copy from strdup grows with realloc") == 0);
  free(grown);
}

/* One thread: thread-local variables are ordinary ones, initialised or zero, also in an
   initialiser that runs before main. */
static _Thread_local int counter = 41;
static _Thread_local char text[64] = "initial";
static __thread long zeros[100];
static int counted_before_main;

__attribute__((constructor)) static void count_before_main(void) {
  counted_before_main = ++counter;
}

static void thread_locals(void) {
  check("thread-local initial values", counted_before_main == 42 &&
                                           strcmp(text, "initial") == 0 && zeros[99] == 0);
  int *first = &counter;
  strcpy(text, "changed");
  zeros[99] = 7;
  check("thread-local variables keep their values",
        ++counter == 43 && first == &counter && strcmp(text, "changed") == 0 && zeros[99] == 7 &&
            (char *)text != (char *)zeros);
}

int main(void) {
  thread_locals();
  processes_and_signals();
  time_and_environment();
  memory();
  printf("%d failed\n", failures);
  return failures ? 1 : 0;
}
