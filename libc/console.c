/* The console descriptors: output goes to the library's console line by line (a line
   reaches the host at its LF), input comes a whole line at a time from the host. */
#include <nk_console.h>
#include <string.h>

#include "libc/layer.h"

/* The longest input line the host hands over whole; the rest of a longer line is lost. */
enum { kLineCapacity = 65536 };

static char line[kLineCapacity + 1];  /* room for the LF the host leaves out */
static size_t line_length, line_position;
static int output_line_open;  /* something was written since the last LF */

ssize_t nk_console_write(const void *bytes, size_t count) {
  if (count == 0) return 0;
  nk_lua_write(bytes, count);
  output_line_open = ((const char *)bytes)[count - 1] != '\n';
  return (ssize_t)count;
}

ssize_t nk_console_read(void *buffer, size_t count) {
  if (count == 0) return 0;
  if (line_position == line_length) {
    output_line_open = 0;  /* reading hands the pending output to the host first */
    if (!nk_lua_readline(line, kLineCapacity, "", 0)) return 0;
    line_length = strlen(line);
    line[line_length++] = '\n';
    line_position = 0;
  }
  size_t available = line_length - line_position;
  if (count > available) count = available;
  memcpy(buffer, line + line_position, count);
  line_position += count;
  return (ssize_t)count;
}

void nk_console_end(void) {
  if (output_line_open) nk_lua_flush_output();
  output_line_open = 0;
}
