#include "sim/debug/perf_map.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "sim/machine/host_services.h"
#include "sim/machine/image_registry.h"

namespace nk::sim {

std::filesystem::path perf_map_path() {
  return "/tmp/perf-" + std::to_string(getpid()) + ".map";
}

void write_perf_map(const std::filesystem::path& path, const HostTable& table) {
  FILE* out = fopen(path.c_str(), "w");
  if (!out)
    throw std::runtime_error("cannot write the perf map " + path.string() + ": " + strerror(errno));
  for_each_image([&](const KnownImage& image) {
    for (const auto& symbol : image.symbols.symbols())
      if (symbol.size)
        fprintf(out, "%llx %llx %s\n", static_cast<unsigned long long>(symbol.address + image.slide),
                static_cast<unsigned long long>(symbol.size), symbol.name);
  });
  // The trampolines guest code calls: a sample there is a host call starting.
  for (const auto& service : host_services())
    if (uint32_t at = table.raw(service.entry))
      fprintf(out, "%x 10 [host %s]\n", at, entry_name(service.entry));
  if (fclose(out) != 0)
    throw std::runtime_error("cannot write the perf map " + path.string() + ": " + strerror(errno));
}

}  // namespace nk::sim
