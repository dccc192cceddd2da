#include "ui_fixture.h"

#include <ole2.h>

#include "browser_double.h"
#include "common/update_log.h"
#include "resources/resource.h"

namespace {
CZPromptScript* g_script = nullptr;

RECT ChildRect(HWND dialog, HWND child) {
  RECT rect = {};
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

std::string WindowText(HWND window) {
  char text[4096] = "";
  GetWindowTextA(window, text, sizeof(text));
  return text;
}

struct DialogSearch {
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK CheckThreadWindow(HWND window, LPARAM param) {
  auto* search = reinterpret_cast<DialogSearch*>(param);
  char name[64] = "";
  GetClassNameA(window, name, sizeof(name));
  if (strcmp(name, "#32770") != 0 || GetDlgItem(window, IDC_PROMPT_TEXT) == nullptr) return TRUE;
  if (search->visibleOnly && !IsWindowVisible(window)) return TRUE;
  search->found = window;
  return FALSE;
}
}  // namespace

void CZUiTest::SetUp() {
  ASSERT_TRUE(m_server.IsRunning()) << "the http_server fixture did not start";
  m_prefix = TestPathPrefix();
  m_server.Clear(m_prefix);
  CreateDirectoryA((m_logFolder / "logs").c_str(), nullptr);
  StartUpdateLog(m_logFolder.path().c_str());
  m_net = std::make_unique<CZHttpSession>();
  ASSERT_EQ(1, m_net->OpenInternet());
  ASSERT_EQ(1, m_net->SetServerFromUrl(BaseUrl().c_str()));
  ASSERT_EQ(1, m_net->OpenHttpSession());
  m_oleUp = SUCCEEDED(OleInitialize(nullptr));
  ASSERT_TRUE(m_oleUp);
  if (m_useDouble) {
    ASSERT_EQ(S_OK, BrowserDoubleRegister());
  }
}

void CZUiTest::TearDown() {
  BrowserDoubleRevoke();
  if (m_oleUp) OleUninitialize();
  m_net.reset();
  StopUpdateLog();
}

void CZUiTest::Serve(const std::string& name, const std::string& text) {
  ASSERT_TRUE(WriteFileText(m_server.ServedPath(Path(name)), text));
}

std::string CZUiTest::LogText() const { return ReadFileText(m_logFolder / "logs\\updater.log"); }

std::string CZUiTest::DoubleRecord() const {
  size_t size = BrowserDoubleRecord(nullptr, 0);
  std::string record(size + 1, '\0');
  BrowserDoubleRecord(&record[0], record.size());
  record.resize(size);
  return record;
}

bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (done()) return true;
    DWORD elapsed = GetTickCount() - start;
    if (elapsed >= timeoutMs) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
}

CZNotifyWindow::CZNotifyWindow() {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "ZUTestNotifyWindow";
  RegisterClassA(&wc);
  m_window = CreateWindowExA(0, wc.lpszClassName, "notify", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                             nullptr, nullptr, wc.hInstance, this);
}

CZNotifyWindow::~CZNotifyWindow() {
  if (m_window != nullptr) DestroyWindow(m_window);
}

size_t CZNotifyWindow::Count(UINT message) const {
  size_t count = 0;
  for (const Received& received : m_received) count += received.message == message ? 1 : 0;
  return count;
}

LRESULT CALLBACK CZNotifyWindow::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE)
    SetWindowLongPtrA(
        window, GWLP_USERDATA,
        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams));
  auto* self = reinterpret_cast<CZNotifyWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self != nullptr && message >= WM_USER && message < 0xC000)
    self->m_received.push_back({message, wParam, lParam});
  return DefWindowProcA(window, message, wParam, lParam);
}

CZPromptView ViewOf(HWND dialog) {
  CZPromptView view;
  view.visible = IsWindowVisible(dialog) != FALSE;
  view.title = WindowText(dialog);
  RECT client = {};
  GetClientRect(dialog, &client);
  view.client = SIZE{client.right, client.bottom};
  HWND text = GetDlgItem(dialog, IDC_PROMPT_TEXT);
  view.textShown = (GetWindowLongPtrA(text, GWL_STYLE) & WS_VISIBLE) != 0;
  view.text = WindowText(text);
  view.textRect = ChildRect(dialog, text);
  HWND page = FindWindowExA(dialog, nullptr, "ZUpdaterBrowserHost", nullptr);
  if (page != nullptr) {
    view.pageShown = (GetWindowLongPtrA(page, GWL_STYLE) & WS_VISIBLE) != 0;
    view.pageRect = ChildRect(dialog, page);
  }
  view.yesRect = ChildRect(dialog, GetDlgItem(dialog, IDOK));
  view.noRect = ChildRect(dialog, GetDlgItem(dialog, IDCANCEL));
  return view;
}

HWND FindPromptDialog(bool visibleOnly) {
  DialogSearch search = {visibleOnly, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), CheckThreadWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

void ClickButton(HWND dialog, int id) { PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0); }

CZPromptScript::CZPromptScript(Step step, DWORD timeoutMs, bool visibleOnly)
    : m_step(std::move(step)), m_deadline(GetTickCount() + timeoutMs), m_visibleOnly(visibleOnly) {
  g_script = this;
  m_timer = SetTimer(nullptr, 0, 50, OnTick);
}

CZPromptScript::~CZPromptScript() {
  KillTimer(nullptr, m_timer);
  g_script = nullptr;
}

void CALLBACK CZPromptScript::OnTick(HWND, UINT, UINT_PTR, DWORD) {
  CZPromptScript* script = g_script;
  if (script == nullptr || script->m_finished) return;
  if (static_cast<LONG>(GetTickCount() - script->m_deadline) >= 0) {
    script->m_finished = true;
    script->m_timedOut = true;
    HWND dialog = FindPromptDialog(false);
    if (dialog != nullptr) PostMessageA(dialog, WM_CLOSE, 0, 0);
    return;
  }
  HWND dialog = FindPromptDialog(script->m_visibleOnly);
  if (dialog == nullptr) return;
  // The step may pump messages itself: no tick runs inside another.
  script->m_finished = true;
  bool done = script->m_step(dialog);
  if (g_script == script) script->m_finished = done;
}
