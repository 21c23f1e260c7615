# GoogleTest from Debian's sources, built with whichever compiler this build uses
# (the mingw cross compiler, or the native one for the engine library's own tests).
set(KOVRA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${KOVRA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
foreach(gtest_target gtest gtest_main gmock gmock_main)
    if(TARGET ${gtest_target})
        target_compile_options(${gtest_target} PRIVATE -w)
    endif()
endforeach()

include(GoogleTest)

if(CMAKE_CROSSCOMPILING)
    # The Windows test programs start through a launcher that says how a program ended: its exit
    # status, Wine's error lines, and the prefix's wineserver when it printed nothing at all.
    set(CMAKE_CROSSCOMPILING_EMULATOR bash ${CMAKE_CURRENT_LIST_DIR}/run-under-wine.sh)
endif()

# kovra_add_test(NAME SOURCES a.cpp b.cpp LIBRARIES lib1 lib2)
# One GoogleTest program; ctest lists each of its test cases (under Wine when cross-built).
function(kovra_add_test name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest_main GTest::gmock)
    gtest_discover_tests(${name}
        NO_PRETTY_VALUES
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT 120
        PROPERTIES TIMEOUT 300)
endfunction()
