// The validity rule of the host program interface table.

#include "host/program_api.h"

extern "C" bool nk_program_api_field_ready(const volatile NkBaremetalProgramApi* table,
                                           uint32_t offset) {
  return nk::field_ready(table, offset);
}
