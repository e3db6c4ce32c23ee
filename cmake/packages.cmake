# Reads scripts/packages.tsv, the one list of the programs that the build,
# the release and the tests run, with the Debian package of each. Sets
# package_of_PROGRAM and group_of_PROGRAM for each, and gives need() and
# need_all(), through which every check asks for a tool.

# The Debian package of each program a line or a check runs, from the one
# list of them, which scripts/deps.sh installs from: package_of_PROGRAM.
set(packages_file ${PROJECT_SOURCE_DIR}/scripts/packages.tsv)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${packages_file})
file(STRINGS ${packages_file} rows)
set(n 0)
foreach(row IN LISTS rows)
  math(EXPR n "${n} + 1")
  if(row MATCHES "^(#|$)")
    continue()
  endif()
  if(NOT row MATCHES "^([^\t ]+)\t([a-z0-9][a-z0-9+.-]+)\t(build|dist|test|bench)$")
    message(FATAL_ERROR "scripts/packages.tsv:${n}: not \"program<TAB>package<TAB>build|dist|test|bench\": ${row}")
  endif()
  set(package_of_${CMAKE_MATCH_1} ${CMAKE_MATCH_2})
  set(group_of_${CMAKE_MATCH_1} ${CMAKE_MATCH_3})
endforeach()

# A tool named here counts as missing, found or not: how a check
# configures as on a host without it.
set(ZEROFIL_MISSING "" CACHE STRING "Tools to take as missing (a list), as on a host without them")

# need(VAR WHAT [REQUIRED]): VAR names a tool or capability that the
# checks, or a release file, cannot do without
function(need var what)
  if(NOT ${var} OR what IN_LIST ZEROFIL_MISSING)
    set(why "${what} is missing: apt-get install ${package_of_${what}}, or scripts/deps.sh test")
    if(var STREQUAL "RUNS_AS_ROOT")
      set(what "root")
      set(why "the Debian roots are made and entered as root only: run as root")
    elseif(NOT DEFINED package_of_${what})
      set(why "${what} is false")
    endif()
    if(ZEROFIL_CHECKS OR ARGN)
      message(FATAL_ERROR "${why}")
    endif()
    message(STATUS "Skipping the checks that need ${what}")
  endif()
endfunction()

# need_all(VAR [REQUIRED] NAMES...): VAR is true when each NAME is a program
# of scripts/packages.tsv that is found, or else a true variable; the names
# missing are in VAR_missing, and each is reported. A program is looked for
# again on each configure until it is found: one installed after the last
# configure is found on the next.
function(need_all var)
  set(missing "")
  set(required "")
  foreach(n IN LISTS ARGN)
    if(n STREQUAL "REQUIRED")
      set(required REQUIRED)
      continue()
    endif()
    if(group_of_${n} STREQUAL "bench")
      # scripts/deps.sh test, which CI runs, installs no bench row.
      message(FATAL_ERROR "${n}: a program of the bench group of scripts/packages.tsv, which the build, the "
        "release and the suite may not need: give it the group build, dist or test")
    endif()
    if(DEFINED package_of_${n})
      if(n MATCHES "^/")
        # A file's path: the file is there, or not.
        set(${n} OFF)
        if(EXISTS ${n})
          set(${n} ${n})
        endif()
      else()
        find_program(${n} ${n} PATHS /usr/lib/wine /usr/sbin /sbin)
      endif()
    elseif(NOT DEFINED ${n})
      message(FATAL_ERROR "${n}: no program of scripts/packages.tsv, nor a variable: add the program, with "
        "the Debian package that provides it")
    endif()
    need(${n} ${n} ${required})
    if(NOT ${n} OR n IN_LIST ZEROFIL_MISSING)
      list(APPEND missing ${n})
    endif()
  endforeach()
  if(missing)
    set(${var} OFF PARENT_SCOPE)
  else()
    set(${var} ON PARENT_SCOPE)
  endif()
  set(${var}_missing ${missing} PARENT_SCOPE)
endfunction()
