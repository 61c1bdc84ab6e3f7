# SPDX-License-Identifier: GPL-3.0-or-later
# Finds xxHash's header (Debian: libxxhash-dev). The engine compiles xxHash inline
# (XXH_INLINE_ALL), so only the header is needed; XXH3's 128-bit hash needs 0.8 or later.
# Defines XXHash::XXHash, an interface target that carries the include directory.
find_path(XXHASH_INCLUDE_DIR xxhash.h)
if(XXHASH_INCLUDE_DIR)
  file(STRINGS ${XXHASH_INCLUDE_DIR}/xxhash.h _xxhash_version_lines
    REGEX "^#define XXH_VERSION_(MAJOR|MINOR|RELEASE) +[0-9]+")
  foreach(_part MAJOR MINOR RELEASE)
    string(REGEX REPLACE ".*#define XXH_VERSION_${_part} +([0-9]+).*" "\\1"
      _xxhash_${_part} "${_xxhash_version_lines}")
  endforeach()
  set(XXHASH_VERSION ${_xxhash_MAJOR}.${_xxhash_MINOR}.${_xxhash_RELEASE})
endif()

include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(XXHash
  REQUIRED_VARS XXHASH_INCLUDE_DIR
  VERSION_VAR XXHASH_VERSION
  REASON_FAILURE_MESSAGE
    "xxhash.h 0.8 or later is needed: install Debian's libxxhash-dev (scripts/install-deps.sh)")

if(XXHash_FOUND AND NOT TARGET XXHash::XXHash)
  add_library(XXHash::XXHash INTERFACE IMPORTED)
  target_include_directories(XXHash::XXHash INTERFACE ${XXHASH_INCLUDE_DIR})
endif()
mark_as_advanced(XXHASH_INCLUDE_DIR)
