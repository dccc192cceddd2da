// The run's Internet handle, its current server and the splitting of URLs.
#include <cstring>

#include "common/bounded_text.h"
#include "common/update_log.h"
#include "net/host_port.h"
#include "net/http_session.h"
#include "net/proxy.h"
#include "net/request_limits.h"

namespace {
const char kUserAgent[] = "Mozilla Compatible/2.0 (WinNT; I; NCC/2.0)";
constexpr DWORD kConnectTimeoutMs = 90000;
constexpr DWORD kConnectRetries = 5;

// Splits url with only the host name or only the URL path asked for; the
// buffer is cleared first. The parts record in *parts.
bool CrackUrlPart(CZWinInet& winInet, const char* url, char* buffer, DWORD size, bool host,
                  URL_COMPONENTSA* parts) {
  if (buffer == nullptr || size == 0) return false;
  memset(buffer, 0, size);
  *parts = {};
  parts->dwStructSize = sizeof(*parts);
  if (host) {
    parts->lpszHostName = buffer;
    parts->dwHostNameLength = size;
  } else {
    parts->lpszUrlPath = buffer;
    parts->dwUrlPathLength = size;
  }
  return winInet.InternetCrackUrlA(url, 0, 0, parts) != FALSE;
}

unsigned DefaultPort(INTERNET_SCHEME scheme) {
  return scheme == INTERNET_SCHEME_HTTPS ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
}
}  // namespace

CZHttpSession::CZHttpSession() : m_winInet(std::make_shared<CZWinInet>()) {}

CZHttpSession::~CZHttpSession() { CloseHandles(); }

void CZHttpSession::CloseHandles() {
  m_currentHost.clear();
  if (m_hConnection != nullptr) m_winInet->InternetCloseHandle(m_hConnection);
  if (m_hInternet != nullptr) m_winInet->InternetCloseHandle(m_hInternet);
  m_hConnection = m_hInternet = nullptr;
}

int CZHttpSession::OpenInternet() {
  if (!m_winInet->Load()) return 0;
  char proxy[kProxyTextSize];
  m_throughClientProxy = GetClientProxy(proxy, sizeof(proxy));
  if (m_throughClientProxy)
    m_hInternet = m_winInet->InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PROXY, proxy, nullptr, 0);
  else
    m_hInternet =
        m_winInet->InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  return m_hInternet != nullptr ? 1 : 0;
}

// A server that sends nothing for the idle limit has failed the request, the
// way a closed connection does: WinINet ends the blocked read itself.
void CZHttpSession::SetTransferTimeouts(HINTERNET handle) {
  DWORD timeout = ScaledLimitMs(kIdleLimitMs);
  m_winInet->InternetSetOptionA(handle, INTERNET_OPTION_SEND_TIMEOUT, &timeout, sizeof(timeout));
  m_winInet->InternetSetOptionA(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, &timeout, sizeof(timeout));
}

int CZHttpSession::OpenHttpSession() {
  if (m_hInternet == nullptr) return 0;
  DWORD timeout = kConnectTimeoutMs, retries = kConnectRetries;
  m_winInet->InternetSetOptionA(m_hInternet, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout,
                                sizeof(timeout));
  m_winInet->InternetSetOptionA(m_hInternet, INTERNET_OPTION_CONNECT_RETRIES, &retries,
                                sizeof(retries));
  SetTransferTimeouts(m_hInternet);
  if (m_currentHost.empty()) return 0;
  WriteLog("OpenHttpSession to server: %s\r\n", m_currentHost.c_str());
  if (m_hConnection != nullptr) m_winInet->InternetCloseHandle(m_hConnection);
  std::string host;
  unsigned port = 0;
  bool secure = false;
  SplitServerText(m_currentHost, &secure, &host, &port);
  m_hConnection =
      m_winInet->InternetConnectA(m_hInternet, host.c_str(), static_cast<INTERNET_PORT>(port),
                                  nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  return m_hConnection != nullptr ? 1 : 0;
}

int CZHttpSession::SetServerFromUrl(const char* url, char* previousHost, size_t size) {
  if (previousHost != nullptr && size > 0) memset(previousHost, 0, size);
  if (!m_currentHost.empty() && previousHost != nullptr && size > 0)
    CopyBounded(previousHost, size, m_currentHost.c_str());
  m_currentHost.clear();
  char server[kPathSize];
  if (!GetUrlServer(url, server, sizeof(server)) || server[0] == '\0') return 0;
  m_currentHost = server;
  return 1;
}

void CZHttpSession::RestoreConnection(HINTERNET connection, const char* hostName) {
  if (m_hConnection != nullptr) m_winInet->InternetCloseHandle(m_hConnection);
  m_hConnection = connection;
  if (hostName != nullptr && hostName[0] != '\0') m_currentHost = hostName;
}

bool CZHttpSession::IsSecureServer() const { return IsSecureServerText(m_currentHost); }

HINTERNET CZHttpSession::DetachConnection() {
  HINTERNET connection = m_hConnection;
  m_hConnection = nullptr;
  return connection;
}

bool CZHttpSession::GetUrlHostName(const char* url, char* buffer, DWORD size) {
  URL_COMPONENTSA parts;
  return GetUrlHostName(url, buffer, size, &parts);
}

bool CZHttpSession::GetUrlHostName(const char* url, char* buffer, DWORD size,
                                   URL_COMPONENTSA* parts) {
  if (!CrackUrlPart(*m_winInet, url, buffer, size, true, parts)) return false;
  // An explicit port other than the scheme's own stays with the host name,
  // so the connection is made to it and hosts compare with it.
  if (buffer[0] != '\0' &&
      !AppendExplicitPort(buffer, size, parts->nPort, DefaultPort(parts->nScheme))) {
    buffer[0] = '\0';
    return false;
  }
  return true;
}

bool CZHttpSession::GetUrlServer(const char* url, char* buffer, DWORD size) {
  URL_COMPONENTSA parts;
  if (!GetUrlHostName(url, buffer, size, &parts)) return false;
  if (buffer[0] != '\0' && parts.nScheme == INTERNET_SCHEME_HTTPS &&
      !PrependSecurePrefix(buffer, size)) {
    buffer[0] = '\0';
    return false;
  }
  return true;
}

bool CZHttpSession::GetUrlPath(const char* url, char* buffer, DWORD size) {
  URL_COMPONENTSA parts;
  return CrackUrlPart(*m_winInet, url, buffer, size, false, &parts);
}
