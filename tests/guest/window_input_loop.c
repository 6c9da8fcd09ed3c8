/* A window loop as a user writes it, driven by an --input script: each frame it reports
   the key flags and the mouse it sees, until the window is asked to close. */
#include <nk_console.h>
#include <orvane_window.h>
#include <stdio.h>
#include <string.h>

static void say(const char *text) { nk_lua_write(text, strlen(text)); }

static void report(int frame, OrvaneWindow *window) {
  static unsigned char *const letters[26] = {&keya, &keyb, &keyc, &keyd, &keye, &keyf, &keyg,
      &keyh, &keyi, &keyj, &keyk, &keyl, &keym, &keyn, &keyo, &keyp, &keyq, &keyr, &keys,
      &keyt, &keyu, &keyv, &keyw, &keyx, &keyy, &keyz};
  static const struct { unsigned char *flag; const char *name; } named[] = {
      {&keyup, " up"}, {&keydown, " down"}, {&keyleft, " left"}, {&keyright, " right"},
      {&keyreturn, " return"}, {&keyback, " back"}, {&keydelete, " delete"},
      {&keyspace, " space"}, {&key7, " 7"}};
  char line[200];
  int n = snprintf(line, sizeof line, "%d:", frame);
  for (int i = 0; i < 26; ++i)
    if (*letters[i]) n += snprintf(line + n, sizeof line - n, " %c", 'a' + i);
  for (unsigned i = 0; i < sizeof named / sizeof named[0]; ++i)
    if (*named[i].flag) n += snprintf(line + n, sizeof line - n, "%s", named[i].name);
  int x, y;
  getMousePosition(window, &x, &y);
  snprintf(line + n, sizeof line - n, " last=%d mouse=%d,%d buttons=%d%d%d\n", keylastchar, x, y,
           getMouseButtonState(window, 0), getMouseButtonState(window, 1),
           getMouseButtonState(window, 2));
  say(line);
}

int main(void) {
  OrvaneWindow *window = createWindow("input loop", 200, 100);
  int frame = 0;
  while (!windowShouldClose(window) && frame < 100) {
    updateWindow(window);
    report(frame++, window);
  }
  say(windowShouldClose(window) ? "closed\n" : "still open\n");
  destroyWindow(window);
  return 0;
}
