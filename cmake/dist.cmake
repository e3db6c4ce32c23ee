# The release files: the lines of the table of builds that ship, packed by
# scripts/dist.sh into ZEROFIL_DIST_DIR with the source tarball and
# SHA256SUMS. The tests unpack and run these very files.
#
# This is the one list of release files, written to release-files.tsv in
# the build tree: each file's name, its kind, the line it comes from, the
# architecture name it carries and the line's build tree. dist.sh makes
# exactly these, and the release checks expect exactly these.
set(ZEROFIL_DIST_DIR ${PROJECT_BINARY_DIR}/dist CACHE PATH "Where the release files go")
set(v ${PROJECT_VERSION})
set(list "# file\tkind\tline\tarch\ttree\n")
set(targets "")
foreach(name IN LISTS lines)
  foreach(ship IN LISTS line_ships_${name})
    string(REPLACE "=" ";" ship ${ship})
    list(GET ship 0 kind)
    list(GET ship -1 arch)
    if(kind STREQUAL "tar")
      set(file zerofil-${v}-${name}.tar.gz)
    elseif(kind STREQUAL "zip")
      set(file zerofil-${v}-${name}.zip)
    elseif(kind STREQUAL "deb")
      set(file zerofil_${v}_${arch}.deb)
    elseif(kind STREQUAL "rpm")
      # Release 1 of packaging/rpm/zerofil; the release checks compare.
      set(file zerofil-${v}-1.${arch}.rpm)
    else()
      message(FATAL_ERROR "line ${name}: no release file of kind ${kind}")
    endif()
    if(arch STREQUAL kind)
      set(arch -)
    endif()
    string(APPEND list "${file}\t${kind}\t${name}\t${arch}\t${line_tree_${name}}\n")
  endforeach()
  if(line_ships_${name})
    list(APPEND targets ${line_target_${name}})
  endif()
endforeach()
string(APPEND list "zerofil-${v}.tar.gz\tsource\t-\t-\t-\n")
# The bill of materials of all the files above.
string(APPEND list "zerofil-${v}.spdx.json\tsbom\t-\t-\t-\n")
string(APPEND list "SHA256SUMS\tsums\t-\t-\t-\n")
set(ZEROFIL_RELEASE_FILES ${PROJECT_BINARY_DIR}/release-files.tsv)
file(WRITE ${ZEROFIL_RELEASE_FILES} "${list}")
add_custom_target(dist ALL
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/dist.sh ${ZEROFIL_DIST_DIR} ${v} ${ZEROFIL_RELEASE_FILES}
  DEPENDS ${targets}
  VERBATIM)
