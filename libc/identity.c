/* Who and where the program is. The platform has one user, no user database, no host name
   and no devices, so these calls answer with the one fixed entry that programs look up for
   themselves (getpwuid(getuid()) for a home folder, getlogin for a name) and know no one
   else. */
#include <errno.h>
#include <pwd.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

static const char kHostName[] = "norrikboot";
static const char kUserName[] = "root";
/* The console's name. Nothing can open it: the store has no devices but /dev/null. */
static const char kTerminal[] = "/dev/tty";

/* User 0, the ids getuid and getgid report. Its home is the store, the program's one
   folder, so that names a program builds from it ("./.config") open. No shell exists. */
static char user_name[] = "root", no_password[] = "", home[] = ".", nothing[] = "";
static struct passwd the_user = {user_name, no_password, 0, 0, nothing, nothing, home, nothing};

int gethostname(char *name, size_t size) {
  if (size < sizeof kHostName) {
    errno = ENAMETOOLONG;
    return -1;
  }
  memcpy(name, kHostName, sizeof kHostName);
  return 0;
}

char *getlogin(void) { return user_name; }

int getlogin_r(char *name, size_t size) {
  if (size < sizeof kUserName) return ERANGE;
  memcpy(name, kUserName, sizeof kUserName);
  return 0;
}

struct passwd *getpwuid(uid_t uid) { return uid == 0 ? &the_user : NULL; }

struct passwd *getpwnam(const char *name) {
  return strcmp(name, kUserName) == 0 ? &the_user : NULL;
}

/* Copies the user's entry into entry, its strings into buffer: 0 with *result set, or
   ERANGE when the buffer is too small. */
static int copy_user(struct passwd *entry, char *buffer, size_t size, struct passwd **result) {
  *result = NULL;
  char *const *fields[] = {&the_user.pw_name, &the_user.pw_passwd, &the_user.pw_comment,
                           &the_user.pw_gecos, &the_user.pw_dir, &the_user.pw_shell};
  char **copies[] = {&entry->pw_name, &entry->pw_passwd, &entry->pw_comment,
                     &entry->pw_gecos, &entry->pw_dir, &entry->pw_shell};
  size_t used = 0;
  for (size_t i = 0; i < sizeof fields / sizeof *fields; ++i) {
    size_t length = strlen(*fields[i]) + 1;
    if (size - used < length) return ERANGE;
    *copies[i] = memcpy(buffer + used, *fields[i], length);
    used += length;
  }
  entry->pw_uid = the_user.pw_uid;
  entry->pw_gid = the_user.pw_gid;
  *result = entry;
  return 0;
}

int getpwuid_r(uid_t uid, struct passwd *entry, char *buffer, size_t size,
               struct passwd **result) {
  *result = NULL;
  return uid == 0 ? copy_user(entry, buffer, size, result) : 0;
}

int getpwnam_r(const char *name, struct passwd *entry, char *buffer, size_t size,
               struct passwd **result) {
  *result = NULL;
  return strcmp(name, kUserName) == 0 ? copy_user(entry, buffer, size, result) : 0;
}

/* The database, read in order, has the one entry. */
static int entries_read;

struct passwd *getpwent(void) { return entries_read++ == 0 ? &the_user : NULL; }
void setpwent(void) { entries_read = 0; }
void endpwent(void) { entries_read = 0; }

/* The console's descriptors are the terminal; isatty sets EBADF or ENOTTY for the rest. */
int ttyname_r(int fd, char *name, size_t size) {
  if (!isatty(fd)) return errno;
  if (size < sizeof kTerminal) return ERANGE;
  memcpy(name, kTerminal, sizeof kTerminal);
  return 0;
}

char *ttyname(int fd) {
  static char name[sizeof kTerminal];
  int error = ttyname_r(fd, name, sizeof name);
  if (error == 0) return name;
  errno = error;
  return NULL;
}

char *ctermid(char *name) {
  static char own[L_ctermid];
  if (!name) name = own;
  return strcpy(name, kTerminal);
}
