#!/usr/bin/env bash
# Installs the SDK from the build tree into an empty folder and builds this project with
# the installed toolchain file, then runs its programs on the installed nkhost through
# CTest. A program built against the library alone (NORRIKBOOT_LIBRARY_ONLY) is checked
# as well.
#   usage: check.sh BUILD WORK
set -u
build=$1 work=$2
source=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work"
mkdir -p "$work"
cmake --install "$build" --prefix "$work/sdk" >"$work/install.log" 2>&1 ||
  { echo "install failed:"; tail -20 "$work/install.log"; exit 1; }
for file in bin/nkhost lib/OrvaneWindow.dylib lib/OrvaneWindow.tbd lib/libc.a lib/libm.a \
            lib/libnorrikboot.a lib/crt0.o include/stdio.h include/nk_fs.h include/cstdio \
            include/library-only/stdio.h share/norrikboot/toolchain.cmake; do
  [ -e "$work/sdk/$file" ] || { echo "the installed SDK has no $file"; exit 1; }
done
toolchain=$work/sdk/share/norrikboot/toolchain.cmake
cmake -S "$source" -B "$work/project" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  >"$work/configure.log" 2>&1 || { echo "configure failed:"; tail -40 "$work/configure.log"; exit 1; }
cmake --build "$work/project" >"$work/build.log" 2>&1 ||
  { echo "build failed:"; tail -40 "$work/build.log"; exit 1; }
ctest --test-dir "$work/project" --output-on-failure || exit 1

# The library alone: the library's own headers, entered at main.
mkdir -p "$work/only-source"
cat >"$work/only-source/CMakeLists.txt" <<'PROJECT'
cmake_minimum_required(VERSION 3.20)
project(library_only C)
add_executable(only only.c)
enable_testing()
add_test(NAME only COMMAND only)
set_tests_properties(only PROPERTIES PASS_REGULAR_EXPRESSION "^library only 1.5\n$")
PROJECT
cat >"$work/only-source/only.c" <<'PROGRAM'
#include <nk_console.h>
#include <stdio.h>
int main(void) {
  char text[32];
  int n = snprintf(text, sizeof text, "library only %f", 1.5);
  nk_lua_write(text, (size_t)n - 5);
  nk_lua_writeline();
  return 0;
}
PROGRAM
cmake -S "$work/only-source" -B "$work/only" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DNORRIKBOOT_LIBRARY_ONLY=ON >"$work/only-configure.log" 2>&1 ||
  { echo "configure (library only) failed:"; tail -40 "$work/only-configure.log"; exit 1; }
cmake --build "$work/only" >"$work/only-build.log" 2>&1 ||
  { echo "build (library only) failed:"; tail -40 "$work/only-build.log"; exit 1; }
ctest --test-dir "$work/only" --output-on-failure
