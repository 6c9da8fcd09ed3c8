#include "sim/machine/host_services.h"

#include <unistd.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <exception>

#include "sim/machine/machine_state.h"
#include "sim/services/png.h"

namespace nk::sim {
namespace {

MachineCore& machine() { return *g_machine; }

uint64_t value(const void* pointer) { return reinterpret_cast<uintptr_t>(pointer); }

// A guest text for the call record, bounded in case it lacks its NUL.
std::string_view text_of(const char* text) {
  if (!text) return {};
  return std::string_view(text, strnlen(text, 1 << 16));
}

// Keeps the call with its guest text when calls are recorded; only then is the text read.
void record_text(Entry entry, std::array<uint64_t, 7> args, const char* text) {
  MachineCore& m = machine();
  if (m.recording()) m.keep(entry, args, text_of(text));
}

// The memory services are called millions of times; their record's arguments are built only
// when the record is kept.
void* memory_allocate(uint64_t size) {
  MachineCore& m = machine();
  if (m.recording()) m.keep(Entry::memory_allocate, {size}, {});
  return m.memory.service_allocate(size);
}

void memory_free(void* block) {
  MachineCore& m = machine();
  if (m.recording()) m.keep(Entry::memory_free, {value(block)}, {});
  m.memory.service_free(block);
}

void* memory_reallocate(void* block, uint64_t size) {
  MachineCore& m = machine();
  if (m.recording()) m.keep(Entry::memory_reallocate, {value(block), size}, {});
  return m.memory.service_reallocate(block, size);
}

void console_write_line(const char* text) {
  record_text(Entry::console_write_line, {value(text)}, text);
  machine().console.write_line(text);
}

// The record's text is the line handed back (empty when none).
int32_t console_read_line(char* buffer, uint32_t capacity, uint64_t prompt, uint32_t flag) {
  std::string got;
  int32_t result = machine().console.read_line(buffer, capacity, got, prompt);
  machine().record(Entry::console_read_line, {value(buffer), capacity, prompt, flag}, got);
  return result;
}

int32_t file_stat(const char* name, void* info) {
  record_text(Entry::file_stat, {value(name), value(info)}, name);
  return machine().files.stat(name, info);
}

int32_t file_write(const char* name, const void* data, uint32_t size) {
  record_text(Entry::file_write, {value(name), value(data), size}, name);
  return machine().files.write(name, data, size);
}

int32_t file_delete(const char* name) {
  record_text(Entry::file_delete, {value(name)}, name);
  return machine().files.remove(name);
}

int32_t png_decode_file(const char* name, void* record) {
  record_text(Entry::png_decode_file, {value(name), value(record)}, name);
  return sim::png_decode_file(machine().files, machine().memory, name, record);
}

// A float argument is recorded as its 32 bits.
uint64_t font_load(const char* name, float size) {
  record_text(Entry::font_load, {value(name), std::bit_cast<uint32_t>(size)}, name);
  return machine().fonts.load(name, size);
}

void font_resize(uint64_t font, float size) {
  machine().record(Entry::font_resize, {font, std::bit_cast<uint32_t>(size)});
  machine().fonts.resize(font, size);
}

int32_t font_render(uint64_t font, const char* text, int32_t red, int32_t green, int32_t blue,
                    int64_t alpha, void* record) {
  record_text(Entry::font_render,
              {font, value(text), uint32_t(red), uint32_t(green), uint32_t(blue), uint64_t(alpha), value(record)},
              text);
  return machine().fonts.render(font, text, red, green, blue, alpha, record);
}

void font_free(uint64_t font) {
  machine().record(Entry::font_free, {font});
  machine().fonts.free(font);
}

// The window calls record 32-bit arguments as the 32 bits the host saw.
uint32_t window_create(const char* title, int32_t width, int32_t height) {
  record_text(Entry::window_create, {value(title), uint32_t(width), uint32_t(height)}, title);
  return machine().window.create(title, width, height);
}

uint32_t window_publish(uint32_t id, const char* title, const uint8_t* pixels, int32_t width,
                        int32_t height, int32_t stride, uint32_t background) {
  record_text(Entry::window_publish,
              {id, value(title), value(pixels), uint32_t(width), uint32_t(height), uint32_t(stride), background},
              title);
  return machine().window.publish(id, title, pixels, width, height, stride, background);
}

int32_t window_query(uint32_t id, void* info) {
  machine().record(Entry::window_query, {id, value(info)});
  return machine().window.query(id, info);
}

void window_close(uint32_t id, int32_t x, int32_t y, uint32_t a, uint32_t b) {
  machine().record(Entry::window_close, {id, uint32_t(x), uint32_t(y), a, b});
  machine().window.close(id, x, y, a, b);
}

void window_destroy(uint32_t id) {
  machine().record(Entry::window_destroy, {id});
  machine().window.destroy(id);
}

int32_t pointer_poll(void* state) {
  machine().record(Entry::pointer_poll, {value(state)});
  return machine().window.pointer_poll(state);
}

int32_t display_info(void* info) {
  machine().record(Entry::display_info, {value(info)});
  return machine().window.display_info(info);
}

uint32_t key_poll() {
  machine().record(Entry::key_poll, {});
  return machine().window.key_poll();
}

void frame_end() {
  machine().record(Entry::frame_end, {});
  machine().window.frame_end();
}

// Reached only through a lazy stub, whose helper pushes words and so may leave the stack
// misaligned.
[[noreturn]] __attribute__((force_align_arg_pointer)) void dyld_stub_binder_called() {
  const char message[] =
      "nkhost: dyld_stub_binder was called: a lazy import was not bound at load time\n";
  ssize_t ignored = write(STDERR_FILENO, message, sizeof message - 1);
  (void)ignored;
  _exit(kExitCrashed);
}

template <class F>
uintptr_t address_of(F* function) {
  return reinterpret_cast<uintptr_t>(function);
}

// A failure inside nkhost cannot travel back through the program's frames: it is reported
// as nkhost's own, with its own status, and the run ends there.
[[noreturn]] void internal_error(Entry entry, const char* what) {
  fflush(stdout);
  fprintf(stderr, "nkhost: internal error in the %s service: %s\n", entry_name(entry), what);
  _exit(kExitInternal);
}

template <Entry E, auto F>
struct Guarded;
template <Entry E, class R, class... A, R (*F)(A...)>
struct Guarded<E, F> {
  static R call(A... args) {
    try {
      return F(args...);
    } catch (const std::exception& problem) {
      internal_error(E, problem.what());
    } catch (...) {
      internal_error(E, "an unknown exception");
    }
  }
};

template <Entry E, auto F>
HostService service() {
  return {E, address_of(&Guarded<E, F>::call)};
}

const HostService kServices[] = {
    service<Entry::memory_allocate, memory_allocate>(),
    service<Entry::memory_free, memory_free>(),
    service<Entry::memory_reallocate, memory_reallocate>(),
    service<Entry::console_write_line, console_write_line>(),
    service<Entry::console_read_line, console_read_line>(),
    service<Entry::file_stat, file_stat>(),
    service<Entry::file_write, file_write>(),
    service<Entry::file_delete, file_delete>(),
    service<Entry::png_decode_file, png_decode_file>(),
    service<Entry::font_load, font_load>(),
    service<Entry::font_resize, font_resize>(),
    service<Entry::font_render, font_render>(),
    service<Entry::font_free, font_free>(),
    service<Entry::window_create, window_create>(),
    service<Entry::window_publish, window_publish>(),
    service<Entry::window_query, window_query>(),
    service<Entry::window_close, window_close>(),
    service<Entry::window_destroy, window_destroy>(),
    service<Entry::pointer_poll, pointer_poll>(),
    service<Entry::display_info, display_info>(),
    service<Entry::key_poll, key_poll>(),
    service<Entry::frame_end, frame_end>(),
};

}  // namespace

std::span<const HostService> host_services() { return kServices; }

uintptr_t stub_binder_address() { return address_of(dyld_stub_binder_called); }

}  // namespace nk::sim
