# Helpers shared by every module's CMakeLists.

# wf_add_test(<name> SOURCES <files...> LIBS <targets...>)
# One test program per module; each gtest case runs as its own CTest test,
# with its own runtime and data directories (see platform/testing).
function(wf_add_test name)
  if(NOT WF_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE wftesting ${T_LIBS} GTest::gtest GTest::gmock)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
