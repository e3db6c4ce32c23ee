# The release files: the lines of the table of builds that ship, packed by
# scripts/dist.sh into ZEROFIL_DIST_DIR with the source tarball, the bill
# of materials and SHA256SUMS. The tests unpack and run these very files.
#
# This is the one list of release files, written to release-files.tsv in
# the build tree, a file a row under a header that names the columns, which
# every reader takes by name:
#   file      the file's name
#   format    tar, zip, msi, deb, rpm, image (the container image, an
#             OCI layout archive), source, dsc (Debian's source
#             package), debian (its .debian.tar.xz), srpm (the rpm source
#             package), sbom, provenance, sums or signature (an OpenPGP
#             signature of the file it names less .asc)
#   line      the line of the table it comes from (the image: each line
#             whose program it holds, comma-separated)
#   arch      the architecture as the package names it (deb, rpm)
#   tree      the line's build tree
#   unpacked  the folder, below the tests' unpack folder, it unpacks to
#   program   the program's path in that folder (the image: for each
#             line, PLATFORMS=LINE, its OCI platforms comma-separated,
#             space-separated)
#   notices   the path there of what names the components linked into it
# A release made from a tag is of the tag's version: the changelog is held
# to project() by release.cmake, and the tag here.
if(EXISTS ${PROJECT_SOURCE_DIR}/.git)
  need_all(ok git)
  if(ok)
    execute_process(COMMAND ${git} -C ${PROJECT_SOURCE_DIR} tag --points-at HEAD --list "v[0-9]*"
      OUTPUT_VARIABLE tags OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    string(REPLACE "\n" ";" tags "${tags}")
    foreach(tag IN LISTS tags)
      if(NOT tag STREQUAL "v${PROJECT_VERSION}")
        message(FATAL_ERROR "git tag ${tag}: this commit is tagged for another version than project()'s, "
          "${PROJECT_VERSION}: tag it v${PROJECT_VERSION}, or set project()'s version and the changelog to ${tag}")
      endif()
    endforeach()
  endif()
endif()
set(ZEROFIL_DIST_DIR ${PROJECT_BINARY_DIR}/dist CACHE PATH "Where the release files go")
# The keys that sign the release, when given: here, or in the environment
# under the same names. The PKCS#12 file's password is read from the
# environment alone (ZEROFIL_SIGN_PKCS12_PASSWORD) when the files are
# made, so that it is never written into the build folder.
foreach(key ZEROFIL_SIGN_OPENPGP ZEROFIL_SIGN_PKCS12)
  if(NOT DEFINED ${key} AND DEFINED ENV{${key}})
    set(${key} "$ENV{${key}}")
  endif()
endforeach()
set(ZEROFIL_SIGN_OPENPGP "${ZEROFIL_SIGN_OPENPGP}" CACHE STRING
  "Fingerprint of the OpenPGP key in the keyring (GNUPGHOME) that signs SHA256SUMS, the source tarball and the .rpm files")
set(ZEROFIL_SIGN_PKCS12 "${ZEROFIL_SIGN_PKCS12}" CACHE FILEPATH
  "PKCS#12 file of the code-signing certificate and key that sign the Windows program and the MSI (Authenticode)")
# Where users download the release files from, {version} standing for the
# version: the winget and Scoop manifests and the recipes of the AUR,
# Homebrew and Nix point there. They are not release files but submissions
# to those repositories: they go beside the release folder.
set(ZEROFIL_DOWNLOAD_URL "${ZEROFIL_ABOUT_Homepage}/releases/{version}" CACHE STRING
  "Where the release files are downloaded from ({version}: the version), for the manifests and recipes")
set(ZEROFIL_MANIFESTS_DIR ${ZEROFIL_DIST_DIR}-manifests CACHE PATH "Where the winget and Scoop manifests and the AUR, Homebrew and Nix recipes go")
set(v ${PROJECT_VERSION})
set(list "file\tformat\tline\tarch\ttree\tunpacked\tprogram\tnotices\n")
set(targets "")
set(image_lines "")
set(image_parts "")
foreach(name IN LISTS lines)
  set(arch ${line_arch_${name}})
  foreach(format IN LISTS line_ships_${name})
    if(format STREQUAL "image")
      # One image of every such line's program: its row follows.
      list(APPEND image_lines ${name})
      list(JOIN arch_OCI_${arch} "," platforms)
      list(APPEND image_parts "${platforms}=${name}")
      continue()
    endif()
    set(unpacked ${name})
    set(program ${line_file_${name}})
    set(pkg_arch -)
    if(format STREQUAL "tar")
      set(file zerofil-${v}-${name}.tar.gz)
      set(notices THIRD-PARTY-NOTICES)
    elseif(format STREQUAL "zip")
      set(file zerofil-${v}-${name}.zip)
      set(notices THIRD-PARTY-NOTICES.txt)
    elseif(format STREQUAL "msi")
      set(file zerofil-${v}-${name}.msi)
      set(notices THIRD-PARTY-NOTICES.txt)
      set(unpacked msi-${name})
    elseif(format STREQUAL "deb")
      set(pkg_arch ${arch})
      set(file zerofil_${v}_${pkg_arch}.deb)
      set(program usr/bin/zerofil)
      set(notices usr/share/doc/zerofil/copyright)
    elseif(format STREQUAL "rpm")
      # Release 1 of packaging/rpm/zerofil; the release checks compare.
      set(pkg_arch ${arch_RPM_${arch}})
      set(file zerofil-${v}-1.${pkg_arch}.rpm)
      set(program usr/bin/zerofil)
      set(notices usr/share/licenses/zerofil-${v}/THIRD-PARTY-NOTICES)
    endif()
    if(format MATCHES "deb|rpm")
      set(unpacked ${format}-${pkg_arch})
    endif()
    string(APPEND list "${file}\t${format}\t${name}\t${pkg_arch}\t${line_tree_${name}}\t${unpacked}\t${program}\t${notices}\n")
  endforeach()
  if(line_ships_${name})
    list(APPEND targets ${line_target_${name}})
  endif()
endforeach()
# whole(FILE FORMAT): a release file that stands for itself
macro(whole file format)
  string(APPEND list "${file}\t${format}\t-\t-\t-\t-\t-\t-\n")
endmacro()
if(image_lines)
  list(JOIN image_lines "," image_lines)
  list(JOIN image_parts " " image_parts)
  string(APPEND list "zerofil-${v}-image.tar\timage\t${image_lines}\t-\t-\t-\t${image_parts}\t-\n")
endif()
whole(zerofil-${v}.tar.gz source)
if(ZEROFIL_SIGN_OPENPGP)
  whole(zerofil-${v}.tar.gz.asc signature)
endif()
# The distributions' source packages of that tarball, each the first
# revision of this version: Debian's .dsc, with its .debian.tar.xz (its
# orig tarball is the one above), and the rpm source package.
set(required "")
if(ZEROFIL_DIST)
  set(required REQUIRED)
endif()
need_all(ok ${required} dpkg-source dpkg-parsechangelog)
if(ok)
  whole(zerofil_${v}-1.dsc dsc)
  whole(zerofil_${v}-1.debian.tar.xz debian)
endif()
need_all(ok ${required} rpmbuild)
if(ok)
  whole(zerofil-${v}-1.src.rpm srpm)
endif()
# The bill of materials of all the files above, and the provenance of
# those and of the bill of materials.
whole(zerofil-${v}.spdx.json sbom)
whole(zerofil-${v}.intoto.jsonl provenance)
whole(SHA256SUMS sums)
if(ZEROFIL_SIGN_OPENPGP)
  whole(SHA256SUMS.asc signature)
endif()
set(ZEROFIL_RELEASE_FILES ${PROJECT_BINARY_DIR}/release-files.tsv)
file(WRITE ${ZEROFIL_RELEASE_FILES} "${list}")
add_custom_target(dist ALL
  COMMAND ${CMAKE_COMMAND} -E env ZEROFIL_SIGN_OPENPGP=${ZEROFIL_SIGN_OPENPGP} ZEROFIL_RELEASED=${ZEROFIL_RELEASED}
    ZEROFIL_SIGN_PKCS12=${ZEROFIL_SIGN_PKCS12} ZEROFIL_DOWNLOAD_URL=${ZEROFIL_DOWNLOAD_URL}
    ZEROFIL_MANIFESTS_DIR=${ZEROFIL_MANIFESTS_DIR}
    ${PROJECT_SOURCE_DIR}/scripts/dist.sh ${ZEROFIL_DIST_DIR} ${v} ${ZEROFIL_RELEASE_FILES}
  DEPENDS ${targets}
  VERBATIM)
