# Helpers shared by every folder's CMakeLists.txt.
include(GoogleTest)

set(RTKKVN_PLATFORM_INCLUDE ${PROJECT_SOURCE_DIR}/platform)

# rtkkvn_platform_library(name SOURCES ... LINK ...)
# Builds the sources once as an object library (white-box tests link it, so hidden symbols stay
# hidden) and a shared library from the same objects; the library's export macro marks its
# public surface.
function(rtkkvn_platform_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_library(${name}_objects OBJECT ${ARG_SOURCES})
  target_include_directories(${name}_objects PUBLIC ${RTKKVN_PLATFORM_INCLUDE})
  target_link_libraries(${name}_objects PUBLIC ${ARG_LINK})
  add_library(${name} SHARED $<TARGET_OBJECTS:${name}_objects>)
  target_include_directories(${name} PUBLIC ${RTKKVN_PLATFORM_INCLUDE})
  target_link_libraries(${name} PUBLIC ${ARG_LINK})
endfunction()

# rtkkvn_unit_test(name SOURCES ... LINK ...): a GoogleTest executable registered with ctest.
function(rtkkvn_unit_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LINK} GTest::gmock GTest::gtest_main Threads::Threads)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

# libFuzzer targets (the fuzz preset: clang, RTKKVN_FUZZ=ON): each target compiles the code it
# fuzzes again with coverage and sanitizer instrumentation, so that libFuzzer sees inside it.
set(RTKKVN_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined)

# rtkkvn_fuzz_target(name SOURCES ... INSTRUMENT <libraries whose sources to fuzz>)
# The instrumented libraries are object or static libraries; what they link is linked as it is.
function(rtkkvn_fuzz_target name)
  cmake_parse_arguments(ARG "" "" "SOURCES;INSTRUMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  foreach(library IN LISTS ARG_INSTRUMENT)
    get_target_property(sources ${library} SOURCES)
    get_target_property(directory ${library} SOURCE_DIR)
    list(TRANSFORM sources PREPEND ${directory}/)
    target_sources(${name} PRIVATE ${sources})
    target_include_directories(${name} PRIVATE
      $<TARGET_PROPERTY:${library},INTERFACE_INCLUDE_DIRECTORIES>)
    get_target_property(links ${library} INTERFACE_LINK_LIBRARIES)
    if(links)
      target_link_libraries(${name} PRIVATE ${links})
    endif()
  endforeach()
  target_compile_options(${name} PRIVATE ${RTKKVN_FUZZ_FLAGS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined)
  set_property(GLOBAL APPEND PROPERTY RTKKVN_FUZZ_TARGETS ${name})
endfunction()
