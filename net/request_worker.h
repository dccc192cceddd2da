// The blocking WinINet calls of one request (sending it, reading its body)
// run on a worker thread of their own, while the calling thread waits with
// its window messages dispatched, watching the download cancel flag and a
// deadline: a Cancel press or an expired deadline acts at once, even while
// the server holds a read. On either the request handle is closed (the
// documented way to end a blocked synchronous call; Wine's WinINet lets the
// call run on until its socket's own time-out) and the worker is left
// behind: it owns everything it writes into and ends by itself.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <memory>

#include "net/wininet_binding.h"

enum class CZCallEnd {
  kDone,       // the call returned; its result is in the out-parameters
  kCancelled,  // the download cancel flag was set: the request is closed
  kDeadline,   // the deadline passed: the request is closed
};

class CZRequestWorker {
 public:
  // The worker keeps the binding (and so WinINet) alive as long as it runs.
  CZRequestWorker(std::shared_ptr<CZWinInet> winInet, HINTERNET request);
  CZRequestWorker(const CZRequestWorker&) = delete;
  CZRequestWorker& operator=(const CZRequestWorker&) = delete;
  // Lets the thread end on its own; never waits for a blocked call.
  ~CZRequestWorker();

  // deadline: a GetTickCount64 value. cancelEnds: whether the cancel flag
  // ends the wait. *error is GetLastError of a failed call.
  CZCallEnd SendRequest(ULONGLONG deadline, bool cancelEnds, BOOL* ok, DWORD* error);
  // The body's next chunk (at most kReadChunk bytes, never past length,
  // which is the same on every call) into Data(). The worker reads ahead a
  // few chunks while the caller writes: handing over each chunk alone would
  // cost more than the read.
  CZCallEnd ReadChunk(DWORD length, ULONGLONG deadline, BOOL* ok, DWORD* got, DWORD* error);
  const char* Data() const { return m_data; }
  // Stops the reading ahead and closes the request, unless a cancel or a
  // cut closed it already.
  void CloseRequest();

  struct State;

 private:
  CZCallEnd Cut(CZCallEnd end);

  std::shared_ptr<State> m_state;
  const char* m_data = nullptr;
  bool m_started = false;
  bool m_bodyStarted = false;
  bool m_closed = false;
  DWORD m_inlineRead = 0;  // body bytes read without a thread
};

// Whether a failed call's error is WinINet's own time-out (the receive
// time-out set on every request, or the connect time-out).
bool IsTimeoutError(DWORD error);
