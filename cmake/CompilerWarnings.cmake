# SPDX-License-Identifier: GPL-3.0-or-later
# Warnings every Quillmark target links PRIVATE.
add_library(quillmark_warnings INTERFACE)
target_compile_options(quillmark_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
  -Wcast-align -Woverloaded-virtual -Wconversion -Wsign-conversion
  -Wnull-dereference -Wdouble-promotion -Wformat=2 -Wimplicit-fallthrough)
option(QUILLMARK_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)
if(QUILLMARK_WARNINGS_AS_ERRORS)
  target_compile_options(quillmark_warnings INTERFACE -Werror)
endif()
