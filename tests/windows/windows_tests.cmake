# SPDX-License-Identifier: GPL-3.0-or-later
# The tests of the Windows build, run under Wine (the toolchain's CMAKE_CROSSCOMPILING_EMULATOR): the
# engine's and the batch's tests that need no POSIX system (pseudo-terminals, fork) and no libsndfile
# (which this build has not), the Windows platform's own, and the five files of a recording compared
# with those of the Linux build.

# GoogleTest as the Windows system has it (MSYS2), or else built for Windows from Debian's sources.
find_package(GTest QUIET)
if(NOT TARGET GTest::gtest_main)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
include(GoogleTest)

add_executable(kestrix_engine_tests ${KESTRIX_PORTABLE_ENGINE_TESTS}
    support/fifo_windows.cpp
    windows/win_platform_test.cpp)
target_include_directories(kestrix_engine_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kestrix_engine_tests PRIVATE kestrix_engine kestrix_view_math kestrix_platform_std
                                                   kestrix_platform_nosound GTest::gtest_main kestrix_warnings)
target_compile_options(kestrix_engine_tests PRIVATE -ffp-contract=off)
gtest_discover_tests(kestrix_engine_tests DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT ${KESTRIX_TEST_TIMEOUT})

add_executable(kestrix_cli_tests cli/batch_test.cpp support/fifo_windows.cpp)
target_include_directories(kestrix_cli_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(kestrix_cli_tests PRIVATE kestrix_batch kestrix_platform_std GTest::gtest_main kestrix_warnings)
gtest_discover_tests(kestrix_cli_tests DISCOVERY_TIMEOUT 120 PROPERTIES TIMEOUT ${KESTRIX_TEST_TIMEOUT})

# kestrix-batch.exe against the Linux build's kestrix-batch on the same generated recording (given by
# make windows-test as KESTRIX_LINUX_BUILD).
if(KESTRIX_LINUX_BUILD)
    add_test(NAME WindowsBatchWritesTheLinuxBuildsFiles
             COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/windows/compare_builds.py
                     --linux-build ${KESTRIX_LINUX_BUILD} --windows-batch $<TARGET_FILE:kestrix-batch>
                     --wine ${CMAKE_CROSSCOMPILING_EMULATOR})
    set_tests_properties(WindowsBatchWritesTheLinuxBuildsFiles PROPERTIES TIMEOUT ${KESTRIX_TEST_TIMEOUT})
endif()

# The cross build links statically: its kestrix-batch.exe runs from the zip alone. (A native build
# links the toolchain's DLLs, which its installer carries.)
if(CMAKE_CROSSCOMPILING)
    add_test(NAME WindowsBatchNeedsOnlyTheSystemsDlls
             COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DPROGRAM=$<TARGET_FILE:kestrix-batch>
                     -P ${CMAKE_CURRENT_SOURCE_DIR}/windows/system_dlls.cmake)
    set_tests_properties(WindowsBatchNeedsOnlyTheSystemsDlls PROPERTIES TIMEOUT ${KESTRIX_TEST_TIMEOUT})
endif()
