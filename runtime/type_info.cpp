// Run-time type matching for catch clauses and dynamic_cast, over Itanium type descriptors.
// Only single-inheritance class chains are walked; anything else matches only itself.
// Also the vtables of every descriptor kind, which compiler-emitted descriptors point into.

#include <new>

#include "runtime/exception_abi.h"

namespace {

struct TypeDescriptor {
  const void* const* vtable;
  const char* name;
  const TypeDescriptor* base;  // only in single-inheritance class descriptors
};

bool same_name(const char* a, const char* b) {
  if (a == nullptr || b == nullptr) return a == b;
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

}  // namespace

#pragma GCC visibility push(default)
// The descriptor-kind vtables that compiler-emitted type_info objects point into. Nothing
// calls through them; only their addresses tell descriptor kinds apart.
extern "C" {
extern const void* const _ZTVN10__cxxabiv117__class_type_infoE[4];
extern const void* const _ZTVN10__cxxabiv120__si_class_type_infoE[4];
extern const void* const _ZTVN10__cxxabiv121__vmi_class_type_infoE[4];
extern const void* const _ZTVN10__cxxabiv119__pointer_type_infoE[4];
extern const void* const _ZTVN10__cxxabiv129__pointer_to_member_type_infoE[4];
extern const void* const _ZTVN10__cxxabiv123__fundamental_type_infoE[4];
extern const void* const _ZTVN10__cxxabiv116__enum_type_infoE[4];
extern const void* const _ZTVN10__cxxabiv120__function_type_infoE[4];
extern const void* const _ZTVN10__cxxabiv117__array_type_infoE[4];
const void* const _ZTVN10__cxxabiv117__class_type_infoE[4] = {};
const void* const _ZTVN10__cxxabiv120__si_class_type_infoE[4] = {};
const void* const _ZTVN10__cxxabiv121__vmi_class_type_infoE[4] = {};
const void* const _ZTVN10__cxxabiv119__pointer_type_infoE[4] = {};
const void* const _ZTVN10__cxxabiv129__pointer_to_member_type_infoE[4] = {};
const void* const _ZTVN10__cxxabiv123__fundamental_type_infoE[4] = {};
const void* const _ZTVN10__cxxabiv116__enum_type_infoE[4] = {};
const void* const _ZTVN10__cxxabiv120__function_type_infoE[4] = {};
const void* const _ZTVN10__cxxabiv117__array_type_infoE[4] = {};
}
#pragma GCC visibility pop

namespace {
// Descriptors point two words into their vtable, past offset-to-top and type_info.
const void* const* const kSingleInheritance = _ZTVN10__cxxabiv120__si_class_type_infoE + 2;
const void* const* const kPointer = _ZTVN10__cxxabiv119__pointer_type_infoE + 2;
}  // namespace

extern "C" bool is_pointer_descriptor(const void* type) {
  return type != nullptr && static_cast<const TypeDescriptor*>(type)->vtable == kPointer;
}

extern "C" bool type_matches(const void* thrown, const void* wanted) {
  if (wanted == nullptr) return true;
  auto* target = static_cast<const TypeDescriptor*>(wanted);
  for (auto* t = static_cast<const TypeDescriptor*>(thrown); t != nullptr;) {
    if (t == target || same_name(t->name, target->name)) return true;
    t = t->vtable == kSingleInheritance ? t->base : nullptr;
  }
  return false;
}

#pragma GCC visibility push(default)
extern "C" void* __dynamic_cast(const void* object, const void* /*source*/, const void* target,
                                ptrdiff_t /*hint*/) {
  if (object == nullptr || target == nullptr) return nullptr;
  auto* vtable = *static_cast<const intptr_t* const*>(object);
  auto* complete_type = reinterpret_cast<const void*>(vtable[-1]);
  intptr_t offset_to_top = vtable[-2];
  if (!type_matches(complete_type, target)) return nullptr;
  return reinterpret_cast<void*>(reinterpret_cast<intptr_t>(object) + offset_to_top);
}
#pragma GCC visibility pop

// There are no standard exception classes to throw: a failed dynamic_cast to a reference,
// or typeid of a null polymorphic pointer, ends the program.
#pragma GCC visibility push(default)
extern "C" {
[[noreturn]] void __cxa_bad_cast() { std::terminate(); }
[[noreturn]] void __cxa_bad_typeid() { std::terminate(); }
}
#pragma GCC visibility pop
