#pragma once
// The host's file service.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace nk::sim {

class HostMemory;

// The file store: a directory on disk. Names cannot reach outside it.
class FileStore {
 public:
  void set_root(const std::filesystem::path& directory);
  const std::filesystem::path& root() const;

  explicit FileStore(HostMemory& memory);
  // The file services as the library calls them; info is the 12-byte file record.
  int32_t stat(const char* name, void* info);
  int32_t write(const char* name, const void* data, uint32_t size);
  int32_t remove(const char* name);

 private:
  std::optional<std::filesystem::path> resolve(const char* name) const;
  HostMemory& memory_;
  std::filesystem::path root_;
  // Contents handed out, by path: a read-only stream may read them for the machine's life.
  std::unordered_map<std::string, std::vector<std::pair<const void*, uint32_t>>> handed_out_;
};

}  // namespace nk::sim
