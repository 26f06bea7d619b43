# Build helpers shared by every folder of the tree.

set(ORVEX_WARNINGS -Wall -Wextra)
if(ORVEX_WERROR)
  list(APPEND ORVEX_WARNINGS -Werror)
endif()

set(ORVEX_SANITIZER_FLAGS)
if(ORVEX_SANITIZE)
  set(ORVEX_SANITIZER_FLAGS -fsanitize=address,undefined -fno-omit-frame-pointer
                            -fno-sanitize-recover=undefined)
  add_compile_options(${ORVEX_SANITIZER_FLAGS})
  add_link_options(-fsanitize=address,undefined)
endif()
if(ORVEX_FUZZ)
  # Every library is instrumented for coverage; only the fuzz targets link the fuzzer's main.
  # Undefined behaviour stops the run, so the fuzzer keeps the input that caused it.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

# add_subdirectory for a folder the build names: a missing folder is an error.
function(orvex_subdirectory dir)
  if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
    message(FATAL_ERROR "${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt is missing")
  endif()
  add_subdirectory(${dir})
endfunction()

# orvex_library(NAME [DIRS d1 d2 ...] [LIBS l1 l2 ...])
# A static library orvex_NAME from every .cpp in the current folder (or in DIRS, relative to it).
# The include root is the top of the source tree: headers are included as "base/fd.h".
function(orvex_library name)
  cmake_parse_arguments(ARG "" "" "DIRS;LIBS" ${ARGN})
  if(NOT ARG_DIRS)
    set(ARG_DIRS .)
  endif()
  set(sources)
  foreach(d ${ARG_DIRS})
    file(GLOB found CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${d}/*.cpp)
    list(APPEND sources ${found})
  endforeach()
  add_library(orvex_${name} STATIC ${sources})
  target_include_directories(orvex_${name} PUBLIC ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/gen)
  target_compile_options(orvex_${name} PRIVATE ${ORVEX_WARNINGS})
  target_link_libraries(orvex_${name} PUBLIC ${ARG_LIBS})
endfunction()

# orvex_program(NAME SOURCES ... LIBS ...): an executable with the project's warnings.
function(orvex_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/gen)
  target_compile_options(${name} PRIVATE ${ORVEX_WARNINGS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS})
endfunction()

# orvex_test(SUBSYSTEM LIBS ...): one GoogleTest executable SUBSYSTEM_tests from every
# *_test.cpp in the current folder; each test case is registered with CTest. RESOURCE_LOCK names
# a resource (a fixed port) that its cases share with other tests: CTest runs them one at a time.
function(orvex_test subsystem)
  cmake_parse_arguments(ARG "" "RESOURCE_LOCK" "LIBS" ${ARGN})
  find_package(GTest REQUIRED)
  include(GoogleTest)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*_test.cpp
                                      ${CMAKE_CURRENT_SOURCE_DIR}/*_testlib.cpp)
  orvex_program(${subsystem}_tests SOURCES ${sources}
                LIBS ${ARG_LIBS} GTest::gmock GTest::gtest_main)
  target_compile_definitions(${subsystem}_tests PRIVATE
    ORVEX_SOURCE_DIR="${PROJECT_SOURCE_DIR}"
    ORVEX_BINARY_DIR="${PROJECT_BINARY_DIR}"
    ORVEX_TEST_DIR="${CMAKE_CURRENT_SOURCE_DIR}")
  set(lock)
  if(ARG_RESOURCE_LOCK)
    set(lock RESOURCE_LOCK ${ARG_RESOURCE_LOCK})
  endif()
  gtest_discover_tests(${subsystem}_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300 ${lock})
endfunction()

# The tests' support library, for benchmarks and fuzz targets in a build that may have no tests.
function(orvex_test_support)
  if(NOT TARGET orvex_testsupport)
    add_subdirectory(${PROJECT_SOURCE_DIR}/tests/support ${PROJECT_BINARY_DIR}/tests/support)
  endif()
endfunction()

# orvex_fuzz(NAME SOURCE [SEEDS DIR] LIBS ...): a libFuzzer target, and a run of it as a CTest
# test. With SEEDS, the run starts from the inputs in DIR and keeps what it finds in NAME.corpus
# of the build folder.
set(ORVEX_FUZZ_SECONDS 20 CACHE STRING "Seconds of each fuzz target's run in the test suite")
function(orvex_fuzz name source)
  cmake_parse_arguments(ARG "" "SEEDS" "LIBS" ${ARGN})
  orvex_program(${name} SOURCES ${source} LIBS ${ARG_LIBS})
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set(corpus)
  if(ARG_SEEDS)
    set(corpus ${CMAKE_CURRENT_BINARY_DIR}/${name}.corpus ${ARG_SEEDS})
    file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${name}.corpus)
  endif()
  add_test(NAME fuzz.${name}
           COMMAND ${name} -max_total_time=${ORVEX_FUZZ_SECONDS} -rss_limit_mb=2048
                   -timeout=10 -print_final_stats=1 ${corpus})
  math(EXPR timeout "${ORVEX_FUZZ_SECONDS} + 300")
  set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT ${timeout})
endfunction()

# orvex_bench(NAME SOURCES ... LIBS ...): a Google Benchmark program.
function(orvex_bench name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  find_package(benchmark REQUIRED)
  orvex_program(${name} SOURCES ${ARG_SOURCES} LIBS ${ARG_LIBS} benchmark::benchmark)
endfunction()

# add_subdirectory for every child folder of the current one that has a CMakeLists.txt.
function(orvex_add_children)
  file(GLOB children RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/*/CMakeLists.txt)
  foreach(child ${children})
    get_filename_component(dir ${child} DIRECTORY)
    add_subdirectory(${dir})
  endforeach()
endfunction()
