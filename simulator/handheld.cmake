# zp-handheld: the handheld on the wire (Linux test program). It serves a
# simulated handheld's folder over the handheld's own network link.
if(NOT WIN32 AND NOT ZP_FUZZ)
  add_library(zphandheld STATIC
    simulator/handheld/chat.cpp
    simulator/handheld/control.cpp
    simulator/handheld/device_folder_ops.cpp
    simulator/handheld/device_ops.cpp
    simulator/handheld/file_calls.cpp
    simulator/handheld/handheld.cpp
    simulator/handheld/hostile.cpp
    simulator/handheld/identity.cpp
    simulator/handheld/legacy_calls.cpp
    simulator/handheld/legacy_control.cpp
    simulator/handheld/legacy_file_calls.cpp
    simulator/handheld/legacy_folder_calls.cpp
    simulator/handheld/legacy_handheld.cpp
    simulator/handheld/legacy_identity.cpp
    simulator/handheld/legacy_password.cpp
    simulator/handheld/legacy_registry_calls.cpp
    simulator/handheld/legacy_session.cpp
    simulator/handheld/legacy_system_calls.cpp
    simulator/handheld/link_io.cpp
    simulator/handheld/options.cpp
    simulator/handheld/rapi_calls.cpp
    simulator/handheld/registry_calls.cpp
    simulator/handheld/session.cpp
    simulator/handheld/session_io.cpp
    simulator/handheld/system_calls.cpp)
  target_link_libraries(zphandheld PUBLIC zpsim)
  zp_target(zphandheld)

  add_executable(zp-handheld simulator/handheld/main.cpp)
  target_link_libraries(zp-handheld PRIVATE zphandheld)
  zp_target(zp-handheld)
endif()
