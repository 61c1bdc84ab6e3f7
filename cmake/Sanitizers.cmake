# AddressSanitizer and UndefinedBehaviorSanitizer, on when QUILLMARK_ENABLE_ASAN is set.
add_library(quillmark_sanitizers INTERFACE)
option(QUILLMARK_ENABLE_ASAN "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(QUILLMARK_ENABLE_ASAN)
  set(_quillmark_san -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_compile_options(quillmark_sanitizers INTERFACE ${_quillmark_san})
  target_link_options(quillmark_sanitizers INTERFACE ${_quillmark_san})
endif()
