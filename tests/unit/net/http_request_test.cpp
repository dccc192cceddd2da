#include <gtest/gtest.h>

#include <ctime>

#include "net/download.h"
#include "server_fixture.h"

namespace {

class HttpRequestTest : public CZServerTest {};
}  // namespace

TEST_F(HttpRequestTest, GetWithLengthHandsBackTheOpenRequest) {
  ASSERT_TRUE(m_server.SetRule(Path("a.bin"), "size=3000"));
  Connect();
  DWORD length = 0;
  HINTERNET request = m_net->OpenGetRequest(Path("a.bin").c_str(), &length);
  ASSERT_NE(nullptr, request);
  EXPECT_EQ(3000u, length);
  std::vector<char> body(4096);
  EXPECT_TRUE(m_net->DownloadRequest(request, "body", body.data(), 4096, nullptr, length,
                                     kMaxComponentPackageSize, false, 0));
  EXPECT_EQ(GeneratedBody(3000), std::string(body.data(), 3000));
  std::string log = LogText();
  EXPECT_NE(
      std::string::npos,
      log.find("OpenHttpSession to server: 127.0.0.1:" + std::to_string(m_server.Port()) + "\r\n"));
  EXPECT_NE(std::string::npos, log.find("Length of file " + Path("a.bin") + ": 3000 bytes\r\n"));
}

TEST_F(HttpRequestTest, RequestsAreHttp10WithTheUpdatersAgent) {
  ASSERT_TRUE(m_server.SetRule(Path("a.bin"), "size=10"));
  Connect();
  DWORD length = 0;
  HINTERNET request = m_net->OpenGetRequest(Path("a.bin").c_str(), &length);
  ASSERT_NE(nullptr, request);
  m_net->DownloadRequest(request, "a", nullptr, 0, nullptr, length, kMaxComponentPackageSize, false,
                         0);
  ULONGLONG time = 0;
  m_net->QueryServerFileTime(Path("a.bin").c_str(), &time);
  std::string seen = m_server.Requests(m_prefix);
  EXPECT_NE(std::string::npos, seen.find("GET " + Path("a.bin") + " HTTP/1.0\r\n")) << seen;
  EXPECT_NE(std::string::npos, seen.find("HEAD " + Path("a.bin") + " HTTP/1.0\r\n")) << seen;
  EXPECT_EQ(2u,
            CountOccurrences(seen, "User-Agent: Mozilla Compatible/2.0 (WinNT; I; NCC/2.0)\r\n"))
      << seen;
  EXPECT_EQ(2u, CountOccurrences(seen, "Host: 127.0.0.1:" + std::to_string(m_server.Port())))
      << seen;
}

struct RefusedCase {
  const char* name;
  const char* rule;
  const char* logLine;  // expected start of the log line, after the path
};
// Names the case in test listings.
void PrintTo(const RefusedCase& c, std::ostream* os) { *os << c.name; }

class RefusedGetTest : public HttpRequestTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedGetTest, NoHandleAndTheReasonInTheLog) {
  const RefusedCase& c = GetParam();
  ASSERT_TRUE(m_server.SetRule(Path("x.bin"), c.rule));
  Connect();
  DWORD length = 12345;
  EXPECT_EQ(nullptr, m_net->OpenGetRequest(Path("x.bin").c_str(), &length));
  std::string log = LogText();
  // One request, straight to the server: what the client saw is the rule's
  // answer and nobody else's.
  const std::vector<std::string> seen = RequestLines(m_server.Requests(m_prefix));
  EXPECT_EQ(std::vector<std::string>{"GET " + Path("x.bin") + " HTTP/1.0"}, seen) << log;
  EXPECT_EQ("", m_server.ProxyRequests(m_prefix)) << log;
  EXPECT_EQ(std::string::npos, log.find("Length of file")) << log;
  if (c.logLine[0] == '\0') {
    // Depending on timing WinINet fails the send (nothing logged) or takes
    // the closed connection for an empty answer whose status is 0.
    EXPECT_EQ(std::string::npos, log.find("Length failed")) << log;
    if (log.find("CZHttpQueryInfo") != std::string::npos) {
      EXPECT_NE(std::string::npos, log.find(", status: 0 \r\n")) << log;
    }
    return;
  }
  std::string line =
      std::string(c.logLine).replace(std::string(c.logLine).find("%s"), 2, Path("x.bin"));
  size_t at = log.find(line);
  ASSERT_NE(std::string::npos, at) << log;
  EXPECT_EQ(log.size() - 2, log.find("\r\n", at)) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedGetTest,
    ::testing::Values(RefusedCase{"NoContentLength", "size=100&no_length=1",
                                  "CZHttpQueryInfo Length failed for %s, "},
                      RefusedCase{"NotFound", "status=404&size=100",
                                  "CZHttpQueryInfo page status failed for %s, "},
                      RefusedCase{"ServerError", "status=500",
                                  "CZHttpQueryInfo page status failed for %s, "},
                      RefusedCase{"BrokenStatusLine", "status_line=HTTP/1.0%20abc%20Broken&size=10",
                                  "CZHttpQueryInfo page status failed for %s, "},
                      RefusedCase{"NoAnswer", "drop=1", ""}),
    [](const ::testing::TestParamInfo<RefusedCase>& info) { return std::string(info.param.name); });

