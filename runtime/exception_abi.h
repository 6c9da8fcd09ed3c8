#pragma once
// Records shared by the exception objects, the SjLj unwinder and its exception-table reader.
// Their layouts are fixed by the code that clang emits for -fsjlj-exceptions on x86-64.

#include <stddef.h>
#include <stdint.h>

// Lives right in front of every thrown object, in one block from malloc.
struct alignas(16) NorrikExceptionHeader {
  const void* exception_type;  // the thrown object's type_info
  void (*destructor)(void*);
  NorrikExceptionHeader* next_caught;
  struct NorrikSjLjContext* handler_context;
  uint32_t handler_landing_pad;
  uint32_t handler_selector;
  uint8_t rethrown;
  uint8_t pointer_catch;   // the chosen clause catches a pointer: its handler gets the value
  uint32_t handler_count;  // catch blocks of this object still running
};
static_assert(sizeof(NorrikExceptionHeader) % 16 == 0, "the object must keep the block's alignment");

// The compiler's SjLj function context; the registering frame fills it.
struct NorrikSjLjContext {
  NorrikSjLjContext* prev;
  int32_t call_site;          // 1-based active call site; 0 or -1 when none is active
  uint32_t resume_data[4];    // word 0: header address (low 32 bits), word 1: selector
  uint32_t alignment;
  const void* personality;
  const uint8_t* lsda;
  void* jbuf[5];              // frame pointer, resume address, stack pointer, unused, unused
};
static_assert(offsetof(NorrikSjLjContext, call_site) == 8, "compiler layout");
static_assert(offsetof(NorrikSjLjContext, resume_data) == 12, "compiler layout");
static_assert(offsetof(NorrikSjLjContext, personality) == 32, "compiler layout");
static_assert(offsetof(NorrikSjLjContext, lsda) == 40, "compiler layout");
static_assert(offsetof(NorrikSjLjContext, jbuf) == 48, "compiler layout");

// What one inspection of a context found; zeroed by the caller before each inspection.
struct NorrikHandler {
  uint8_t call_site_found;
  uint8_t needs_cleanup;
  uint8_t handler_found;
  uint32_t landing_pad;
  uint32_t selector;
};

extern "C" {
extern NorrikSjLjContext* gSjLjHead;
extern NorrikExceptionHeader* gCaughtException;

bool type_matches(const void* thrown, const void* wanted);
bool inspect_context(const NorrikSjLjContext* context, const void* thrown_type,
                     NorrikHandler* handler);
bool is_pointer_descriptor(const void* type);
[[noreturn]] void norrikboot_sjlj_jump(NorrikSjLjContext* context);
}

namespace nk {
[[noreturn]] void raise_exception(NorrikExceptionHeader* header);
// inspect_context that also gives the matching clause's type (null for a catch-all).
bool inspect_context_catch(const NorrikSjLjContext* context, const void* thrown_type,
                           NorrikHandler* handler, const void** clause_type);

inline void* object_from_header(NorrikExceptionHeader* header) { return header + 1; }
inline NorrikExceptionHeader* header_from_object(void* object) {
  return static_cast<NorrikExceptionHeader*>(object) - 1;
}
}  // namespace nk
