# Test programs are Windows programs: built with the cross-compiler against
# GoogleTest from Debian's sources, and run under Wine by CTest, each suite in
# a Wine prefix of its own below the build tree.
enable_testing()

set(TAVRIN_WINE_RUN ${CMAKE_SOURCE_DIR}/scripts/wine-run.sh)
set(TAVRIN_WINE_PREFIXES ${CMAKE_BINARY_DIR}/wine)

set(TAVRIN_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${TAVRIN_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)

# tavrin_add_suite(<name> SOURCES <files...> [LIBRARIES <targets...>] [TIMEOUT <s>])
# A GoogleTest program and its CTest test, run under Wine in prefix <name>.
function(tavrin_add_suite name)
  cmake_parse_arguments(SUITE "" "TIMEOUT" "SOURCES;LIBRARIES" ${ARGN})
  if(NOT SUITE_TIMEOUT)
    set(SUITE_TIMEOUT 600)
  endif()
  add_executable(${name} ${SUITE_SOURCES})
  tavrin_target(${name})
  target_link_libraries(${name} PRIVATE ${SUITE_LIBRARIES} GTest::gmock GTest::gtest_main)
  tavrin_large_address_aware(${name})
  add_test(NAME ${name}
           COMMAND ${TAVRIN_WINE_RUN} ${TAVRIN_WINE_PREFIXES} ${name}
                   $<TARGET_FILE:${name}> --gtest_color=no)
  # A crash under Wine does not always reach the exit status: read Wine's report too.
  set_tests_properties(${name} PROPERTIES TIMEOUT ${SUITE_TIMEOUT} LABELS ${TAVRIN_ARCH}
                       FAIL_REGULAR_EXPRESSION "Unhandled (page fault|exception)")
endfunction()

# A 32-bit test program sees addresses above 2 GiB, as a large-address-aware
# JVM process does, so handles are exercised with the sign bit set.
function(tavrin_large_address_aware target)
  if(TAVRIN_ARCH STREQUAL "x86")
    target_link_options(${target} PRIVATE -Wl,--large-address-aware)
  endif()
endfunction()
