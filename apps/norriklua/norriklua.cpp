// NorrikLua: the Lua prompt of NorrikBoot. Shows the banner, runs index.lua from the file
// store when it is there, then reads the console line by line as the standard interpreter
// does: a statement runs, an expression prints its values, an unfinished statement
// continues on the next line, an error prints with its traceback and the prompt goes on.
// "exit", Esc on an empty prompt (the host ends input) or the end of input leave.

#include <nk_console.h>
#include <nk_fs.h>
#include <setjmp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "lauxlib.h"
#include "lua.h"
#include "lualib.h"
#include "nk_module.h"
#include "port/norriklua_port.h"

namespace {

constexpr size_t kMaxInput = 512;
constexpr char kEofMark[] = "<eof>";

jmp_buf gExitJump;
int gExitStatus = 0;

void report_error(lua_State* L) {
  const char* message = lua_tostring(L, -1);
  if (!message) message = "(error object is not a string)";
  nklua_write_error("%s\n", message);
  lua_pop(L, 1);
}

// The standard interpreter's message handler: a traceback after the message, or the
// result of __tostring for error objects that have one.
int message_handler(lua_State* L) {
  const char* message = lua_tostring(L, 1);
  if (!message) {
    if (luaL_callmeta(L, 1, "__tostring") && lua_type(L, -1) == LUA_TSTRING) return 1;
    message = lua_pushfstring(L, "(error object is a %s value)", luaL_typename(L, 1));
  }
  luaL_traceback(L, L, message, 1);
  return 1;
}

int call_with_traceback(lua_State* L, int arguments, int results) {
  int base = lua_gettop(L) - arguments;
  lua_pushcfunction(L, message_handler);
  lua_insert(L, base);
  int status = lua_pcall(L, arguments, results, base);
  lua_remove(L, base);
  return status;
}

const char* prompt(lua_State* L, bool first_line) {
  if (lua_getglobal(L, first_line ? "_PROMPT" : "_PROMPT2") == LUA_TNIL) {
    lua_pop(L, 1);
    return first_line ? "> " : ">> ";
  }
  const char* text = luaL_tolstring(L, -1, nullptr);
  lua_remove(L, -2);
  lua_pop(L, 1);  // the text stays valid: the global still refers to it or to its source
  return text;
}

// Reads a line and pushes it; false at the end of input.
bool push_line(lua_State* L, bool first_line, bool* leave) {
  char buffer[kMaxInput];
  if (!nk_lua_readline(buffer, sizeof buffer, prompt(L, first_line), false)) return false;
  size_t length = strlen(buffer);
  if (first_line) {
    const char* start = buffer;
    while (*start == ' ' || *start == '\t') ++start;
    size_t n = strlen(start);
    while (n && (start[n - 1] == ' ' || start[n - 1] == '\t')) --n;
    if ((n == 4 && strncmp(start, "exit", 4) == 0) || (n == 1 && start[0] == '\x1b')) {
      *leave = true;
      return false;
    }
  }
  if (first_line && buffer[0] == '=') lua_pushfstring(L, "return %s", buffer + 1);
  else lua_pushlstring(L, buffer, length);
  return true;
}

// A syntax error at the end of the text: the statement goes on in the next line.
bool incomplete(lua_State* L, int status) {
  if (status != LUA_ERRSYNTAX) return false;
  size_t length;
  const char* message = lua_tolstring(L, -1, &length);
  size_t mark = sizeof kEofMark - 1;
  return length >= mark && strcmp(message + length - mark, kEofMark) == 0;
}

// Loads the next chunk: the line as an expression when it is one, else as statements,
// reading continuation lines while the statement is unfinished. -1: no more input.
int load_line(lua_State* L, bool* leave) {
  lua_settop(L, 0);
  if (!push_line(L, true, leave)) return -1;
  const char* line = lua_tostring(L, 1);
  const char* expression = lua_pushfstring(L, "return %s;", line);
  if (luaL_loadbuffer(L, expression, strlen(expression), "=stdin") == LUA_OK) {
    lua_remove(L, -2);
    lua_remove(L, 1);
    return LUA_OK;
  }
  lua_pop(L, 2);
  for (;;) {
    size_t length;
    const char* text = lua_tolstring(L, 1, &length);
    int status = luaL_loadbuffer(L, text, length, "=stdin");
    // Input that ends inside a statement reports the syntax error like any other.
    if (!incomplete(L, status) || !push_line(L, false, leave)) {
      lua_remove(L, 1);
      return status;
    }
    lua_remove(L, -2);  // the message; the new line is on top
    lua_pushliteral(L, "\n");
    lua_insert(L, -2);
    lua_concat(L, 3);
  }
}

void print_results(lua_State* L) {
  int n = lua_gettop(L);
  if (n == 0) return;
  luaL_checkstack(L, LUA_MINSTACK, "too many results to print");
  lua_getglobal(L, "print");
  lua_insert(L, 1);
  if (lua_pcall(L, n, 0, 0) != LUA_OK)
    nklua_write_error("%s\n", lua_pushfstring(L, "error calling 'print' (%s)", lua_tostring(L, -1)));
}

void run_prompt(lua_State* L) {
  bool leave = false;
  int status;
  while ((status = load_line(L, &leave)) != -1) {
    if (status == LUA_OK) status = call_with_traceback(L, 0, LUA_MULTRET);
    if (status == LUA_OK) print_results(L);
    else report_error(L);
  }
  lua_settop(L, 0);
}

void run_index(lua_State* L) {
  FILE* probe = nkfs_fopen("index.lua", "r");
  if (!probe) return;
  nkfs_fclose(probe);
  if (luaL_loadfile(L, "index.lua") != LUA_OK || call_with_traceback(L, 0, 0) != LUA_OK)
    report_error(L);
}

// An error outside any protected call: Lua cannot go on.
int panic(lua_State* L) {
  const char* message = lua_tostring(L, -1);
  nklua_write_error("PANIC: unprotected error in call to Lua API (%s)\n", message ? message : "error object is not a string");
  nk_lua_flush_output();
  return 0;  // Lua then aborts
}

// Warnings (warn("@on"), errors in finalizers) as lauxlib's handler shows them, which
// luaL_newstate would have installed.
void warning(void* state, const char* message, int to_continue) {
  static bool on = false, continuing = false;
  (void)state;
  if (!continuing && message[0] == '@') {
    if (strcmp(message + 1, "on") == 0) on = true;
    else if (strcmp(message + 1, "off") == 0) on = false;
    return;
  }
  if (!on) return;
  if (!continuing) nklua_write_error("%s", "Lua warning: ");
  nklua_write_error("%s", message);
  if (!to_continue) nklua_write_error("%s", "\n");
  continuing = to_continue;
}

void open_console_streams() {
  stdin = nkfs_fopen("__nkfs_stdin", "r");
  stdout = nkfs_fopen("__nkfs_stdout", "w");
  stderr = nkfs_fopen("__nkfs_stderr", "w");
}

}  // namespace

