# zerofil_build(NAME CMAKE_ARGS...): the program built again, in a tree of
# its own (NAME under the current build folder), configured with CMAKE_ARGS:
# a toolchain file, another compiler, other options. Sets zerofil_exe to
# the program it makes.
include(ExternalProject)
function(zerofil_build name)
  set(dir ${CMAKE_CURRENT_BINARY_DIR}/${name})
  ExternalProject_Add(zerofil-${name}
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${dir}
    CMAKE_ARGS -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE} -DBUILD_TESTING=OFF
      -DZEROFIL_WERROR=${ZEROFIL_WERROR} ${ARGN}
    BUILD_ALWAYS ON
    INSTALL_COMMAND "")
  set(zerofil_exe ${dir}/zerofil PARENT_SCOPE)
  if("${ARGN}" MATCHES "mingw")
    set(zerofil_exe ${dir}/zerofil.exe PARENT_SCOPE)
  endif()
endfunction()
