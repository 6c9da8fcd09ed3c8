#pragma once
// nkhost's own files in a store: a new content has a name of this kind only between being
// written and replacing the old one. Programs never see such names. A process killed in
// between leaves one behind; the next nkhost to use the store removes it.

#include <cstddef>
#include <string>
#include <string_view>

namespace nk::sim {

// Any name that begins with ".nkhost-" is nkhost's, never a program's.
bool is_temporary_name(std::string_view name);

// A fresh name, ".nkhost-PID-N", for this process's next temporary file.
std::string temporary_name();

// Marks an open temporary file as in use for as long as this process keeps it open.
void claim_temporary(int fd);

// Removes from the folder dir the temporary files of processes that are gone: no process
// has the PID in the name, and no process holds the file's claim (a PID can be reused, and
// another PID namespace may share the folder). Returns how many it removed.
size_t remove_leftovers(int dir);

}  // namespace nk::sim
