# What the package carries besides the programs, and the Debian package itself:
#   cmake --build build && (cd build && cpack -G DEB)   ->  build/albumora_VERSION_amd64.deb
# Included from the top-level CMakeLists.txt after the install rules of both programs.

# The AppStream id of the window program. Its desktop entry keeps its file name
# (albumora-gui.desktop); the metadata names it as its launchable.
set(ALBUMORA_APP_ID org.albumora.albumora)

# The release this version is: its date comes from the version's heading in CHANGELOG.md
# ("## 0.2.0 - 2026-12-09"). Without such a heading the metadata lists no release, and the
# package test says so.
file(STRINGS ${CMAKE_SOURCE_DIR}/CHANGELOG.md release_heading
  REGEX "^## ${PROJECT_VERSION} - [0-9]+-[0-9]+-[0-9]+$")
set(ALBUMORA_RELEASES "")
if(release_heading)
  string(REGEX REPLACE "^.* - " "" release_date "${release_heading}")
  set(ALBUMORA_RELEASES "<releases>\n    <release version=\"${PROJECT_VERSION}\" date=\"${release_date}\"/>\n  </releases>")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/CHANGELOG.md)

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
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/packaging/${ALBUMORA_APP_ID}.metainfo.xml
    CONTENT "${metainfo}" @ONLY)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${CMAKE_SOURCE_DIR}/packaging/albumora.metainfo.xml.in)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/${ALBUMORA_APP_ID}.metainfo.xml
    DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
# Debian's machine-readable copyright file; the place Debian looks for it.
install(FILES packaging/copyright DESTINATION ${ALBUMORA_DOC_DIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME albumora)
set(CPACK_PACKAGE_VENDOR "Albumora developers")
set(CPACK_PACKAGE_CONTACT "Albumora developers <albumora@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "bulk downloader for web photo albums")
set(CPACK_PACKAGE_DESCRIPTION [[
Albumora downloads whole web photo albums in bulk. Choose a site family
(QQ Zone, Baidu, NetEase, Renren, Sina and ten more Chinese photo sites), give
the owner's account number or a page address, pick albums from the owner's
album list, and every picture lands in a folder per album, named by per-site
rules. Instead of downloading it can write each album's addresses as a list for
a download manager (aria2, Thunder).

The package holds the window program albumora-gui (Qt 6, with a login window
on Qt WebEngine for albums that need an account) and the command line albumora;
both share one settings file and one cookie store.]])
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "")
# Depends: the shared libraries the programs link, as dpkg-shlibdeps (dpkg-dev) finds them.
# Qt WebEngine's library brings its browser process (libqt6webenginecore6-bin) that way too;
# the package test checks it does.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(ALBUMORA_GUI)
  # A font that holds the window's Chinese texts.
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-noto-cjk)
endif()
include(CPack)
