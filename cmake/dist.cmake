# The release files: the lines of the table of builds that ship, packed by
# scripts/dist.sh into ZEROFIL_DIST_DIR with the source tarball and
# SHA256SUMS. The tests unpack and run these very files.
set(ZEROFIL_DIST_DIR ${PROJECT_BINARY_DIR}/dist CACHE PATH "Where the release files go")
set(lines "")
set(targets "")
foreach(name IN LISTS zerofil_builds)
  if(zb_ships_${name})
    string(REPLACE ";" "," ships "${zb_ships_${name}}")
    list(APPEND lines "${name}:${ships}:${zb_dir_${name}}")
    list(APPEND targets ${zb_target_${name}})
  endif()
endforeach()
add_custom_target(dist ALL
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/dist.sh ${ZEROFIL_DIST_DIR} ${PROJECT_VERSION} ${lines}
  DEPENDS ${targets}
  VERBATIM)
