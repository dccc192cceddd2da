// Talks to the server of one URL for a while: when its server (scheme, host
// and port) differs from the current one, the current connection is put
// aside and a new one made; the old one, with its server, comes back when
// the object goes.
#pragma once
#include "common/bounded_text.h"
#include "net/http_session.h"

class CZServerSwitch {
 public:
  CZServerSwitch(CZHttpSession& net, const char* url);
  CZServerSwitch(const CZServerSwitch&) = delete;
  CZServerSwitch& operator=(const CZServerSwitch&) = delete;
  ~CZServerSwitch();

  // False when the URL has no host or its server could not be connected.
  bool IsConnected() const { return m_connected; }

 private:
  CZHttpSession& m_net;
  bool m_switched = false;
  bool m_connected = false;
  HINTERNET m_saved = nullptr;
  char m_previous[kPathSize] = "";
};
