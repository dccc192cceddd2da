#include "net/request_worker.h"

#include <atomic>
#include <functional>

#include "common/handles.h"
#include "common/process_state.h"
#include "net/download.h"

namespace {
// How often the cancel flag is looked at while nothing else wakes the wait:
// a flag set by another thread is seen within this time.
constexpr DWORD kCancelPollMs = 50;
// Chunks the worker may read ahead of the caller (64 KiB).
constexpr DWORD kSlots = 32;
// While reads return at once, the caller is woken once per this many
// chunks: a wake-up per 2 KiB chunk halves the throughput under Wine.
constexpr DWORD kWakeBatch = 8;

enum Op : int { kOpSend, kOpBody };

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

struct Slot {
  BOOL ok;
  DWORD got;
  DWORD error;
  char data[kReadChunk];
};
}  // namespace

// Everything the worker touches; shared with the caller, freed by whichever
// of them lets go last.
struct CZRequestWorker::State {
  std::shared_ptr<CZWinInet> winInet;
  HINTERNET request = nullptr;
  CZUniqueKernelHandle wake{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
  CZUniqueKernelHandle done{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
  CZUniqueKernelHandle space{CreateEventA(nullptr, FALSE, FALSE, nullptr)};
  std::atomic<bool> abandoned{false};
  int op = kOpSend;
  // The send's result.
  std::atomic<bool> sent{false};
  BOOL ok = FALSE;
  DWORD error = 0;
  // The body: a ring of chunks the worker fills and the caller empties.
  DWORD length = 0;
  std::unique_ptr<Slot[]> slots;
  std::atomic<DWORD> produced{0};
  std::atomic<DWORD> consumed{0};
  std::atomic<bool> consumerWaiting{false};
  std::atomic<bool> producerWaiting{false};
};

namespace {
// Reads the body into the ring until its length, its end, a failed read or
// the caller letting go.
void StreamBody(CZRequestWorker::State& s) {
  DWORD read = 0;
  for (;;) {
    while (s.produced - s.consumed == kSlots) {
      s.producerWaiting = true;
      if (s.produced - s.consumed == kSlots && !s.abandoned)
        WaitForSingleObject(s.space.get(), INFINITE);
      s.producerWaiting = false;
      if (s.abandoned) return;
    }
    if (s.abandoned) return;
    Slot& slot = s.slots[s.produced % kSlots];
    const DWORD ask = s.length - read < kReadChunk ? s.length - read : kReadChunk;
    slot.got = 0;
    const ULONGLONG started = GetTickCount64();
    slot.ok = s.winInet->InternetReadFile(s.request, slot.data, ask, &slot.got);
    slot.error = slot.ok ? 0 : GetLastError();
    const bool waited = GetTickCount64() != started;
    if (slot.got > ask) slot.got = ask;
    read += slot.got;
    const bool last = !slot.ok || slot.got < ask || read == s.length;
    const DWORD ready = ++s.produced - s.consumed;
    // A read that had to wait, the end, or a batch wakes the caller; the
    // caller's own polling bounds any other delay.
    if (s.consumerWaiting && (last || waited || ready >= kWakeBatch)) SetEvent(s.done.get());
    if (last) return;
  }
}

DWORD WINAPI RunCalls(void* param) {
  std::unique_ptr<std::shared_ptr<CZRequestWorker::State>> owned(
      static_cast<std::shared_ptr<CZRequestWorker::State>*>(param));
  CZRequestWorker::State& s = **owned;
  for (;;) {
    WaitForSingleObject(s.wake.get(), INFINITE);
    if (s.abandoned) break;
    if (s.op == kOpBody) {
      StreamBody(s);
      continue;
    }
    s.ok = s.winInet->HttpSendRequestA(s.request, nullptr, 0, nullptr, 0);
    s.error = s.ok ? 0 : GetLastError();
    s.sent = true;
    SetEvent(s.done.get());
  }
  return 0;
}

// Waits until ready(), woken by event, with the thread's messages
// dispatched; ends early on a cancel (when cancelEnds) or the deadline.
CZCallEnd WaitUntilReady(HANDLE event, const std::function<bool()>& ready, ULONGLONG deadline,
                         bool cancelEnds) {
  CZCallEnd end = CZCallEnd::kDone;
  bool quit = false;
  WPARAM quitCode = 0;
  while (!ready()) {
    const ULONGLONG now = GetTickCount64();
    const ULONGLONG left = deadline > now ? deadline - now : 0;
    const DWORD wait = left < kCancelPollMs ? static_cast<DWORD>(left) : kCancelPollMs;
    const DWORD woke =
        MsgWaitForMultipleObjectsEx(1, &event, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_OBJECT_0) continue;
    // The progress window's Cancel button is pressed through these.
    if (woke == WAIT_OBJECT_0 + 1) DispatchQueuedMessages(&quit, &quitCode);
    if (ready()) break;
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
  return end;
}
}  // namespace

CZRequestWorker::CZRequestWorker(std::shared_ptr<CZWinInet> winInet, HINTERNET request)
    : m_state(std::make_shared<State>()) {
  m_state->winInet = std::move(winInet);
  m_state->request = request;
  if (!m_state->wake.valid() || !m_state->done.valid() || !m_state->space.valid()) return;
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
  SetEvent(m_state->space.get());
}

CZCallEnd CZRequestWorker::SendRequest(ULONGLONG deadline, bool cancelEnds, BOOL* ok,
                                       DWORD* error) {
  State& s = *m_state;
  if (!m_started) {
    s.ok = s.winInet->HttpSendRequestA(s.request, nullptr, 0, nullptr, 0);
    s.error = s.ok ? 0 : GetLastError();
  } else {
    s.op = kOpSend;
    SetEvent(s.wake.get());
    const CZCallEnd end = WaitUntilReady(
        s.done.get(), [&s] { return s.sent.load(); }, deadline, cancelEnds);
    if (end != CZCallEnd::kDone) return Cut(end);
  }
  *ok = s.ok;
  *error = s.error;
  return CZCallEnd::kDone;
}

CZCallEnd CZRequestWorker::ReadChunk(DWORD length, ULONGLONG deadline, BOOL* ok, DWORD* got,
                                     DWORD* error) {
  State& s = *m_state;
  if (!s.slots) s.slots.reset(new Slot[m_started ? kSlots : 1]);
  if (!m_started) {
    Slot& slot = s.slots[0];
    const DWORD ask = length - m_inlineRead < kReadChunk ? length - m_inlineRead : kReadChunk;
    slot.got = 0;
    slot.ok = s.winInet->InternetReadFile(s.request, slot.data, ask, &slot.got);
    slot.error = slot.ok ? 0 : GetLastError();
    if (slot.got > ask) slot.got = ask;
    m_inlineRead += slot.got;
    m_data = slot.data;
    *ok = slot.ok;
    *got = slot.got;
    *error = slot.error;
    return CZCallEnd::kDone;
  }
  if (!m_bodyStarted) {
    s.length = length;
    s.op = kOpBody;
    m_bodyStarted = true;
    SetEvent(s.wake.get());
  } else {
    // The chunk handed over last time is free again.
    ++s.consumed;
    if (s.producerWaiting) SetEvent(s.space.get());
  }
  s.consumerWaiting = true;
  const CZCallEnd end = WaitUntilReady(
      s.done.get(), [&s] { return s.produced != s.consumed; }, deadline, true);
  s.consumerWaiting = false;
  if (end != CZCallEnd::kDone) return Cut(end);
  const Slot& slot = s.slots[s.consumed % kSlots];
  m_data = slot.data;
  *ok = slot.ok;
  *got = slot.got;
  *error = slot.error;
  return CZCallEnd::kDone;
}

CZCallEnd CZRequestWorker::Cut(CZCallEnd end) {
  // The worker stops before its next read; the one under way may have
  // returned meanwhile, its result is not used either way.
  m_state->abandoned = true;
  m_state->winInet->InternetCloseHandle(m_state->request);
  m_closed = true;
  return end;
}

void CZRequestWorker::CloseRequest() {
  if (!m_closed) Cut(CZCallEnd::kDone);
}

bool IsTimeoutError(DWORD error) {
  return error == ERROR_INTERNET_TIMEOUT || error == WSAETIMEDOUT;
}
