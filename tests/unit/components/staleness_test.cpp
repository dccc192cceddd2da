// Whether an installed component is stale: its version against the
// manifest's, else its date against the server's Last-Modified.
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "../net/server_fixture.h"
#include "component_fixture.h"
#include "components/component_manifest.h"

namespace {

const long long kServerDate = 1700000000;  // 2023-11-14 22:13:20 UTC

// One component c.dll whose package is c.dl_ under the test's prefix on the
// test server, installed into a subfolder of the working folder.
class StalenessTest : public CZServerTest {
 protected:
  void SetUp() override {
    CZServerTest::SetUp();
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    m_subfolder = "stale_" + std::to_string(GetCurrentProcessId()) + "_" +
                  std::to_string(std::hash<std::string>()(std::string(info->name()))) + "\\";
    RemoveTree(TestProgramFolder() + m_subfolder);
    CreateDirectoryA((TestProgramFolder() + m_subfolder).c_str(), nullptr);
  }
  void TearDown() override {
    RemoveTree(TestProgramFolder() + m_subfolder);
    CZServerTest::TearDown();
  }

  // The component with the given FileVersion line (empty: none).
  CZComponent Load(const std::string& fileVersion) {
    std::string manifest =
        "[components]\r\nc.dll=\r\n[c.dll]\r\nUrl=" + m_server.Url(Path("c.dl_")) +
        "\r\nDestDir=1," + m_subfolder + "\r\n";
    if (!fileVersion.empty()) manifest += "FileVersion=" + fileVersion + "\r\n";
    EXPECT_TRUE(WriteFileText(m_manifestFolder / "components.ini", manifest));
    std::vector<CZComponent> list;
    EXPECT_TRUE(LoadComponentManifest((m_manifestFolder / "components.ini").c_str(), &list));
    EXPECT_EQ(1u, list.size());
    return list.empty() ? CZComponent("", "") : list[0];
  }
  // Installs fixture (a library beside the tests, or text when it holds no
  // dot-dll) as the component's file, last written at the given date.
  void Install(const CZComponent& c, const std::string& fixture, long long writtenAt) {
    if (fixture.find(".dll") != std::string::npos) {
      ASSERT_TRUE(CopyFileA(FixturePath(fixture).c_str(), c.InstallPath().c_str(), FALSE));
    } else {
      ASSERT_TRUE(WriteFileText(c.InstallPath(), fixture));
    }
    ASSERT_TRUE(StampFile(c.InstallPath(), FileTimeFromUnix(writtenAt)));
  }
  void ServeDated(long long date) {
    ASSERT_TRUE(m_server.SetRule(Path("c.dl_"), "size=10&last_modified=" + std::to_string(date)));
  }
  size_t HeadRequests() {
    return CountOccurrences(m_server.Requests(m_prefix), "HEAD " + Path("c.dl_") + " HTTP/1.0\r\n");
  }

  std::string m_subfolder;
  CZTempFolder m_manifestFolder{"stale_manifest"};
};

struct VersionCase {
  const char* label;
  const char* installed;   // fixture library, or text for a file without version
  const char* required;    // FileVersion, "" for none
  long long serverOffset;  // server date minus the file's date, seconds
  int needsUpdate;
  size_t headRequests;
};
// Names the case in test listings.
void PrintTo(const VersionCase& c, std::ostream* os) { *os << c.label; }

class VersionRuleTest : public StalenessTest, public ::testing::WithParamInterface<VersionCase> {};
}  // namespace

TEST_P(VersionRuleTest, VersionDecidesAndDatesStandIn) {
  const VersionCase& c = GetParam();
  ServeDated(kServerDate);
  Connect();
  CZComponent component = Load(c.required);
  Install(component, c.installed, kServerDate - c.serverOffset);
  component.CheckNeedsUpdate(*m_net);
  EXPECT_EQ(c.needsUpdate, component.NeedsUpdate());
  EXPECT_EQ(c.headRequests, HeadRequests());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, VersionRuleTest,
    ::testing::Values(
        // zcom500.dll is 5.0.0.0, zcom510.dll 5.1.0.0; the dates would say
        // the opposite wherever the version decides.
        VersionCase{"Older", "zcom500.dll", "5,0,0,1", 0, 1, 0},
        VersionCase{"Equal", "zcom500.dll", "5,0,0,0", 3600, 0, 0},
        VersionCase{"Newer", "zcom500.dll", "4,9,9,9", 3600, 0, 0},
        VersionCase{"HighHalfDecidesFirst", "zcom510.dll", "5,0,9,9", 3600, 0, 0},
        VersionCase{"OlderMinor", "zcom500.dll", "5,1,0,0", 0, 1, 0},
        // No version resource: the date rule, asked of the server.
        VersionCase{"NoResourceServerNewer", "zplain.dll", "9,0,0,0", 3600, 1, 1},
        VersionCase{"NoResourceServerOlder", "zplain.dll", "0,0,0,1", -3600, 0, 1},
        VersionCase{"TextFileServerNewer", "plain text", "1,0,0,0", 3600, 1, 1},
        // No FileVersion: dates decide even for a file with a version.
        VersionCase{"NoRequiredVersionServerNewer", "zcom510.dll", "", 3600, 1, 1},
        VersionCase{"NoRequiredVersionServerOlder", "zcom500.dll", "", -3600, 0, 1}),
    [](const ::testing::TestParamInfo<VersionCase>& info) {
      return std::string(info.param.label);
    });

