#!/usr/bin/env bash
# cJSON 1.7.15 (Debian's source, third_party/cjson), built unchanged with its own CMake
# project (its tests and cJSON_Utils on) through the SDK's toolchain file and natively.
# Each of its test programs (Unity) runs on nkhost with the test folder as the file store
# (they read inputs/...) and natively there; outputs and statuses must be the same.
#   usage: cjson.sh TOOLCHAIN NKHOST SOURCE WORK
set -u
toolchain=$1 nkhost=$2 source=$3 work=$4
. "$(dirname "$0")/build_both.sh"
mkdir -p "$work"
build_both "$source" "$work" "$toolchain" -DENABLE_CJSON_TEST=ON -DENABLE_CJSON_UTILS=ON \
  -DBUILD_SHARED_LIBS=OFF -- || exit 1

tests=$(cd "$work/native/tests" && find . -maxdepth 1 -type f -perm -u+x | sed 's|^\./||' | sort)
[ -n "$tests" ] || { echo "no test programs were built"; exit 1; }
status=0
count=0
for test in $tests; do
  "$nkhost" run "$work/platform/tests/$test" --files "$work/platform/tests" >"$work/$test.platform" 2>&1
  platform_status=$?
  (cd "$work/native/tests" && "./$test" >"$work/$test.native" 2>&1)
  native_status=$?
  if ! diff -u "$work/$test.native" "$work/$test.platform" || [ "$platform_status" -ne "$native_status" ]; then
    echo "$test: exit status native $native_status, platform $platform_status"
    status=1
  fi
  count=$((count + 1))
done
echo "$count test programs compared"
exit $status
