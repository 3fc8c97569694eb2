# Installation of the manual page, the bash completion and the licence, and
# the packages that CPack makes from the install tree: a .deb on Linux, and a
# .tar.gz everywhere.
#
#   cmake --workflow --preset package     # build/package/d88unpack_*.deb, *.tar.gz
#
# The binary is installed by app/CMakeLists.txt; cmake --install --strip
# strips it.
include(GNUInstallDirs)
# Manual pages are installed compressed where gzip is at hand, as Debian
# packages keep them.
set(D88UNPACK_MANUAL ${PROJECT_SOURCE_DIR}/doc/d88unpack.1)
find_program(D88UNPACK_GZIP gzip)
mark_as_advanced(D88UNPACK_GZIP)
if(D88UNPACK_GZIP)
  set(D88UNPACK_MANUAL_GZ ${PROJECT_BINARY_DIR}/doc/d88unpack.1.gz)
  add_custom_command(OUTPUT ${D88UNPACK_MANUAL_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/doc
    COMMAND ${D88UNPACK_GZIP} -9 -n -c ${D88UNPACK_MANUAL} > ${D88UNPACK_MANUAL_GZ}
    DEPENDS ${D88UNPACK_MANUAL}
    COMMENT "Compressing the manual page")
  add_custom_target(manual ALL DEPENDS ${D88UNPACK_MANUAL_GZ})
  install(FILES ${D88UNPACK_MANUAL_GZ} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  install(FILES ${D88UNPACK_MANUAL} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# Bash completion, where bash-completion loads it on demand by the
# command's name. Windows has no bash to complete for.
if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/completion/d88unpack.bash
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME d88unpack)
endif()

# The licence, where a Debian package keeps it: share/doc/d88unpack/copyright,
# in the .tar.gz as well.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)

# d88pack, the writer, beside d88unpack: its manual page and bash
# completion (the binary is installed by app/pack/CMakeLists.txt).
set(D88PACK_MANUAL ${PROJECT_SOURCE_DIR}/doc/d88pack.1)
if(D88UNPACK_GZIP)
  set(D88PACK_MANUAL_GZ ${PROJECT_BINARY_DIR}/doc/d88pack.1.gz)
  add_custom_command(OUTPUT ${D88PACK_MANUAL_GZ}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/doc
    COMMAND ${D88UNPACK_GZIP} -9 -n -c ${D88PACK_MANUAL} > ${D88PACK_MANUAL_GZ}
    DEPENDS ${D88PACK_MANUAL}
    COMMENT "Compressing d88pack's manual page")
  add_custom_target(manual_d88pack ALL DEPENDS ${D88PACK_MANUAL_GZ})
  set(D88PACK_MANUAL ${D88PACK_MANUAL_GZ})
endif()
install(FILES ${D88PACK_MANUAL} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/completion/d88pack.bash
          DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME d88pack)
endif()

set(D88UNPACK_MAINTAINER "d88unpack developers <d88unpack@example.org>" CACHE STRING
    "Maintainer named in the packages")

set(CPACK_PACKAGE_NAME d88unpack)
set(CPACK_PACKAGE_VENDOR "d88unpack developers")
set(CPACK_PACKAGE_CONTACT "${D88UNPACK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
# The packaged binary is stripped, as cmake --install --strip leaves it.
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CHECKSUM SHA256)

if(UNIX AND NOT APPLE)
  set(CPACK_GENERATOR DEB TGZ)
else()
  set(CPACK_GENERATOR TGZ)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${D88UNPACK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The summary above is the synopsis line; this is the extended description.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "d88unpack reads a D88 disk-image file, which holds one or more floppy disk
images, and for each disk prints its directory and writes every file stored
on it into the current directory, or lists them only, writes chosen disks
and files into a folder of choice, gives one file's data on standard output
or prints JSON Lines. It reads disks of 84 tracks of five 1024-byte sectors
with the directory stored at the end of the last track. Names and lengths
from hostile images are screened: nothing is written outside the output
folder or through what stands at a name, the image itself is never
overwritten, and damaged images are reported.")
# Dependencies come from the binary itself where dpkg-shlibdeps is there.
find_program(D88UNPACK_DPKG_SHLIBDEPS dpkg-shlibdeps)
mark_as_advanced(D88UNPACK_DPKG_SHLIBDEPS)
if(D88UNPACK_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6")
endif()

include(CPack)
