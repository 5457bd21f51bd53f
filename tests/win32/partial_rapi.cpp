// A rapi.dll that exports only the connection calls: RapiLibrary must fail
// every other call. Its connection is steered by the test: made at once,
// made only when the test says so, or never.
#include "platform/win32/windows_api.h"

namespace {

// RAPIINIT of the remote API.
struct RapiInit {
  DWORD cbSize;
  HANDLE heRapiInit;
  HRESULT hrRapiInit;
};

HANDLE g_event = nullptr;
LONG g_connect_at_once = 1;
LONG g_uninits = 0;

}  // namespace

// Named in partial_rapi.def; __stdcall as the real DLL's.
extern "C" {

// The connection is made at once (the default), or waits for
// PartialRapiConnect.
void WINAPI PartialRapiConnectAtOnce(BOOL at_once) {
  InterlockedExchange(&g_connect_at_once, at_once ? 1 : 0);
}

// Makes the waiting connection.
void WINAPI PartialRapiConnect() {
  if (g_event) SetEvent(g_event);
}

// How many times CeRapiUninit was called.
LONG WINAPI PartialRapiUninits() {
  return InterlockedCompareExchange(&g_uninits, 0, 0);
}

HRESULT WINAPI CeRapiInit() {
  return S_OK;
}

HRESULT WINAPI CeRapiInitEx(RapiInit* init) {
  if (!init || init->cbSize != sizeof *init) return E_INVALIDARG;
  if (!g_event) g_event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ResetEvent(g_event);
  init->heRapiInit = g_event;
  init->hrRapiInit = S_OK;
  if (InterlockedCompareExchange(&g_connect_at_once, 0, 0) != 0) SetEvent(g_event);
  return S_OK;
}

HRESULT WINAPI CeRapiUninit() {
  InterlockedIncrement(&g_uninits);
  return S_OK;
}

}  // extern "C"
