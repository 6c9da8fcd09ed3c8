#!/bin/sh
# Runs a guest program on nkhost and the same source built natively; their console lines
# and exit statuses must agree line by line.
# usage: compare_with_native.sh NKHOST GUEST NATIVE
set -u
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
"$1" run "$2" >"$dir/platform"
platform_status=$?
"$3" >"$dir/native"
native_status=$?
diff -u "$dir/native" "$dir/platform" || exit 1
if [ "$platform_status" -ne "$native_status" ]; then
  echo "exit status: native $native_status, platform $platform_status"
  exit 1
fi
