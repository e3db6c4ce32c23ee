# The release files: the lines of the table of builds that ship, packed by
# scripts/dist.sh into ZEROFIL_DIST_DIR with the source tarball, the bill
# of materials and SHA256SUMS. The tests unpack and run these very files.
#
# This is the one list of release files, written to release-files.tsv in
# the build tree, a file a row under a header that names the columns, which
# every reader takes by name:
#   file      the file's name
#   kind      tar, zip, deb, rpm, source, sbom or sums
#   line      the line of the table it comes from
#   arch      the architecture as the package names it (deb, rpm)
#   tree      the line's build tree
#   unpacked  the folder, below the tests' unpack folder, it unpacks to
#   program   the program's path in that folder
#   notices   the path there of what names the components linked into it
set(ZEROFIL_DIST_DIR ${PROJECT_BINARY_DIR}/dist CACHE PATH "Where the release files go")
set(v ${PROJECT_VERSION})
set(list "file\tkind\tline\tarch\ttree\tunpacked\tprogram\tnotices\n")
set(targets "")
foreach(name IN LISTS lines)
  set(arch ${line_arch_${name}})
  foreach(kind IN LISTS line_ships_${name})
    set(unpacked ${name})
    set(program ${line_file_${name}})
    set(pkg_arch -)
    if(kind STREQUAL "tar")
      set(file zerofil-${v}-${name}.tar.gz)
      set(notices THIRD-PARTY-NOTICES)
    elseif(kind STREQUAL "zip")
      set(file zerofil-${v}-${name}.zip)
      set(notices THIRD-PARTY-NOTICES.txt)
    elseif(kind STREQUAL "deb")
      set(pkg_arch ${arch})
      set(file zerofil_${v}_${pkg_arch}.deb)
      set(program usr/bin/zerofil)
      set(notices usr/share/doc/zerofil/copyright)
    elseif(kind STREQUAL "rpm")
      # Release 1 of packaging/rpm/zerofil; the release checks compare.
      set(pkg_arch ${arch_RPM_${arch}})
      set(file zerofil-${v}-1.${pkg_arch}.rpm)
      set(program usr/bin/zerofil)
      set(notices usr/share/licenses/zerofil-${v}/THIRD-PARTY-NOTICES)
    endif()
    if(kind MATCHES "deb|rpm")
      set(unpacked ${kind}-${pkg_arch})
    endif()
    string(APPEND list "${file}\t${kind}\t${name}\t${pkg_arch}\t${line_tree_${name}}\t${unpacked}\t${program}\t${notices}\n")
  endforeach()
  if(line_ships_${name})
    list(APPEND targets ${line_target_${name}})
  endif()
endforeach()
string(APPEND list "zerofil-${v}.tar.gz\tsource\t-\t-\t-\t-\t-\t-\n")
# The bill of materials of all the files above.
string(APPEND list "zerofil-${v}.spdx.json\tsbom\t-\t-\t-\t-\t-\t-\n")
string(APPEND list "SHA256SUMS\tsums\t-\t-\t-\t-\t-\t-\n")
set(ZEROFIL_RELEASE_FILES ${PROJECT_BINARY_DIR}/release-files.tsv)
file(WRITE ${ZEROFIL_RELEASE_FILES} "${list}")
add_custom_target(dist ALL
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/dist.sh ${ZEROFIL_DIST_DIR} ${v} ${ZEROFIL_RELEASE_FILES}
  DEPENDS ${targets}
  VERBATIM)
