#!/bin/sh
# Compiles every SDK header on its own and all of them together, as a program for the
# platform would include them, with -I and with -isystem, in one language mode. Any
# warning under -Wall -Wextra -pedantic fails. Headers are found when the check runs, so
# new ones are checked without further ado.
# usage: check_headers.sh CLANG INCLUDE_DIR MODE   (MODE: c89 ... c17, c++11 ... c++20)
set -u
clang=$1 include=$2 mode=$3
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT

case $mode in
  c++*) language=c++; extra="-nostdinc++ -fsjlj-exceptions" ;;
  *) language=c; extra= ;;
esac

# C headers end in .h and serve both languages; the C++ headers have no extension.
headers=
for path in "$include"/*; do
  name=${path##*/}
  case $name in
    *.h) headers="$headers $name" ;;
    *.*) ;;
    *) [ "$language" = c++ ] && headers="$headers $name" ;;
  esac
done

: >"$dir/all"
for name in $headers; do
  printf '#include <%s>\n' "$name" >"$dir/$name.src"
  cat "$dir/$name.src" >>"$dir/all"
done

status=0
for style in -I -isystem; do
  for source in $headers all; do
    [ "$source" = all ] && file=$dir/all || file=$dir/$source.src
    if ! "$clang" --target=x86_64-apple-macos11 -ffreestanding -nostdlibinc -fsyntax-only \
        -x "$language" -std="$mode" $extra -Wall -Wextra -pedantic -Werror \
        "$style" "$include" "$file" 2>"$dir/errors"; then
      echo "== $source, $mode, $style:"
      cat "$dir/errors"
      status=1
    fi
  done
done
exit $status
