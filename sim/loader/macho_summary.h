#pragma once
// `nkhost info`: what a Mach-O file is, without loading it.

#include <span>
#include <string>

namespace nk::sim {

// Throws Malformed when the file does not parse.
std::string summarize_mach_file(std::span<const uint8_t> bytes);

}  // namespace nk::sim