TEST_F(HttpRequestTest, StatusLineCarriesTheStatus) {
  ASSERT_TRUE(m_server.SetRule(Path("missing.bin"), "status=404&size=100"));
  ASSERT_TRUE(m_server.SetRule(Path("broken.bin"), "status_line=HTTP/1.0%20abc%20Broken&size=10"));
  Connect();
  DWORD length = 0;
  EXPECT_EQ(nullptr, m_net->OpenGetRequest(Path("missing.bin").c_str(), &length));
  EXPECT_EQ(nullptr, m_net->OpenGetRequest(Path("broken.bin").c_str(), &length));
  std::string log = LogText();
  EXPECT_NE(std::string::npos, log.find(", status: 404 \r\n")) << log;
  // A status that cannot be had as a number is logged as 0.
  EXPECT_NE(std::string::npos, log.find(", status: 0 \r\n")) << log;
}

TEST_F(HttpRequestTest, HeadFetchesTheLastModifiedDate) {
  const long long when = 1700000000;  // 2023-11-14 22:13:20 UTC
  ASSERT_TRUE(m_server.SetRule(Path("dated.bin"), "size=10&last_modified=" + std::to_string(when)));
  ASSERT_TRUE(m_server.SetRule(Path("undated.bin"), "size=10&last_modified=none"));
  Connect();
  ULONGLONG time = 7;
  EXPECT_TRUE(m_net->QueryServerFileTime(Path("dated.bin").c_str(), &time));
  EXPECT_EQ(FileTimeFromUnix(when), time);
  ULONGLONG untouched = 7;
  EXPECT_FALSE(m_net->QueryServerFileTime(Path("undated.bin").c_str(), &untouched));
  EXPECT_EQ(7u, untouched);
  std::string log = LogText();
  EXPECT_NE(std::string::npos,
            log.find("Success CZHttpQueryInfo Date/Time for " + Path("dated.bin") + "\r\n"));
  EXPECT_NE(std::string::npos,
            log.find("CZHttpQueryInfo Date/Time failed for " + Path("undated.bin") + ", "));
}

// A server's date more than a day ahead of this machine's clock would be
// stamped on the files it sends and make every later update look older:
// it is taken as the current time, flagged, and said each time.
TEST_F(HttpRequestTest, DateMoreThanADayAheadBecomesTheCurrentTime) {
  const long long nearlyADay = static_cast<long long>(time(nullptr)) + 23 * 3600;
  ASSERT_TRUE(m_server.SetRule(Path("far.bin"), "size=10&last_modified=4070908800"));  // 2099
  ASSERT_TRUE(m_server.SetRule(Path("aheadAgain.bin"), "size=10&last_modified=4070908800"));
  ASSERT_TRUE(
      m_server.SetRule(Path("near.bin"), "size=10&last_modified=" + std::to_string(nearlyADay)));
  Connect();
  FILETIME before, after;
  GetSystemTimeAsFileTime(&before);
  ULONGLONG ahead = 0, aheadAgain = 0, close = 0;
  bool farFlag = false, againFlag = false, nearFlag = true;
  EXPECT_TRUE(m_net->QueryServerFileTime(Path("far.bin").c_str(), &ahead, &farFlag));
  EXPECT_TRUE(m_net->QueryServerFileTime(Path("aheadAgain.bin").c_str(), &aheadAgain, &againFlag));
  GetSystemTimeAsFileTime(&after);
  auto value = [](const FILETIME& t) {
    return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
  };
  EXPECT_GE(ahead, value(before));
  EXPECT_LE(ahead, value(after));
  EXPECT_LE(aheadAgain, value(after));
  EXPECT_TRUE(farFlag);
  EXPECT_TRUE(againFlag);
  EXPECT_TRUE(m_net->QueryServerFileTime(Path("near.bin").c_str(), &close, &nearFlag));
  EXPECT_FALSE(nearFlag);
  EXPECT_EQ(FileTimeFromUnix(nearlyADay), close);
  EXPECT_EQ(2u, CountOccurrences(LogText(),
                                 "is more than a day ahead: it does not count as "
                                 "newer, the current time is used\r\n"))
      << LogText();
  EXPECT_NE(std::string::npos, LogText().find("Server date of " + Path("far.bin") + " is more"))
      << LogText();
}

