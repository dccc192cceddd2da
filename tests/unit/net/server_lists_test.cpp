#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "net/update_settings.h"
#include "reg_values.h"
#include "settings/reg_key.h"
#include "test_support.h"

namespace {
const char kMurvoKey[] = "SOFTWARE\\Zindo\\Murvo";

class ServerListsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The host client's settings key exists wherever the host client is installed.
    CZRegKey murvo;
    murvo.Create(kMurvoKey, HKEY_CURRENT_USER);
  }
  bool Apply(const std::string& line) { return m_settings.ApplySettingLine(line.c_str()); }

  CZScopedRegTree m_cleanup{HKEY_CURRENT_USER, kMurvoKey};
  CZUpdateSettings m_settings;
};
}  // namespace

TEST_F(ServerListsTest, LookupAndHttpListsAreStoredAsReceived) {
  EXPECT_TRUE(Apply("IPAddrLookup=http://lookup.example/ip"));
  EXPECT_TRUE(Apply("HttpServers=h1:80;h2:80;h3:80"));
  EXPECT_EQ("http://lookup.example/ip", ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "IPLookup"));
  EXPECT_EQ("h1:80;h2:80;h3:80", ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "Http Server"));
  EXPECT_TRUE(Apply("HttpServers="));
  EXPECT_EQ("", ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "Http Server"));
}

TEST_F(ServerListsTest, NewSocketListIsRememberedAndInstalledShuffled) {
  const std::string list = "s1:5050;s2:5050;s3:5050;s4:5050;s5:5050;s6:5050";
  EXPECT_TRUE(Apply("SocketServers=" + list));
  EXPECT_EQ(list, ReadRegString(HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo\\Old Entries",
                                "Socket Servers"));
  std::string installed = ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "Socket Server");
  EXPECT_EQ(list.size(), installed.size());
  std::string sortedList = list, sortedInstalled = installed;
  std::sort(sortedList.begin(), sortedList.end());
  std::sort(sortedInstalled.begin(), sortedInstalled.end());
  EXPECT_EQ(sortedList, sortedInstalled);
}

TEST_F(ServerListsTest, UnchangedListLeavesTheHostClientsOrderAlone) {
  EXPECT_TRUE(Apply("SocketServers=a:1;b:2;c:3"));
  // The host client reorders its list itself.
  CZRegKey murvo(kMurvoKey, HKEY_CURRENT_USER);
  murvo.SetString("Socket Server", "host-client-order");
  EXPECT_TRUE(Apply("SocketServers=A:1;B:2;C:3"));
  EXPECT_EQ("host-client-order", ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "Socket Server"));
  EXPECT_EQ("a:1;b:2;c:3", ReadRegString(HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo\\Old Entries",
                                         "Socket Servers"));

  EXPECT_TRUE(Apply("SocketServers=a:1;b:2;d:4"));
  EXPECT_NE("host-client-order", ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "Socket Server"));
  EXPECT_EQ("a:1;b:2;d:4", ReadRegString(HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo\\Old Entries",
                                         "Socket Servers"));
}

TEST_F(ServerListsTest, OneItemListIsWrittenUnchangedToBothValues) {
  EXPECT_TRUE(Apply("SocketServers=only:5050"));
  EXPECT_EQ("only:5050", ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "Socket Server"));
  EXPECT_EQ("only:5050", ReadRegString(HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo\\Old Entries",
                                       "Socket Servers"));
}

// The order is drawn from the time in seconds: two runs that both see a
// changed list within one second install the same order.
TEST_F(ServerListsTest, TwoRunsInTheSameSecondInstallTheSameOrder) {
  const std::string list = "s1;s2;s3;s4;s5;s6;s7;s8;s9";
  for (int attempt = 0; attempt < 5; ++attempt) {
    time_t before = time(nullptr);
    EXPECT_TRUE(Apply("SocketServers=" + list));
    std::string first = ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "Socket Server");
    // Forget the list, as on a machine that never received it.
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo\\Old Entries");
    EXPECT_TRUE(Apply("SocketServers=" + list));
    std::string second = ReadRegString(HKEY_CURRENT_USER, kMurvoKey, "Socket Server");
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo\\Old Entries");
    if (time(nullptr) != before) continue;  // a second boundary fell in between
    EXPECT_EQ(first, second);
    return;
  }
  FAIL() << "no two runs fell within one second";
}
