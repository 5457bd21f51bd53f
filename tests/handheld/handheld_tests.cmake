# zp-handheld's tests: the program started as a process on loopback, and a
# minimal desktop played by the test with raw sockets.
if(NOT WIN32 AND NOT ZP_FUZZ AND TARGET zp-handheld)
  add_executable(handheld_tests
    tests/handheld/desktop_side.cpp
    tests/handheld/handheld_fixture.cpp
    tests/handheld/handheld_process.cpp
    tests/handheld/handheld_link_test.cpp
    tests/handheld/handheld_rapi_test.cpp
    tests/handheld/handheld_faults_test.cpp
    tests/handheld/handheld_legacy_test.cpp
    tests/handheld/legacy_desktop_side.cpp)
  target_link_libraries(handheld_tests PRIVATE zptestsupport zphandheld GTest::gtest_main)
  target_compile_definitions(handheld_tests PRIVATE ZP_HANDHELD="$<TARGET_FILE:zp-handheld>")
  add_dependencies(handheld_tests zp-handheld)
  zp_test_target(handheld_tests)
  gtest_discover_tests(handheld_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)
endif()
# zamopocket-chat's exchange, against zp-handheld's serial line on a
# pseudo-terminal and against byte streams.
if(NOT WIN32 AND NOT ZP_FUZZ AND TARGET zp-handheld AND TARGET zpchat)
  add_executable(chat_tests tests/chat/chat_test.cpp tests/handheld/handheld_process.cpp)
  target_link_libraries(chat_tests PRIVATE zpchat GTest::gtest_main)
  target_include_directories(chat_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(chat_tests PRIVATE ZP_HANDHELD="$<TARGET_FILE:zp-handheld>")
  add_dependencies(chat_tests zp-handheld)
  zp_target(chat_tests)
  gtest_discover_tests(chat_tests DISCOVERY_TIMEOUT 60 PROPERTIES LABELS unit)
endif()
