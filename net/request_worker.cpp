#include "net/request_worker.h"

#include <atomic>

#include "common/handles.h"
#include "common/process_state.h"
#include "net/download.h"

namespace {
// How often the cancel flag is looked at while nothing else wakes the wait:
// a flag set by another thread is seen within this time.
constexpr DWORD kCancelPollMs = 50;

enum Op : int { kOpSend, kOpRead };

// Dispatches the thread's messages; a WM_QUIT is taken out of the queue
// (or it would wake every wait at once) and kept in *quit for the caller
// to post again, so that the loop it was meant for still sees it.
void DispatchQueuedMessages(bool* quit, WPARAM* quitCode) {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      *quit = true;
      *quitCode = msg.wParam;
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}
}  // namespace

// Everything the worker touches; shared with the caller, freed by whichever
// of them lets go last.
struct CZRequestWorker::State {
  std::shared_ptr<CZWinInet> winInet;
  HINTERNET request = nullptr;
  CZUniqueKernelHandle wake{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
  CZUniqueKernelHandle done{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
  std::atomic<bool> abandoned{false};
  int op = kOpSend;
  DWORD ask = 0;
  DWORD got = 0;
  DWORD error = 0;
  BOOL ok = FALSE;
  char data[kReadChunk];
};

namespace {
void RunCall(CZRequestWorker::State& s) {
  s.got = 0;
  if (s.op == kOpSend)
    s.ok = s.winInet->HttpSendRequestA(s.request, nullptr, 0, nullptr, 0);
  else
    s.ok = s.winInet->InternetReadFile(s.request, s.data, s.ask, &s.got);
  s.error = s.ok ? 0 : GetLastError();
}

DWORD WINAPI RunCalls(void* param) {
  std::unique_ptr<std::shared_ptr<CZRequestWorker::State>> owned(
      static_cast<std::shared_ptr<CZRequestWorker::State>*>(param));
  CZRequestWorker::State& s = **owned;
  for (;;) {
    WaitForSingleObject(s.wake.get(), INFINITE);
    if (s.abandoned) break;
    RunCall(s);
    SetEvent(s.done.get());
  }
  return 0;
}
}  // namespace

CZRequestWorker::CZRequestWorker(std::shared_ptr<CZWinInet> winInet, HINTERNET request)
    : m_state(std::make_shared<State>()) {
  m_state->winInet = std::move(winInet);
  m_state->request = request;
  if (!m_state->wake.valid() || !m_state->done.valid()) return;
  auto* param = new std::shared_ptr<State>(m_state);
  HANDLE thread = CreateThread(nullptr, 0, RunCalls, param, 0, nullptr);
  if (thread == nullptr) {
    // Without a thread the calls run here, as they always did, with only
    // WinINet's own time-outs.
    delete param;
    return;
  }
  CloseHandle(thread);
  m_started = true;
}

CZRequestWorker::~CZRequestWorker() {
  if (!m_started) return;
  m_state->abandoned = true;
  SetEvent(m_state->wake.get());
}

CZCallEnd CZRequestWorker::SendRequest(ULONGLONG deadline, bool cancelEnds, BOOL* ok,
                                       DWORD* error) {
  const CZCallEnd end = Run(kOpSend, deadline, cancelEnds);
  *ok = m_state->ok;
  *error = m_state->error;
  return end;
}

CZCallEnd CZRequestWorker::ReadFile(DWORD ask, ULONGLONG deadline, BOOL* ok, DWORD* got,
                                    DWORD* error) {
  m_state->ask = ask < kReadChunk ? ask : kReadChunk;
  const CZCallEnd end = Run(kOpRead, deadline, true);
  *ok = m_state->ok;
  *got = m_state->got <= m_state->ask ? m_state->got : m_state->ask;
  *error = m_state->error;
  return end;
}

const char* CZRequestWorker::Data() const { return m_state->data; }

CZCallEnd CZRequestWorker::Run(int op, ULONGLONG deadline, bool cancelEnds) {
  State& s = *m_state;
  s.op = op;
  s.ok = FALSE;
  if (!m_started) {
    RunCall(s);
    return CZCallEnd::kDone;
  }
  SetEvent(s.wake.get());
  HANDLE done = s.done.get();
  CZCallEnd end = CZCallEnd::kDone;
  bool quit = false;
  WPARAM quitCode = 0;
  for (;;) {
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG left = deadline > now ? deadline - now : 0;
    const DWORD wait = left < kCancelPollMs ? static_cast<DWORD>(left) : kCancelPollMs;
    const DWORD woke =
        MsgWaitForMultipleObjectsEx(1, &done, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0) break;
    // The progress window's Cancel button is pressed through these.
    if (woke == WAIT_OBJECT_0 + 1) DispatchQueuedMessages(&quit, &quitCode);
    if (cancelEnds && IsDownloadCancelled()) {
      end = CZCallEnd::kCancelled;
      break;
    }
    if (GetTickCount64() >= deadline) {
      end = CZCallEnd::kDeadline;
      break;
    }
  }
  if (quit) PostQuitMessage(static_cast<int>(quitCode));
  if (end == CZCallEnd::kDone) return end;
  // The call may have returned meanwhile; its result is not used either way.
  s.winInet->InternetCloseHandle(s.request);
  m_closed = true;
  return end;
}

bool IsTimeoutError(DWORD error) {
  return error == ERROR_INTERNET_TIMEOUT || error == WSAETIMEDOUT;
}
