# The Linux tests: unit tests, and the end-to-end scenarios that run the built
# program, natively and (label "wine") zamopocket.exe under Wine.

# Debian's prebuilt GoogleTest when it is there, else its sources.
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  if(NOT EXISTS /usr/src/googletest/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest not found: install libgtest-dev or googletest")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
include(GoogleTest)

# A test target: every test file includes GoogleTest and much of the
# standard library, parsed once per target rather than once per file.
function(zp_test_target target)
  zp_target(${target})
  target_precompile_headers(${target} PRIVATE
    <gtest/gtest.h> <cstdint> <filesystem> <functional> <map> <memory> <string> <vector>)
  # g++ 12 no longer treats the standard library's inlined copies as system
  # code once they come from a precompiled header, and its bounds warnings
  # misread their sizes (the ASan pass checks the tests' bounds instead).
  target_compile_options(${target} PRIVATE
    -Wno-array-bounds -Wno-restrict -Wno-stringop-overflow -Wno-stringop-overread)
endfunction()

add_library(zptestsupport STATIC
  tests/support/desktop_env.cpp
  tests/support/device_world.cpp
  tests/support/handheld_test.cpp
  tests/support/program_run.cpp
  tests/support/reg_text.cpp
  tests/support/temp_dir.cpp)
target_link_libraries(zptestsupport PUBLIC zpsim GTest::gtest)
target_include_directories(zptestsupport PUBLIC tests)
zp_test_target(zptestsupport)

add_executable(unit_tests
  tests/device/device_identity_test.cpp
  tests/device/file_copy_test.cpp
  tests/device/path_walk_test.cpp
  tests/device/remote_handles_test.cpp
  tests/install/installer_test.cpp
  tests/install/pending_list_test.cpp
  tests/link/device_info_test.cpp
  tests/link/legacy_wire_test.cpp
  tests/link/link_choice_test.cpp
  tests/link/replies_test.cpp
  tests/platform/listing_filter_test.cpp
  tests/platform/name_rules_test.cpp
  tests/platform/posix_files_test.cpp
  tests/platform/posix_misc_test.cpp
  tests/platform/posix_name_index_test.cpp
  tests/platform/posix_power_cut_test.cpp
  tests/platform/posix_registry_test.cpp
  tests/platform/regfile_test.cpp
  tests/report/log_test.cpp
  tests/report/progress_terminal_test.cpp
  tests/report/progress_test.cpp
  tests/session/folder_name_test.cpp
  tests/session/session_test.cpp
  tests/simulator/fault_rules_test.cpp
  tests/simulator/sim_files_test.cpp
  tests/simulator/sim_find_test.cpp
  tests/simulator/sim_process_test.cpp
  tests/simulator/sim_profiles_test.cpp
  tests/simulator/sim_registry_test.cpp
  tests/transfer/array_collection_test.cpp
  tests/transfer/long_names_test.cpp
  tests/transfer/pending_moves_test.cpp
  tests/transfer/array_names_test.cpp
  tests/transfer/delivery_test.cpp
  tests/transfer/desktop_faults_test.cpp)
target_link_libraries(unit_tests PRIVATE zptestsupport GTest::gtest_main)
zp_test_target(unit_tests)
gtest_discover_tests(unit_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)

add_executable(e2e_tests
  tests/e2e/dialog_session_test.cpp
  tests/e2e/fault_sweep_test.cpp
  tests/e2e/hostile_link_test.cpp
  tests/e2e/install_session_test.cpp
  tests/e2e/legacy_link_test.cpp
  tests/e2e/link_interface_test.cpp
  tests/e2e/link_launcher.cpp
  tests/e2e/link_session_test.cpp
  tests/e2e/session_exits_test.cpp
  tests/e2e/session_world.cpp
  tests/e2e/sync_session_test.cpp
  tests/e2e/wine_launcher.cpp)
target_link_libraries(e2e_tests PRIVATE zptestsupport GTest::gtest_main)
target_compile_definitions(e2e_tests PRIVATE
  ZP_PROGRAM="$<TARGET_FILE:zamopocket>" ZP_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
  ZP_HANDHELD_PROGRAM="${CMAKE_BINARY_DIR}/zp-handheld"
  ZP_WINDOWS_PROGRAM="${CMAKE_SOURCE_DIR}/build/windows/zamopocket.exe"
  ZP_WINDOWS_PROBE="${CMAKE_SOURCE_DIR}/build/windows/dialog_probe.exe")
add_dependencies(e2e_tests zamopocket)
if(TARGET zp-handheld)
  add_dependencies(e2e_tests zp-handheld)
endif()
zp_test_target(e2e_tests)
gtest_discover_tests(e2e_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS e2e)
# The same scenarios over the handheld's own link: the Linux program and the
# handheld program on a pair of loopback addresses of their own.
# One label each: gtest_discover_tests spreads a list value over several
# properties, and the ENVIRONMENT after it would be lost.
gtest_discover_tests(e2e_tests TEST_PREFIX "link:" DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS link ENVIRONMENT "ZP_E2E_LAUNCHER=link")
# And over the older handhelds' link: the handheld program plays a Pocket PC
# 2003 (control on the desktop's 5679, sessions on its own 990).
gtest_discover_tests(e2e_tests TEST_PREFIX "legacy:" DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS legacy ENVIRONMENT "ZP_E2E_LAUNCHER=legacy")
# The same scenarios against the Windows program. A Wine prefix's registry,
# drive C: and display serve one test at a time: each test takes one of the
# prefixes of scripts/with-wine.sh, as a "wine" resource of CTest
# (tests/wine-resources.json, the wine-e2e test preset).
gtest_discover_tests(e2e_tests TEST_PREFIX "wine:" DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS wine ENVIRONMENT "ZP_E2E_LAUNCHER=wine" RESOURCE_GROUPS "wine:1")
# And once more with the Windows program over the handheld's own link: no
# DLLs beside it, the handheld program on loopback (as root: Wine binds
# port 990 only there).
gtest_discover_tests(e2e_tests TEST_PREFIX "winelink:" DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS wine ENVIRONMENT "ZP_E2E_LAUNCHER=winelink" RESOURCE_GROUPS "wine:1")

# The x64 installer: installed, run once, upgraded and uninstalled under Wine.
add_test(NAME package_install COMMAND sh ${CMAKE_SOURCE_DIR}/tests/package/install_test.sh)
set_tests_properties(package_install PROPERTIES LABELS wine RESOURCE_GROUPS "wine:1" TIMEOUT 300)

# The Debian package: installed, run against zp-handheld over a veth pair,
# removed and purged in a clean Debian root (root only; 77: skipped). Not
# in the ASan pass: the root has no sanitizer runtime, and the package is
# made from the plain build.
if(NOT ZP_SANITIZE)
  add_test(NAME deb_install COMMAND sh ${CMAKE_SOURCE_DIR}/tests/package/deb_install_test.sh ${CMAKE_BINARY_DIR})
  set_tests_properties(deb_install PROPERTIES LABELS deb SKIP_RETURN_CODE 77 TIMEOUT 900 COST 1000)
endif()

# The collision check: no name of the program's headers may be a Win32 macro.
find_program(ZP_MINGW_CXX x86_64-w64-mingw32-g++-posix)
if(ZP_MINGW_CXX)
  add_test(NAME headers_beside_windows_h
    COMMAND ${CMAKE_COMMAND} -DCXX=${ZP_MINGW_CXX} -DSOURCE=${CMAKE_SOURCE_DIR}
            -DWORK=${CMAKE_BINARY_DIR}/windows_h_check -P ${CMAKE_SOURCE_DIR}/cmake/check_windows_names.cmake)
  set_tests_properties(headers_beside_windows_h PROPERTIES LABELS unit)
endif()
include(tests/handheld/handheld_tests.cmake)
# After every discovered test: which scenarios start first.
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${CMAKE_SOURCE_DIR}/cmake/test_costs.cmake)
