# The table of builds: every build of the program, a line each. The test
# preset builds them all and runs their rows (tests/CMakeLists.txt); the
# dist preset builds only those that ship, and packs them (dist.cmake). Both
# presets pack the same lines the same way, so the programs tested are the
# programs shipped.
#
# build(NAME NEEDS HOW RUNNER ROWS [SHIPS])
#   NEEDS   tools (programs, or true variables) without which it is skipped
#   HOW     CMake arguments for a tree of its own; empty: this tree's
#           program; =OTHER: the program of line OTHER
#   RUNNER  what runs it: empty (this machine), an emulator and its
#           arguments, vm:ARCH (Debian's kernel for ARCH, tests/vm.sh) or
#           root:SUITE (a Debian root, tests/root.sh). A Wine runner makes
#           it a Windows build: zerofil.exe, run as Windows runs it.
#   ROWS    "table" (tests/zerofil.bats), "few" (some of its rows), and
#           groups of tests/builds.bats
#   SHIPS   tar, deb, zip: the release files made from it

include(ExternalProject)

# need(VAR what [REQUIRED]): VAR names a tool or capability the checks, or
# a release file, cannot do without
function(need var what)
  if(NOT ${var})
    if(ZEROFIL_CHECKS OR ARGN)
      message(FATAL_ERROR "${what} is missing; scripts/deps.sh test installs it")
    endif()
    message(STATUS "Skipping the checks that need ${what}")
  endif()
endfunction()

# found(VAR [REQUIRED] NAMES...): VAR is true when each NAME is a true
# variable or a program found (on PATH or in Wine's folder); each missing
# one is reported.
function(found var)
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

# build(...): see above. Lines that neither ship nor are tested here are
# left out. For each other line found, sets zb_target_NAME (what builds it),
# zb_exe_NAME (the program to test), zb_dir_NAME (its tree), zb_runner_NAME,
# zb_rows_NAME and zb_ships_NAME, and appends NAME to zerofil_builds.
macro(build name needs how runner rows)
  set(ships "${ARGN}")
  if(ships OR BUILD_TESTING)
    zerofil_line(${name} "${needs}" "${how}" "${runner}" "${rows}" "${ships}")
  endif()
endmacro()

function(zerofil_line name needs how runner rows ships)
  set(run "")
  set(tools "")
  if(runner MATCHES "^vm:")
    set(tools mmdebstrap cpio)
  elseif(runner MATCHES "^root:")
    set(tools mmdebstrap unshare)
  elseif(runner)
    list(GET runner 0 run)
  endif()
  if(runner MATCHES "^root:" AND NOT uid STREQUAL "0")
    message(STATUS "Skipping ${name}: a Debian root needs root")
    return()
  endif()
  set(required "")
  if(ships AND ZEROFIL_DIST)
    set(required REQUIRED)
  endif()
  found(ok ${required} ${needs} ${run} ${tools})
  if(NOT ok)
    return()
  endif()
  if(runner MATCHES "^wine")
    set(exe zerofil.exe)
  else()
    set(exe zerofil)
  endif()
  if(run)
    list(TRANSFORM runner REPLACE "^${run}$" "${${run}}")
  endif()
  set(dir ${CMAKE_BINARY_DIR}/builds/${name})
  if(runner MATCHES "^root:(.*)")
    # Built inside that root by its own compiler (tests/root.sh).
    set(target "")
    set(exe_path ${CMAKE_BINARY_DIR}/roots/${CMAKE_MATCH_1}/src/build/${exe})
  elseif(how MATCHES "^=(.*)")
    set(target ${zb_target_${CMAKE_MATCH_1}})
    set(exe_path ${zb_exe_${CMAKE_MATCH_1}})
  elseif(how)
    if(ships MATCHES "deb")
      list(APPEND how -DZEROFIL_DEBIAN=ON -DCMAKE_INSTALL_PREFIX=/usr)
    endif()
    ExternalProject_Add(zerofil-${name}
      SOURCE_DIR ${PROJECT_SOURCE_DIR}
      BINARY_DIR ${dir}
      CMAKE_ARGS -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DBUILD_TESTING=OFF
        -DZEROFIL_WERROR=${ZEROFIL_WERROR} ${how}
      BUILD_ALWAYS ON
      INSTALL_COMMAND "")
    set(target zerofil-${name})
    set(exe_path ${dir}/${exe})
  else()
    set(target zerofil)
    set(exe_path $<TARGET_FILE:zerofil>)
  endif()
  if(ships)
    # What is tested is the program unpacked from the release file.
    set(exe_path ${CMAKE_BINARY_DIR}/unpacked/${name}/${exe})
  endif()
  set(zb_target_${name} ${target} PARENT_SCOPE)
  set(zb_exe_${name} ${exe_path} PARENT_SCOPE)
  set(zb_dir_${name} ${dir} PARENT_SCOPE)
  set(zb_runner_${name} "${runner}" PARENT_SCOPE)
  set(zb_rows_${name} "${rows}" PARENT_SCOPE)
  set(zb_ships_${name} "${ships}" PARENT_SCOPE)
  set(zerofil_builds ${zerofil_builds} ${name} PARENT_SCOPE)
