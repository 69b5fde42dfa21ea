# Shared build helpers.  Every library globs its own directory so that
# adding a source file never needs an edit here.

# velmi_library(<target> [RECURSE] [LEAF] DIRS <dir>... [DEPS <target>...])
# Sources: *.cpp / *.c in each DIR (recursively with RECURSE).  A library
# without sources becomes an INTERFACE target so dependants still link.
# Every library sees the project's root folder; all but a LEAF also see the
# platform's headers (<windows.h> and the rest).
function(velmi_library target)
  cmake_parse_arguments(A "RECURSE;LEAF" "" "DIRS;DEPS;PRIVATE_DEPS" ${ARGN})
  set(includes ${PROJECT_SOURCE_DIR})
  if(NOT A_LEAF)
    list(APPEND includes ${PROJECT_SOURCE_DIR}/platform/include)
  endif()
  set(srcs)
  foreach(d IN LISTS A_DIRS)
    if(A_RECURSE)
      file(GLOB_RECURSE s CONFIGURE_DEPENDS ${d}/*.cpp ${d}/*.c)
    else()
      file(GLOB s CONFIGURE_DEPENDS ${d}/*.cpp ${d}/*.c)
    endif()
    list(APPEND srcs ${s})
  endforeach()
  if(srcs)
    add_library(${target} STATIC ${srcs})
    target_include_directories(${target} PUBLIC ${includes})
    target_link_libraries(${target} PUBLIC ${A_DEPS} PRIVATE ${A_PRIVATE_DEPS})
  else()
    add_library(${target} INTERFACE)
    target_include_directories(${target} INTERFACE ${includes})
    target_link_libraries(${target} INTERFACE ${A_DEPS})
  endif()
endfunction()

# velmi_test(<name> SOURCES ... LIBS ...): one GoogleTest executable,
# registered with CTest.  Not built in the fuzz configuration.
function(velmi_test name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  if(VELMI_FUZZ OR NOT VELMI_TESTS)
    return()
  endif()
  find_package(GTest REQUIRED)
  add_executable(${name} ${A_SOURCES})
  # Every test has the shared test support (tests/support): scratch folders and file helpers.
  target_link_libraries(${name} PRIVATE ${A_LIBS} velmi_test_support GTest::gtest GTest::gtest_main Threads::Threads)
  target_compile_definitions(${name} PRIVATE VELMI_SOURCE_DIR="${PROJECT_SOURCE_DIR}" VELMI_BINARY_DIR="${PROJECT_BINARY_DIR}")
  include(GoogleTest)
  gtest_discover_tests(${name} TEST_PREFIX "${name}." DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()

# velmi_fuzz(<name> SOURCE <file> LIBS ...): a libFuzzer target, built only
# in the fuzz configuration.  CI runs every one for a bounded time.
function(velmi_fuzz name)
  cmake_parse_arguments(A "" "" "SOURCE;LIBS" ${ARGN})
  if(NOT VELMI_FUZZ)
    return()
  endif()
  add_executable(${name} ${A_SOURCE})
  target_link_libraries(${name} PRIVATE ${A_LIBS} Threads::Threads)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_property(GLOBAL APPEND PROPERTY VELMI_FUZZ_TARGETS ${name})
endfunction()

# velmi_bench(<name> SOURCES ... LIBS ...): a Google Benchmark executable.
function(velmi_bench name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} benchmark::benchmark Threads::Threads)
endfunction()

find_package(Threads REQUIRED)
