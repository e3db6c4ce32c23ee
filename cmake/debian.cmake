# Debian's layout, for the .deb that cpack makes from this build: the
# manual page and changelog gzipped without a time stamp, the licence in
# Debian's copyright format. The release lines of cmake/builds.cmake set
# CMAKE_INSTALL_PREFIX=/usr and ZEROFIL_STATIC: the program needs no C
# library of the machine's, so the .deb installs on every Debian and
# Ubuntu of its architecture, old or new, and holds the very program of
# the release archive.

include(cmake/release.cmake)
set(debian ${PROJECT_SOURCE_DIR}/packaging/debian)

find_program(GZIP gzip REQUIRED)
foreach(file ${PROJECT_BINARY_DIR}/zerofil.1 ${debian}/changelog)
  get_filename_component(name ${file} NAME)
  execute_process(COMMAND ${GZIP} -9nc ${file} OUTPUT_FILE ${PROJECT_BINARY_DIR}/${name}.gz
    RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${file}: ${failed}")
  endif()
endforeach()

configure_file(doc/README.md README.md @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zerofil.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# With the notices, the copyright file also names and quotes what the
# program is linked with.
set(copyright ${debian}/copyright)
if(ZEROFIL_NOTICES)
  set(copyright ${PROJECT_BINARY_DIR}/copyright)
endif()
install(FILES ${PROJECT_BINARY_DIR}/README.md ${PROJECT_BINARY_DIR}/changelog.gz ${copyright}
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

# The package's architecture: the one the table of builds names for a
# release file, or else this machine's (CPack asks dpkg).
set(ZEROFIL_DEBIAN_ARCH "" CACHE STRING "Debian's name for the architecture the program is built for")
if(ZEROFIL_DEBIAN_ARCH)
  set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${ZEROFIL_DEBIAN_ARCH})
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zerofil)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ZEROFIL_ABOUT_Maintainer}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
if(ZEROFIL_STATIC)
  # lintian calls a static program an error; here it is the point.
  install(FILES ${debian}/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
    RENAME zerofil)
else()
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${ZEROFIL_ABOUT_Summary}")
set(description "${ZEROFIL_ABOUT_Description}")
if(ZEROFIL_STATIC)
  string(APPEND description "\n${ZEROFIL_ABOUT_Prebuilt}")
endif()
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${description}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ZEROFIL_ABOUT_Homepage}")
include(CPack)
