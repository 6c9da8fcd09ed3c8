/* POSIX names beyond ISO C that ordinary programs use: newlib's regex, fnmatch, glob,
   basename and dirname, and the layer's timegm, realpath, folders, users, host and
   terminal. One line a case: "name ok" or what went wrong. */
#include <regex.h> /* first: it must stand alone */
#include <dirent.h>
#include <errno.h>
#include <fnmatch.h>
#include <glob.h>
#include <libgen.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

static int failures;

static void check(const char *name, int ok) {
  printf("%s %s\n", name, ok ? "ok" : "FAILED");
  failures += !ok;
}

static int spans(const regmatch_t *m, int start, int end) {
  return m->rm_so == start && m->rm_eo == end;
}

static void regular_expressions(void) {
  regex_t re;
  regmatch_t m[3];
  int ok = regcomp(&re, "([a-z]+)@([a-z]+)\\.com", REG_EXTENDED) == 0 &&
           regexec(&re, "mail: bob@example.com!", 3, m, 0) == 0 && spans(&m[0], 6, 21) &&
           spans(&m[1], 6, 9) && spans(&m[2], 10, 17) &&
           regexec(&re, "bob@example.org", 0, NULL, 0) == REG_NOMATCH;
  regfree(&re);
  check("regex extended with submatches", ok);
  ok = regcomp(&re, "\\(Ab*\\)\\1$", REG_ICASE | REG_NEWLINE) == 0 &&
       regexec(&re, "x\nxabbabb\n", 2, m, 0) == 0 && spans(&m[0], 3, 9) && spans(&m[1], 3, 6);
  regfree(&re);
  check("regex basic with a back-reference, case and lines", ok);
  char message[64];
  int code = regcomp(&re, "a[b", REG_EXTENDED);
  check("regerror", code == REG_EBRACK && regerror(code, &re, message, sizeof message) > 1 &&
                        strlen(message) > 0);
}

static void file_name_matching(void) {
  check("fnmatch", fnmatch("*.c", "src/main.c", 0) == 0 &&
                       fnmatch("*.c", "src/main.c", FNM_PATHNAME) == FNM_NOMATCH &&
                       fnmatch("*/[!a-l]*.c", "src/main.c", FNM_PATHNAME) == 0 &&
                       fnmatch("*", ".hidden", 0) == 0 &&
                       fnmatch("*", ".hidden", FNM_PERIOD) == FNM_NOMATCH &&
                       fnmatch("\\*", "*", 0) == 0 && fnmatch("\\*", "x", 0) == FNM_NOMATCH &&
                       fnmatch("\\*", "\\x", FNM_NOESCAPE) == 0);
}

static void globbing(void) {
  FILE *file = fopen("globbed.txt", "w");
  fclose(file);
  glob_t g;
  int ok = glob("globbed.txt", 0, NULL, &g) == 0 && g.gl_pathc == 1 &&
           strcmp(g.gl_pathv[0], "globbed.txt") == 0;
  globfree(&g);
  check("glob of an existing name", ok);
  check("glob of a missing name", glob("missing.txt", 0, NULL, &g) == GLOB_NOMATCH);
  globfree(&g);
  ok = glob("missing.txt", GLOB_NOCHECK, NULL, &g) == 0 && g.gl_pathc == 1 &&
       strcmp(g.gl_pathv[0], "missing.txt") == 0;
  globfree(&g);
  check("glob GLOB_NOCHECK", ok);
  /* Wildcards need a folder listing, which the store cannot give. */
  check("glob of a wildcard", glob("*.txt", 0, NULL, &g) == GLOB_NOMATCH);
  globfree(&g);
  check("glob GLOB_ERR", glob("*.txt", GLOB_ERR, NULL, &g) == GLOB_ABORTED);
  globfree(&g);
}

static int names(char *(*split)(char *), const char *path, const char *wanted) {
  char text[32];
  strcpy(text, path);
  return strcmp(split(text), wanted) == 0;
}

