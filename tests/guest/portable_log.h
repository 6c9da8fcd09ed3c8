#pragma once
// Console lines for guest programs that use only standard C++, so that the same source
// also builds natively and the two runs can be compared line by line.
#include <stdio.h>
#include <string.h>

#if defined(__APPLE__)  // built for the platform
#include <nk_console.h>
inline void say_text(const char* text) {
  nk_lua_write(text, strlen(text));
  nk_lua_writeline();
}
#else
inline void say_text(const char* text) { puts(text); }
#endif

#define NOINLINE __attribute__((noinline))

template <class... Values>
void say(const char* format, Values... values) {
  char line[160];
  snprintf(line, sizeof line, format, values...);
  say_text(line);
}

// Keeps the optimiser from seeing through a pointer or value.
template <class T>
inline T opaque(T value) {
  asm volatile("" : "+r"(value));
  return value;
}
