#pragma once
// Internal entry points of the console, for the library's own streams.

extern "C" {
// Writes a NUL-terminated text to the pending line; null writes nothing.
void nk_lua_write_cstr(const char* text);
// Hands the pending line to the host: always when `end_of_line`, otherwise only when
// something is pending.
void nk_lua_flush_output_line(bool end_of_line);
}