// A date far ahead never makes the server's copy newer: fetched for it, the
// file would be stamped with the current time, which the next run's date
// check finds older again, and so on for every run.
TEST_F(HttpRequestTest, DateFarAheadIsNeverNewer) {
  ASSERT_TRUE(m_server.SetRule(Path("far.dll"), "size=10&last_modified=4070908800"));    // 2099
  ASSERT_TRUE(m_server.SetRule(Path("newer.dll"), "size=10&last_modified=1704153600"));  // 2024
  Connect();
  CZTempFolder folder("fresh");
  const std::string local = folder / "f.dll";
  ASSERT_TRUE(WriteFileText(local, "local"));
  ASSERT_TRUE(StampFile(local, FileTimeFromUnix(1600000000)));  // 2020
  EXPECT_EQ(0, m_net->IsServerFileNewer(local.c_str(), Path("far.dll").c_str())) << LogText();
  EXPECT_EQ(1, m_net->IsServerFileNewer(local.c_str(), Path("newer.dll").c_str())) << LogText();
}

TEST_F(HttpRequestTest, HeadWithoutConnectionFails) {
  ULONGLONG time = 0;
  EXPECT_FALSE(m_net->QueryServerFileTime("/a", &time));
}

struct FreshnessCase {
  const char* name;
  long long localOffset;  // seconds relative to the server's date
  int expected;
};
// Names the case in test listings.
void PrintTo(const FreshnessCase& c, std::ostream* os) { *os << c.name; }

class FreshnessTest : public HttpRequestTest,
                      public ::testing::WithParamInterface<FreshnessCase> {};

TEST_P(FreshnessTest, ServerCopyIsNewerOnlyBeyondSixtySeconds) {
  const FreshnessCase& c = GetParam();
  const long long server = 1700000000;
  ASSERT_TRUE(m_server.SetRule(Path("f.dll"), "size=10&last_modified=" + std::to_string(server)));
  Connect();
  CZTempFolder folder("fresh");
  std::string local = folder / "f.dll";
  ASSERT_TRUE(WriteFileText(local, "local"));
  ASSERT_TRUE(StampFile(local, FileTimeFromUnix(server + c.localOffset)));
  EXPECT_EQ(c.expected, m_net->IsServerFileNewer(local.c_str(), Path("f.dll").c_str()));
  EXPECT_EQ(FileTimeFromUnix(server), m_net->ServerFileTime());
}

INSTANTIATE_TEST_SUITE_P(Cases, FreshnessTest,
                         ::testing::Values(FreshnessCase{"ThirtySecondsOlder", -30, 0},
                                           FreshnessCase{"SixtySecondsOlder", -60, 0},
                                           FreshnessCase{"SixtyOneSecondsOlder", -61, 1},
                                           FreshnessCase{"Equal", 0, 0},
                                           FreshnessCase{"LocalIsNewer", 3600, 0}),
                         [](const ::testing::TestParamInfo<FreshnessCase>& info) {
                           return std::string(info.param.name);
                         });

TEST_F(HttpRequestTest, MissingLocalFileMustBeFetchedWithoutAsking) {
  Connect();
  EXPECT_EQ(1, m_net->IsServerFileNewer("C:\\no\\such\\file.dll", Path("f.dll").c_str()));
  EXPECT_EQ("", m_server.Requests(m_prefix));
}

TEST_F(HttpRequestTest, MissingServerDateCountsAsCurrent) {
  ASSERT_TRUE(m_server.SetRule(Path("f.dll"), "size=10&last_modified=none"));
  Connect();
  m_net->SetServerFileTime(42);
  CZTempFolder folder("fresh");
  ASSERT_TRUE(WriteFileText(folder / "f.dll", "local"));
  EXPECT_EQ(0, m_net->IsServerFileNewer((folder / "f.dll").c_str(), Path("f.dll").c_str()));
  EXPECT_EQ(42u, m_net->ServerFileTime());
}

