// Test programs' side of the local HTTP test server and its recording proxy
// (tests/server/zu_test_server.py), started by the ctest fixture
// "http_server". Control requests go over a plain socket, never through
// WinINet, so they leave the code under test untouched.
#pragma once
#include <string>

class CZHttpTestServer {
 public:
  // Reads the state file beside the test programs.
  CZHttpTestServer();

  bool IsRunning() const { return m_port != 0; }
  unsigned Port() const { return m_port; }
  unsigned ProxyPort() const { return m_proxyPort; }
  // A second server over the same folder, with rules and records of its own.
  unsigned AltPort() const { return m_altPort; }
  // A port that accepts connections and never sends a byte.
  unsigned SilentPort() const { return m_silentPort; }
  // "http://127.0.0.1:<port>" followed by path.
  std::string Url(const std::string& path) const;
  // The same for the second server.
  std::string AltUrl(const std::string& path) const;
  // The Windows path of a file served as /relative (folders are created).
  std::string ServedPath(const std::string& relative) const;

  // Sets the behaviour of one path, e.g. "status=404&no_length=1" (the
  // fields are listed in zu_test_server.py). False when the server refused it.
  bool SetRule(const std::string& path, const std::string& rule);
  bool SetAltRule(const std::string& path, const std::string& rule);
  // Drops the rules and the records under prefix on both servers and the proxy.
  bool Clear(const std::string& prefix);
  // Request lines and headers received under prefix, each ending with an
  // empty line: by the server, and by the proxy.
  std::string Requests(const std::string& prefix);
  std::string ProxyRequests(const std::string& prefix);
  std::string AltRequests(const std::string& prefix);

 private:
  std::string m_root;
  unsigned m_port = 0;
  unsigned m_proxyPort = 0;
  unsigned m_altPort = 0;
  unsigned m_silentPort = 0;
};

// "/<suite>/<test>/" of the running test: a path prefix of its own.
std::string TestPathPrefix();
// Number of non-overlapping occurrences of needle in text.
size_t CountOccurrences(const std::string& text, const std::string& needle);

// One GET over a plain socket to a local test server's port (its control
// endpoints); the body when the answer is 200.
bool GetFromTestServer(unsigned port, const std::string& target, std::string* body);
// A query-string value with every byte outside [A-Za-z0-9/._-] escaped.
std::string EncodeQueryValue(const std::string& text);
