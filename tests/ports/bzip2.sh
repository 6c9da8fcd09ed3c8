#!/usr/bin/env bash
# bzip2 1.0.8 (Debian's source, third_party/bzip2), libbz2 and the bzip2 program built
# unchanged through the SDK's toolchain file (tests/ports/bzip2) and natively. Its own test
# (the Makefile's: the three samples compressed at -1, -2 and -3 must equal the shipped
# .bz2 files, which must expand to the samples, -s included) runs on the file store, then
# its failures: an existing output, a missing input, a cut and a foreign file. Every run
# must print the same and end with the same status as natively, and the stores must be
# equal at the end: bzip2 creates outputs with O_EXCL, copies the input's mode, owner and
# times to them, removes inputs and partial outputs.
#   usage: bzip2.sh TOOLCHAIN NKHOST SOURCE WORK
set -u
toolchain=$1 nkhost=$2 source=$3 work=$4
. "$(dirname "$0")/build_both.sh"
mkdir -p "$work"
build_both "$(dirname "$0")/bzip2" "$work" "$toolchain" -DBZIP2_SOURCE="$source" -- bzip2 || exit 1

for side in platform native; do
  rm -rf "$work/$side-store"
  mkdir "$work/$side-store"
  cp "$source"/sample[123].ref "$source"/sample[123].bz2 "$work/$side-store"
  head -c 5000 "$source/sample2.bz2" >"$work/$side-store/cut.bz2"
  printf 'not compressed\n' >"$work/$side-store/plain.txt"
done

status=0
# The program reads its command line from the first line of its input.
while read -r line; do
  "$nkhost" run "$work/platform/bzip2" --files "$work/platform-store" <<<"$line" >"$work/platform.out" 2>&1
  echo "status $?" >>"$work/platform.out"
  (cd "$work/native-store" && "$work/native/bzip2" <<<"$line" >"$work/native.out" 2>&1
   echo "status $?" >>"$work/native.out")
  diff -u --label "native: bzip2 $line" --label "platform: bzip2 $line" "$work/native.out" \
    "$work/platform.out" || status=1
done <<'COMMANDS'
-1 -k -v sample1.ref
-2 -k sample2.ref
-3 -k sample3.ref
-d -k sample1.bz2
-d -k sample2.bz2
-ds -k -v sample3.bz2
-t -vv sample3.bz2
-k sample1.ref
missing.txt
-t cut.bz2
-d cut.bz2
-d plain.txt
-9 plain.txt
-d -v plain.txt.bz2
COMMANDS

for i in 1 2 3; do
  cmp "$work/platform-store/sample$i.ref.bz2" "$source/sample$i.bz2" || status=1
  cmp "$work/platform-store/sample$i" "$source/sample$i.ref" || status=1
done
diff -r "$work/native-store" "$work/platform-store" || status=1
exit $status
