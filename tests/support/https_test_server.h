// Test programs' side of the local TLS test servers
// (tests/server/zu_tls_server.py), started by the ctest fixture
// "https_server", which also makes the test Wine prefix trust the test
// certificate authority, with a plain http server and a recording proxy of
// their own. Each server has its own certificate, rules and
// records; they are set and read over its plain control port.
#pragma once
#include <string>

enum class TlsServer {
  Secure,     // "localhost", from the trusted test authority
  SecureAlt,  // the same certificate, a second server
  WrongName,  // a certificate for another name
  Expired,    // "localhost", expired
  Untrusted,  // "localhost", from an authority the prefix does not trust
};

class CZHttpsTestServer {
 public:
  // Reads the state file beside the test programs.
  CZHttpsTestServer();

  bool IsRunning() const;
  unsigned Port(TlsServer server) const;
  // "https://localhost:<port>" followed by path (host "localhost" is what
  // the certificates name; it resolves to 127.0.0.1).
  std::string Url(TlsServer server, const std::string& path,
                  const std::string& host = "localhost") const;

  // The plain http server beside them (same folder) and the recording proxy.
  unsigned PlainPort() const { return m_plainPort; }
  unsigned ProxyPort() const { return m_proxyPort; }
  // "http://127.0.0.1:<plain port>" followed by path.
  std::string PlainUrl(const std::string& path) const;
  std::string PlainRequests(const std::string& prefix);
  // Every request head the proxy received (CONNECT records name "host:port").
  std::string ProxyRequests();

  bool SetPlainRule(const std::string& path, const std::string& rule);
  // The Windows path of a file served as /relative by every one of them
  // (folders are created).
  std::string ServedPath(const std::string& relative) const;

  // As CZHttpTestServer::SetRule, for one TLS server.
  bool SetRule(TlsServer server, const std::string& path, const std::string& rule);
  // Drops the rules and the records under prefix on every TLS server.
  bool Clear(const std::string& prefix);
  // Request lines and headers one server received over TLS under prefix.
  std::string Requests(TlsServer server, const std::string& prefix);

 private:
  unsigned m_ports[5] = {};
  unsigned m_controlPorts[5] = {};
  unsigned m_plainPort = 0;
  unsigned m_proxyPort = 0;
};
