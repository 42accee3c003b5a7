# What makes morvane_qt an installed desktop program, and the documents of its Debian package:
# the menu entry with its administrator action, the polkit action behind that, the icon in the
# hicolor sizes, the manual page, the machine-readable copyright and the changelog.
# Included from linux/CMakeLists.txt, which sets MORVANE_INSTALL_DIR (the program's folder).
set(MORVANE_RESOURCES ${PROJECT_SOURCE_DIR}/resources)
set(MORVANE_DESKTOP_BUILD ${CMAKE_CURRENT_BINARY_DIR}/desktop)

# The icon in every size a desktop asks for, drawn from the vector source at build time.
# There is no scalable (SVG) version of the source, so no scalable/apps entry.
set(MORVANE_ICON_SIZES 16 22 24 32 48 64 128 256)
set(MORVANE_ICON_PNGS "")
foreach(size IN LISTS MORVANE_ICON_SIZES)
  set(png ${MORVANE_DESKTOP_BUILD}/icons/${size}/morvane.png)
  list(APPEND MORVANE_ICON_PNGS ${png})
  install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
endforeach()
add_custom_command(OUTPUT ${MORVANE_ICON_PNGS}
  COMMAND sh ${MORVANE_RESOURCES}/make-icon.sh hicolor ${MORVANE_DESKTOP_BUILD}/icons ${MORVANE_ICON_SIZES}
  DEPENDS ${MORVANE_RESOURCES}/morvane.mvg ${MORVANE_RESOURCES}/make-icon.sh
  COMMENT "Icons of morvane_qt, ${MORVANE_ICON_SIZES} pixels" VERBATIM)

# The administrator action and the polkit action name the program by its absolute path, which is
# known only when installing (`cmake --install --prefix ...`, or /usr when CPack stages the package).
set(installed ${MORVANE_DESKTOP_BUILD}/installed)
install(CODE "
  set(MORVANE_PROGRAM \"\${CMAKE_INSTALL_PREFIX}/${MORVANE_INSTALL_DIR}/morvane_qt\")
  configure_file(\"${MORVANE_RESOURCES}/morvane_qt.desktop.in\" \"${installed}/morvane_qt.desktop\" @ONLY)
  configure_file(\"${MORVANE_RESOURCES}/org.morvane.pkexec.morvane_qt.policy.in\"
                 \"${installed}/org.morvane.pkexec.morvane_qt.policy\" @ONLY)")
install(FILES ${installed}/morvane_qt.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${installed}/org.morvane.pkexec.morvane_qt.policy DESTINATION ${CMAKE_INSTALL_DATADIR}/polkit-1/actions)

# The copyright file carries the licence agreement's text as its License paragraph (blank lines
# become " ."), so the licence is written down once.
set(MORVANE_LICENCE "${MORVANE_RESOURCES}/Лицензионное соглашение.txt")
add_custom_command(OUTPUT ${MORVANE_DESKTOP_BUILD}/copyright
  COMMAND sh -c "{ cat \"$1\"; sed -e 's/^[[:space:]]*$/./' -e 's/^/ /' \"$2\"; } >\"$3\""
          sh ${MORVANE_RESOURCES}/copyright ${MORVANE_LICENCE} ${MORVANE_DESKTOP_BUILD}/copyright
  DEPENDS ${MORVANE_RESOURCES}/copyright ${MORVANE_LICENCE} VERBATIM)

# The changelog's newest entry must be the project's version: a release is not packaged without one.
file(STRINGS ${MORVANE_RESOURCES}/changelog MORVANE_CHANGELOG_TOP LIMIT_COUNT 1)
if(NOT MORVANE_CHANGELOG_TOP MATCHES "^morvane \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "resources/changelog starts with '${MORVANE_CHANGELOG_TOP}': "
                      "add an entry for version ${PROJECT_VERSION} at its top")
endif()
# Compressed as Debian wants it: best, without name or time.
add_custom_command(OUTPUT ${MORVANE_DESKTOP_BUILD}/changelog.gz
  COMMAND sh -c "gzip -9n <\"$1\" >\"$2\"" sh ${MORVANE_RESOURCES}/changelog ${MORVANE_DESKTOP_BUILD}/changelog.gz
  DEPENDS ${MORVANE_RESOURCES}/changelog VERBATIM)
# Named after the package, not the project (CMAKE_INSTALL_DOCDIR would say "Morvane").
install(FILES ${MORVANE_DESKTOP_BUILD}/copyright ${MORVANE_DESKTOP_BUILD}/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/morvane)

# Plain text here; the .deb gets it compressed (cmake/deb-compress-manpages.cmake).
configure_file(${MORVANE_RESOURCES}/morvane_qt.1.in ${MORVANE_DESKTOP_BUILD}/morvane_qt.1 @ONLY)
install(FILES ${MORVANE_DESKTOP_BUILD}/morvane_qt.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

add_custom_target(morvane_desktop_files ALL
  DEPENDS ${MORVANE_ICON_PNGS} ${MORVANE_DESKTOP_BUILD}/copyright ${MORVANE_DESKTOP_BUILD}/changelog.gz)
