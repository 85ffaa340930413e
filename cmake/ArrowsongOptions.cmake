# Project-wide compiler settings: two INTERFACE targets for warnings, linked
# PRIVATE, and the sanitizer switch that applies to the whole build.

# The full set, for everything that ships: every library and every installed
# program (the game, pitchtrack and the parts they are built from).
add_library(arrowsong_warnings INTERFACE)
add_library(arrowsong::warnings ALIAS arrowsong_warnings)
target_compile_options(arrowsong_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wdouble-promotion
  $<$<BOOL:${ARROWSONG_WERROR}>:-Werror>)

# Tests, benchmarks, fuzz targets and the measurement programs that are not
# installed get the common set without -Wconversion: their literals and
# GoogleTest's macros would drown real findings.
add_library(arrowsong_test_warnings INTERFACE)
add_library(arrowsong::test_warnings ALIAS arrowsong_test_warnings)
target_compile_options(arrowsong_test_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow
  $<$<BOOL:${ARROWSONG_WERROR}>:-Werror>)

if(ARROWSONG_SANITIZE)
  message(STATUS "Sanitizers: ${ARROWSONG_SANITIZE}")
  add_compile_options(-fsanitize=${ARROWSONG_SANITIZE} -fno-omit-frame-pointer)
  add_link_options(-fsanitize=${ARROWSONG_SANITIZE})
  if(ARROWSONG_SANITIZE MATCHES "undefined")
    # Any report must fail the run, not scroll past.
    add_compile_options(-fno-sanitize-recover=all)
  endif()
endif()

if(ARROWSONG_BUILD_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "The fuzz targets need clang (CC=clang CXX=clang++)")
  endif()
  # Coverage instrumentation for everything the fuzz targets link; only the
  # targets themselves link libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()

# Adds every folder below the current one that has a CMakeLists.txt, in name
# order: tests/, bench/, fuzz/ and tools/ hold one folder per module.
function(arrowsong_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} *)
  list(SORT children)
  foreach(child IN LISTS children)
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# A part that needs tools the machine lacks is left out of a build for
# playing, with a note; the test command sets ARROWSONG_REQUIRE_ALL, where a
# part left out would be a test silently not run.
function(arrowsong_part_unavailable what hint)
  if(ARROWSONG_REQUIRE_ALL)
    message(FATAL_ERROR "${what} cannot be built: ${hint}")
  endif()
  message(STATUS "${what} off: ${hint}")
endfunction()
