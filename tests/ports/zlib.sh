#!/usr/bin/env bash
# zlib 1.2.13 (Debian's source, third_party/zlib), built unchanged (by tests/ports/zlib, a
# project that does what zlib's own CMake project does, which Debian's source cannot
# configure) through the SDK's toolchain file and natively. Its test program (test/example.c:
# compression, inflate and deflate in every mode, dictionaries, and the gz* file functions
# on the file store) must print the same and leave the same foo.gz on nkhost as on Linux.
#   usage: zlib.sh TOOLCHAIN NKHOST SOURCE WORK
set -u
toolchain=$1 nkhost=$2 source=$3 work=$4
. "$(dirname "$0")/build_both.sh"
mkdir -p "$work"
build_both "$(dirname "$0")/zlib" "$work" "$toolchain" -DZLIB_SOURCE="$source" -- example || exit 1

rm -rf "$work/platform-store" "$work/native-store"
mkdir "$work/platform-store" "$work/native-store"
"$nkhost" run "$work/platform/example" --files "$work/platform-store" >"$work/platform.out" 2>&1
platform_status=$?
(cd "$work/native-store" && "$work/native/example" >"$work/native.out" 2>&1)
native_status=$?
status=0
# zlibCompileFlags() describes the build (type sizes, options); it must agree, but the line
# is shown apart so that a difference there says what differs.
grep 'compile flags' "$work/native.out" "$work/platform.out"
diff -u "$work/native.out" "$work/platform.out" || status=1
cmp "$work/native-store/foo.gz" "$work/platform-store/foo.gz" || status=1
[ "$platform_status" -eq 0 ] && [ "$native_status" -eq 0 ] ||
  { echo "exit status: native $native_status, platform $platform_status"; status=1; }
exit $status
