// Deadlines and Cancel of the request layer against the local test server,
// with the test build's time scale set to 20: a response within 6 s, no
// body byte for 3 s, a body within (120 s + length at 4 KiB/s) / 20. Each
// hostile server below would hold the request for minutes without them.
#include "net/request_worker.h"

#include <gtest/gtest.h>

#include "common/process_state.h"
#include "net/download.h"
#include "server_fixture.h"

namespace {
enum class Ask { kGetToFile, kHead, kSilentHttps };

struct DeadlineCase {
  const char* name;
  Ask ask;
  const char* rule;
  bool ok;              // whether the request succeeds
  const char* logLine;  // "{url}" and "{path}" filled; null: no cut line at all
};
void PrintTo(const DeadlineCase& c, std::ostream* os) { *os << c.name; }

class RequestDeadlineTest : public CZServerTest,
                            public ::testing::WithParamInterface<DeadlineCase> {
 protected:
  void SetUp() override {
    SetEnvironmentVariableA("ZUPDATER_TEST_TIME_SCALE", "20");
    CZServerTest::SetUp();
  }
  void TearDown() override {
    CZServerTest::TearDown();
    SetEnvironmentVariableA("ZUPDATER_TEST_TIME_SCALE", nullptr);
  }
  std::string Fill(std::string text, const std::string& url, const std::string& path) const {
    for (size_t at; (at = text.find("{url}")) != std::string::npos;) text.replace(at, 5, url);
    for (size_t at; (at = text.find("{path}")) != std::string::npos;) text.replace(at, 6, path);
    return text;
  }
  CZTempFolder m_files{"deadline"};
};
}  // namespace

TEST_P(RequestDeadlineTest, IsCutAtItsLimitWithOneLine) {
  const DeadlineCase& c = GetParam();
  const std::string name = "d.bin";
  std::string url = m_server.Url(Path(name)), path = Path(name);
  bool ok = false;
  std::string body;
  if (c.ask == Ask::kSilentHttps) {
    // A server that takes the connection and never starts TLS.
    url = "https://127.0.0.1:" + std::to_string(m_server.SilentPort()) + Path(name);
    ASSERT_EQ(1, m_net->SetServerFromUrl(url.c_str()));
    ASSERT_EQ(1, m_net->OpenHttpSession());
    path = "https://127.0.0.1:" + std::to_string(m_server.SilentPort()) + Path(name);
    DWORD length = 0;
    ok = m_net->OpenGetRequest(Path(name).c_str(), &length) != nullptr;
  } else {
    ASSERT_TRUE(m_server.SetRule(Path(name), c.rule));
    Connect();
    path = "127.0.0.1:" + std::to_string(m_server.Port()) + Path(name);
    if (c.ask == Ask::kHead) {
      HINTERNET request = m_net->SendHeadRequest(Path(name).c_str());
      ok = request != nullptr;
      m_net->CloseRequest(request);
    } else {
      DWORD length = 0;
      HINTERNET request = m_net->OpenGetRequest(Path(name).c_str(), &length);
      if (request != nullptr)
        ok = m_net->DownloadRequest(request, url.c_str(), nullptr, 0, (m_files / name).c_str(),
                                    length, kMaxComponentPackageSize, false, 0);
      body = ReadFileText(m_files / name);
    }
  }
  const std::string log = LogText();
  EXPECT_EQ(c.ok, ok) << log;
  if (c.logLine != nullptr) {
    EXPECT_NE(std::string::npos, log.find(Fill(c.logLine, url, path))) << log;
    EXPECT_EQ(1u, CountOccurrences(log, " cut: ")) << log;
  } else {
    EXPECT_EQ(std::string::npos, log.find(" cut: ")) << log;
  }
  if (c.ask == Ask::kGetToFile && ok) EXPECT_EQ(GeneratedBody(body.size()), body);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RequestDeadlineTest,
    ::testing::Values(
        // A byte every half second never trips the idle limit; the body's
        // deadline, (120 s + 100000 bytes at 4 KiB/s) / 20, ends it.
        DeadlineCase{"DrippingBody", Ask::kGetToFile, "size=100000&drip=0.5", false,
                     "Request for {url} cut: body not received within 7 s\r\n"},
        // Headers and 1000 bytes, then silence.
        DeadlineCase{"SilentBody", Ask::kGetToFile, "size=10000&stall_after=1000&stall=120", false,
                     "Request for {url} cut: no data for 3 s\r\n"},
        DeadlineCase{"DrippingHeaders", Ask::kGetToFile, "size=100&drip_headers=0.5", false,
                     "Request for {path} cut: no response within 6 s\r\n"},
        // The date queries go through the same send.
        DeadlineCase{"DrippingHeadersOfAHead", Ask::kHead, "size=100&drip_headers=0.5", false,
                     "Request for {path} cut: no response within 6 s\r\n"},
        DeadlineCase{"SilentHttpsServer", Ask::kSilentHttps, "", false,
                     "Request for {path} cut: no response within 6 s\r\n"},
        // 20 chunks 0.1 s apart: slow, yet far within every limit.
        DeadlineCase{"HealthySlowBody", Ask::kGetToFile, "size=40960&chunk_delay=0.1", true,
                     nullptr}),
    [](const ::testing::TestParamInfo<DeadlineCase>& info) {
      return std::string(info.param.name);
    });

namespace {
void CALLBACK PressCancel(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  CancelDownloads();
}
class CancelTest : public CZServerTest {
 protected:
  CZTempFolder m_files{"cancel"};
};
}  // namespace

// Cancel pressed (from a timer of the downloading thread: it needs the
// thread's messages dispatched) while the server holds a read for 20 s,
// with no time scale: the download returns before the server sends on, with
// no byte beyond the stall, and no line of its own.
TEST_F(CancelTest, CancelDuringABlockedReadEndsTheDownload) {
  ASSERT_TRUE(m_server.SetRule(Path("c.bin"), "size=10000&stall_after=3000&stall=20"));
  Connect();
  DWORD length = 0;
  HINTERNET request = m_net->OpenGetRequest(Path("c.bin").c_str(), &length);
  ASSERT_NE(nullptr, request);
  const UINT_PTR timer = SetTimer(nullptr, 0, 500, PressCancel);
  ASSERT_NE(0u, timer);
  const bool ok = m_net->DownloadRequest(request, "c", nullptr, 0, (m_files / "c.bin").c_str(),
                                         length, kMaxComponentPackageSize, false, 0);
  EXPECT_FALSE(ok);
  EXPECT_TRUE(IsDownloadCancelled());
  const std::string body = ReadFileText(m_files / "c.bin");
  EXPECT_LE(body.size(), 3000u);
  EXPECT_EQ(GeneratedBody(body.size()), body);
  EXPECT_EQ(std::string::npos, LogText().find(" cut: ")) << LogText();
}
