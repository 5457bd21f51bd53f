# Checks that <windows.h> changes nothing in the program's headers: each is
# preprocessed by MinGW once alone and once after <windows.h>, and the two
# texts must be the same. A boundary name that is a Win32 macro (DeleteFile,
# GetFileAttributes, ...) would be renamed in the second and fail here, long
# before the Windows link does. Run as: cmake -DCXX=... -DSOURCE=... -DWORK=... -P
set(HEADERS
  platform/platform.h platform/regfile.h device/remote_device.h device/remote_handles.h
  report/log.h report/progress.h session/session.h simulator/simulated_device.h
  platform/sockets.h platform/net_interfaces.h link/control_link.h link/link_choice.h
  link/link_device.h)
set(STD_FIRST "#include <cstddef>\n#include <cstdint>\n#include <cstdio>\n#include <functional>\n"
  "#include <map>\n#include <memory>\n#include <optional>\n#include <string>\n"
  "#include <string_view>\n#include <utility>\n#include <vector>\n")
file(MAKE_DIRECTORY ${WORK})
set(failed "")
foreach(header ${HEADERS})
  string(MAKE_C_IDENTIFIER ${header} name)
  foreach(variant alone beside)
    set(text "${STD_FIRST}")
    if(variant STREQUAL beside)
      string(PREPEND text "#include <windows.h>\n")
    endif()
    string(APPEND text "zp_header_starts_here;\n#include \"${header}\"\n")
    file(WRITE ${WORK}/${name}_${variant}.cpp "${text}")
    execute_process(
      COMMAND ${CXX} -std=c++20 -E -P -I${SOURCE}/src -I${SOURCE} ${WORK}/${name}_${variant}.cpp
      OUTPUT_VARIABLE out RESULT_VARIABLE rc ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR "${header}: the preprocessor failed:\n${err}")
    endif()
    string(FIND "${out}" "zp_header_starts_here;" at)
    string(SUBSTRING "${out}" ${at} -1 ${variant})
  endforeach()
  if(NOT alone STREQUAL beside)
    file(WRITE ${WORK}/${name}_alone.i "${alone}")
    file(WRITE ${WORK}/${name}_beside.i "${beside}")
    list(APPEND failed "${header} (compare ${WORK}/${name}_alone.i and ${name}_beside.i)")
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "<windows.h> changes these headers: ${failed}")
endif()
message(STATUS "no header changes beside <windows.h>")
