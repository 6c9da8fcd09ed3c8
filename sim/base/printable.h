#pragma once
// Names and texts from the program, fit to appear in nkhost's messages: a program must not
// be able to move the cursor, clear the terminal or forge an "nkhost:" line through a file
// name.

#include <string>
#include <string_view>

namespace nk::sim {

// The bytes with C0 and C1 control characters, DEL, '"', '\' and bytes that are not UTF-8
// escaped as \n, \t, \xNN ... ; cut to about max_bytes, with "..." when cut.
std::string printable(std::string_view bytes, size_t max_bytes = 200);

// A NUL-terminated text from the program (never read past 4 KiB + 1), in double quotes;
// null for a null pointer.
std::string quoted(const char* text);

}  // namespace nk::sim
