# Reads this host: its Debian architecture (host_arch), whether its kernel
# runs 32-bit x86 programs (ZEROFIL_RUNS_I386, and ZEROFIL_RUNS_I386_PROBED)
# and whether it is root (RUNS_AS_ROOT), and the architecture names that
# dpkg and rpm know here (debian_arches, rpm_arches).

# The host: what it runs natively, and whether it is root. Each is probed
# on every configure unless given (-D), so that a check can configure as on
# a host of the other kind; what was probed is not kept.
need_all(ok dpkg-architecture)
if(ok)
  execute_process(COMMAND ${dpkg-architecture} -qDEB_BUILD_ARCH OUTPUT_VARIABLE host_arch
    OUTPUT_STRIP_TRAILING_WHITESPACE)
else()
  execute_process(COMMAND uname -m OUTPUT_VARIABLE host_arch OUTPUT_STRIP_TRAILING_WHITESPACE)
  string(REPLACE "x86_64" "amd64" host_arch "${host_arch}")
endif()
# A 64-bit x86 kernel may or may not run 32-bit programs; Debian's
# libc6-i386 is what runs them where it does.
execute_process(COMMAND /lib/ld-linux.so.2 --version RESULT_VARIABLE failed OUTPUT_QUIET ERROR_QUIET)
set(probed ON)
if(failed)
  set(probed OFF)
endif()
set(ZEROFIL_RUNS_I386_PROBED ${probed})
if(NOT DEFINED ZEROFIL_RUNS_I386)
  set(ZEROFIL_RUNS_I386 ${probed})
endif()
execute_process(COMMAND id -u OUTPUT_VARIABLE uid OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT DEFINED RUNS_AS_ROOT)
  set(RUNS_AS_ROOT OFF)
  if(uid STREQUAL "0")
    set(RUNS_AS_ROOT ON)
  endif()
endif()

# What the architectures may be named: Debian's and the GNU triple as
# dpkg-architecture knows them, rpm's as rpm's own table has them.
find_file(RPMRC rpmrc PATHS /usr/lib/rpm NO_DEFAULT_PATH)
set(rpm_arches "")
if(RPMRC)
  file(STRINGS ${RPMRC} canon REGEX "^arch_canon:")
  foreach(entry IN LISTS canon)
    string(REGEX REPLACE "^arch_canon:[ \t]+([^: \t]+):.*" "\\1" entry "${entry}")
    list(APPEND rpm_arches ${entry})
  endforeach()
endif()
if(dpkg-architecture)
  execute_process(COMMAND ${dpkg-architecture} -L OUTPUT_VARIABLE debian_arches)
  string(REPLACE "\n" ";" debian_arches "${debian_arches}")
endif()
