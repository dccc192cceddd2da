// A network session connected to the local test server, with the log captured in
// a folder of its own. Each test works under its own path prefix.
#pragma once
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/update_log.h"
#include "http_test_server.h"
#include "net/http_session.h"
#include "net/update_settings.h"
#include "test_support.h"

class CZServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(m_server.IsRunning()) << "the http_server fixture did not start";
    m_prefix = TestPathPrefix();
    m_server.Clear(m_prefix);
    CreateDirectoryA((m_logFolder / "logs").c_str(), nullptr);
    m_net = std::make_unique<CZHttpSession>();
    StartUpdateLog(m_logFolder.path().c_str());
    ASSERT_EQ(1, m_net->OpenInternet());
  }
  void TearDown() override {
    m_net.reset();
    StopUpdateLog();
  }

  // Connects the session to the test server (the URL carries its port).
  void Connect() {
    ASSERT_EQ(1, m_net->SetServerFromUrl(m_server.Url(m_prefix).c_str()));
    ASSERT_EQ(1, m_net->OpenHttpSession());
  }
  std::string Path(const std::string& name) const { return m_prefix + name; }
  std::string LogText() const { return ReadFileText(m_logFolder / "logs\\updater.log"); }

  CZHttpTestServer m_server;
  std::string m_prefix;
  CZTempFolder m_logFolder{"netlog"};
  // Every download is recorded there while it lasts; none outlives the test.
  CZScopedRegTree m_records{HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo\\Update"};
  std::unique_ptr<CZHttpSession> m_net;
  CZUpdateSettings m_settings;
};

// The bytes the test server generates for a body of size bytes.
inline std::string GeneratedBody(size_t size) {
  std::string body(size, '\0');
  for (size_t i = 0; i < size; ++i) body[i] = static_cast<char>((i * 7 + i / 251) % 256);
  return body;
}
