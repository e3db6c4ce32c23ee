# Reads the bats files, tests/zerofil.bats and tests/builds.bats: the rows
# a line may run. Sets cases_zerofil and cases_builds ("GROUP|NAME|TAGS"
# each), row_groups (table and the groups of builds.bats) and row_tags.

# The rows: the cases of each bats file, "GROUP|NAME|TAGS" each, where
# GROUP is the word before a colon in builds.bats and "table" in
# zerofil.bats, and TAGS are those of its "# bats test_tags=" line.
set(row_groups table)
set(row_tags "")
foreach(file zerofil builds)
  set(path ${PROJECT_SOURCE_DIR}/tests/${file}.bats)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${path})
  file(STRINGS ${path} found REGEX "^(@test |# bats test_tags=)")
  set(tags "")
  set(cases_${file} "")
  foreach(entry IN LISTS found)
    if(entry MATCHES "^# bats test_tags=(.*)")
      string(REPLACE "," ";" tags "${CMAKE_MATCH_1}")
      list(APPEND row_tags ${tags})
      string(REPLACE ";" "/" tags "${tags}")
      continue()
    endif()
    # A line with a ';' splits into list items; only the head names a case.
    if(NOT entry MATCHES "^@test \"(([a-z0-9-]+): )?([^\"]+)\"")
      continue()
    endif()
    set(case "${CMAKE_MATCH_1}${CMAKE_MATCH_3}")
    set(group ${CMAKE_MATCH_2})
    if(file STREQUAL "zerofil")
      set(group table)
    endif()
    if(NOT case MATCHES "^[A-Za-z0-9 :,-]+$")
      message(FATAL_ERROR "${path}: \"${case}\": case names are plain words, they become filters")
    endif()
    list(APPEND row_groups ${group})
    list(APPEND cases_${file} "${group}|${case}|${tags}")
    set(tags "")
  endforeach()
endforeach()
list(REMOVE_DUPLICATES row_groups)
list(REMOVE_DUPLICATES row_tags)
