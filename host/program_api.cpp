// The validity rule of the host program interface table.

#include "host/program_api.h"

extern "C" bool nk_program_api_field_ready(const volatile NkBaremetalProgramApi* table,
                                           uint32_t offset) {
  if (table == nullptr) return false;
  uint32_t size = table->size;
  // Widened so that an offset near the top of the 32-bit range cannot wrap past the size.
  return table->magic == nk::kProgramApiMagic && table->version != 0 && size >= 12 &&
         uint64_t{size} >= uint64_t{offset} + 4;
}
