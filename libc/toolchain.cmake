# CMake toolchain file for NorrikBoot programs, part of the SDK folder
# (share/norrikboot/toolchain.cmake of an installed SDK, or sdk/ of a build tree):
#
#   cmake -S project -B build -DCMAKE_TOOLCHAIN_FILE=SDK/share/norrikboot/toolchain.cmake
#
# add_executable builds a program for the platform (run it with SDK/bin/nkhost run
# PROGRAM), add_library(... STATIC) a static library of such code. C and C++ get ISO C's
# library (newlib over the platform layer); C++ gets the SDK's own C++ headers. The
# library's names that programs bind to come from SDK/lib/OrvaneWindow.tbd.
# -DNORRIKBOOT_LIBRARY_ONLY=ON builds against OrvaneWindow alone, freestanding, entered
# at main. No language standard and no optimisation is imposed: CMAKE_BUILD_TYPE and a
# project's own settings decide, as on any platform.
get_filename_component(NORRIKBOOT_SDK "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
include("${CMAKE_CURRENT_LIST_DIR}/NorrikBootFlags.cmake")
norrik_sdk_flags("${NORRIKBOOT_SDK}")

set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(NORRIKBOOT TRUE)

set(NORRIKBOOT_LIBRARY_ONLY OFF CACHE BOOL "Build against the OrvaneWindow library alone, without the C library")
# try_compile projects read this file again and need the same choice.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES NORRIKBOOT_LIBRARY_ONLY)

find_program(NORRIKBOOT_CC NAMES clang-14 clang REQUIRED)
find_program(NORRIKBOOT_CXX NAMES clang++-14 clang++ REQUIRED)
find_program(NORRIKBOOT_AR NAMES llvm-ar-14 llvm-ar REQUIRED)
find_program(NORRIKBOOT_RANLIB NAMES llvm-ranlib-14 llvm-ranlib REQUIRED)
set(CMAKE_C_COMPILER ${NORRIKBOOT_CC})
set(CMAKE_CXX_COMPILER ${NORRIKBOOT_CXX})
set(CMAKE_AR ${NORRIKBOOT_AR} CACHE FILEPATH "")
set(CMAKE_RANLIB ${NORRIKBOOT_RANLIB} CACHE FILEPATH "")

if(NORRIKBOOT_LIBRARY_ONLY)
  set(_norrik_flags ${NORRIK_ONLY_FLAGS})
  set(_norrik_cxx ${NORRIK_ONLY_CXX_FLAGS})
  set(_norrik_first ${NORRIK_ONLY_LINK_FIRST})
  set(_norrik_last ${NORRIK_ONLY_LINK_LAST})
else()
  set(_norrik_flags ${NORRIK_LIBC_FLAGS})
  set(_norrik_cxx ${NORRIK_LIBC_CXX_FLAGS})
  set(_norrik_first ${NORRIK_LIBC_LINK_FIRST})
  set(_norrik_last ${NORRIK_LIBC_LINK_LAST})
endif()
string(JOIN " " CMAKE_C_FLAGS_INIT ${_norrik_flags})
string(JOIN " " CMAKE_CXX_FLAGS_INIT ${_norrik_flags} ${_norrik_cxx})
string(JOIN " " _norrik_first ${_norrik_first})
string(JOIN " " _norrik_last ${_norrik_last})
foreach(lang C CXX)
  set(CMAKE_${lang}_LINK_EXECUTABLE
      "<CMAKE_${lang}_COMPILER> <FLAGS> <CMAKE_${lang}_LINK_FLAGS> <LINK_FLAGS> ${_norrik_first} <OBJECTS> -o <TARGET> <LINK_LIBRARIES> ${_norrik_last}")
endforeach()

# Libraries and headers are the SDK's; programs run on nkhost (try_run, add_test of a
# target).
set(CMAKE_FIND_ROOT_PATH ${NORRIKBOOT_SDK})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${NORRIKBOOT_SDK}/bin/nkhost run)
