# Compiler settings shared by every target of the project.
add_library(halcyra_warnings INTERFACE)
target_compile_options(halcyra_warnings INTERFACE -Wall -Wextra -Wpedantic)
# GCC 12 reports false -Wrestrict overlaps inside std::string at -O3 (its bug 105651), e.g. for "a" + s.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(halcyra_warnings INTERFACE -Wno-restrict)
endif()
if(HALCYRA_WERROR)
  target_compile_options(halcyra_warnings INTERFACE -Werror)
endif()

if(HALCYRA_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Fuzzing: every library a fuzz target links is built with libFuzzer's coverage instrumentation and the
# sanitizers, not only the harness, so the fuzzer sees the code under test and its faults. The fuzz
# targets add -fsanitize=fuzzer themselves (fuzz/CMakeLists.txt).
if(HALCYRA_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "HALCYRA_FUZZ needs clang: configure with -DCMAKE_CXX_COMPILER=clang++")
  endif()
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# Core libraries must stay free of Qt: they link only the standard library and each other.
function(halcyra_core_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC halcyra_warnings)
  set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
endfunction()

# Program-side libraries may use Qt.
function(halcyra_qt_library name)
  add_library(${name} STATIC ${ARGN})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(${name} PUBLIC halcyra_warnings)
endfunction()
