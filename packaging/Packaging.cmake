# SPDX-License-Identifier: GPL-3.0-or-later
# What the packages carry besides the programs, and the two Debian packages themselves:
#   cmake --build build && (cd build && cpack -G DEB)
#     ->  build/albumora_VERSION_amd64.deb      the command line (no Qt)
#         build/albumora-gui_VERSION_amd64.deb  the window (depends on albumora of its version)
# Included from the top-level CMakeLists.txt after the install rules of both programs, which put
# every file into the install component of its package: cli or gui.

# Who makes the packages and where the project lives: the one place the packages' Maintainer
# and Homepage, the copyright file, the Debian changelog and the AppStream metadata take them
# from. The project has no public address yet, so the defaults are placeholders under
# example.org; a packager sets real ones at configure time (-DALBUMORA_MAINTAINER=...).
set(ALBUMORA_MAINTAINER "Albumora developers <albumora@example.org>" CACHE STRING
  "Maintainer of the packages and upstream contact, as 'NAME <ADDRESS>'")
set(ALBUMORA_HOMEPAGE "https://albumora.example.org/" CACHE STRING "The project's web page")
set(ALBUMORA_BUGTRACKER "https://albumora.example.org/issues" CACHE STRING
  "Where people report faults")
# The developer's name, as AppStream shows it: the maintainer without the address.
string(REGEX REPLACE " *<.*$" "" ALBUMORA_DEVELOPER "${ALBUMORA_MAINTAINER}")

# The AppStream id of the window program; its desktop entry is named after it, and the window
# tells Wayland compositors the same name.
set(ALBUMORA_APP_ID org.albumora.albumora)
if(ALBUMORA_GUI)
  target_compile_definitions(albumora-gui PRIVATE ALBUMORA_APP_ID="${ALBUMORA_APP_ID}")
endif()

set(packaging_out ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${packaging_out})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/CHANGELOG.md
  ${CMAKE_SOURCE_DIR}/packaging/changelog.awk)

