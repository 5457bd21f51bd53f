// Keeping the thread's windows answering while the program works or waits.
#pragma once

#include "platform/win32/windows_api.h"

namespace zp::win32 {

/// Handles every message waiting for the calling thread's windows, sent and
/// posted, without waiting for more. A WM_QUIT is put back for whoever runs
/// the thread's message loop.
void HandlePendingMessages();

/// Waits until `object` is signalled or `timeout_ms` have passed, handling
/// the thread's messages as they come meanwhile. True when signalled.
bool WaitAnswering(HANDLE object, DWORD timeout_ms);

}  // namespace zp::win32
