# Debian's layout, for the .deb that cpack makes from this build: the
# manual page and changelog gzipped without a time stamp, the licence in
# Debian's copyright format, and a dependency on libc6 from dpkg-shlibdeps.
# The dist preset sets CMAKE_INSTALL_PREFIX=/usr for it.

set(debian ${PROJECT_SOURCE_DIR}/packaging/debian)
file(STRINGS ${debian}/changelog top LIMIT_COUNT 1)
if(NOT top MATCHES "^zerofil \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "packaging/debian/changelog: the top entry is not ${PROJECT_VERSION}; add one")
endif()

find_program(GZIP gzip REQUIRED)
foreach(file ${PROJECT_BINARY_DIR}/zerofil.1 ${debian}/changelog)
  get_filename_component(name ${file} NAME)
  execute_process(COMMAND ${GZIP} -9nc ${file} OUTPUT_FILE ${PROJECT_BINARY_DIR}/${name}.gz
    COMMAND_ERROR_IS_FATAL ANY)
endforeach()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${debian}/changelog)

configure_file(doc/README.md README.md @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/zerofil.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_BINARY_DIR}/README.md ${PROJECT_BINARY_DIR}/changelog.gz ${debian}/copyright
  DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zerofil)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX ${CMAKE_INSTALL_PREFIX})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The zerofil authors <zerofil@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "create a file of an exact length filled with zero bytes")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "zerofil writes a file of exactly the requested number of bytes, every byte
zero, for padded flash and disk images and placeholder files. The size may
be given in decimal, hexadecimal (0x) or octal (leading 0) and may exceed
4 GiB. Every byte is written for real, so the file is never sparse. Any
failure to open or to write prints one line on standard error and exits
with status 1, leaving a partial file in place; success is silent.")
include(CPack)
