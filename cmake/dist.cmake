# The release files: each platform's program built in a tree of its own
# here, then packed by scripts/dist.sh into ZEROFIL_DIST_DIR with
# SHA256SUMS. The Linux archives hold static programs; the .deb is a
# normal build for /usr.
include(cmake/builds.cmake)
set(ZEROFIL_DIST_DIR ${PROJECT_SOURCE_DIR}/build/dist CACHE PATH "Where the release files go")
set(tc -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake)

zerofil_build(linux-x86_64 -DZEROFIL_STATIC=ON)
zerofil_build(linux-aarch64 ${tc}/aarch64-linux-gnu.cmake -DZEROFIL_STATIC=ON)
zerofil_build(windows-x86_64 ${tc}/mingw-w64-x86_64.cmake)
zerofil_build(deb -DZEROFIL_DEBIAN=ON -DCMAKE_INSTALL_PREFIX=/usr)

add_custom_target(dist ALL
  COMMAND ${PROJECT_SOURCE_DIR}/scripts/dist.sh ${CMAKE_BINARY_DIR} ${ZEROFIL_DIST_DIR} ${PROJECT_VERSION}
  DEPENDS zerofil-linux-x86_64 zerofil-linux-aarch64 zerofil-windows-x86_64 zerofil-deb
  VERBATIM)
