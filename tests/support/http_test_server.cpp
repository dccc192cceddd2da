#include "http_test_server.h"

// winsock2.h before windows.h, which would bring the older winsock.h.
// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <gtest/gtest.h>

#include "settings/folders.h"
#include "test_support.h"

std::string EncodeQueryValue(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if (isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

namespace {
// One HTTP/1.0 GET over a plain socket; the body when the status is 200.
bool Get(unsigned port, const std::string& target, std::string* body) {
  static bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  if (!started || port == 0) return false;
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  std::string reply;
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0) {
    std::string request = "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    send(s, request.data(), static_cast<int>(request.size()), 0);
    char chunk[4096];
    int got;
    while ((got = recv(s, chunk, sizeof(chunk), 0)) > 0) reply.append(chunk, got);
  }
  closesocket(s);
  size_t head = reply.find("\r\n\r\n");
  if (head == std::string::npos || reply.compare(0, 12, "HTTP/1.0 200") != 0) return false;
  if (body != nullptr) *body = reply.substr(head + 4);
  return true;
}
}  // namespace

bool GetFromTestServer(unsigned port, const std::string& target, std::string* body) {
  return Get(port, target, body);
}

CZHttpTestServer::CZHttpTestServer() {
  std::string state = ReadFileText(TestProgramFolder() + "test_server.state");
  size_t at = 0;
  while (at < state.size()) {
    size_t end = state.find('\n', at);
    if (end == std::string::npos) end = state.size();
    std::string line = state.substr(at, end - at);
    size_t equals = line.find('=');
    if (equals != std::string::npos) {
      std::string key = line.substr(0, equals), value = line.substr(equals + 1);
      if (key == "port") m_port = static_cast<unsigned>(atoi(value.c_str()));
      if (key == "proxy_port") m_proxyPort = static_cast<unsigned>(atoi(value.c_str()));
      if (key == "alt_port") m_altPort = static_cast<unsigned>(atoi(value.c_str()));
      if (key == "silent_port") m_silentPort = static_cast<unsigned>(atoi(value.c_str()));
    }
    at = end + 1;
  }
}

std::string CZHttpTestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::string CZHttpTestServer::AltUrl(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(m_altPort) + path;
}

std::string CZHttpTestServer::ServedPath(const std::string& relative) const {
  std::string path = TestProgramFolder() + "www\\" + relative;
  for (char& c : path)
    if (c == '/') c = '\\';
  CreatePathPrefixes(path.c_str());
  return path;
}

bool CZHttpTestServer::SetRule(const std::string& path, const std::string& rule) {
  return Get(m_port, "/__control/rule?path=" + EncodeQueryValue(path) + "&" + rule, nullptr);
}

bool CZHttpTestServer::SetAltRule(const std::string& path, const std::string& rule) {
  return Get(m_altPort, "/__control/rule?path=" + EncodeQueryValue(path) + "&" + rule, nullptr);
}

bool CZHttpTestServer::Clear(const std::string& prefix) {
  std::string query = "/__control/clear?prefix=" + EncodeQueryValue(prefix);
  bool server = Get(m_port, query, nullptr);
  bool alt = Get(m_altPort, query, nullptr);
  return Get(m_proxyPort, query, nullptr) && server && alt;
}

std::string CZHttpTestServer::Requests(const std::string& prefix) {
  std::string body;
  Get(m_port, "/__control/requests?prefix=" + EncodeQueryValue(prefix), &body);
  return body;
}

std::string CZHttpTestServer::ProxyRequests(const std::string& prefix) {
  std::string body;
  Get(m_proxyPort, "/__control/requests?prefix=" + EncodeQueryValue(prefix), &body);
  return body;
}

std::string CZHttpTestServer::AltRequests(const std::string& prefix) {
  std::string body;
  Get(m_altPort, "/__control/requests?prefix=" + EncodeQueryValue(prefix), &body);
  return body;
}

std::string TestPathPrefix() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string prefix = "/";
  prefix += info->test_suite_name();
  prefix += "/";
  prefix += info->name();
  prefix += "/";
  return prefix;
}

size_t CountOccurrences(const std::string& text, const std::string& needle) {
  size_t count = 0;
  for (size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + needle.size()))
    ++count;
  return count;
}
