#include "common/ui_helpers.h"

#include <cstring>

#include "common/bounded_text.h"
#include "common/process_state.h"

namespace {
char g_szText[kPathSize];

void DispatchPendingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}
}  // namespace

DWORD WaitWithMessages(DWORD ms) {
  const DWORD start = GetTickCount();
  DWORD elapsed = 0;
  for (;;) {
    DispatchPendingMessages();
    elapsed = GetTickCount() - start;
    if (elapsed >= ms) break;
    // Sleep until a message arrives or the time is up instead of spinning:
    // the host client may take minutes to close.
    MsgWaitForMultipleObjectsEx(0, nullptr, ms - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
  return elapsed;
}

bool WaitForObjectWithMessages(HANDLE object, DWORD ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    DispatchPendingMessages();
    if (WaitForSingleObject(object, 0) == WAIT_OBJECT_0) return true;
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed >= ms) return false;
    MsgWaitForMultipleObjectsEx(1, &object, ms - elapsed, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
  }
}

const char* LoadText(UINT id) {
  memset(g_szText, 0, sizeof(g_szText));
  LoadStringA(g_hInstance != nullptr ? g_hInstance : GetModuleHandleA(nullptr), id, g_szText,
              sizeof(g_szText));
  return g_szText;
}
