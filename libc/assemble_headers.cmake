# Assembles the SDK's include folders (cmake -P, with NEWLIB, LIBRARY, LIBC and OUT set):
#   OUT: newlib's headers, the library's own headers except those named like one of
#        newlib's (its narrow stdio.h, math.h ...), and LIBC's C++ headers;
#   OUT/library-only: the library's headers alone, for programs without the C library.
# file(COPY) keeps timestamps and skips unchanged files, so that only what changed is
# rebuilt.
file(COPY ${NEWLIB}/ DESTINATION ${OUT})
file(GLOB names RELATIVE ${LIBRARY} ${LIBRARY}/*)
foreach(name IN LISTS names)
  if(NOT EXISTS ${NEWLIB}/${name})
    file(COPY ${LIBRARY}/${name} DESTINATION ${OUT})
  endif()
endforeach()
file(COPY ${LIBC}/ DESTINATION ${OUT})
file(COPY ${LIBRARY}/ DESTINATION ${OUT}/library-only)
