// NorrikLua: the Lua prompt of NorrikBoot. Shows the banner, runs index.lua from the file
// store when it is there, then reads the console line by line as the standard interpreter
// does: a statement runs, an expression prints its values, an unfinished statement
// continues on the next line, an error prints with its traceback and the prompt goes on.
// "exit", Esc on an empty prompt (the host ends input) or the end of input leave.

#include <nk_console.h>
#include <stdio.h>
#include <string.h>

#include "lauxlib.h"
#include "lua.h"
#include "lualib.h"
#include "nk_module.h"
#include "port/lua_alloc.h"

namespace {

constexpr size_t kMaxInput = 512;
constexpr char kEofMark[] = "<eof>";

// Messages go to stderr after what the program wrote to stdout, as on a terminal.
void write_error(const char* format, const char* text) {
  fflush(stdout);
  fprintf(stderr, format, text);
}

void report_error(lua_State* L) {
  const char* message = lua_tostring(L, -1);
  if (!message) message = "(error object is not a string)";
  write_error("%s\n", message);
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
  fflush(stdout);  // what the program wrote comes before the prompt
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
    write_error("%s\n", lua_pushfstring(L, "error calling 'print' (%s)", lua_tostring(L, -1)));
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
  FILE* probe = fopen("index.lua", "r");
  if (!probe) return;
  fclose(probe);
  if (luaL_loadfile(L, "index.lua") != LUA_OK || call_with_traceback(L, 0, 0) != LUA_OK)
    report_error(L);
}

// An error outside any protected call: Lua cannot go on.
int panic(lua_State* L) {
  const char* message = lua_tostring(L, -1);
  write_error("PANIC: unprotected error in call to Lua API (%s)\n", message ? message : "error object is not a string");
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
  if (!continuing) write_error("%s", "Lua warning: ");
  write_error("%s", message);
  if (!to_continue) write_error("%s", "\n");
  continuing = to_continue;
}

}  // namespace

// os.exit ends the program through the C library's exit, which stores open files.
extern "C" int main() {
  lua_State* L = lua_newstate(nklua_alloc, nullptr);
  if (!L) {
    write_error("%s\n", "norriklua: not enough memory to start Lua");
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
  return 0;
}
