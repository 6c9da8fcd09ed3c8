#!/bin/sh
# Compiles every SDK header on its own and all of them together, as a program for the
# platform would include them, with -I and with -isystem, in one language mode. Any
# warning under -Wall -Wextra -pedantic fails. Headers are found when the check runs, so
# new ones are checked without further ado.
# With "libc" the folder is the SDK's include folder with the C library: all of the SDK's
# own headers are compiled together after all of ISO C's (newlib's), hosted, as such
# programs are; newlib's headers are system headers there, so only errors count (each of
# the library's own headers is checked alone and for warnings without the C library).
# usage: check_headers.sh CLANG INCLUDE_DIR MODE [libc]   (MODE: c89 ... c17, c++11 ... c++20)
set -u
clang=$1 include=$2 mode=$3 variant=${4:-}
dir=$(mktemp -d) || exit 2
trap 'rm -rf "$dir"' EXIT

case $mode in
  c++*) language=c++; extra="-nostdinc++ -fsjlj-exceptions" ;;
  *) language=c; extra= ;;
esac
prelude=
styles="-I -isystem"
if [ "$variant" = libc ]; then
  extra="$extra -fno-blocks -U__APPLE__ -U__MACH__ -D__NORRIKBOOT__"
  styles=-isystem
  for name in assert ctype errno float inttypes limits locale math setjmp signal stdarg \
              stddef stdint stdio stdlib string strings time unistd fcntl sys/stat; do
    prelude="$prelude#include <$name.h>
"
  done
else
  extra="$extra -ffreestanding"
fi

# C headers end in .h and serve both languages; the C++ headers have no extension.
headers=
# With the C library only the SDK's own headers are listed (newlib's are the prelude).
for path in "$include"/*; do
  name=${path##*/}
  [ -d "$path" ] && continue
  if [ "$variant" = libc ]; then
    case $name in nk_*.h | orvane_*.h) ;; *.*) continue ;; esac
  fi
  case $name in
    *.h) headers="$headers $name" ;;
    *.*) ;;
    *) [ "$language" = c++ ] && headers="$headers $name" ;;
  esac
done

printf '%s' "$prelude" >"$dir/all"
for name in $headers; do
  printf '%s#include <%s>\n' "$prelude" "$name" >"$dir/$name.src"
  printf '#include <%s>\n' "$name" >>"$dir/all"
done

sources="$headers all"
[ "$variant" = libc ] && sources=all
status=0
for style in $styles; do
  for source in $sources; do
    [ "$source" = all ] && file=$dir/all || file=$dir/$source.src
    if ! "$clang" --target=x86_64-apple-macos11 -nostdlibinc -fsyntax-only \
        -x "$language" -std="$mode" $extra -Wall -Wextra -pedantic -Werror \
        "$style" "$include" "$file" 2>"$dir/errors"; then
      echo "== $source, $mode, $style:"
      cat "$dir/errors"
      status=1
    fi
  done
done
exit $status
