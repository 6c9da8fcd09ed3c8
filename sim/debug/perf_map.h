#pragma once
// A perf map (/tmp/perf-PID.map): one line "START SIZE NAME" per function of every loaded
// image, in hexadecimal, so that Linux perf can name guest code it has no file for.

#include <filesystem>
#include <string>

#include "sim/machine/host_table.h"

namespace nk::sim {

std::filesystem::path perf_map_path();  // /tmp/perf-<this process>.map

// Writes the map of the images loaded now, and the host's entry points in the table;
// throws std::runtime_error naming the file when it cannot be written.
void write_perf_map(const std::filesystem::path& path, const HostTable& table);

}  // namespace nk::sim
