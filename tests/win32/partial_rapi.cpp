// A rapi.dll that exports only CeRapiInit and CeRapiUninit: RapiLibrary must fail every other call.
#include "platform/win32/windows_api.h"

// Named in partial_rapi.def; __stdcall as the real DLL's.
extern "C" {

// A connection that always opens, so that a test sees the bound export
// succeed beside the unbound ones.
HRESULT WINAPI CeRapiInit() {
  return S_OK;
}

HRESULT WINAPI CeRapiUninit() {
  return S_OK;
}

}  // extern "C"
