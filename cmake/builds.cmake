# The table of builds: every build of the program, a line each. The test
# preset builds them all and runs their rows (tests/CMakeLists.txt); the
# dist preset builds only those that ship, and packs them (dist.cmake). Both
# presets pack the same lines the same way, so the programs tested are the
# programs shipped.
#
# line(NAME NEEDS HOW RUNNER ROWS [SHIPS])
#   NEEDS   tools (programs, or true variables) without which it is skipped
#   HOW     CMake arguments for a tree of its own; musl:ARCH: a static
#           program on musl for ARCH (Debian's name; cmake/musl.cmake);
#           empty: this tree's program; =OTHER: the program of line OTHER
#   RUNNER  what runs it, KIND[:WHAT] and then any arguments of its own:
#           host (this machine), qemu:CPU (qemu-user), wine (a Windows
#           build, zerofil.exe), vm:ARCH (Debian's kernel for ARCH,
#           tests/vm.sh) or root:SUITE (a Debian root, tests/root.sh)
#   ROWS    "table" (tests/zerofil.bats), "sample" (its rows tagged so),
#           and groups of tests/builds.bats
#   SHIPS   the release files made from it: tar, zip, deb=ARCH (Debian's
#           name of its architecture), rpm=ARCH (rpm's); dist.cmake names
#           each file

include(ExternalProject)

# need(VAR WHAT [REQUIRED]): VAR names a tool or capability that the
# checks, or a release file, cannot do without
function(need var what)
  if(NOT ${var})
    set(why "${what} is missing; scripts/deps.sh test installs it")
    if(var STREQUAL "RUNS_AS_ROOT")
      set(what "root")
      set(why "the Debian roots are made and entered as root only: run as root")
    endif()
    if(ZEROFIL_CHECKS OR ARGN)
      message(FATAL_ERROR "${why}")
    endif()
    message(STATUS "Skipping the checks that need ${what}")
  endif()
endfunction()

# need_all(VAR [REQUIRED] NAMES...): VAR is true when each NAME is a true
# variable or a program found (on PATH or in Wine's folder); each missing
# one is reported.
function(need_all var)
  set(all ON)
  set(required "")
  foreach(n IN LISTS ARGN)
    if(n STREQUAL "REQUIRED")
      set(required REQUIRED)
      continue()
    endif()
    if(NOT DEFINED ${n})
      find_program(${n} ${n} PATHS /usr/lib/wine)
    endif()
    need(${n} ${n} ${required})
    if(NOT ${n})
      set(all OFF)
    endif()
  endforeach()
  set(${var} ${all} PARENT_SCOPE)
endfunction()

# line(...): see above. Lines that neither ship nor are tested here are
# left out. For each other line found, sets line_target_NAME (what builds
# it), line_exe_NAME (the program to test), line_tree_NAME (its build
# tree), line_kind_NAME and line_runner_NAME (the command that runs it),
# line_rows_NAME and line_ships_NAME, and appends NAME to lines.
macro(line name needs how runner rows)
  set(ships "${ARGN}")
  if(ships OR BUILD_TESTING)
    zerofil_line(${name} "${needs}" "${how}" "${runner}" "${rows}" "${ships}")
  endif()
endmacro()