TEST_F(HttpRequestTest, HostSwitchAndRestore) {
  ASSERT_TRUE(m_server.SetRule(Path("a.bin"), "size=10"));
  Connect();
  const std::string port = std::to_string(m_server.Port());
  // Switch to the same server under another name for one request.
  HINTERNET saved = m_net->DetachConnection();
  char previous[260];
  ASSERT_EQ(1, m_net->SetServerFromUrl(("http://localhost:" + port + m_prefix).c_str(), previous,
                                       sizeof(previous)));
  EXPECT_EQ("127.0.0.1:" + port, std::string(previous));
  ASSERT_EQ(1, m_net->OpenHttpSession());
  DWORD length = 0;
  HINTERNET request = m_net->OpenGetRequest(Path("a.bin").c_str(), &length);
  ASSERT_NE(nullptr, request);
  m_net->DownloadRequest(request, "a", nullptr, 0, nullptr, length, kMaxComponentPackageSize, false,
                         0);
  m_net->RestoreConnection(saved, previous);
  EXPECT_EQ("127.0.0.1:" + port, m_net->CurrentHost());
  EXPECT_EQ(saved, m_net->ConnectionHandle());
  request = m_net->OpenGetRequest(Path("a.bin").c_str(), &length);
  ASSERT_NE(nullptr, request);
  m_net->DownloadRequest(request, "a", nullptr, 0, nullptr, length, kMaxComponentPackageSize, false,
                         0);

  std::string seen = m_server.Requests(m_prefix);
  size_t other = seen.find("Host: localhost:" + port);
  size_t back = seen.find("Host: 127.0.0.1:" + port);
  ASSERT_NE(std::string::npos, other) << seen;
  ASSERT_NE(std::string::npos, back) << seen;
  EXPECT_LT(other, back);
  EXPECT_NE(std::string::npos, LogText().find("OpenHttpSession to server: localhost:" + port));
}

TEST_F(HttpRequestTest, RestoreWithoutNameKeepsTheCurrentHost) {
  Connect();
  std::string host = m_net->CurrentHost();
  m_net->RestoreConnection(nullptr, "");
  EXPECT_EQ(host, m_net->CurrentHost());
  EXPECT_EQ(nullptr, m_net->ConnectionHandle());
}

TEST_F(HttpRequestTest, SessionWithoutHostDoesNotConnect) {
  EXPECT_EQ(0, m_net->OpenHttpSession());
  EXPECT_EQ(nullptr, m_net->ConnectionHandle());
  EXPECT_EQ(std::string::npos, LogText().find("OpenHttpSession"));
}

TEST_F(HttpRequestTest, UrlWithoutHostLeavesNoCurrentHost) {
  Connect();
  char previous[260];
  EXPECT_EQ(0, m_net->SetServerFromUrl("http:///a/b.html", previous, sizeof(previous)));
  EXPECT_EQ("127.0.0.1:" + std::to_string(m_server.Port()), std::string(previous));
  EXPECT_EQ("", m_net->CurrentHost());
}

struct UrlCase {
  const char* url;
  const char* host;  // null: the split fails
  const char* path;
};
// Names the case in test listings.
void PrintTo(const UrlCase& c, std::ostream* os) { *os << c.url; }

class UrlPartsTest : public ::testing::TestWithParam<UrlCase> {};

TEST_P(UrlPartsTest, HostKeepsAnExplicitPort) {
  const UrlCase& c = GetParam();
  CZHttpSession net;
  ASSERT_EQ(1, net.OpenInternet());
  char host[256], path[1024];
  EXPECT_EQ(c.host != nullptr, net.GetUrlHostName(c.url, host, sizeof(host)));
  if (c.host != nullptr) {
    EXPECT_STREQ(c.host, host);
  }
  EXPECT_TRUE(net.GetUrlPath(c.url, path, sizeof(path)));
  EXPECT_STREQ(c.path, path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UrlPartsTest,
    ::testing::Values(UrlCase{"http://updates.example/m/us/components.html", "updates.example",
                              "/m/us/components.html"},
                      UrlCase{"http://updates.example:80/a.html", "updates.example", "/a.html"},
                      UrlCase{"http://updates.example:8080/a.html", "updates.example:8080",
                              "/a.html"},
                      UrlCase{"https://updates.example/a", "updates.example", "/a"},
                      UrlCase{"https://updates.example:8443/a", "updates.example:8443", "/a"},
                      UrlCase{"http://127.0.0.1:5000/", "127.0.0.1:5000", "/"}));
