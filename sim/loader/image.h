#pragma once
// A Mach-O image (the library or a program) mapped below 4 GiB, with its symbols.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace nk::sim {

// A file that cannot be loaded. what() reads "<file>: <problem>".
struct LoadError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

class Image {
 public:
  virtual ~Image() = default;
  virtual const std::string& name() const = 0;
  virtual uint64_t base() const = 0;
  virtual uint64_t size() const = 0;
  // Symbol names are given as in C, without the underscore Mach-O puts in front
  // ("strlen", "_Znwm").
  // An exported symbol (from the export trie).
  virtual std::optional<uint64_t> find_export(std::string_view name) const = 0;
  // Any defined symbol of the symbol table, non-exported ones included (for tests of
  // internals).
  virtual std::optional<uint64_t> find_symbol(std::string_view name) const = 0;
  // The entry point (LC_MAIN), for programs.
  virtual std::optional<uint64_t> entry_point() const = 0;
  // "name+0x1c in OrvaneWindow.dylib" for the nearest exported symbol at or below address.
  virtual std::string describe(uint64_t address) const = 0;
  bool contains(uint64_t address) const { return address >= base() && address - base() < size(); }

  // Throws std::out_of_range naming the symbol when it is not exported.
  uint64_t export_address(std::string_view name) const {
    if (auto address = find_export(name)) return *address;
    throw std::out_of_range(this->name() + ": no exported symbol " + std::string(name));
  }
  template <class F>
  F* function(std::string_view name) const {
    return reinterpret_cast<F*>(export_address(name));
  }
  template <class T>
  T* data(std::string_view name) const {
    return reinterpret_cast<T*>(export_address(name));
  }
  // A non-exported function, by its symbol-table name.
  template <class F>
  F* internal_function(std::string_view name) const {
    auto address = find_symbol(name);
    if (!address) throw std::out_of_range(this->name() + ": no symbol " + std::string(name));
    return reinterpret_cast<F*>(*address);
  }
};

}  // namespace nk::sim
