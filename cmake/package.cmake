# The Debian package: `cpack -G DEB` in the build folder (scripts/package.sh does the whole
# build) makes vemo_<version>_<arch>.deb from the install rules.
set(CPACK_PACKAGE_NAME vemo)
set(CPACK_PACKAGE_VENDOR "The Vemo developers")
set(CPACK_PACKAGE_CONTACT "${VEMO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert AXE data files into comma-separated text")
set(CPACK_PACKAGE_DESCRIPTION
    "Vemo converts AXE data files, the fixed 2048-byte blocks of call records
that telephone exchanges write, into plain comma-separated text: one line
per record with date, time, the two numbers, the elapsed seconds, the
counter and two short texts.

The package holds the window program vemo, where files are picked from
lists, and vemo-convert, the same conversion on the command line for
scripts and servers.")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The Debian package is for Linux builds only.
if(NOT WIN32)
  set(CPACK_GENERATOR DEB)
endif()

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VEMO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VEMO_HOMEPAGE}")
# Library dependencies come from dpkg-shlibdeps; Qt's platform plugins are loaded at run time,
# so the window needs them named, and Show Sample opens its viewer with xdg-open.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Creates the user of vemo-convert-watch@.service.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_SOURCE_DIR}/dist/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The watch service's user is made with adduser where systemd-sysusers is missing.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser")
if(VEMO_BUILD_UI)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "adduser, qt6-qpa-plugins")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
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
