# The packages a user installs, made by CPack from the install rules as they are, so every file
# installed by `cmake --install` lands in them:
#   native build:          morvane_<version>_amd64.deb, the install layout under /usr
#   Windows cross-build:   Morvane-<version>-win64.zip, one folder with Morvane.exe and its documents
# scripts/package.sh runs both and puts them into build/packages/.
set(CPACK_PACKAGE_NAME morvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Morvane developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "zero-fill the free space of a partition")
set(CPACK_STRIP_FILES ON)
set(CPACK_SOURCE_GENERATOR "")

if(WIN32)
  # Portable: the program keeps Settings.ini beside itself, so it is unpacked where the user can
  # write, not installed into Program Files.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Morvane-${PROJECT_VERSION}-win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Morvane developers <morvane@example.org>")
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  # The libraries' packages from dpkg-shlibdeps, plus the programs morvane_qt starts.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "xterm, mc")
  # The menu entry's administrator action starts the program through pkexec.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS pkexec)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Manual pages are installed as plain text, as any `cmake --install` expects them.
  set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/deb-compress-manpages.cmake)
  set(CPACK_PACKAGE_DESCRIPTION
"Morvane overwrites the free space of one chosen partition with zero bytes, so
that sector-by-sector images and virtual-disk files of that partition compress
to almost nothing. It writes throw-away files of zeros until the partition is
full, flushing each one, then deletes them; it cleans up when cancelled, closed
or stopped by a signal.

The interface is in Russian. The menu entry has an action that starts the
program as root through pkexec, which zeroing a system partition needs.

morvane-fill does the same run from a terminal, for servers, build pipelines
and virtual-machine templates without a desktop.")
endif()

include(CPack)
