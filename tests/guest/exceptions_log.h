#pragma once
// Console lines for the exception guest programs: the tests compare them line by line.
#include <nk_console.h>
#include <stdio.h>
#include <string.h>

#define NOINLINE __attribute__((noinline))

inline void say(const char* text) {
  nk_lua_write(text, strlen(text));
  nk_lua_writeline();
}

inline void say(const char* format, int value) {
  char line[128];
  int n = snprintf(line, sizeof line, format, value);
  nk_lua_write(line, (size_t)n);
  nk_lua_writeline();
}

inline void say(const char* format, int first, int second) {
  char line[128];
  int n = snprintf(line, sizeof line, format, first, second);
  nk_lua_write(line, (size_t)n);
  nk_lua_writeline();
}

// Keeps the optimiser from seeing through a pointer or value.
template <class T>
inline T opaque(T value) {
  asm volatile("" : "+r"(value));
  return value;
}
