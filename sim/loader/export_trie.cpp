#include "sim/loader/export_trie.h"

#include "sim/base/byte_reader.h"
#include "sim/loader/macho_format.h"

namespace nk::sim {
namespace {

// Real symbol names stay far below these; they bound the work a hostile trie can cause.
constexpr size_t kMaxNameLength = 4096;
constexpr size_t kMaxNameBytes = size_t(64) << 20;

struct Pending {
  uint64_t node;
  std::string prefix;
};

}  // namespace

std::vector<TrieExport> read_export_trie(std::span<const uint8_t> trie) {
  std::vector<TrieExport> exports;
  if (trie.empty()) return exports;
  ByteReader reader(trie, "export trie");
  // Each node may be entered once: a second visit means a cycle or a shared node.
  std::vector<bool> visited(trie.size(), false);
  visited[0] = true;
  std::vector<Pending> pending{{0, {}}};
  size_t name_bytes = 0;
  while (!pending.empty()) {
    Pending at = std::move(pending.back());
    pending.pop_back();
    reader.seek(at.node);
    uint64_t terminal_size = reader.uleb();
    uint64_t children_at = reader.position() + terminal_size;
    if (terminal_size > 0) {
      if (children_at > trie.size() || children_at < terminal_size) reader.fail("runs past its end");
      TrieExport entry{at.prefix, reader.uleb(), 0};
      if (entry.flags & macho::kExportReexport) {
        entry.value = reader.uleb();  // ordinal of the dylib; the name follows
        reader.cstring();
      } else {
        entry.value = reader.uleb();
        if (entry.flags & macho::kExportStubAndResolver) reader.uleb();
      }
      if (reader.position() > children_at) reader.fail("export information overruns its node");
      exports.push_back(std::move(entry));
    }
    reader.seek(children_at);
    uint8_t child_count = reader.u8();
    for (uint8_t i = 0; i < child_count; ++i) {
      std::string_view edge = reader.cstring();
      uint64_t child = reader.uleb();
      if (edge.empty()) reader.fail("empty edge label");
      if (child >= trie.size()) reader.fail("child offset past the end");
      if (visited[child]) reader.fail("a node is reached twice (cycle)");
      visited[child] = true;
      name_bytes += at.prefix.size() + edge.size();
      if (at.prefix.size() + edge.size() > kMaxNameLength || name_bytes > kMaxNameBytes)
        reader.fail("names too long");
      pending.push_back({child, at.prefix + std::string(edge)});
    }
  }
  return exports;
}

}  // namespace nk::sim
