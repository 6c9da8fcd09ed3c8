# Building for NorrikBoot: clang for x86_64-apple-macos11 (freestanding, SjLj exceptions)
# and lld's Mach-O linker. Everything here runs through custom commands so that the host
# build (nkhost, tests) keeps the system's own compiler.

find_program(NORRIK_CLANG NAMES clang-14 clang REQUIRED)
find_program(NORRIK_LD NAMES ld64.lld-14 ld64.lld REQUIRED)
find_program(NORRIK_NM NAMES llvm-nm-14 llvm-nm REQUIRED)
find_program(NORRIK_OBJDUMP NAMES llvm-objdump-14 llvm-objdump REQUIRED)

set(NORRIK_SDK_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/../include CACHE PATH "SDK headers for NorrikBoot programs")

# The flags every object for the platform is built with. -nostdlibinc keeps clang's own
# freestanding headers (stddef.h, stdint.h, stdarg.h ...) and drops the Linux ones. Frame
# pointers are clang's default for Darwin targets; asking for them keeps nkhost's
# backtraces and profiles working whatever else a program adds.
set(NORRIK_COMMON_FLAGS
  --target=x86_64-apple-macos11 -ffreestanding -fno-builtin -nostdlib -nostdlibinc
  -fno-stack-protector -fsjlj-exceptions -fno-omit-frame-pointer -O2 -g0)
set(NORRIK_CXX_FLAGS -std=c++17 -nostdinc++ -fexceptions)
set(NORRIK_C_FLAGS -std=c11)
set(NORRIK_LINK_FLAGS -arch x86_64 -platform_version macos 11.0 11.0)

# norrik_compile(<out-var> SUBDIR <dir> SOURCES <files...> [AS_CXX] [FLAGS <extra flags...>])
# Compiles each source for the platform; the object paths go to <out-var>. AS_CXX compiles
# C sources as C++ (Lua, whose errors are then C++ exceptions).
function(norrik_compile out_var)
  cmake_parse_arguments(A "AS_CXX" "SUBDIR" "SOURCES;FLAGS" ${ARGN})
  set(objects)
  foreach(src IN LISTS A_SOURCES)
    get_filename_component(abs ${src} ABSOLUTE)
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${abs})
    set(obj ${CMAKE_BINARY_DIR}/norrik/${A_SUBDIR}/${rel}.o)
    get_filename_component(obj_dir ${obj} DIRECTORY)
    get_filename_component(ext ${src} LAST_EXT)
    if(ext STREQUAL ".cpp")
      set(lang_flags ${NORRIK_CXX_FLAGS})
    elseif(ext STREQUAL ".c" AND A_AS_CXX)
      set(lang_flags -x c++ ${NORRIK_CXX_FLAGS})
    elseif(ext STREQUAL ".c")
      set(lang_flags ${NORRIK_C_FLAGS})
    else()
      set(lang_flags)
    endif()
    add_custom_command(OUTPUT ${obj}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${obj_dir}
      COMMAND ${NORRIK_CLANG} ${NORRIK_COMMON_FLAGS} ${lang_flags} ${A_FLAGS}
              -isystem ${NORRIK_SDK_INCLUDE} -MD -MF ${obj}.d -c ${abs} -o ${obj}
      DEPENDS ${abs}
      DEPFILE ${obj}.d
      COMMENT "NorrikBoot: compiling ${rel}"
      VERBATIM)
    list(APPEND objects ${obj})
  endforeach()
  set(${out_var} ${objects} PARENT_SCOPE)
endfunction()

# norrik_add_program(<name> SOURCES <files...> [OBJECTS <objects...>] [LIBRARY <dylib>]
#                    [FLAGS <extra flags...>])
# Builds a program for the platform, linked against the library, with any objects already
# compiled by norrik_compile. The output is
# ${CMAKE_CURRENT_BINARY_DIR}/bin/<name> (Ninja keeps <dir>/<name> for the target itself);
# the custom target is called <name>.
function(norrik_add_program name)
  cmake_parse_arguments(A "" "LIBRARY" "SOURCES;OBJECTS;FLAGS" ${ARGN})
  if(NOT A_LIBRARY)
    set(A_LIBRARY ${NORRIK_LIBRARY})
  endif()
  norrik_compile(objects SUBDIR programs/${name} SOURCES ${A_SOURCES} FLAGS ${A_FLAGS})
  list(APPEND objects ${A_OBJECTS})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/bin/${name})
  # Imports are bound when the program is loaded, so dyld_stub_binder is never called.
  add_custom_command(OUTPUT ${out}
    COMMAND ${NORRIK_LD} -execute -e _main ${NORRIK_LINK_FLAGS} ${objects} ${A_LIBRARY}
            -U dyld_stub_binder -o ${out}
    DEPENDS ${objects} ${A_LIBRARY}
    COMMENT "NorrikBoot: linking program ${name}"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${out})
endfunction()