# Debian wants man pages and changelogs compressed with gzip -9n (no name, no time stamp: the
# same bytes on every build).
function(albumora_gzip source target)
  execute_process(COMMAND gzip -9n -c ${source} OUTPUT_FILE ${target} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip could not compress ${source}")
  endif()
endfunction()

# The release notes of CHANGELOG.md, as the Debian changelog (a native package's changelog.gz)
# and as the AppStream releases. A version without a dated heading ("## 0.2.0 - 2026-12-09")
# lists no release, and the package test says so.
execute_process(COMMAND awk -v mode=debian -v package=albumora
  -v "maintainer=${ALBUMORA_MAINTAINER}" -f ${CMAKE_SOURCE_DIR}/packaging/changelog.awk
  ${CMAKE_SOURCE_DIR}/CHANGELOG.md OUTPUT_FILE ${packaging_out}/changelog)
albumora_gzip(${packaging_out}/changelog ${packaging_out}/changelog.gz)
execute_process(COMMAND awk -v mode=appstream -f ${CMAKE_SOURCE_DIR}/packaging/changelog.awk
  ${CMAKE_SOURCE_DIR}/CHANGELOG.md OUTPUT_VARIABLE ALBUMORA_RELEASES)

# Debian's machine-readable copyright file, in each package's doc folder with the changelog.
configure_file(${CMAKE_SOURCE_DIR}/packaging/copyright.in ${packaging_out}/copyright @ONLY)

configure_file(${CMAKE_SOURCE_DIR}/doc/albumora.1.in ${CMAKE_BINARY_DIR}/doc/albumora.1 @ONLY)
albumora_gzip(${CMAKE_BINARY_DIR}/doc/albumora.1 ${CMAKE_BINARY_DIR}/doc/albumora.1.gz)
install(FILES ${CMAKE_BINARY_DIR}/doc/albumora.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
  COMPONENT cli)
install(FILES ${packaging_out}/copyright ${packaging_out}/changelog.gz
  DESTINATION ${ALBUMORA_DOC_DIR} COMPONENT cli)

# Software centres show screenshots from web addresses only. The two README screenshots
# (docs/window-list.png, docs/window-thumbnails.png) are listed once they are published
# somewhere: ALBUMORA_SCREENSHOT_URL names that folder (e.g. https://example.org/docs).
set(ALBUMORA_SCREENSHOT_URL "" CACHE STRING
  "Web folder holding docs/window-*.png, for the AppStream metadata (empty: no screenshots)")

if(ALBUMORA_GUI)
  file(READ ${CMAKE_SOURCE_DIR}/packaging/albumora.metainfo.xml.in metainfo)
  if(NOT ALBUMORA_SCREENSHOT_URL)
    string(REGEX REPLACE "\n *<screenshots>.*</screenshots>" "" metainfo "${metainfo}")
  endif()
  file(CONFIGURE OUTPUT ${packaging_out}/${ALBUMORA_APP_ID}.metainfo.xml
    CONTENT "${metainfo}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/packaging/albumora.metainfo.xml.in)
  configure_file(${CMAKE_SOURCE_DIR}/doc/albumora-gui.1.in ${CMAKE_BINARY_DIR}/doc/albumora-gui.1
    @ONLY)
  albumora_gzip(${CMAKE_BINARY_DIR}/doc/albumora-gui.1 ${CMAKE_BINARY_DIR}/doc/albumora-gui.1.gz)
  install(FILES ${packaging_out}/${ALBUMORA_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT gui)
  install(FILES packaging/${ALBUMORA_APP_ID}.desktop
    DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
  install(FILES ${CMAKE_BINARY_DIR}/doc/albumora-gui.1.gz
    DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT gui)
  install(FILES ${packaging_out}/copyright ${packaging_out}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/albumora-gui COMPONENT gui)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL cli)
if(ALBUMORA_GUI)
  list(APPEND CPACK_COMPONENTS_ALL gui)
endif()
set(CPACK_PACKAGE_NAME albumora)
set(CPACK_PACKAGE_VENDOR "${ALBUMORA_DEVELOPER}")
set(CPACK_PACKAGE_CONTACT "${ALBUMORA_MAINTAINER}")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
  GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE albumora)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ALBUMORA_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${ALBUMORA_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Depends: the shared libraries the programs link, as dpkg-shlibdeps (dpkg-dev) finds them.
# Qt WebEngine's library brings its browser process (libqt6webenginecore6-bin) that way too;
# the package test checks it does, and that the command line's package names no Qt.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

# Each package's description: its synopsis is the first line (CPack adds no summary of its own
# while CPACK_PACKAGE_DESCRIPTION_SUMMARY is left unset).
set(ALBUMORA_SITES_TEXT [[
Albumora downloads whole web photo albums in bulk. Choose a site family
(QQ Zone, Baidu, NetEase, Renren, Sina and ten more Chinese photo sites), give
the owner's account number or a page address, pick albums from the owner's
album list, and every picture lands in a folder per album, named by per-site
rules. Instead of downloading it can write each album's addresses as a list for
a download manager (aria2, Thunder).]])
set(CPACK_DEBIAN_CLI_PACKAGE_NAME albumora)
set(CPACK_DEBIAN_CLI_DESCRIPTION "bulk downloader for web photo albums (command line)
${ALBUMORA_SITES_TEXT}

This package holds the command line albumora: it lists and downloads albums,
resumes where a run stopped, and needs no display, so it suits a home server or
a script. The window is in the package albumora-gui.")
set(CPACK_DEBIAN_GUI_PACKAGE_NAME albumora-gui)
set(CPACK_DEBIAN_GUI_DESCRIPTION "bulk downloader for web photo albums (window)
${ALBUMORA_SITES_TEXT}

This package holds the window program albumora-gui (Qt 6), with a login window
on Qt WebEngine for albums that need an account. It shares its settings file,
cookie store and download archive with the command line albumora.")
set(CPACK_DEBIAN_GUI_PACKAGE_DEPENDS "albumora (= ${PROJECT_VERSION})")
# A font that holds the window's Chinese texts.
set(CPACK_DEBIAN_GUI_PACKAGE_RECOMMENDS fonts-noto-cjk)
include(CPack)
