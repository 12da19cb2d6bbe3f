# Install layout and the Debian package.
#
#   cmake --install build --prefix /usr/local   # programs, data, desktop entry, man pages, udev rule
#   ./package.sh                                 # a Release build and its .deb (cpack)
#
# The version comes from project() alone; packaging/changelog must carry it
# as its newest entry, and the AppStream release is taken from there.
include(GNUInstallDirs)

set(ZD573_APP_ID org.example.zd573.utility)
set(ZD573_PACKAGING_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(ZD573_PACKAGING_OUT ${PROJECT_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${ZD573_PACKAGING_OUT})

# udev reads /usr/lib, /usr/local/lib and /etc; relative to the prefix, so an
# install under /usr/local stays there. Packagers may point it elsewhere.
set(ZD573_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Folder of the udev rule, relative to the install prefix unless absolute")

# --- Version and release date from the changelog ------------------------------
file(STRINGS ${ZD573_PACKAGING_DIR}/changelog zd573_changelog_head LIMIT_COUNT 1)
if(NOT zd573_changelog_head MATCHES "^zd573 \\(([^)]+)\\)")
  message(FATAL_ERROR "packaging/changelog: the first line is not a changelog entry of zd573")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "packaging/changelog starts at ${CMAKE_MATCH_1} but the project is "
                      "${PROJECT_VERSION}: add an entry for ${PROJECT_VERSION}")
endif()
file(STRINGS ${ZD573_PACKAGING_DIR}/changelog zd573_changelog_trailer
     REGEX "^ -- .*  [A-Z][a-z][a-z], [0-9]+ [A-Z][a-z][a-z] [0-9]+ " LIMIT_COUNT 1)
if(NOT zd573_changelog_trailer MATCHES ", ([0-9]+) ([A-Z][a-z][a-z]) ([0-9]+) ")
  message(FATAL_ERROR "packaging/changelog: no date in the newest entry")
endif()
set(zd573_day ${CMAKE_MATCH_1})
set(zd573_year ${CMAKE_MATCH_3})
set(zd573_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
list(FIND zd573_months ${CMAKE_MATCH_2} zd573_month)
if(zd573_month LESS 0)
  message(FATAL_ERROR "packaging/changelog: unknown month ${CMAKE_MATCH_2}")
endif()
math(EXPR zd573_month "${zd573_month} + 1")
string(LENGTH "${zd573_day}" zd573_len)
if(zd573_len EQUAL 1)
  set(zd573_day 0${zd573_day})
endif()
if(zd573_month LESS 10)
  set(zd573_month 0${zd573_month})
endif()
set(ZD573_RELEASE_DATE ${zd573_year}-${zd573_month}-${zd573_day})

# --- Generated files --------------------------------------------------------
find_program(ZD573_GZIP gzip REQUIRED)
find_program(ZD573_HELP2MAN help2man)

# Debian wants documentation compressed at the highest level, without a name
# or time stamp in the header (-9n), so the package is reproducible.
add_custom_command(
  OUTPUT ${ZD573_PACKAGING_OUT}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${ZD573_PACKAGING_DIR}/changelog ${ZD573_PACKAGING_OUT}/changelog
  COMMAND ${ZD573_GZIP} -9nf ${ZD573_PACKAGING_OUT}/changelog
  DEPENDS ${ZD573_PACKAGING_DIR}/changelog
  VERBATIM)
set(zd573_generated ${ZD573_PACKAGING_OUT}/changelog.gz)

# Man pages from each program's --help, so they never drift from it.
set(zd573_man_pages)
function(zd573_man_page target name)
  set(page ${ZD573_PACKAGING_OUT}/man/${target}.1)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZD573_PACKAGING_OUT}/man
    COMMAND ${ZD573_HELP2MAN} --no-info --section=1 --name=${name} ${ARGN}
            --output=${page} $<TARGET_FILE:${target}>
    COMMAND ${ZD573_GZIP} -9nf ${page}
    DEPENDS ${target}
    COMMENT "Writing the man page of ${target}"
    VERBATIM)
  set(zd573_man_pages ${zd573_man_pages} ${page}.gz PARENT_SCOPE)
endfunction()

if(ZD573_HELP2MAN)
  zd573_man_page(zd573 "command line for the ZD-573 GPS tracker")
  # The simulator has no --version of its own: it is part of this release.
  zd573_man_page(zd573-sim "simulated ZD-573 GPS tracker on a pseudo-terminal"
                 --version-string=${PROJECT_VERSION})
  if(TARGET zd573-utility)
    zd573_man_page(zd573-utility "configure a ZD-573 GPS tracker and download its GPS log")
  endif()
else()
  message(WARNING "help2man not found: no man pages are built or installed")
endif()
list(APPEND zd573_generated ${zd573_man_pages})

if(TARGET zd573-utility)
  configure_file(${ZD573_PACKAGING_DIR}/${ZD573_APP_ID}.metainfo.xml.in
                 ${ZD573_PACKAGING_OUT}/${ZD573_APP_ID}.metainfo.xml @ONLY)
endif()

add_custom_target(zd573_packaging_files ALL DEPENDS ${zd573_generated})

# --- Install ------------------------------------------------------------------
install(TARGETS zd573 zd573-sim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Found by the programs as ../share/zd573/Languages.lng from bin/.
install(FILES ${PROJECT_SOURCE_DIR}/resources/Languages.lng
        DESTINATION ${CMAKE_INSTALL_DATADIR}/zd573)
install(FILES ${PROJECT_SOURCE_DIR}/resources/packaging/60-zd573.rules
        DESTINATION ${ZD573_UDEV_RULES_DIR})
install(FILES ${ZD573_PACKAGING_DIR}/bash-completion/zd573
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
install(FILES ${ZD573_PACKAGING_DIR}/copyright ${ZD573_PACKAGING_OUT}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
if(zd573_man_pages)
  install(FILES ${zd573_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

if(TARGET zd573-utility)
  install(TARGETS zd573-utility RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${ZD573_PACKAGING_DIR}/${ZD573_APP_ID}.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${ZD573_PACKAGING_OUT}/${ZD573_APP_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
  # Drawn by the skin generator: zd573-skin-gen --icons packaging/icons/hicolor <app id>
  install(DIRECTORY ${ZD573_PACKAGING_DIR}/icons/hicolor
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons)
endif()

# --- Debian package (cpack) ---------------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zd573)
set(CPACK_PACKAGE_VENDOR "ZD-573 Utility developers")
set(CPACK_PACKAGE_CONTACT "ZD-573 Utility developers <zd573@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configuration utility for the ZD-573 GPS tracker")
# Lines of the package description stay under 80 columns: cpack does not wrap.
set(CPACK_PACKAGE_DESCRIPTION
"The ZD-573 is a battery-powered GPS personal tracker with a GSM/GPRS modem.
Plugged in by USB it appears as a serial port. This package holds:
 - zd573-utility, the desktop utility: it identifies the tracker, reads its
   settings, writes them back, and downloads its GPS log and exports it as
   CSV, KML or GPX;
 - zd573, the command line, which does the same without a window;
 - zd573-sim, a simulated tracker on a pseudo-terminal.

A udev rule lets the person at the desk open the tracker's port and keeps
ModemManager from probing it.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY zd573)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Dependencies come from the shared libraries the programs link (dpkg-shlibdeps).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's display plugins are loaded at run time, so dpkg-shlibdeps cannot see
# them: the X11 one comes with libqt6gui6, the Wayland one is a package of
# its own. Without it a Wayland desktop runs the window through XWayland.
# Qt's own texts (standard buttons, the save dialog) are loaded from Qt's
# translations at run time too.
if(TARGET zd573-utility)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland, qt6-translations-l10n")
  # The Traditional Chinese texts need a CJK font.
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS "fonts-noto-cjk")
endif()
# Package into the build's own folder, never beside the sources.
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
