#pragma once
// The export trie of a Mach-O image: every exported name with its address.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace nk::sim {

struct TrieExport {
  std::string name;  // as in the file, with Mach-O's leading underscore
  uint64_t flags = 0;
  uint64_t value = 0;  // offset from the Mach-O header, or an absolute value
};

// Walks the whole trie. Throws Malformed for reads past its end, cycles or nodes shared by
// two edges (a trie is a tree), and names of absurd length.
std::vector<TrieExport> read_export_trie(std::span<const uint8_t> trie);

}  // namespace nk::sim