function(zerofil_line name needs how runner rows ships)
  # The kind, and the program that runs the line's (found below).
  list(POP_FRONT runner head)
  string(REPLACE ":" ";" head ${head})
  list(GET head 0 kind)
  list(GET head -1 what)
  set(file zerofil)
  set(tool "")
  set(tools "")
  if(kind STREQUAL "qemu")
    set(tool qemu-${what})
  elseif(kind STREQUAL "wine")
    set(tool wine64)
    set(file zerofil.exe)
  elseif(kind STREQUAL "vm")
    set(tools mmdebstrap cpio)
    list(PREPEND runner ${PROJECT_SOURCE_DIR}/tests/vm.sh ${CMAKE_BINARY_DIR}/vm/${what})
  elseif(kind STREQUAL "root")
    set(tools RUNS_AS_ROOT mmdebstrap unshare)
    list(PREPEND runner ${PROJECT_SOURCE_DIR}/tests/root.sh ${CMAKE_BINARY_DIR}/roots/${what})
  elseif(NOT kind STREQUAL "host")
    message(FATAL_ERROR "line ${name}: no runner of kind ${kind}")
  endif()
  # What runs a line is needed for its tests only.
  if(NOT BUILD_TESTING)
    set(tool "")
    set(tools "")
  endif()
  set(required "")
  if(ships AND ZEROFIL_DIST)
    set(required REQUIRED)
  endif()
  set(depends "")
  if(how MATCHES "^musl:(.*)")
    # musl from Debian's package, unpacked for the architecture once.
    set(arch ${CMAKE_MATCH_1})
    need_all(ok ${required} dpkg-architecture)
    if(NOT ok)
      return()
    endif()
    execute_process(COMMAND ${dpkg-architecture} -a ${arch} -qDEB_HOST_GNU_TYPE
      OUTPUT_VARIABLE triple OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    list(APPEND tools mmdebstrap ${triple}-g++ ${triple}-objcopy)
    set(musl ${CMAKE_BINARY_DIR}/musl/${arch})
    set(how -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/musl.cmake -DZEROFIL_TARGET=${triple}
      -DZEROFIL_MUSL=${musl} -DZEROFIL_STATIC=ON)
    set(depends musl-${arch})
  endif()
  if(ships)
    list(APPEND tools PYTHON3)
    find_program(PYTHON3 python3)
  endif()
  if(ships MATCHES "rpm")
    list(APPEND tools rpmbuild)
  endif()
  need_all(ok ${required} ${needs} ${tool} ${tools})
  if(NOT ok)
    return()
  endif()
  if(tool)
    list(PREPEND runner ${${tool}})
  endif()
  set(tree ${CMAKE_BINARY_DIR}/builds/${name})
  if(kind STREQUAL "root")
    # Built inside that root by its own compiler (tests/root.sh).
    set(target "")
    set(exe ${CMAKE_BINARY_DIR}/roots/${what}/src/build/${file})
  elseif(how MATCHES "^=(.*)")
    if(NOT CMAKE_MATCH_1 IN_LIST lines)
      message(STATUS "Skipping ${name}: it runs the program of ${CMAKE_MATCH_1}, which is skipped")
      return()
    endif()
    set(target ${line_target_${CMAKE_MATCH_1}})
    set(exe ${line_exe_${CMAKE_MATCH_1}})
  elseif(how)
    if(ships)
      list(APPEND how -DZEROFIL_NOTICES=ON)
    endif()
    if(ships MATCHES "deb=([^;]*)")
      list(APPEND how -DZEROFIL_DEBIAN=ON -DZEROFIL_DEBIAN_ARCH=${CMAKE_MATCH_1} -DCMAKE_INSTALL_PREFIX=/usr)
    endif()
    if(depends AND NOT TARGET ${depends})
      add_custom_target(${depends} COMMAND ${PROJECT_SOURCE_DIR}/scripts/musl.sh ${musl} ${arch} ${triple}
        COMMENT "musl for ${arch}" VERBATIM)
    endif()
    ExternalProject_Add(zerofil-${name}
      DEPENDS ${depends}
      SOURCE_DIR ${PROJECT_SOURCE_DIR}
      BINARY_DIR ${tree}
      CMAKE_ARGS -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DBUILD_TESTING=OFF
        -DZEROFIL_WERROR=${ZEROFIL_WERROR} ${how}
      BUILD_ALWAYS ON
      INSTALL_COMMAND "")
    set(target zerofil-${name})
    set(exe ${tree}/${file})
  else()
    set(target zerofil)
    set(exe $<TARGET_FILE:zerofil>)
  endif()
  if(ships)
    # What is tested is the program unpacked from the release file.
    set(exe ${CMAKE_BINARY_DIR}/unpacked/${name}/${file})
  endif()
  foreach(field target exe tree kind runner rows ships)
    set(line_${field}_${name} "${${field}}" PARENT_SCOPE)
  endforeach()
  set(lines ${lines} ${name} PARENT_SCOPE)
endfunction()

# Sanitizers where the compiler has them.
include(CheckCXXSourceCompiles)
set(sanitize "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer")
if(BUILD_TESTING)
  set(CMAKE_REQUIRED_FLAGS ${sanitize})
  set(CMAKE_REQUIRED_LINK_OPTIONS -fsanitize=address,undefined)
  check_cxx_source_compiles("int main() { return 0; }" HAVE_SANITIZERS)
  unset(CMAKE_REQUIRED_FLAGS)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
endif()
# 32-bit x86 programs run natively where the kernel and Debian's libc6-i386
# allow, and under qemu-i386 with the cross toolchain's C library otherwise.
execute_process(COMMAND /lib/ld-linux.so.2 --version RESULT_VARIABLE no_native_i686 OUTPUT_QUIET ERROR_QUIET)
set(i686_runner host)
if(no_native_i686)
  set(i686_runner "qemu:i386;-L;/usr/i686-linux-gnu")
endif()
# A Debian root is made, entered and mounted in as root only.
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(uid STREQUAL "0")
  set(RUNS_AS_ROOT ON)
endif()
# Each cross toolchain: its file, and its compiler (for MinGW-w64, set below).
foreach(pair i686=i686-linux-gnu aarch64=aarch64-linux-gnu armhf=arm-linux-gnueabihf
    riscv64=riscv64-linux-gnu mingw=mingw-w64-x86_64)
  string(REPLACE "=" ";" pair ${pair})
  list(GET pair 0 var)
  list(GET pair 1 triple)
  set(${var} -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/${triple}.cmake)
  set(${var}_cxx ${triple}-g++)
endforeach()
set(mingw_cxx x86_64-w64-mingw32-g++-posix)
set(cygwin -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/cygwin-mingw.cmake)
set(static -DZEROFIL_STATIC=ON)
# Without 64-bit offsets; Debian 13 armhf defaults to 64-bit time, which
# needs them.
set(no_lfs "-DCMAKE_CXX_FLAGS=-U_FILE_OFFSET_BITS -U_TIME_BITS")

#    name                    needs                  how it is built                     what runs it   rows                   ships
line(native                  ""                     ""                                  host           "table;large;dynamic")
line(asan                    HAVE_SANITIZERS        "-DCMAKE_CXX_FLAGS=${sanitize};-DCMAKE_EXE_LINKER_FLAGS=${sanitize}" host table)
line(clang                   clang++                -DCMAKE_CXX_COMPILER=clang++        host           "table;dynamic")
line(i686                    ${i686_cxx}            ${i686}                             ${i686_runner} "table;large;dynamic;lfs")
line(i686-32bit-offsets      ${i686_cxx}            "${i686};${no_lfs}"                 ${i686_runner} "control;nolfs")
line(linux-x86_64            ""                     musl:amd64                          host           "table;static"         "tar;deb=amd64;rpm=x86_64")
line(linux-aarch64           ""                     musl:arm64                          qemu:aarch64   "table;large;static"   "tar;deb=arm64;rpm=aarch64")
line(linux-armhf             ""                     musl:armhf                          qemu:arm       "table;large;static"   "tar;deb=armhf;rpm=armv7hl")
line(linux-riscv64           ""                     musl:riscv64                        qemu:riscv64   "table;large;static"   "tar;rpm=riscv64")
line(windows-x86_64          ${mingw_cxx}           ${mingw}                            wine           "table;large;pe"       zip)
line(windows-no-manifest     ${mingw_cxx}           "${mingw};-DZEROFIL_MANIFEST=OFF"   wine           table)
line(cygwin-platform         ${mingw_cxx}           ${cygwin}                           host           "")
line(vm-armhf                qemu-system-arm        =linux-armhf                        vm:armhf       "sample;large")
line(vm-armhf-32bit-offsets  "${armhf_cxx};qemu-system-arm" "${armhf};${static};${no_lfs}" vm:armhf    control)
line(vm-aarch64              qemu-system-aarch64    =linux-aarch64                      vm:arm64       "sample;large")
line(vm-i686                 "${i686_cxx};qemu-system-x86_64" "${i686};${static}"       vm:amd64       "sample;large")
line(vm-i686-32bit-offsets   "${i686_cxx};qemu-system-x86_64" "${i686};${static};${no_lfs}" vm:amd64   control)
line(bullseye                ""                     ""                                  root:bullseye  table)
line(bookworm                ""                     ""                                  root:bookworm  table)
line(trixie                  ""                     ""                                  root:trixie    table)
