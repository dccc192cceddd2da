#include "net/progress_dialog.h"

#include "common/process_state.h"
#include "resources/resource.h"

namespace {
HWND g_hProgressDialog = nullptr;

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) != IDCANCEL) return FALSE;
      CancelDownloads();
      // A modeless dialog ends by being destroyed; its handle is then forgotten.
      DestroyWindow(dialog);
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_NCDESTROY:
      if (g_hProgressDialog == dialog) g_hProgressDialog = nullptr;
      return FALSE;
  }
  return FALSE;
}
}  // namespace

HWND EnsureProgressDialog() {
  if (g_hProgressDialog == nullptr) {
    HINSTANCE instance = g_hInstance != nullptr ? g_hInstance : GetModuleHandleA(nullptr);
    g_hProgressDialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_DOWNLOAD_PROGRESS),
                                           GetDesktopWindow(), ProgressDialogProc, 0);
  }
  return g_hProgressDialog;
}

HWND ProgressDialog() { return g_hProgressDialog; }

void DestroyProgressDialog() {
  if (g_hProgressDialog != nullptr) DestroyWindow(g_hProgressDialog);
  g_hProgressDialog = nullptr;
}
