# Install rules and the Debian package.
#
# `cmake --install <build> [--prefix <dir>]` puts into the prefix:
#   bin/plyfold, bin/plyfold-merge
#   share/applications/com.tessarine.Plyfold.desktop      the launcher (menu, "Open with")
#   share/icons/hicolor/<n>x<n>/apps/com.tessarine.Plyfold.png   the application icon
#   share/metainfo/com.tessarine.Plyfold.metainfo.xml     the software-centre description
#   share/man/man1/plyfold-merge.1.gz                     the manual page of the command
#   share/doc/plyfold/                                    copyright notice and licence
# `cpack -G DEB` in the build folder makes plyfold_<version>-1_<arch>.deb from the same rules.
#
# Included from the top-level CMakeLists.txt after the application's targets exist.

include(GNUInstallDirs)

# The application's identity on the desktop: the desktop entry, the icon and the metainfo share it,
# and the application reports it as its desktop file name so the shell groups its windows with the
# launcher.
set(PLYFOLD_APP_ID "com.tessarine.Plyfold")
set(PLYFOLD_DOC_DIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/plyfold")
set(packaging_src "${CMAKE_CURRENT_SOURCE_DIR}/packaging")
set(packaging_out "${CMAKE_CURRENT_BINARY_DIR}/packaging")
file(MAKE_DIRECTORY "${packaging_out}")

# --- Programs ------------------------------------------------------------------------------------
install(TARGETS plyfold RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
if(TARGET plyfold-merge)
  install(TARGETS plyfold-merge RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}")
endif()

# --- Desktop entry -------------------------------------------------------------------------------
install(FILES "${packaging_src}/${PLYFOLD_APP_ID}.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")

# --- Icons ---------------------------------------------------------------------------------------
# The hicolor icons are the window's own icon: the sizes and drawings of the application icon
# (":/icons/128/<edge>") listed in the artwork manifest, rendered by the same tool. The small sizes
# have their own simpler drawing, which is why no scalable icon is installed: an icon theme may pick
# a scalable picture over a fixed size, and the large drawing does not stay legible at 16 px.
include("${CMAKE_CURRENT_SOURCE_DIR}/src/res/art/artwork.cmake")
set(icon_files "")
foreach(entry IN LISTS PLYFOLD_ARTWORK)
  string(REPLACE "|" ";" fields "${entry}")
  list(GET fields 0 alias)
  if(NOT alias MATCHES "^icons/128/([0-9]+)$")
    continue()
  endif()
  set(edge "${CMAKE_MATCH_1}")
  list(GET fields 1 source)
  set(icon_dir "${packaging_out}/icons/${edge}x${edge}")
  set(icon_png "${icon_dir}/${PLYFOLD_APP_ID}.png")
  file(MAKE_DIRECTORY "${icon_dir}")
  add_custom_command(
    OUTPUT "${icon_png}"
    COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen
            $<TARGET_FILE:plyfold_artgen> "${CMAKE_CURRENT_SOURCE_DIR}/src/res/art/${source}"
            "${icon_png}" ${edge} ${edge}
    DEPENDS plyfold_artgen "${CMAKE_CURRENT_SOURCE_DIR}/src/res/art/${source}"
    COMMENT "Rendering the ${edge} x ${edge} desktop icon"
    VERBATIM)
  list(APPEND icon_files "${icon_png}")
  install(FILES "${icon_png}"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${edge}x${edge}/apps")
endforeach()
if(NOT icon_files)
  message(FATAL_ERROR "The artwork manifest lists no sizes of the application icon (icons/128/*)")
endif()

# --- AppStream metainfo --------------------------------------------------------------------------
# The release date is the date of the last change of VERSION in the repository; outside a checkout
# it is the build date (SOURCE_DATE_EPOCH, when set, fixes it for reproducible builds).
set(PLYFOLD_RELEASE_DATE "" CACHE STRING "Release date in the metainfo (YYYY-MM-DD); empty: found")
set(release_date "${PLYFOLD_RELEASE_DATE}")
if(NOT release_date)
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(
      COMMAND "${GIT_EXECUTABLE}" log -1 --format=%cs -- VERSION
      WORKING_DIRECTORY "${CMAKE_CURRENT_SOURCE_DIR}"
      OUTPUT_VARIABLE release_date OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  endif()
  if(NOT release_date MATCHES "^[0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$")
    string(TIMESTAMP release_date "%Y-%m-%d" UTC)
  endif()
endif()
set(metainfo "${packaging_out}/${PLYFOLD_APP_ID}.metainfo.xml")
set(PLYFOLD_RELEASE_DATE_TEXT "${release_date}")
configure_file("${packaging_src}/${PLYFOLD_APP_ID}.metainfo.xml.in" "${metainfo}" @ONLY)
install(FILES "${metainfo}" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")

# --- Manual page ---------------------------------------------------------------------------------
if(TARGET plyfold-merge)
  set(man_page "${packaging_out}/plyfold-merge.1")
  configure_file("${packaging_src}/plyfold-merge.1.in" "${man_page}" @ONLY)
  # Compressed, as Debian's policy asks of packaged manual pages; man reads it either way.
  add_custom_command(
    OUTPUT "${man_page}.gz"
    COMMAND gzip -9 -n -k -f "${man_page}"
    DEPENDS "${man_page}" "${packaging_src}/plyfold-merge.1.in"
    COMMENT "Compressing the manual page of plyfold-merge"
    VERBATIM)
  install(FILES "${man_page}.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
  set(man_files "${man_page}.gz")
endif()

# Part of the default build, so that `cmake --build` then `cmake --install` finds every file.
add_custom_target(plyfold_desktop_files ALL DEPENDS ${icon_files} ${man_files})

# --- Documentation -------------------------------------------------------------------------------
install(FILES "${packaging_src}/copyright" "${CMAKE_CURRENT_SOURCE_DIR}/LICENSE"
        DESTINATION "${PLYFOLD_DOC_DIR}")

# --- Debian package ------------------------------------------------------------------------------
set(PLYFOLD_PACKAGE_MAINTAINER "Tessarine <plyfold@tessarine.com>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "plyfold")
set(CPACK_PACKAGE_VENDOR "Tessarine")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${PLYFOLD_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "assemble one PDF from pages of several PDFs")
# Lines of the package's long description, each under 80 characters as Debian's tools expect;
# an empty line separates paragraphs.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "Plyfold puts together one PDF file from pages of several PDF files. Pages"
  "are chosen with check boxes, page-range text or context menus, documents"
  "are reordered by dragging, and the result shows before it is saved,"
  "optionally protected by a password and permissions. Encrypted inputs open"
  "with their password."
  ""
  "The plyfold-merge command does the same merge from a terminal or a script.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.tessarine.com/")
set(CPACK_RESOURCE_FILE_LICENSE "${CMAKE_CURRENT_SOURCE_DIR}/LICENSE")
set(CPACK_STRIP_FILES TRUE)
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")

set(CPACK_DEBIAN_PACKAGE_NAME "plyfold")
set(CPACK_DEBIAN_PACKAGE_RELEASE "1")
set(CPACK_DEBIAN_FILE_NAME "DEB-DEFAULT")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PLYFOLD_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION "text")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${CPACK_PACKAGE_HOMEPAGE_URL}")
# The shared libraries the programs link are found by dpkg-shlibdeps. The platform plugins Qt
# loads at run time (X11 and offscreen) ship in libqt6gui6, which that brings in; native Wayland
# windows need Qt's Wayland plugin, recommended rather than required (without it Qt uses X11).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)

include(CPack)
