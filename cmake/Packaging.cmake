# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` in a build folder (scripts/package.sh does it all). Its
# dependencies are computed from the libraries the program links (dpkg-shlibdeps); Wine's
# Tahoma, the window's font when installed, is recommended.
set(CPACK_PACKAGE_NAME quillmark)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quillmark maintainers")
set(CPACK_PACKAGE_CONTACT "${QUILLMARK_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
  "Quillmark searches the files of one folder for a piece of text and either\n"
  "replaces every occurrence, rewriting the files in place, or only reports which\n"
  "files hold it. Every byte outside a replaced occurrence stays as it was, and a\n"
  "changed file is written through a temporary file and a rename. Binary,\n"
  "read-only and linked files are left alone and named with the reason.\n"
  "\n"
  "The same engine runs without a window from the command line, for scripts.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS fonts-wine)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${QUILLMARK_MAINTAINER}")
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
