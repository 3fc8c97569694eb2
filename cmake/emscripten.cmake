# Compiles to WebAssembly with emscripten (Debian and Ubuntu: apt-get install
# emscripten): finds emscripten's own toolchain file and takes it.
#
#   cmake --workflow --preset web
#
# EMSCRIPTEN_ROOT, in the environment or the cache, says where emscripten
# is; otherwise em-config on the PATH, or Debian's place, tells.
if(NOT EMSCRIPTEN_ROOT AND DEFINED ENV{EMSCRIPTEN_ROOT})
  set(EMSCRIPTEN_ROOT "$ENV{EMSCRIPTEN_ROOT}")
endif()
if(NOT EMSCRIPTEN_ROOT)
  find_program(D88UNPACK_EM_CONFIG em-config)
  if(D88UNPACK_EM_CONFIG)
    execute_process(COMMAND ${D88UNPACK_EM_CONFIG} EMSCRIPTEN_ROOT
                    OUTPUT_VARIABLE EMSCRIPTEN_ROOT OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE found)
    if(NOT found EQUAL 0)
      set(EMSCRIPTEN_ROOT "")
    endif()
  endif()
endif()
if(NOT EMSCRIPTEN_ROOT AND EXISTS /usr/share/emscripten)
  set(EMSCRIPTEN_ROOT /usr/share/emscripten)
endif()
set(toolchain "${EMSCRIPTEN_ROOT}/cmake/Modules/Platform/Emscripten.cmake")
if(NOT EXISTS "${toolchain}")
  message(FATAL_ERROR "emscripten not found (apt-get install emscripten, or set EMSCRIPTEN_ROOT)")
endif()
set(EMSCRIPTEN_ROOT "${EMSCRIPTEN_ROOT}" CACHE PATH "Where emscripten is")
include("${toolchain}")