endfunction()

# Sanitizers where the compiler has them.
include(CheckCXXSourceCompiles)
set(san "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer")
if(BUILD_TESTING)
  set(CMAKE_REQUIRED_FLAGS ${san})
  set(CMAKE_REQUIRED_LINK_OPTIONS -fsanitize=address,undefined)
  check_cxx_source_compiles("int main() { return 0; }" HAVE_SANITIZERS)
  unset(CMAKE_REQUIRED_FLAGS)
  unset(CMAKE_REQUIRED_LINK_OPTIONS)
endif()
# 32-bit x86 programs run natively where the kernel and Debian's libc6-i386
# allow, and under qemu-i386 with the cross toolchain's C library otherwise.
execute_process(COMMAND /lib/ld-linux.so.2 --version RESULT_VARIABLE no32 OUTPUT_QUIET ERROR_QUIET)
set(run32 "")
if(no32)
  set(run32 "qemu-i386;-L;/usr/i686-linux-gnu")
endif()
# A Debian root is made, entered and mounted in as root only.
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
# Each cross toolchain: its file and its compiler.
set(tc -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake)
foreach(pair x86=i686-linux-gnu a64=aarch64-linux-gnu arm=arm-linux-gnueabihf rv=riscv64-linux-gnu)
  string(REPLACE "=" ";" pair ${pair})
  list(GET pair 0 var)
  list(GET pair 1 triple)
  set(${var} ${tc}/${triple}.cmake)
  set(${var}_cc ${triple}-g++)
endforeach()
set(win ${tc}/mingw-w64-x86_64.cmake)
set(win_cc x86_64-w64-mingw32-g++-posix)
set(static -DZEROFIL_STATIC=ON)
# Without 64-bit offsets; Debian 13 armhf defaults to 64-bit time, which
# needs them.
set(small "-DCMAKE_CXX_FLAGS=-U_FILE_OFFSET_BITS -U_TIME_BITS")

#     name                needs                        how it is built                            what runs it  rows                 ships
build(native              ""                           ""                                         ""            "table;large;dynamic")
build(asan                HAVE_SANITIZERS              "-DCMAKE_CXX_FLAGS=${san};-DCMAKE_EXE_LINKER_FLAGS=${san}" "" table)
build(clang               clang++                      -DCMAKE_CXX_COMPILER=clang++               ""            "table;dynamic")
build(m32                 ${x86_cc}                    ${x86}                                     "${run32}"    "table;large;dynamic;lfs")
build(m32-small-offsets   ${x86_cc}                    "${x86};${small}"                          "${run32}"    "control;nolfs")
build(linux-x86_64        ""                           ${static}                                  ""            "table;static"       "tar;deb")
build(linux-aarch64       ${a64_cc}                    "${a64};${static}"                         qemu-aarch64  "table;large;static" "tar;deb")
build(linux-armhf         ${arm_cc}                    "${arm};${static}"                         qemu-arm      "table;large;static" "tar;deb")
build(linux-riscv64       ${rv_cc}                     "${rv};${static}"                          qemu-riscv64  "table;large;static" tar)
build(windows-x86_64      ${win_cc}                    ${win}                                     wine64        "table;large;pe"     zip)
build(windows-no-manifest ${win_cc}                    "${win};-DZEROFIL_MANIFEST=OFF"            wine64        table)
build(cygwin-platform     ${win_cc}                    ${tc}/cygwin-mingw.cmake                   ""            "")
build(vm-armhf            "${arm_cc};qemu-system-arm"  =linux-armhf                               vm:armhf      "few;large")
build(vm-armhf-control    "${arm_cc};qemu-system-arm"  "${arm};${static};${small}"                vm:armhf      control)
build(vm-arm64            "${a64_cc};qemu-system-aarch64" =linux-aarch64                          vm:arm64      "few;large")
build(vm-i386             "${x86_cc};qemu-system-x86_64"  "${x86};${static}"                      vm:amd64      "few;large")
build(vm-i386-control     "${x86_cc};qemu-system-x86_64"  "${x86};${static};${small}"             vm:amd64      control)
build(bullseye            ""                           ""                                         root:bullseye table)
build(bookworm            ""                           ""                                         root:bookworm table)
build(trixie              ""                           ""                                         root:trixie   table)
