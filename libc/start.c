/* The program's start and end (crt0.o). The loader runs a program's initialisers before
   it enters the program, reading each initialiser's address just before calling it, as
   dyld does. This object comes first on the link line, so its initialiser is the first:
   it runs all the others itself and puts a no-op in their place, so that an exit from an
   initialiser has somewhere to end as well as an exit from main. The entry then calls
   main and exit; exit's _exit returns the status to the loader as main's result. */
#include <setjmp.h>
#include <stdlib.h>
#include <unistd.h>

#include "libc/layer.h"

typedef void (*initialiser)(int, char **, char **, char **);

extern initialiser initialisers_start[] __asm("section$start$__DATA$__mod_init_func");
extern initialiser initialisers_end[] __asm("section$end$__DATA$__mod_init_func");

int main(int argc, char **argv, char **envp);

static char default_name[] = "program";
static char *arguments[] = {default_name, NULL};

static jmp_buf end_of_program;
static int can_end;     /* end_of_program is set */
static int ended;       /* _exit has run */
static int exit_status;

/* The loader names the program in its argument list when it has a name for it. */
static void take_name(int argc, char **argv) {
  if (argc > 0 && argv && argv[0] && argv[0][0]) arguments[0] = argv[0];
}

static void skip(int argc, char **argv, char **envp, char **apple) {
  (void)argc, (void)argv, (void)envp, (void)apple;
}

static void run_initialisers(int argc, char **argv, char **envp, char **apple);

/* The slots after this object's own, which come first. */
static initialiser *others(void) {
  initialiser *slot = initialisers_start;
  while (slot < initialisers_end && *slot != run_initialisers) ++slot;
  return slot < initialisers_end ? slot + 1 : slot;
}

static void run_initialisers(int argc, char **argv, char **envp, char **apple) {
  (void)envp;
  take_name(argc, argv);
  nk_bind_thread_locals();
  if (setjmp(end_of_program) == 0) {
    can_end = 1;
    for (initialiser *slot = others(); slot < initialisers_end; ++slot) {
      initialiser call = *slot;
      *slot = skip;
      call(1, arguments, environ, apple);
    }
  } else {
    /* exit ended one of them: those not run yet never will be. */
    for (initialiser *slot = others(); slot < initialisers_end; ++slot) *slot = skip;
  }
  can_end = 0;
}

__attribute__((used, section("__DATA,__mod_init_func,mod_init_funcs")))
static initialiser first_initialiser = run_initialisers;

int nk_start(int argc, char **argv) {
  take_name(argc, argv);
  if (ended) return exit_status;
  if (setjmp(end_of_program) == 0) {
    can_end = 1;
    exit(main(1, arguments, environ));
  }
  can_end = 0;
  return exit_status;
}

void _exit(int status) {
  nk_close_all();
  nk_console_end();
  ended = 1;
  exit_status = status;
  if (can_end) longjmp(end_of_program, 1);
  abort();  /* entered some other way than through this object: no place to end */
}
