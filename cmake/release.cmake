# Before a release: the places that must agree with the version in
# project(), checked whenever release files are made. The release date is
# that of the changelog's top entry.
set(debian ${PROJECT_SOURCE_DIR}/packaging/debian)
file(STRINGS ${debian}/changelog entries REGEX "^(zerofil \\(| -- )")
list(GET entries 0 top)
list(GET entries 1 trailer)
if(NOT top MATCHES "^zerofil \\(${PROJECT_VERSION}\\) ([A-Za-z-]+);")
  message(FATAL_ERROR "packaging/debian/changelog: the top entry is not ${PROJECT_VERSION}; add one")
endif()
# An entry for UNRELEASED is the next version, not yet released: its files
# are for testing, and the release command says so.
set(ZEROFIL_RELEASED ON)
if(CMAKE_MATCH_1 STREQUAL "UNRELEASED")
  set(ZEROFIL_RELEASED OFF)
elseif(NOT CMAKE_MATCH_1 STREQUAL "unstable")
  message(FATAL_ERROR "packaging/debian/changelog: the top entry is for \"${CMAKE_MATCH_1}\": "
    "unstable once released, UNRELEASED until then")
endif()
if(NOT trailer MATCHES ", ([0-9]+) ([A-Z][a-z][a-z]) ([0-9]+) ")
  message(FATAL_ERROR "packaging/debian/changelog: no date in \"${trailer}\"")
endif()
math(EXPR day "${CMAKE_MATCH_1}")
set(year ${CMAKE_MATCH_3})
set(months Jan=January Feb=February Mar=March Apr=April May=May Jun=June Jul=July Aug=August
  Sep=September Oct=October Nov=November Dec=December)
list(FILTER months INCLUDE REGEX "^${CMAKE_MATCH_2}=")
string(REGEX REPLACE ".*=" "" month "${months}")

file(STRINGS sw/tools/conv/zerofil.1 dd REGEX "^\\.Dd ")
if(NOT dd STREQUAL ".Dd ${month} ${day}, ${year}")
  message(FATAL_ERROR "sw/tools/conv/zerofil.1: \"${dd}\" is not the release date of the changelog, "
    "${month} ${day}, ${year}")
endif()
# The copyright of packaging/about, which LICENSE and the Debian copyright
# file give too.
if(NOT ZEROFIL_ABOUT_Copyright MATCHES "(^|[^0-9])${year} ")
  message(FATAL_ERROR "packaging/about: the copyright years do not reach ${year}, the year of the release")
endif()
foreach(place LICENSE packaging/debian/copyright)
  file(STRINGS ${place} lines REGEX "^Copyright")
  if(NOT lines MATCHES "^Copyright(:| \\(c\\)) ${ZEROFIL_ABOUT_Copyright}$")
    message(FATAL_ERROR "${place}: \"${lines}\" is not the copyright of packaging/about, "
      "${ZEROFIL_ABOUT_Copyright}")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${place})
endforeach()
# The manual page's NAME gives the summary.
file(STRINGS sw/tools/conv/zerofil.1 nd REGEX "^\\.Nd ")
if(NOT nd STREQUAL ".Nd ${ZEROFIL_ABOUT_Summary}")
  message(FATAL_ERROR "sw/tools/conv/zerofil.1: \"${nd}\" is not the summary of packaging/about")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${debian}/changelog)
