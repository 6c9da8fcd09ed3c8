# The flags a program for NorrikBoot is built with, shared by norrik_add_program and the
# SDK's toolchain file (share/norrikboot/toolchain.cmake), so that both build alike.
#
# norrik_sdk_flags(<root>) sets them for the SDK folder <root> (bin/, lib/, include/,
# share/norrikboot/), as installed or as the build tree's sdk/ folder:
#   NORRIK_TARGET_FLAGS       every compile: the target, SjLj exceptions, frame pointers
#   NORRIK_LIBC_FLAGS         with the C library: hosted, newlib's headers and ours
#   NORRIK_LIBC_CXX_FLAGS     and for C++: the SDK's own C++ headers
#   NORRIK_LIBC_LINK_FIRST    link arguments before the program's objects (entry, start)
#   NORRIK_LIBC_LINK_LAST     link arguments after the program's libraries (the C library)
#   NORRIK_ONLY_FLAGS         the library alone: freestanding, the library's headers only
#   NORRIK_ONLY_CXX_FLAGS
#   NORRIK_ONLY_LINK_FIRST, NORRIK_ONLY_LINK_LAST
# Links go through clang with lld's Mach-O linker. Imports are bound when the program is
# loaded, so dyld_stub_binder is never called.
macro(norrik_sdk_flags root)
  set(NORRIK_TARGET_FLAGS --target=x86_64-apple-macos11 -fno-stack-protector -fsjlj-exceptions
      -fno-omit-frame-pointer)
  # Hosted, so that the compiler may use what it knows of the C library (builtin memcpy,
  # maths). Portable code must not take macOS paths, and a function used without a
  # declaration is an error, not a call that may fail to link. Apple targets make __block
  # a keyword, which newlib's headers use as a name.
  set(NORRIK_LIBC_FLAGS ${NORRIK_TARGET_FLAGS} -nostdlibinc -isystem ${root}/include -fno-blocks
      -U__APPLE__ -U__MACH__ -D__NORRIKBOOT__ -Werror=implicit-function-declaration)
  set(NORRIK_LIBC_CXX_FLAGS -nostdinc++)
  # crt0.o comes first: its initialiser must be the program's first (see libc/start.c).
  # Links see the compile flags too (CMake's rule passes them); that some are unused then is
  # no fault, even under a project's -Werror.
  set(NORRIK_LIBC_LINK_FIRST -fuse-ld=lld -nostdlib -Wno-unused-command-line-argument
      -Wl,-e,_nk_start ${root}/lib/crt0.o)
  # The library's names come from a stub that lists only those a program with the C
  # library takes from it, so that newlib's functions are used for the others whatever the
  # order of the archives.
  set(NORRIK_LIBC_LINK_LAST -L${root}/lib -lc -lm ${root}/lib/libnorrikboot.a
      ${root}/lib/OrvaneWindow.tbd -Wl,-U,dyld_stub_binder)
  # -nostdlibinc keeps clang's own freestanding headers (stddef.h, stdint.h, stdarg.h ...)
  # and drops the Linux ones.
  set(NORRIK_ONLY_FLAGS ${NORRIK_TARGET_FLAGS} -ffreestanding -fno-builtin -nostdlib -nostdlibinc
      -isystem ${root}/include/library-only)
  set(NORRIK_ONLY_CXX_FLAGS -nostdinc++)
  set(NORRIK_ONLY_LINK_FIRST -fuse-ld=lld -nostdlib -Wno-unused-command-line-argument)
  set(NORRIK_ONLY_LINK_LAST ${root}/lib/OrvaneWindow.dylib -Wl,-U,dyld_stub_binder)
endmacro()
