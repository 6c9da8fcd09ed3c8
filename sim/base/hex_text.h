#pragma once
// Addresses and magic numbers in messages.

#include <cstdint>
#include <cstdio>
#include <string>

namespace nk::sim {

inline std::string hex_text(uint64_t value) {
  char text[24];
  snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace nk::sim
