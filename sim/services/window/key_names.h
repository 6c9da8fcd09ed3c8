#pragma once
// Keys by name, for input scripts and recordings ("@5 key left"): each name stands for the
// character and the key code that key sends. The codes are orvane_keys.h's, so a name
// means what a program's SDK says it means.

#include <cstdint>
#include <span>
#include <string_view>

namespace nk::sim {

struct KeyName {
  std::string_view name;  // lower case, as orvane_keys.h's ORVANE_KEY_ name without '_'
  uint8_t character;      // 0 for a key that types none
  uint8_t code;
};

std::span<const KeyName> key_names();
// Null when no key has that name (names are lower case: "enter", "f1", "a").
const KeyName* find_key(std::string_view name);
// The key that sends exactly this character and code, or null.
const KeyName* find_key(uint8_t character, uint8_t code);

}  // namespace nk::sim
