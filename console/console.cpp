// The console of the Lua prompt. The host shows text a whole line at a time, so output
// collects in one pending line that goes to the host at each LF, when it is full, and
// before input is read.

#include "console/console.h"

#include <nk_console.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "host/program_api.h"

namespace {

// The host takes lines of at most 511 bytes plus their NUL.
constexpr uint64_t kLineCapacity = 511;
constexpr size_t kErrorBufferSize = 320;

char gLuaOutputLine[kLineCapacity + 1];
uint64_t gLuaOutputLineLength;

}  // namespace

extern "C" void nk_lua_flush_output_line(bool end_of_line) {
  if (gLuaOutputLineLength == 0 && !end_of_line) return;
  char line[kLineCapacity + 1];
  memcpy(line, gLuaOutputLine, gLuaOutputLineLength);
  line[gLuaOutputLineLength] = 0;
  nk::call_host<void(const char*)>(nk::HostEntry::console_write_line, line);
  gLuaOutputLineLength = 0;
}

extern "C" void nk_lua_write_cstr(const char* text) {
  if (text) nk_lua_write(text, strlen(text));
}

void nk_lua_write(const char* bytes, size_t length) {
  if (bytes == nullptr) return;
  for (size_t i = 0; i < length; ++i) {
    char c = bytes[i];
    if (c == '\b') {
      if (gLuaOutputLineLength > 0) --gLuaOutputLineLength;
    } else if (c == '\n') {
      nk_lua_flush_output_line(true);
    } else if (c != '\r') {
      if (gLuaOutputLineLength == kLineCapacity) nk_lua_flush_output_line(false);
      gLuaOutputLine[gLuaOutputLineLength++] = c;
    }
  }
}

void nk_lua_writeline() { nk_lua_flush_output_line(true); }

void nk_lua_flush_output() { nk_lua_flush_output_line(false); }

// The format is the caller's and may ask for more than the one argument: the empty strings
// after it give such conversions something harmless to read.
void nk_lua_write_errorf(const char* format, const char* argument) {
  char message[kErrorBufferSize];
  int produced = snprintf(message, sizeof message, format ? format : "%s", argument ? argument : "",
                          "", "", "", "", "", "", "", "");
  if (produced <= 0) return;
  size_t length = size_t(produced);
  nk_lua_write(message, length < sizeof message - 1 ? length : sizeof message - 1);
}

void nk_lua_show_banner() {
  nk_lua_write_cstr("NorrikLua Desktop For NorrikBoot\r\n");
  nk_lua_write_cstr("type Lua code at the NorrikBoot prompt and press Enter\r\n");
  nk_lua_write_cstr("type exit or press Esc on an empty prompt to leave\r\n");
  nk_lua_write_cstr("autoruns index.lua if it is present\r\n");
  nk_lua_write_cstr("use dofile(\"name.lua\") to run files from disk\r\n");
  nk_lua_write_cstr("\r\n");
}

void nk_lua_show_help() {
  nk_lua_write_cstr("Embedded Version:: NorrikLua 0.2\r\n");
  nk_lua_write_cstr("\r\n");
}

bool nk_lua_readline(char* buffer, size_t capacity, const char* prompt, bool flag) {
  if (buffer == nullptr || capacity == 0) return false;
  nk_lua_flush_output();
  // The host's capacity is 32 bits wide: larger buffers are offered by their low 32 bits.
  return nk::call_host_or<int32_t(char*, uint32_t, const char*, uint32_t)>(
             0, nk::HostEntry::console_read_line, buffer, uint32_t(capacity), prompt,
             uint32_t(flag)) != 0;
}
