// Names of the file store come from programs, which may be hostile. Whatever bytes a name
// holds, nothing outside the store is read, created, changed or removed, nkhost never
// blocks, and no temporary file is left. The store lies beside a canary folder, and links
// in the store lead to it (relative, absolute, through folders), so that a name that
// slips past the checks reads or writes the canary.
//
// An input is a list of requests separated by NUL bytes: the first byte of each chooses
// the service (stat, write, remove, open for reading), the rest is the name.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "sim/services/files.h"
#include "sim/services/memory.h"

using namespace nk::sim;
using nk::fuzz::finding;
using nk::fuzz::require;
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSecret = "the canary: never to be read through the store\n";
constexpr std::string_view kWritten = "written through the store\n";
constexpr size_t kMaxRequests = 16;

std::string contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::set<std::string> names_in(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) names.insert(entry.path().filename());
  return names;
}

class Sandbox {
 public:
  Sandbox() : scratch_("store"), store_(scratch_.path() / "store"), canary_(scratch_.path() / "canary") {
    fs::create_directory(canary_);
    std::ofstream(canary_ / "secret", std::ios::binary) << kSecret;
    struct stat info;
    ::stat((canary_ / "secret").c_str(), &info);
    secret_inode_ = info.st_ino;
  }

  // The store as every run starts it: files, folders and the links that lead out.
  const fs::path& fresh_store() {
    fs::remove_all(store_);
    fs::create_directories(store_ / "dir");
    std::ofstream(store_ / "file.txt") << "in the store\n";
    std::ofstream(store_ / "dir" / "inner.txt") << "deeper in the store\n";
    fs::create_directory_symlink("../canary", store_ / "up");
    fs::create_symlink("../canary/secret", store_ / "secret");
    fs::create_symlink(canary_ / "secret", store_ / "absolute");
    fs::create_directory_symlink("../../canary", store_ / "dir" / "out");
    fs::create_symlink("../file.txt", store_ / "dir" / "back");
    fs::create_symlink("file.txt", store_ / "alias");
    fs::create_symlink("loop", store_ / "loop");
    fs::create_symlink("missing/new", store_ / "dangling");
    mkfifo((store_ / "fifo").c_str(), 0600);
    return store_;
  }

  // Nothing outside the store changed.
  void check_outside() const {
    require(names_in(scratch_.path()) == std::set<std::string>{"canary", "store"},
            "something was created beside the store");
    require(names_in(canary_) == std::set<std::string>{"secret"}, "something was created in the canary folder");
    struct stat info;
    require(::stat((canary_ / "secret").c_str(), &info) == 0 && info.st_ino == secret_inode_,
            "the canary file was removed or replaced");
    require(contents(canary_ / "secret") == kSecret, "the canary file was changed");
  }

  // No temporary file of a store operation is left anywhere in the store; a file or
  // folder the program itself named like one is the program's.
  void check_no_temporary_files(const std::set<std::string>& written) const {
    std::error_code error;
    for (auto it = fs::recursive_directory_iterator(store_, error); !error && it != fs::recursive_directory_iterator();
         it.increment(error)) {
      std::string name = it->path().filename();
      if (name.starts_with(".nkhost") && !written.contains(name))
        finding("a temporary file was left: " + it->path().string());
    }
  }

 private:
  nk::fuzz::ScratchFolder scratch_;
  fs::path store_, canary_;
  ino_t secret_inode_ = 0;
};

void require_not_canary(std::string_view bytes) {
  require(bytes.find(kSecret) == std::string_view::npos, "the canary was read through the store");
}

void request(FileStore& files, uint8_t service, const char* name, std::set<std::string>& written) {
  switch (service % 4) {
    case 0: {
      uint32_t record[3] = {};
      if (files.stat(name, record))
        require_not_canary({reinterpret_cast<const char*>(uintptr_t{record[0]}), record[1]});
      break;
    }
    case 1: {
      // Storing makes the folders a name needs, even when the store then fails.
      for (std::string_view rest = name;;) {
        size_t slash = rest.find('/');
        written.emplace(rest.substr(0, slash));
        if (slash == rest.npos) break;
        rest.remove_prefix(slash + 1);
      }
      files.write(name, kWritten.data(), kWritten.size());
      break;
    }
    case 2: files.remove(name); break;
    case 3:
      if (auto file = files.open_for_reading(name, "fuzz")) {
        std::string bytes(file->size(), '\0');
        require(pread(file->fd(), bytes.data(), bytes.size(), 0) == ssize_t(bytes.size()),
                "an open file cannot be read");
        require_not_canary(bytes);
      }
      break;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static HostMemory memory;
  static Sandbox sandbox;
  FileStore files(memory);
  files.set_root(sandbox.fresh_store());
  std::string_view input(reinterpret_cast<const char*>(data), size);
  std::set<std::string> written;  // every component of the names stored
  for (size_t count = 0; !input.empty() && count < kMaxRequests; ++count) {
    size_t end = std::min(input.find('\0'), input.size());
    std::string text(input.substr(0, end));
    input.remove_prefix(std::min(end + 1, input.size()));
    if (text.empty()) continue;
    request(files, static_cast<uint8_t>(text[0]), text.c_str() + 1, written);
    sandbox.check_outside();
  }
  sandbox.check_no_temporary_files(written);
  return 0;
}
