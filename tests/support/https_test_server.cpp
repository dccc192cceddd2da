#include "https_test_server.h"

#include <cstdlib>

#include "http_test_server.h"
#include "settings/folders.h"
#include "test_support.h"

namespace {
// The servers' names in the state file, in the order of TlsServer.
const char* const kServerNames[] = {"secure", "secure_alt", "wrong_name", "expired", "untrusted"};
constexpr size_t kServerCount = sizeof(kServerNames) / sizeof(kServerNames[0]);
}  // namespace

CZHttpsTestServer::CZHttpsTestServer() {
  const std::string state = ReadFileText(TestProgramFolder() + "tls_server.state");
  size_t at = 0;
  while (at < state.size()) {
    size_t end = state.find('\n', at);
    if (end == std::string::npos) end = state.size();
    const std::string line = state.substr(at, end - at);
    size_t equals = line.find('=');
    if (equals == std::string::npos) equals = 0;
    const std::string key = line.substr(0, equals);
    const unsigned value = static_cast<unsigned>(atoi(line.c_str() + equals + 1));
    if (key == "plain_port") m_plainPort = value;
    if (key == "proxy_port") m_proxyPort = value;
    for (size_t i = 0; i < kServerCount; ++i) {
      if (key == std::string(kServerNames[i]) + "_port") m_ports[i] = value;
      if (key == std::string(kServerNames[i]) + "_control_port") m_controlPorts[i] = value;
    }
    at = end + 1;
  }
}

bool CZHttpsTestServer::IsRunning() const {
  if (m_plainPort == 0 || m_proxyPort == 0) return false;
  for (size_t i = 0; i < kServerCount; ++i)
    if (m_ports[i] == 0 || m_controlPorts[i] == 0) return false;
  return true;
}

unsigned CZHttpsTestServer::Port(TlsServer server) const {
  return m_ports[static_cast<size_t>(server)];
}

std::string CZHttpsTestServer::Url(TlsServer server, const std::string& path,
                                   const std::string& host) const {
  return "https://" + host + ":" + std::to_string(Port(server)) + path;
}

bool CZHttpsTestServer::SetRule(TlsServer server, const std::string& path,
                                const std::string& rule) {
  return GetFromTestServer(m_controlPorts[static_cast<size_t>(server)],
                           "/__control/rule?path=" + EncodeQueryValue(path) + "&" + rule, nullptr);
}

std::string CZHttpsTestServer::PlainUrl(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_plainPort) + path;
}

std::string CZHttpsTestServer::PlainRequests(const std::string& prefix) {
  std::string body;
  GetFromTestServer(m_plainPort, "/__control/requests?prefix=" + EncodeQueryValue(prefix), &body);
  return body;
}

bool CZHttpsTestServer::SetPlainRule(const std::string& path, const std::string& rule) {
  return GetFromTestServer(m_plainPort,
                           "/__control/rule?path=" + EncodeQueryValue(path) + "&" + rule, nullptr);
}

std::string CZHttpsTestServer::ServedPath(const std::string& relative) const {
  std::string path = TestProgramFolder() + "www\\" + relative;
  for (char& c : path)
    if (c == '/') c = '\\';
  CreatePathPrefixes(path.c_str());
  return path;
}

std::string CZHttpsTestServer::ProxyRequests() {
  std::string body;
  GetFromTestServer(m_proxyPort, "/__control/requests?prefix=", &body);
  return body;
}

bool CZHttpsTestServer::Clear(const std::string& prefix) {
  const std::string query = "/__control/clear?prefix=" + EncodeQueryValue(prefix);
  bool all = GetFromTestServer(m_plainPort, query, nullptr);
  for (unsigned port : m_controlPorts) all = GetFromTestServer(port, query, nullptr) && all;
  return all;
}

std::string CZHttpsTestServer::Requests(TlsServer server, const std::string& prefix) {
  std::string body;
  GetFromTestServer(m_controlPorts[static_cast<size_t>(server)],
                    "/__control/requests?prefix=" + EncodeQueryValue(prefix), &body);
  return body;
}
