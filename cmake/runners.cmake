# Reads what can run a line's program: the machines and boards of
# tests/vm.sh, the file systems of tests/fs.sh and Debian's suites
# (distro-info). Sets the kinds of runner (runner_kinds, with the place
# each names and its label) and gives runner_of, which says how a line's
# program runs with one.

# The Wine prefix of the tests: the Windows programs run there, and the
# installer installs there.
set(wine_prefix ${CMAKE_BINARY_DIR}/wineprefix)

# The places a runner may name, each listed by what provides it: the
# machines whose kernel tests/vm.sh boots (by Debian's architecture), those
# of them that are boards, the file systems of tests/fs.sh (those with a disk on the disks machine, and
# those mounted through FUSE), and Debian's suites (distro-info).
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tests/vm.sh machines OUTPUT_VARIABLE vm_machines
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE " " ";" vm_machines "${vm_machines}")
list(REMOVE_ITEM vm_machines disks)
# Each machine's suite and qemu-system program (vm_suite_NAME, vm_qemu_NAME).
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tests/vm.sh qemu OUTPUT_VARIABLE vm_qemus
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "\n" ";" vm_qemus "${vm_qemus}")
foreach(machine IN LISTS vm_qemus)
  string(REPLACE " " ";" machine "${machine}")
  list(GET machine 0 name)
  list(GET machine 1 vm_suite_${name})
  list(GET machine 2 vm_qemu_${name})
endforeach()
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tests/vm.sh boards OUTPUT_VARIABLE vm_boards
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE " " ";" vm_boards "${vm_boards}")
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tests/fs.sh disks OUTPUT_VARIABLE disk_fs COMMAND_ERROR_IS_FATAL ANY)
string(REGEX REPLACE " [^\n]*\n" ";" disk_fs "${disk_fs}")
execute_process(COMMAND ${PROJECT_SOURCE_DIR}/tests/fs.sh fuse OUTPUT_VARIABLE fuse_fs
  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE " " ";" fuse_fs "${fuse_fs}")
# Debian's suites by their code name (series), with the version of each.
set(debian_suites "")
need_all(ok /usr/share/distro-info/debian.csv)
if(ok)
  file(STRINGS /usr/share/distro-info/debian.csv releases)
  foreach(release IN LISTS releases)
    if(release MATCHES "^([0-9.]*),[^,]*,([a-z]+),")
      list(APPEND debian_suites ${CMAKE_MATCH_2})
      set(debian_version_${CMAKE_MATCH_2} ${CMAKE_MATCH_1})
    endif()
  endforeach()
endif()

# The kinds of runner, each once: the place it names after a colon, and
# the list that place must be in; the label its tests carry; what runs it
# (runner_of below).
#   kind(NAME [PLACE WHAT LIST] [LABEL label])
set(runner_kinds "")
function(kind name)
  cmake_parse_arguments(PARSE_ARGV 1 a "" "LABEL" "PLACE")
  set(kind_place_${name} ${a_PLACE} PARENT_SCOPE)
  set(kind_label_${name} ${a_LABEL} PARENT_SCOPE)
  set(runner_kinds ${runner_kinds} ${name} PARENT_SCOPE)
endfunction()
kind(none)
kind(host)
kind(qemu)
kind(wine)
kind(msi)
kind(vm   PLACE ARCH vm_machines LABEL system)
kind(board PLACE ARCH vm_boards LABEL system)
kind(root PLACE SUITE debian_suites LABEL distros)
kind(disk PLACE FS disk_fs LABEL disks)
kind(fuse PLACE FS fuse_fs LABEL disks)
set(kinds_said "")
foreach(k IN LISTS runner_kinds)
  if(kind_place_${k})
    list(GET kind_place_${k} 0 w)
    list(APPEND kinds_said "${k}:${w}")
  else()
    list(APPEND kinds_said ${k})
  endif()
endforeach()
list(JOIN kinds_said ", " kinds_said)

# runner_of: what runs the line's program (for program_arch) with a runner
# of its kind, at its place: runs (the summary's words), tools (what it
# needs here), runner (the command before the program), not_here (why it
# cannot run on this host)
macro(runner_of)
  set(runner "")
  set(tools "")
  set(not_here "")
  set(qemu_arch ${arch_QEMU_${program_arch}})
  if(kind MATCHES "^(host|fuse)$")
    set(runs "natively")
    if(program_arch STREQUAL "i386" AND host_arch STREQUAL "amd64")
      if(NOT ZEROFIL_RUNS_I386)
        set(not_here "this machine's kernel refuses 32-bit x86 programs")
      endif()
    elseif(program_arch AND NOT program_arch STREQUAL host_arch)
      set(not_here "this ${host_arch} machine runs no ${program_arch} programs")
    endif()
  endif()
  if(kind STREQUAL "none")
    set(runs "built only")
  elseif(kind STREQUAL "qemu")
    # On the oldest CPU that the packages of the line must run on.
    set(tools qemu-${qemu_arch})
    set(runner -L /usr/${arch_TRIPLE_${program_arch}})
    set(runs "qemu-user (qemu-${qemu_arch})")
    if(arch_CPU_${package_arch})
      list(APPEND runner -cpu ${arch_CPU_${package_arch}})
      set(runs "qemu-user (qemu-${qemu_arch} -cpu ${arch_CPU_${package_arch}})")
    endif()
  elseif(kind MATCHES "^(wine|msi)$")
    set(tools wine64)
    set(runs "Wine")
    if(kind STREQUAL "msi")
      set(runs "Wine, installed from the release's MSI (tests/msi.sh)")
    endif()
  elseif(kind STREQUAL "vm")
    set(tools ${vm_qemu_${place}} mmdebstrap cpio xz)
    set(runner ${PROJECT_SOURCE_DIR}/tests/vm.sh ${CMAKE_BINARY_DIR}/vm/${place})
    set(runs "Debian's ${place} kernel (${vm_qemu_${place}})")
  elseif(kind STREQUAL "board")
    set(tools ${vm_qemu_${place}} mmdebstrap cpio xz)
    set(runner ${PROJECT_SOURCE_DIR}/tests/vm.sh ${CMAKE_BINARY_DIR}/vm/${place})
    set(runs "Debian's ${place} kernel on an emulated board, the rows on it (${vm_qemu_${place}})")
  elseif(kind STREQUAL "root")
    set(tools RUNS_AS_ROOT mmdebstrap unshare)
    set(runner ${PROJECT_SOURCE_DIR}/tests/root.sh ${CMAKE_BINARY_DIR}/roots/${place})
    set(runs "a fresh Debian ${debian_version_${place}} (${place}) root")
  elseif(kind STREQUAL "disk")
    set(tools RUNS_AS_ROOT ${vm_qemu_disks} mmdebstrap cpio xz mkfs.ext4)
    set(runner ${PROJECT_SOURCE_DIR}/tests/vm.sh ${CMAKE_BINARY_DIR}/vm/disks)
    set(runs "${place} on Debian ${debian_version_${vm_suite_disks}}'s amd64 kernel (${vm_qemu_disks})")
  elseif(kind STREQUAL "fuse")
    set(tools RUNS_AS_ROOT losetup)
    if(place STREQUAL "ntfs-3g")
      list(APPEND tools ntfs-3g mkntfs)
    else()
      list(APPEND tools mount.exfat-fuse mkfs.exfat)
    endif()
    set(runs "${place} through FUSE, natively")
  endif()
endmacro()
