#pragma once
// Names for addresses after the fact, from the file alone: what `nkhost symbolize` and
// `nkhost info --symbols` print.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace nk::sim {

// A hexadecimal address, with or without 0x, as nm or a report prints it.
std::optional<uint64_t> parse_address(std::string_view text);

// "0x100000f3c draw_sprite+0x1c (game)" for a file address of the image (its own
// addresses, as reports print them). Throws Malformed when the file does not parse.
std::string symbolize(std::span<const uint8_t> bytes, const std::string& image_name,
                      std::span<const uint64_t> addresses);

// Every defined symbol, exported and local, one per line: address, scope, kind and name.
std::string list_symbols(std::span<const uint8_t> bytes);

}  // namespace nk::sim
