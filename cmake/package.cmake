# The Debian packages: `cpack -G DEB` in the build folder (scripts/package.sh does the whole
# build) makes one package of each install component:
#   vemo-convert_<version>_<arch>.deb  the command, for servers too: no Qt, nothing graphical
#   vemo_<version>_<arch>.deb          the window and its desktop integration; needs vemo-convert
# A build without the window (-DVEMO_BUILD_UI=OFF) makes vemo-convert's alone.
set(CPACK_PACKAGE_NAME vemo)
set(CPACK_PACKAGE_VENDOR "The Vemo developers")
set(CPACK_PACKAGE_CONTACT "${VEMO_PACKAGE_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The Debian package is for Linux builds only.
if(NOT WIN32)
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_DEB_COMPONENT_INSTALL ON)
# Named, so that the one component of a build without the window is still packed as
# vemo-convert (CPack takes a lone component found by itself for a monolithic package).
if(NOT WIN32)
  set(CPACK_COMPONENTS_ALL convert)
  if(VEMO_BUILD_UI)
    list(APPEND CPACK_COMPONENTS_ALL window)
  endif()
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE vemo)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VEMO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VEMO_HOMEPAGE}")
# Library dependencies come from dpkg-shlibdeps, for each package from its own programs.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(vemo_description_body
    "Vemo converts AXE data files, the fixed 2048-byte blocks of call records
that telephone exchanges write, into plain comma-separated text: one line
per record with date, time, the two numbers, the elapsed seconds, the
counter and two short texts.")

# The first line of a description is the package's summary.
set(CPACK_DEBIAN_CONVERT_PACKAGE_NAME vemo-convert)
set(CPACK_DEBIAN_CONVERT_DESCRIPTION
    "convert AXE data files into comma-separated text
${vemo_description_body}

This package holds vemo-convert, the conversion on the command line for
scripts and servers, with its man page, bash completion and a systemd
service that converts the files arriving in a folder. It needs no
graphical libraries; the window program is in the package vemo.")
# The postinst creates the user of vemo-convert-watch@.service, with adduser where
# systemd-sysusers is missing.
set(CPACK_DEBIAN_CONVERT_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/dist/debian/postinst)
set(CPACK_DEBIAN_CONVERT_PACKAGE_DEPENDS "adduser")
# Until this version vemo was one package with vemo-convert in it: vemo-convert takes its files
# over when it replaces such a package (of the same version, so without a version here; the
# window's own package shares no file with it).
set(CPACK_DEBIAN_CONVERT_PACKAGE_REPLACES "vemo")

if(VEMO_BUILD_UI)
  set(CPACK_DEBIAN_WINDOW_PACKAGE_NAME vemo)
  set(CPACK_DEBIAN_WINDOW_DESCRIPTION
      "convert AXE data files into comma-separated text (window)
${vemo_description_body}

This package holds the window program vemo, where files are picked from
lists, with its desktop entry, icons and man page. It comes with
vemo-convert, the same conversion on the command line.")
  # vemo-convert of the same version (below); Qt's platform plugins are loaded at run time, so the
  # window needs them named, and Show Sample opens its viewer with xdg-open.
  set(CPACK_DEBIAN_WINDOW_PACKAGE_DEPENDS "qt6-qpa-plugins")
  set(CPACK_DEBIAN_WINDOW_PACKAGE_RECOMMENDS "xdg-utils")
  set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
  set(CPACK_COMPONENT_WINDOW_DEPENDS convert)
endif()

# The Windows package: `cpack -G ZIP` in a Windows build folder makes vemo-<version>-win64.zip, one
# folder with the two programs (statically linked, nothing else to ship), the README and the
# licence as text files with Windows line ends.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGING_INSTALL_PREFIX "")
  set(CPACK_PACKAGE_FILE_NAME "vemo-${PROJECT_VERSION}-win64")
  foreach(text README LICENSE)
    set(source ${PROJECT_SOURCE_DIR}/${text})
    if(text STREQUAL README)
      set(source ${source}.md)
    endif()
    file(READ ${source} content)
    string(REPLACE "\n" "\r\n" content "${content}")
    file(WRITE ${PROJECT_BINARY_DIR}/package/${text}.txt "${content}")
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${source})
    install(FILES ${PROJECT_BINARY_DIR}/package/${text}.txt DESTINATION .)
  endforeach()
endif()

include(CPack)
