#pragma once
// Calls into a program (its initialisers and main) through a shim that saves the registers
// the calling convention makes the callee keep, and restores them whatever the program did,
// so that a program that breaks the convention cannot break nkhost after it returns.

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>

namespace nk::sim {

// A program returned with a callee-saved register changed; what() names the registers.
class ConventionBroken : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Calls function with up to five integer arguments and returns its rax. Throws
// ConventionBroken, after restoring the registers, when the callee changed one it must keep;
// what names the callee in the message.
uint64_t call_guest(uint64_t function, std::initializer_list<uint64_t> args, const std::string& what);

}  // namespace nk::sim