static void base_and_folder_names(void) {
  check("basename", names(basename, "/usr/lib", "lib") && names(basename, "a/", "a") &&
                        names(basename, "/", "/") && names(basename, "a", "a") &&
                        names(basename, "", "."));
  check("dirname", names(dirname, "/usr/lib", "/usr") && names(dirname, "a/", ".") &&
                       names(dirname, "/", "/") && names(dirname, "a", ".") &&
                       names(dirname, "a/b//", "a") && names(dirname, "a//b", "a") &&
                       names(dirname, "/a", "/"));
}

static void utc_calendar(void) {
  /* About every day from 1900 to 2100, at a time of day that moves on an hour a step:
     1900 (no leap year), 2000 (a leap year) and the years before 1970 among them. */
  int ok = 1;
  for (time_t t = -2208988800LL; t < 4102444800LL && ok; t += 86400 + 3607) {
    struct tm fields;
    gmtime_r(&t, &fields);
    struct tm copy = fields;
    ok = timegm(&copy) == t && copy.tm_yday == fields.tm_yday && copy.tm_wday == fields.tm_wday;
  }
  check("timegm inverts gmtime", ok);
  struct tm leap = {.tm_year = 100, .tm_mon = 1, .tm_mday = 30, .tm_hour = 25};
  check("timegm carries over", timegm(&leap) == 951958800 && leap.tm_mon == 2 &&
                                   leap.tm_mday == 2 && leap.tm_hour == 1 && leap.tm_yday == 61);
  struct tm before = {.tm_year = 69, .tm_mon = -1, .tm_mday = 31, .tm_sec = -1};
  check("timegm before 1970", timegm(&before) == -31622401 && before.tm_year == 68 &&
                                  before.tm_mon == 11 && before.tm_mday == 30 &&
                                  before.tm_sec == 59);
}

static void resolved_names(void) {
  FILE *file = fopen("b", "w");
  fclose(file);
  char resolved[4096];
  check("realpath resolves . and ..",
        realpath("a/../b", resolved) && strcmp(resolved, "b") == 0 &&
            realpath("./x/.//y/../../b", resolved) && strcmp(resolved, "b") == 0);
  char *copy = realpath("a/..", NULL);
  check("realpath of the store", copy && strcmp(copy, ".") == 0);
  free(copy);
  errno = 0;
  check("realpath of a missing name", !realpath("missing", resolved) && errno == ENOENT);
  errno = 0;
  check("realpath above the store", !realpath("../b", resolved) && errno == ENOENT);
  errno = 0;
  check("realpath of a file as a folder", !realpath("b/", resolved) && errno == ENOTDIR);
}

static void folders(void) {
  errno = 0;
  check("opendir of the store", !opendir(".") && errno == ENOSYS);
  errno = 0;
  check("opendir of a file", !opendir("b") && errno == ENOTDIR);
  errno = 0;
  check("opendir of a missing name", !opendir("nothing") && errno == ENOENT);
}

static void who_and_where(void) {
  struct passwd *user = getpwuid(getuid());
  check("getpwuid", user && user->pw_uid == 0 && strcmp(user->pw_name, getlogin()) == 0 &&
                        getpwnam(user->pw_name) == user);
  errno = 0;
  check("getpwnam of a stranger", !getpwnam("nobody-here") && errno == 0);
  struct passwd entry, *found;
  char small[4], large[128];
  check("getpwuid_r", getpwuid_r(0, &entry, small, sizeof small, &found) == ERANGE && !found &&
                          getpwuid_r(0, &entry, large, sizeof large, &found) == 0 &&
                          found == &entry && strcmp(entry.pw_dir, user->pw_dir) == 0);
  char host[64];
  check("gethostname", gethostname(host, sizeof host) == 0 && strcmp(host, "norrikboot") == 0 &&
                           gethostname(host, 4) == -1 && errno == ENAMETOOLONG);
  char *terminal = ttyname(1);
  check("ttyname", terminal && strcmp(terminal, ctermid(NULL)) == 0);
  FILE *file = fopen("b", "r");
  errno = 0;
  check("ttyname of a file", !ttyname(fileno(file)) && errno == ENOTTY);
  fclose(file);
}

int main(void) {
  regular_expressions();
  file_name_matching();
  globbing();
  base_and_folder_names();
  utc_calendar();
  resolved_names();
  folders();
  who_and_where();
  printf("%d failed\n", failures);
  return failures != 0;
}