// os.exit and Lua's own fatal paths end here: open files are stored and main returns the
// status from its jump point, so no further Lua code runs.
extern "C" _Noreturn void exit(int status) {
  nklua_store_open_files();
  nk_lua_flush_output();
  gExitStatus = status;
  longjmp(gExitJump, 1);
}

// There is no command processor. C's answer for a null command is 0 (none available), so
// os.execute() says false; the library's system answers -1 for everything.
extern "C" int system(const char* command) { return command ? -1 : 0; }

// There is one locale. The library's setlocale answers "C" to every name; scripts ask
// os.setlocale("pt_BR") to learn whether a locale exists, so names other than "C",
// "POSIX" and "" (the default, which is "C") are refused here, as C's setlocale does.
extern "C" char* setlocale(int, const char* name) {
  static char c_locale[] = "C";
  if (!name || !*name || strcmp(name, "C") == 0 || strcmp(name, "POSIX") == 0) return c_locale;
  return nullptr;
}

extern "C" int main() {
  open_console_streams();
  if (setjmp(gExitJump)) return gExitStatus;
  lua_State* L = lua_newstate(nklua_alloc, nullptr);
  if (!L) {
    nklua_write_error("%s\n", "norriklua: not enough memory to start Lua");
    nk_lua_flush_output();
    return 1;
  }
  lua_atpanic(L, panic);
  lua_setwarnf(L, warning, L);
  luaL_openlibs(L);
  nklua_open_nk(L);
  nk_lua_show_banner();
  run_index(L);
  run_prompt(L);
  lua_close(L);
  nklua_alloc_release_all();
  nklua_store_open_files();
  nk_lua_flush_output();
  return 0;
}
