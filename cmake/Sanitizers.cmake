# SPDX-License-Identifier: GPL-3.0-or-later
# AddressSanitizer and UndefinedBehaviorSanitizer, on when QUILLMARK_ENABLE_ASAN is set;
# ThreadSanitizer, on when QUILLMARK_ENABLE_TSAN is set (the two cannot share a build).
# QUILLMARK_BUILD_FUZZERS (clang only) adds libFuzzer's coverage to every target and turns the
# sanitizers on with it.
add_library(quillmark_sanitizers INTERFACE)
option(QUILLMARK_ENABLE_ASAN "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(QUILLMARK_ENABLE_TSAN "Build with ThreadSanitizer" OFF)
option(QUILLMARK_BUILD_FUZZERS "Build the libFuzzer targets in fuzz/ (clang only)" OFF)
if(QUILLMARK_BUILD_FUZZERS)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "QUILLMARK_BUILD_FUZZERS needs clang++ (CMAKE_CXX_COMPILER=clang++)")
  endif()
  set(QUILLMARK_ENABLE_ASAN ON CACHE BOOL "" FORCE)
  target_compile_options(quillmark_sanitizers INTERFACE -fsanitize=fuzzer-no-link)
endif()
if(QUILLMARK_ENABLE_ASAN)
  set(_quillmark_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_compile_options(quillmark_sanitizers INTERFACE ${_quillmark_san})
  target_link_options(quillmark_sanitizers INTERFACE ${_quillmark_san})
endif()
if(QUILLMARK_ENABLE_TSAN)
  if(QUILLMARK_ENABLE_ASAN)
    message(FATAL_ERROR "QUILLMARK_ENABLE_TSAN and QUILLMARK_ENABLE_ASAN need separate builds")
  endif()
  set(_quillmark_tsan -fsanitize=thread -fno-omit-frame-pointer)
  target_compile_options(quillmark_sanitizers INTERFACE ${_quillmark_tsan})
  target_link_options(quillmark_sanitizers INTERFACE ${_quillmark_tsan})
endif()
