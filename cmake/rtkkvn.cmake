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
