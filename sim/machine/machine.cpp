#include "sim/machine/machine.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "sim/base/hex_text.h"
#include "sim/loader/macho_format.h"
#include "sim/loader/macho_loader.h"
#include "sim/machine/guest_call.h"
#include "sim/machine/host_call_hooks.h"
#include "sim/machine/host_services.h"
#include "sim/machine/machine_state.h"

namespace nk::sim {

MachineCore* g_machine = nullptr;

namespace {

std::vector<uintptr_t> service_targets(bool observed) {
  std::vector<uintptr_t> targets;
  for (const auto& service : host_services())
    targets.push_back(observed ? observed_service(service.entry, service.function) : service.function);
  return targets;
}

}  // namespace

MachineCore::MachineCore(Machine::Options options_in)
    : options(std::move(options_in)), trampolines(service_targets(options.observe_host_calls)) {
  std::array<uint32_t, kTableSize / 4> own{};
  auto services = host_services();
  for (size_t i = 0; i < services.size(); ++i)
    own[static_cast<uint32_t>(services[i].entry) / 4] = trampolines.address(i);
  table.install(own);
  boot_map.set_default();
  console.use_stdio(options.stdio_console);
  console.keep_lines(options.console_lines);
  if (!options.files.empty()) files.set_root(options.files);
}

MachineCore::~MachineCore() {
  for (const auto& image : images) unregister_image(image.get());
}

void MachineCore::keep(Entry entry, std::array<uint64_t, 7> args, std::string_view text) {
  if (calls.size() >= kMaxRecordedCalls) {
    if (!record_full)
      fprintf(stderr, "nkhost: the call record is full (%zu calls); later calls are not kept\n",
              calls.size());
    record_full = true;
    return;
  }
  calls.push_back({entry, args, std::string(text)});
}

struct Machine::State : MachineCore {
  using MachineCore::MachineCore;
};

Machine::Machine() : Machine(Options{}) {}

Machine::Machine(Options options) {
  if (g_machine) throw std::logic_error("nkhost: only one Machine may exist at a time");
  state_ = std::make_unique<State>(std::move(options));
  g_machine = state_.get();
}

Machine::~Machine() { g_machine = nullptr; }

HostTable& Machine::table() { return state_->table; }
HostMemory& Machine::memory() { return state_->memory; }
Console& Machine::console() { return state_->console; }
FileStore& Machine::files() { return state_->files; }
FontService& Machine::fonts() { return state_->fonts; }
WindowService& Machine::window() { return state_->window; }
BootMemoryMap& Machine::boot_map() { return state_->boot_map; }
const std::vector<HostCall>& Machine::calls() const { return state_->calls; }
void Machine::clear_calls() {
  state_->calls.clear();
  state_->record_full = false;
}

namespace {

// What a program's main and initialisers receive, as from dyld: one argument, the image's
// name, and an empty environment.
struct GuestArguments {
  explicit GuestArguments(const std::string& image_name) : name(image_name) {}
  std::string name;
  char* arguments[2] = {name.data(), nullptr};
  char* empty[1] = {nullptr};
  uint64_t argv() { return reinterpret_cast<uintptr_t>(arguments); }
  uint64_t envp() { return reinterpret_cast<uintptr_t>(empty); }
};

// Runs __mod_init_func entries as dyld would. Each address is read just before its call:
// an initialiser may run the ones after it itself and put others in their place (the C
// library's start does).
void run_initializers(const LoadedImage& image) {
  GuestArguments arguments(image.name());
  for (uint64_t slot : image.initializer_slots()) {
    uint64_t function;
    std::memcpy(&function, reinterpret_cast<const void*>(slot), 8);
    call_guest(function, {1, arguments.argv(), arguments.envp(), arguments.envp(), 0},
               image.name() + ": initialiser " + hex_text(function - image.slide()));
  }
}

Image& add_image(MachineCore& core, std::shared_ptr<const ImageBytes> bytes,
                 const std::string& display, const std::string& name, uint32_t filetype) {
  LoadRequest request{display, name, filetype, core.library, stub_binder_address()};
  auto image = load_mach_image(std::move(bytes), request);
  const LoadedImage& loaded = *image;
  core.images.push_back(std::move(image));
  register_image(&loaded);
  if (filetype == macho::kFileDylib) core.library = &loaded;
  run_initializers(loaded);
  return *core.images.back();
}

std::string file_name(const std::filesystem::path& path) { return path.filename().string(); }

}  // namespace

Image& Machine::load_library(const std::filesystem::path& path) {
  return add_image(*state_, read_image_file(path), path.string(), file_name(path), macho::kFileDylib);
}

Image& Machine::load_library(const std::vector<uint8_t>& bytes, const std::string& name) {
  return add_image(*state_, std::make_shared<const ImageBytes>(bytes), name, name,
                   macho::kFileDylib);
}

Image& Machine::load_program(const std::filesystem::path& path) {
  return add_image(*state_, read_image_file(path), path.string(), file_name(path), macho::kFileExecute);
}

Image& Machine::load_program(const std::vector<uint8_t>& bytes, const std::string& name) {
  return add_image(*state_, std::make_shared<const ImageBytes>(bytes), name, name,
                   macho::kFileExecute);
}

int Machine::run_main(const Image& program) {
  auto entry = program.entry_point();
  if (!entry) throw LoadError(program.name() + ": has no entry point (LC_MAIN)");
  GuestArguments arguments(program.name());
  return static_cast<int>(call_guest(
      *entry, {1, arguments.argv(), arguments.envp(), arguments.envp()}, program.name() + ": main"));
}

}  // namespace nk::sim