TEST_F(StalenessTest, EqualVersionLeavesAnEarlierVerdictStanding) {
  ServeDated(kServerDate);
  Connect();
  CZComponent component = Load("5,0,0,0");
  Install(component, "zcom500.dll", kServerDate - 3600);
  component.IsComponentFileNewer(*m_net);
  ASSERT_EQ(1, component.NeedsUpdate());
  component.CheckNeedsUpdate(*m_net);
  EXPECT_EQ(1, component.NeedsUpdate());
}

namespace {
struct DateCase {
  const char* label;
  long long serverOffset;  // server date minus the file's date, seconds
  int needsUpdate;
};
// Names the case in test listings.
void PrintTo(const DateCase& c, std::ostream* os) { *os << c.label; }

class DateRuleTest : public StalenessTest, public ::testing::WithParamInterface<DateCase> {};
}  // namespace

TEST_P(DateRuleTest, ServerMustBeMoreThanSixtySecondsLater) {
  const DateCase& c = GetParam();
  ServeDated(kServerDate);
  Connect();
  CZComponent component = Load("");
  Install(component, "local copy", kServerDate - c.serverOffset);
  component.IsComponentFileNewer(*m_net);
  EXPECT_EQ(c.needsUpdate, component.NeedsUpdate());
  EXPECT_EQ(1u, HeadRequests());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DateRuleTest,
    ::testing::Values(DateCase{"SixtySeconds", 60, 0}, DateCase{"SixtyOneSeconds", 61, 1},
                      DateCase{"SameDate", 0, 0}, DateCase{"LocalNewer", -86400, 0},
                      DateCase{"DayLater", 86400, 1}),
    [](const ::testing::TestParamInfo<DateCase>& info) { return std::string(info.param.label); });

TEST_F(StalenessTest, MissingLocalFileIsStaleWithoutARequest) {
  ServeDated(kServerDate);
  Connect();
  CZComponent component = Load("");
  component.IsComponentFileNewer(*m_net);
  EXPECT_EQ(1, component.NeedsUpdate());
  CZComponent versioned = Load("1,0,0,0");
  versioned.CheckNeedsUpdate(*m_net);
  EXPECT_EQ(1, versioned.NeedsUpdate());
  EXPECT_EQ("", m_server.Requests(m_prefix));
}

namespace {
struct FailedQueryCase {
  const char* label;
  const char* rule;
  bool mustLog;  // the request goes through and only the date query fails
};
// Names the case in test listings.
void PrintTo(const FailedQueryCase& c, std::ostream* os) { *os << c.label; }

class FailedQueryTest : public StalenessTest,
                        public ::testing::WithParamInterface<FailedQueryCase> {};
}  // namespace

TEST_P(FailedQueryTest, NoServerDateLeavesTheFileCurrent) {
  const FailedQueryCase& c = GetParam();
  ASSERT_TRUE(m_server.SetRule(Path("c.dl_"), c.rule));
  Connect();
  CZComponent component = Load("");
  // Stale first (no file), then the file arrives: the failed query clears it.
  component.IsComponentFileNewer(*m_net);
  ASSERT_EQ(1, component.NeedsUpdate());
  Install(component, "local copy", kServerDate - 86400);
  component.IsComponentFileNewer(*m_net);
  EXPECT_EQ(0, component.NeedsUpdate());
  EXPECT_EQ(1u, CountOccurrences(m_server.Requests(m_prefix), "HEAD " + Path("c.dl_")));
  const std::string log = LogText();
  const std::string line = "CZHttpQueryInfo Date/Time fails " + component.Url() + ", ";
  size_t at = log.find(line);
  // A dropped connection fails the send, or (depending on timing) comes
  // back as an empty answer whose date query fails.
  if (!c.mustLog && at == std::string::npos) return;
  ASSERT_NE(std::string::npos, at) << log;
  // The line is the last text of the log and has no line end of its own.
  std::string error = log.substr(at + line.size());
  ASSERT_FALSE(error.empty());
  EXPECT_EQ(std::string::npos, error.find_first_not_of("0123456789")) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FailedQueryTest,
    ::testing::Values(FailedQueryCase{"NoLastModified", "size=10&last_modified=none", true},
                      FailedQueryCase{"NotFoundWithoutDate", "status=404&last_modified=none", true},
                      FailedQueryCase{"NoAnswer", "drop=1", false}),
    [](const ::testing::TestParamInfo<FailedQueryCase>& info) {
      return std::string(info.param.label);
    });

TEST_F(StalenessTest, QueryHandsBackTheServerDate) {
  ServeDated(kServerDate);
  Connect();
  CZComponent component = Load("");
  ULONGLONG time = 7;
  ASSERT_TRUE(component.QueryComponentFileTime(*m_net, &time));
  EXPECT_EQ(FileTimeFromUnix(kServerDate), time);
  const std::string seen = m_server.Requests(m_prefix);
  EXPECT_EQ(0u, seen.find("HEAD " + Path("c.dl_") + " HTTP/1.0\r\n")) << seen;
  // Nothing logged on success.
  EXPECT_EQ(std::string::npos, LogText().find("Date/Time")) << LogText();
}

TEST_F(StalenessTest, QueryWithoutDateLeavesTheValue) {
  ASSERT_TRUE(m_server.SetRule(Path("c.dl_"), "size=10&last_modified=none"));
  Connect();
  CZComponent component = Load("");
  ULONGLONG time = 7;
  EXPECT_FALSE(component.QueryComponentFileTime(*m_net, &time));
  EXPECT_EQ(7u, time);
}

TEST_F(StalenessTest, QueryWithoutUsableUrlAsksNothing) {
  Connect();
  CZComponent component("", "c.dll");  // no Url
  ULONGLONG time = 7;
  EXPECT_FALSE(component.QueryComponentFileTime(*m_net, &time));
  EXPECT_EQ(7u, time);
  EXPECT_EQ("", m_server.Requests(m_prefix));
}
