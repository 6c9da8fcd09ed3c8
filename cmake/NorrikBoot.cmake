# Building for NorrikBoot: clang for x86_64-apple-macos11 (SjLj exceptions) and lld's
# Mach-O linker. Everything here runs through custom commands so that the host build
# (nkhost, tests) keeps the system's own compiler. Programs get the C library (newlib over
# the platform layer in libc/) unless they ask for the library alone; the flags are the
# SDK toolchain file's (NorrikBootFlags.cmake), over the build tree's SDK folder sdk/.

find_program(NORRIK_CLANG NAMES clang-14 clang REQUIRED)
find_program(NORRIK_LD NAMES ld64.lld-14 ld64.lld REQUIRED)
find_program(NORRIK_NM NAMES llvm-nm-14 llvm-nm REQUIRED)
find_program(NORRIK_OBJDUMP NAMES llvm-objdump-14 llvm-objdump REQUIRED)
find_program(NORRIK_AR NAMES llvm-ar-14 llvm-ar REQUIRED)
find_program(NORRIK_RANLIB NAMES llvm-ranlib-14 llvm-ranlib REQUIRED)

set(NORRIK_SDK_INCLUDE ${CMAKE_CURRENT_LIST_DIR}/../include CACHE PATH "SDK headers for NorrikBoot programs")
# The SDK as it installs, assembled in the build tree by the target norrik_sdk
# (libc/CMakeLists.txt). Programs with the C library link these files of it.
set(NORRIK_SDK ${CMAKE_BINARY_DIR}/sdk)
set(NORRIK_SDK_LINK_INPUTS ${NORRIK_SDK}/lib/crt0.o ${NORRIK_SDK}/lib/libc.a ${NORRIK_SDK}/lib/libm.a
    ${NORRIK_SDK}/lib/libnorrikboot.a ${NORRIK_SDK}/lib/OrvaneWindow.tbd)

include(${CMAKE_CURRENT_LIST_DIR}/NorrikBootFlags.cmake)
norrik_sdk_flags(${NORRIK_SDK})
# Programs built here read the library's own headers from the source tree.
list(TRANSFORM NORRIK_ONLY_FLAGS REPLACE "^${NORRIK_SDK}/include/library-only$" "${NORRIK_SDK_INCLUDE}")
set(NORRIK_LINK_FLAGS -arch x86_64 -platform_version macos 11.0 11.0)

# norrik_compile(<out-var> SUBDIR <dir> SOURCES <files...> [AS_CXX] [LIBRARY_ONLY]
#                [FLAGS <extra flags...>])
# Compiles each source for the platform (-O2, GNU dialects); the object paths go to
# <out-var>. AS_CXX compiles C sources as C++ (Lua, whose errors are then C++
# exceptions). LIBRARY_ONLY compiles against the library's headers alone (freestanding),
# as the library itself is. Objects with the C library need the SDK's headers: the
# target they serve must depend on norrik_sdk (norrik_add_program sees to that).
function(norrik_compile out_var)
  cmake_parse_arguments(A "AS_CXX;LIBRARY_ONLY" "SUBDIR" "SOURCES;FLAGS" ${ARGN})
  if(A_LIBRARY_ONLY)
    set(base_flags ${NORRIK_ONLY_FLAGS})
    set(cxx_flags ${NORRIK_ONLY_CXX_FLAGS})
  else()
    set(base_flags ${NORRIK_LIBC_FLAGS})
    set(cxx_flags ${NORRIK_LIBC_CXX_FLAGS})
  endif()
  set(objects)
  foreach(src IN LISTS A_SOURCES)
    get_filename_component(abs ${src} ABSOLUTE)
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${abs})
    set(obj ${CMAKE_BINARY_DIR}/norrik/${A_SUBDIR}/${rel}.o)
    get_filename_component(obj_dir ${obj} DIRECTORY)
    get_filename_component(ext ${src} LAST_EXT)
    if(ext STREQUAL ".cpp")
      set(lang_flags -std=gnu++17 ${cxx_flags})
    elseif(ext STREQUAL ".c" AND A_AS_CXX)
      set(lang_flags -x c++ -std=gnu++17 ${cxx_flags})
    elseif(ext STREQUAL ".c")
      set(lang_flags -std=gnu11)
    else()
      set(lang_flags)
    endif()
    add_custom_command(OUTPUT ${obj}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${obj_dir}
      COMMAND ${NORRIK_CLANG} ${base_flags} -O2 -g0 ${lang_flags} ${A_FLAGS}
              -MD -MF ${obj}.d -c ${abs} -o ${obj}
      DEPENDS ${abs}
      DEPFILE ${obj}.d
      COMMENT "NorrikBoot: compiling ${rel}"
      VERBATIM)
    list(APPEND objects ${obj})
  endforeach()
  set(${out_var} ${objects} PARENT_SCOPE)
endfunction()

# norrik_add_program(<name> SOURCES <files...> [LIBRARY_ONLY] [OBJECTS <objects...>]
#                    [LIBRARY <dylib>] [FLAGS <extra flags...>])
# Builds a program for the platform with any objects already compiled by norrik_compile.
# It gets the C library, and starts at the platform layer's entry, which calls main;
# LIBRARY_ONLY links the library alone (LIBRARY, the build's OrvaneWindow.dylib unless
# given) and starts at main. The output is ${CMAKE_CURRENT_BINARY_DIR}/bin/<name> (Ninja
# keeps <dir>/<name> for the target itself); the custom target is called <name>.
function(norrik_add_program name)
  cmake_parse_arguments(A "LIBRARY_ONLY" "LIBRARY" "SOURCES;OBJECTS;FLAGS" ${ARGN})
  if(A_LIBRARY_ONLY)
    if(NOT A_LIBRARY)
      set(A_LIBRARY ${NORRIK_LIBRARY})
    endif()
    norrik_compile(objects SUBDIR programs/${name} LIBRARY_ONLY SOURCES ${A_SOURCES} FLAGS ${A_FLAGS})
    set(first ${NORRIK_ONLY_LINK_FIRST})
    set(last ${A_LIBRARY} -Wl,-U,dyld_stub_binder)
    set(inputs ${A_LIBRARY})
  else()
    norrik_compile(objects SUBDIR programs/${name} SOURCES ${A_SOURCES} FLAGS ${A_FLAGS})
    set(first ${NORRIK_LIBC_LINK_FIRST})
    set(last ${NORRIK_LIBC_LINK_LAST})
    set(inputs ${NORRIK_SDK_LINK_INPUTS})
  endif()
  list(APPEND objects ${A_OBJECTS})
  set(out ${CMAKE_CURRENT_BINARY_DIR}/bin/${name})
  add_custom_command(OUTPUT ${out}
    COMMAND ${NORRIK_CLANG} --target=x86_64-apple-macos11 ${first} ${objects} ${last} -o ${out}
    DEPENDS ${objects} ${inputs}
    COMMENT "NorrikBoot: linking program ${name}"
    VERBATIM)
  add_custom_target(${name} ALL DEPENDS ${out})
  if(NOT A_LIBRARY_ONLY)
    add_dependencies(${name} norrik_sdk)
  endif()
endfunction()
