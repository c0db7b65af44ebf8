# What `cmake --install` lays out under the prefix, and the Debian package and the tarball
# that cpack makes of it:
#   bin/                      the six programs
#   lib/aviolog/              the window's browser module
#   share/aviolog/            the files a new working folder is seeded from, and the samples
#   share/applications/, share/metainfo/, share/icons/hicolor/   the desktop's entries
#   share/man/man1/           the manual pages, written from the programs' usage tables
#   share/doc/aviolog/        the guides, the copyright and the changelog
include(GNUInstallDirs)
set(AVIOLOG_APP_ID org.aviolog.Aviolog)
set(AVIOLOG_HOMEPAGE https://aviolog.org/)
set(AVIOLOG_MAINTAINER "Aviolog developers <developers@aviolog.org>")
set(desktop_dir ${PROJECT_SOURCE_DIR}/data/desktop)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# The programs, and a summary line for each one's manual page.
set(cli_programs aviolog-fly aviolog-sim aviolog-bridge aviolog-probe)
set(summary_aviolog-fly "fly a flight through the flight recorder without the window")
set(summary_aviolog-sim "the simulator stand-in, serving a scripted flight over the simulator interface")
set(summary_aviolog-bridge "serve the simulator interface from FlightGear or X-Plane")
set(summary_aviolog-probe "print the simulator's variables: the connection diagnostic")
set(summary_aviolog-gauge "the cockpit terminal in a window of its own")
if(TARGET aviolog-gauge)
  list(APPEND cli_programs aviolog-gauge)
endif()
install(TARGETS ${cli_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET aviolog)
  install(TARGETS aviolog RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(TARGETS aviolog_browser LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/aviolog)
endif()

# Shipped files: what the working folder is seeded from, and what the guides refer to.
set(share_dir ${CMAKE_INSTALL_DATADIR}/aviolog)
install(FILES data/aviolog.ori DESTINATION ${share_dir})
install(DIRECTORY data/scenarios data/flightgear DESTINATION ${share_dir})
install(PROGRAMS tools/sample_va_server.py DESTINATION ${share_dir})
if(AVIOLOG_AIRPORT_LIST)
  install(FILES ${AVIOLOG_AIRPORT_LIST} ${AVIOLOG_RUNWAY_LIST} DESTINATION ${share_dir})
endif()

# The desktop's menu entry, the software centre's description, the icons.
install(FILES ${desktop_dir}/${AVIOLOG_APP_ID}.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${desktop_dir}/${AVIOLOG_APP_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${desktop_dir}/${AVIOLOG_APP_ID}.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
set(generated ${CMAKE_BINARY_DIR}/desktop)
set(desktop_outputs "")
find_program(RSVG_CONVERT rsvg-convert)
if(RSVG_CONVERT)
  foreach(size 16 24 32 48 64 128 256)
    set(png ${generated}/icons/${size}x${size}/${AVIOLOG_APP_ID}.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/icons/${size}x${size}
      COMMAND ${RSVG_CONVERT} -w ${size} -h ${size} ${desktop_dir}/${AVIOLOG_APP_ID}.svg -o ${png}
      DEPENDS ${desktop_dir}/${AVIOLOG_APP_ID}.svg VERBATIM)
    list(APPEND desktop_outputs ${png})
    install(FILES ${png} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps)
  endforeach()
else()
  message(STATUS "Icons: no rsvg-convert (librsvg2-bin); installing the scalable icon only")
endif()

# Manual pages from each program's --help, which its option table writes.
set(man_script ${PROJECT_SOURCE_DIR}/scripts/make_man_page.py)
foreach(program ${cli_programs})
  set(page ${generated}/man/${program}.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/man
    COMMAND Python3::Interpreter ${man_script} $<TARGET_FILE:${program}> ${program}
            "${summary_${program}}" ${PROJECT_VERSION} ${page}
    DEPENDS ${program} ${man_script} VERBATIM)
  list(APPEND desktop_outputs ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
if(TARGET aviolog)
  set(page ${generated}/man/aviolog.1.gz)
  add_custom_command(OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${generated}/man
    COMMAND Python3::Interpreter ${man_script} --text aviolog
            "flight recorder and ACARS companion for virtual airlines" ${PROJECT_VERSION} ${page}
            < ${desktop_dir}/aviolog.help
    DEPENDS ${man_script} ${desktop_dir}/aviolog.help VERBATIM)
  list(APPEND desktop_outputs ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()

# The guides, the copyright (with the airport data's licence) and the Debian changelog.
set(changelog ${generated}/changelog.Debian.gz)
# The release's date, as the metainfo's release entry gives it.
set(changelog_date "Wed, 09 Dec 2026 00:00:00 +0000")
string(CONCAT changelog_text
  "aviolog (${PROJECT_VERSION}-1) unstable; urgency=medium\n\n"
  "  * Release ${PROJECT_VERSION}: installs with a menu entry, works in\n"
  "    ~/.local/share/aviolog when started from the menu, ships the airport list.\n\n"
  " -- ${AVIOLOG_MAINTAINER}  ${changelog_date}\n")
# Written only when it changes, so that a new configure does not rebuild the package files.
file(CONFIGURE OUTPUT ${generated}/changelog.Debian CONTENT "${changelog_text}")
add_custom_command(OUTPUT ${changelog}
  COMMAND gzip -9nf -k ${generated}/changelog.Debian
  DEPENDS ${generated}/changelog.Debian VERBATIM)
list(APPEND desktop_outputs ${changelog})
add_custom_target(desktop_files ALL DEPENDS ${desktop_outputs})
install(FILES ${changelog} ${desktop_dir}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES docs/pilot-guide.md docs/va-admin-guide.md docs/airport-data.md docs/va-scripts.md
              docs/settings.md docs/simulator-bridge.md
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

# cpack -G DEB and -G TGZ (the build folder's CPackConfig.cmake). The Debian package's
# Depends come from the libraries the programs link (dpkg-shlibdeps). The browser module in
# /usr/lib/aviolog makes cpack add an ldconfig call (a lintian warning, harmless).
set(CPACK_PACKAGE_NAME aviolog)
set(CPACK_PACKAGE_VENDOR "Aviolog developers")
set(CPACK_PACKAGE_CONTACT "${AVIOLOG_MAINTAINER}")
set(CPACK_PACKAGE_HOMEPAGE_URL ${AVIOLOG_HOMEPAGE})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "flight recorder and ACARS companion for virtual airlines")
set(CPACK_PACKAGE_DESCRIPTION
  "Aviolog records flights for the pilots of virtual airlines: it reads the\n"
  "simulator once a second, writes a timestamped flight log, watches for what a\n"
  "virtual airline forbids and reports accepted flights to the airline. It\n"
  "records FlightGear and X-Plane flights through its simulator bridge and ships\n"
  "a world airport list from OurAirports.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_GENERATOR DEB TGZ)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS python3)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "flightgear")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_FILE_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-linux-x86_64)
include(CPack)
