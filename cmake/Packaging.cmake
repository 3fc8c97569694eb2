# Installation of the manual pages, the bash completions, the licence and the
# changelog, and the packages that CPack makes from the install tree: a .deb
# on Linux, and a .tar.gz everywhere.
#
#   cmake --workflow --preset package     # build/package/d88unpack_*.deb, *.tar.gz
#
# The binaries are installed by their targets under app/; cmake --install
# --strip strips them.
include(GNUInstallDirs)

# The programs the packages hold. Each has its manual page in
# doc/<program>.1 and its bash completion in completion/<program>.bash.
set(D88UNPACK_PROGRAMS d88unpack d88pack)

# Manual pages and the changelog are installed compressed where gzip is at
# hand, as Debian packages keep them; gzip -n leaves out the name and time
# stamp, so that the packages come out the same each time.
find_program(D88UNPACK_GZIP gzip)
mark_as_advanced(D88UNPACK_GZIP)
set(D88UNPACK_COMPRESSED "")
# d88unpack_install_compressed(SOURCE DESTINATION NAME): installs SOURCE as
# DESTINATION/NAME.gz, or as DESTINATION/NAME without gzip.
function(d88unpack_install_compressed source destination name)
  if(D88UNPACK_GZIP)
    set(compressed ${PROJECT_BINARY_DIR}/doc/${name}.gz)
    add_custom_command(OUTPUT ${compressed}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/doc
      COMMAND ${D88UNPACK_GZIP} -9 -n -c ${source} > ${compressed}
      DEPENDS ${source}
      COMMENT "Compressing ${name}")
    install(FILES ${compressed} DESTINATION ${destination})
    set(D88UNPACK_COMPRESSED ${D88UNPACK_COMPRESSED} ${compressed} PARENT_SCOPE)
  else()
    install(FILES ${source} DESTINATION ${destination} RENAME ${name})
  endif()
endfunction()

foreach(program IN LISTS D88UNPACK_PROGRAMS)
  d88unpack_install_compressed(${PROJECT_SOURCE_DIR}/doc/${program}.1 ${CMAKE_INSTALL_MANDIR}/man1
                               ${program}.1)
  # Bash completion, where bash-completion loads it on demand by the
  # command's name. Windows has no bash to complete for.
  if(NOT WIN32)
    install(FILES ${PROJECT_SOURCE_DIR}/completion/${program}.bash
            DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/bash-completion/completions RENAME ${program})
  endif()
endforeach()

# The licence and the changelog, where a Debian package keeps them:
# share/doc/d88unpack/copyright and changelog.gz, in the .tar.gz as well.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} RENAME copyright)
d88unpack_install_compressed(${PROJECT_SOURCE_DIR}/changelog ${CMAKE_INSTALL_DOCDIR} changelog)

if(D88UNPACK_COMPRESSED)
  add_custom_target(compressed_docs ALL DEPENDS ${D88UNPACK_COMPRESSED})
endif()

# A stripped ELF binary still holds a .comment section, the compilers' and
# the static C++ runtime's version strings; a stripped install drops it
# too. This file is included after app/, so these rules run after the
# binaries' own, which install and strip them.
if(CMAKE_STRIP AND NOT (WIN32 OR CYGWIN OR APPLE))
  foreach(program IN LISTS D88UNPACK_PROGRAMS)
    install(CODE "if(CMAKE_INSTALL_DO_STRIP)
  execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment
                          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/${program}\"
                  COMMAND_ERROR_IS_FATAL ANY)
endif()")
  endforeach()
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
or prints JSON Lines; the image may be compressed, in an archive, or
read from standard input. It reads disks of 84 tracks of five 1024-byte sectors
with the directory stored at the end of the last track. Names and lengths
from hostile images are screened: nothing is written outside the output
folder or through what stands at a name, the image itself is never
overwritten, and damaged images are reported.
.
d88pack, its companion, puts files on such a disk, replaces and deletes
them, or makes a new disk image; the image is written anew beside the old
one and put in its place only when complete.")
# Dependencies come from the binary itself where dpkg-shlibdeps is there.
find_program(D88UNPACK_DPKG_SHLIBDEPS dpkg-shlibdeps)
mark_as_advanced(D88UNPACK_DPKG_SHLIBDEPS)
# d88unpack reads compressed images and archives through libarchive, which
# it loads only when it reads one: no link of the binary tells of it.
if(D88UNPACK_LIBARCHIVE)
  set(d88unpack_archive_depends ", libarchive13")
endif()
if(D88UNPACK_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  if(D88UNPACK_LIBARCHIVE)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libarchive13")
  endif()
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6${d88unpack_archive_depends}")
endif()

include(CPack)
