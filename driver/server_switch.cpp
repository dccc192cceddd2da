#include "driver/server_switch.h"

#include <cstring>

CZServerSwitch::CZServerSwitch(CZHttpSession& net, const char* url) : m_net(net) {
  char server[kPathSize];
  if (!m_net.GetUrlServer(url, server, sizeof(server)) || server[0] == '\0') return;
  // One connection serves every URL of the current server; the same host
  // over another scheme is another server.
  if (!m_net.CurrentHost().empty() && _stricmp(server, m_net.CurrentHost().c_str()) == 0) {
    m_connected = m_net.ConnectionHandle() != nullptr;
    return;
  }
  m_saved = m_net.DetachConnection();
  m_switched = true;
  m_connected = m_net.SetServerFromUrl(url, m_previous, sizeof(m_previous)) != 0 &&
                m_net.OpenHttpSession() != 0;
}

CZServerSwitch::~CZServerSwitch() {
  if (m_switched) m_net.RestoreConnection(m_saved, m_previous);
}
