#!/bin/sh
# Runs a program with the C library on nkhost and the same source built natively, each in
# an empty file store (the native one runs there as its working directory, with TZ=UTC:
# the platform's time is UTC), and with the same standard input. Their output (standard
# output and error together), exit statuses and the files they leave must agree.
# The host's console shows whole lines: a last line the program did not end gains its
# line end on nkhost, which is the one difference allowed.
# usage: compare_libc_with_native.sh NKHOST GUEST NATIVE [INPUT]
set -u
nkhost=$1 guest=$2 native=$3 input=${4:-/dev/null}
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/platform-store" "$dir/native-store"
"$nkhost" run "$guest" --files "$dir/platform-store" <"$input" >"$dir/platform" 2>"$dir/nkhost-errors"
platform_status=$?
(cd "$dir/native-store" && TZ=UTC "$native" <"$input" >"$dir/native" 2>&1)
native_status=$?
[ -s "$dir/native" ] && [ "$(tail -c1 "$dir/native" | od -An -c | tr -d ' ')" != '\n' ] && echo >>"$dir/native"
status=0
diff -u "$dir/native" "$dir/platform" || status=1
diff -r "$dir/native-store" "$dir/platform-store" || status=1
if [ "$platform_status" -ne "$native_status" ]; then
  echo "exit status: native $native_status, platform $platform_status"
  cat "$dir/nkhost-errors"
  status=1
fi
exit $status
