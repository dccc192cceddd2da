// The fake host client (tests/fixtures/fake_host.cpp) kept running with its
// ZindoBuddyMain window, from a folder of its own, for tests that talk to
// the host client's window.
#pragma once
#include <windows.h>

#include <string>

#include "test_support.h"

class CZRunningHostClient {
 public:
  // Starts program (beside the tests) with -window and waits for its window.
  explicit CZRunningHostClient(const char* program = "fake_host5.exe");
  CZRunningHostClient(const CZRunningHostClient&) = delete;
  CZRunningHostClient& operator=(const CZRunningHostClient&) = delete;
  // Closes the window and waits for the program to end.
  ~CZRunningHostClient();

  bool IsUp() const { return m_up; }
  // The ZCORV_TRANSMIT messages received so far, one "wParam lParam" line each.
  std::string Received() const;
  // Waits (at most 10 s) until count messages arrived; returns what did.
  std::string WaitForMessages(size_t count) const;

 private:
  CZTempFolder m_folder{"host"};
  PROCESS_INFORMATION m_process = {};
  bool m_up = false;
};
