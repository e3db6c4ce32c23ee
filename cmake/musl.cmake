# Static programs on musl, for the Linux release files: the compiler of the
# toolchain file ZEROFIL_TARGET (a GNU triple, such as aarch64-linux-gnu),
# with musl's headers, start files and C library from ZEROFIL_MUSL (Debian's
# musl-dev unpacked by scripts/musl.sh) in place of glibc's. musl's licence
# asks only for its notice, which the release files carry; glibc's LGPL
# would ask for much more of a static program. The compiler's own C++
# headers stay: the program includes <cstdio> and the rest, and loads no
# C++ runtime.
include(${CMAKE_CURRENT_LIST_DIR}/${ZEROFIL_TARGET}.cmake)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZEROFIL_TARGET ZEROFIL_MUSL)

file(GLOB lib LIST_DIRECTORIES true ${ZEROFIL_MUSL}/usr/lib/*-linux-musl*)
if(NOT EXISTS ${lib}/libc.a)
  message(FATAL_ERROR "no musl in ${ZEROFIL_MUSL}: scripts/musl.sh unpacks it")
endif()
get_filename_component(musl_triple ${lib} NAME)

# The compiler's C++ headers, then its own (stddef.h and the like), then
# musl's; none of glibc's.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -x c++ -E -v /dev/null
  OUTPUT_QUIET ERROR_VARIABLE search RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${CMAKE_CXX_COMPILER} does not run: ${search}")
endif()
string(REGEX REPLACE ".*search starts here:\n(.*)End of search list.*" "\\1" search "${search}")
string(REGEX MATCHALL "[^ \n]+/c\\+\\+/[^ \n]+" dirs "${search}")
macro(compiler_file var name)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${name}
    OUTPUT_VARIABLE ${var} OUTPUT_STRIP_TRAILING_WHITESPACE)
endmacro()
compiler_file(gcc_include include)
list(APPEND dirs ${gcc_include} ${ZEROFIL_MUSL}/usr/include/${musl_triple})
list(TRANSFORM dirs PREPEND "-isystem ")
list(JOIN dirs " " dirs)
# libstdc++'s os_defines.h asks glibc's version macro; musl is no glibc.
set(CMAKE_CXX_FLAGS_INIT "-nostdinc ${dirs} '-D__GLIBC_PREREQ(a,b)=0'")

# musl's start files and C library, GCC's own start files and runtime.
compiler_file(crtbegin crtbeginT.o)
compiler_file(crtend crtend.o)
compiler_file(libgcc libgcc.a)
set(CMAKE_CXX_LINK_EXECUTABLE
  "<CMAKE_CXX_COMPILER> <FLAGS> <CMAKE_CXX_LINK_FLAGS> <LINK_FLAGS> -static -nostdlib \
${lib}/crt1.o ${lib}/crti.o ${crtbegin} <OBJECTS> -o <TARGET> <LINK_LIBRARIES> \
-Wl,--start-group ${lib}/libc.a ${libgcc} -Wl,--end-group ${crtend} ${lib}/crtn.o")
