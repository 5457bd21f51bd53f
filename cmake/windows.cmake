# The Windows targets: zamopocket.exe, the stand-in DLLs of the tests, and the
# tests that run under Wine.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})

# The run-time binding of ActiveSync's rapi.dll and ceutil.dll.
add_library(zprapi STATIC src/device/rapi_binding.cpp src/device/rapi_library.cpp
  src/device/rapi_search.cpp)
target_link_libraries(zprapi PUBLIC zpcore)
zp_target(zprapi)

# The progress dialog: its template and the renderer that drives it.
enable_language(RC)
add_library(zpdialog STATIC src/report/progress_dialog.cpp)
target_link_libraries(zpdialog PUBLIC zpcore comctl32)
zp_target(zpdialog)

add_executable(zamopocket WIN32 src/session/main_win32.cpp res/progress.rc)
target_link_libraries(zamopocket PRIVATE zprapi zpdialog)
zp_target(zamopocket)
# The program once more in a folder of its own, with no stand-in DLLs beside
# it: the end-to-end scenarios over the handheld's link run this copy.
add_custom_command(TARGET zamopocket POST_BUILD
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/link
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:zamopocket> ${CMAKE_BINARY_DIR}/link/zamopocket.exe)

if(NOT CMAKE_SYSTEM_PROCESSOR STREQUAL x86_64)
  return()  # 32-bit: the program is a compile-and-link check; nothing here runs it
endif()

# The simulated handheld behind ActiveSync's exports: test fixtures beside the
# program, never part of a release.
add_library(rapi SHARED simulator/rapi_exports.cpp simulator/rapi.def)
set_target_properties(rapi PROPERTIES PREFIX "" OUTPUT_NAME rapi)
target_link_libraries(rapi PRIVATE zpsim)
zp_target(rapi)
add_library(ceutil SHARED simulator/ceutil_exports.cpp simulator/ceutil.def)
set_target_properties(ceutil PROPERTIES PREFIX "" OUTPUT_NAME ceutil)
target_link_libraries(ceutil PRIVATE zpsim)
zp_target(ceutil)

include(CTest)
if(NOT BUILD_TESTING)
  return()
endif()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
include(GoogleTest)

# Looks for the progress dialog while a session runs (the scenarios under Wine).
add_executable(dialog_probe tests/win32/dialog_probe.cpp)
target_include_directories(dialog_probe PRIVATE src)
zp_target(dialog_probe)

# A rapi.dll with only some exports, for the binding's missing-export case.
add_library(partial_rapi SHARED tests/win32/partial_rapi.cpp tests/win32/partial_rapi.def)
target_include_directories(partial_rapi PRIVATE src)
set_target_properties(partial_rapi PROPERTIES PREFIX "" OUTPUT_NAME rapi
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/partial ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/partial)
zp_target(partial_rapi)

add_executable(win_unit_tests
  res/progress.rc
  tests/win32/progress_dialog_test.cpp
  tests/win32/rapi_library_test.cpp
  tests/win32/win32_files_test.cpp
  tests/win32/win32_misc_test.cpp
  tests/win32/win32_registry_test.cpp
  tests/win32/win32_sockets_test.cpp)
target_link_libraries(win_unit_tests PRIVATE zprapi zpdialog gtest_main)
target_include_directories(win_unit_tests PRIVATE tests)
# The folders as Wine sees them (drive Z: is the host's root).
target_compile_definitions(win_unit_tests PRIVATE
  ZP_PARTIAL_RAPI_DIR="Z:${CMAKE_BINARY_DIR}/partial" ZP_STANDIN_DIR="Z:${CMAKE_BINARY_DIR}")
add_dependencies(win_unit_tests partial_rapi rapi ceutil)
zp_target(win_unit_tests)
# Discovered when the tests run, under the Wine prefix the test run starts.
gtest_discover_tests(win_unit_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
  PROPERTIES LABELS windows)
