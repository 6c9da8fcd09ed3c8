// The SjLj unwinder: the chain of registered function contexts, the search for a handler
// and the transfer of control through cleanups to it. All exception-table work is done
// here; the compiler's personality routines are never called.

#include <new>

#include "runtime/exception_abi.h"

extern "C" NorrikSjLjContext* gSjLjHead = nullptr;

namespace {

[[noreturn]] void enter_landing_pad(NorrikSjLjContext* context, NorrikExceptionHeader* header,
                                    uint32_t landing_pad, uint32_t selector) {
  context->resume_data[0] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(header));
  context->resume_data[1] = selector;
  context->call_site = static_cast<int32_t>(landing_pad);
  norrikboot_sjlj_jump(context);
}

// Runs the cleanups of the frames above the chosen handler, newest first, and then enters
// the handler. Each cleanup comes back through _Unwind_SjLj_Resume.
[[noreturn]] void continue_unwind(NorrikExceptionHeader* header) {
  for (;;) {
    NorrikSjLjContext* context = gSjLjHead;
    if (context == nullptr) std::terminate();
    if (context == header->handler_context)
      enter_landing_pad(context, header, header->handler_landing_pad, header->handler_selector);
    NorrikHandler handler{};
    inspect_context(context, header->exception_type, &handler);
    if (handler.call_site_found && handler.needs_cleanup)
      enter_landing_pad(context, header, handler.landing_pad, 0);
    gSjLjHead = context->prev;  // nothing to run here: the frame is abandoned
  }
}

}  // namespace

[[noreturn]] void nk::raise_exception(NorrikExceptionHeader* header) {
  for (NorrikSjLjContext* context = gSjLjHead; context != nullptr; context = context->prev) {
    NorrikHandler handler{};
    const void* clause_type = nullptr;
    if (nk::inspect_context_catch(context, header->exception_type, &handler, &clause_type) &&
        handler.handler_found) {
      header->handler_context = context;
      header->handler_landing_pad = handler.landing_pad;
      header->handler_selector = handler.selector;
      header->pointer_catch = is_pointer_descriptor(clause_type);
      continue_unwind(header);
    }
  }
  std::terminate();
}

#pragma GCC visibility push(default)
extern "C" {

void _Unwind_SjLj_Register(NorrikSjLjContext* context) {
  context->prev = gSjLjHead;
  gSjLjHead = context;
}

void _Unwind_SjLj_Unregister(NorrikSjLjContext* context) {
  if (gSjLjHead == context) {
    gSjLjHead = context->prev;
    return;
  }
  for (NorrikSjLjContext* entry = gSjLjHead; entry != nullptr; entry = entry->prev) {
    if (entry->prev == context) {
      entry->prev = context->prev;
      return;
    }
  }
}

[[noreturn]] void _Unwind_SjLj_RaiseException(NorrikExceptionHeader* header) {
  nk::raise_exception(header);
}

// A cleanup landing pad has finished: its frame is done with, the unwinding goes on.
[[noreturn]] void _Unwind_SjLj_Resume(NorrikExceptionHeader* header) {
  if (gSjLjHead != nullptr) gSjLjHead = gSjLjHead->prev;
  continue_unwind(header);
}

[[noreturn]] void _Unwind_SjLj_Resume_or_Rethrow(NorrikExceptionHeader* header) {
  _Unwind_SjLj_Resume(header);
}

[[noreturn]] void _Unwind_SjLj_ForcedUnwind() { std::terminate(); }

[[noreturn]] void _Unwind_Resume() { std::terminate(); }

// Registering frames store the first one's address; the unwinder reads the tables itself.
int __gxx_personality_sj0() { return 0; }
int __gxx_personality_v0() { return 0; }

}  // extern "C"
#pragma GCC visibility pop
