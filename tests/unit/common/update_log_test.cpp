#include "common/update_log.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "http_test_server.h"
#include "test_support.h"

namespace {
std::string LogPath(const std::string& folder) { return folder + "logs\\updater.log"; }

// "MM/DD/YY HH:MM:SS " as the log writes it for the current local date.
std::string TodayPrefix() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  char date[16];
  wsprintfA(date, "%02u/%02u/%02u ", now.wMonth, now.wDay, now.wYear % 100);
  return date;
}

bool IsTimeOfDay(const std::string& text) {
  if (text.size() != 9 || text[2] != ':' || text[5] != ':' || text[8] != ' ') return false;
  for (int i : {0, 1, 3, 4, 6, 7})
    if (!isdigit(static_cast<unsigned char>(text[i]))) return false;
  return std::stoi(text.substr(0, 2)) < 24 && std::stoi(text.substr(3, 2)) < 60 &&
         std::stoi(text.substr(6, 2)) < 60;
}

class UpdateLogTest : public ::testing::Test {
 protected:
  void SetUp() override { CreateDirectoryA((m_folder / "logs").c_str(), nullptr); }
  void TearDown() override { StopUpdateLog(); }
  CZTempFolder m_folder{"log"};
};
}  // namespace

TEST_F(UpdateLogTest, EachLineStartsWithDateAndTime) {
  StartUpdateLog(m_folder.path().c_str());
  WriteLog("Length of file %s: %ld bytes\r\n", "/a.bin", 3000L);
  StopUpdateLog();
  std::string text = ReadFileText(LogPath(m_folder.path()));
  std::string date = TodayPrefix();
  ASSERT_EQ(date, text.substr(0, date.size())) << text;
  EXPECT_TRUE(IsTimeOfDay(text.substr(9, 9))) << text;
  EXPECT_EQ("Length of file /a.bin: 3000 bytes\r\n", text.substr(18));
}

TEST_F(UpdateLogTest, UnterminatedMessageContinuesOnTheNextLinesPrefix) {
  StartUpdateLog(m_folder.path().c_str());
  WriteLog("CZHttpQueryInfo Date/Time fails %s, %ld", "/m/abc.dl_", 12150L);
  WriteLog("ZUpdater does not need update\r\n");
  StopUpdateLog();
  std::string text = ReadFileText(LogPath(m_folder.path()));
  const std::string first = "CZHttpQueryInfo Date/Time fails /m/abc.dl_, 12150";
  const std::string second = "ZUpdater does not need update\r\n";
  ASSERT_EQ(18 + first.size() + 18 + second.size(), text.size()) << text;
  EXPECT_EQ(first, text.substr(18, first.size()));
  // The second message's date and time follow on the same line.
  EXPECT_EQ(TodayPrefix(), text.substr(18 + first.size(), 9));
  EXPECT_TRUE(IsTimeOfDay(text.substr(18 + first.size() + 9, 9)));
  EXPECT_EQ(second, text.substr(18 + first.size() + 18));
  EXPECT_EQ(1u, CountOccurrences(text, "\r\n"));
}

TEST_F(UpdateLogTest, LongMessageIsCutAtTheLineBuffer) {
  StartUpdateLog(m_folder.path().c_str());
  WriteLog("%s", std::string(5000, 'x').c_str());
  WriteLog("after\r\n");
  StopUpdateLog();
  std::string text = ReadFileText(LogPath(m_folder.path()));
  EXPECT_EQ(std::string(1023, 'x'), text.substr(18, 1023));
  EXPECT_EQ("after\r\n", text.substr(18 + 1023 + 18));
}

TEST_F(UpdateLogTest, NothingIsWrittenWhileOff) {
  WriteFileText(LogPath(m_folder.path()), "old\r\n");
  WriteLog("ignored\r\n");
  EXPECT_FALSE(IsUpdateLogOn());
  EXPECT_EQ("old\r\n", ReadFileText(LogPath(m_folder.path())));
}

TEST_F(UpdateLogTest, MissingLogsFolderIsNotCreatedAndLoggingStaysOn) {
  CZTempFolder bare("log_bare");
  StartUpdateLog(bare.path().c_str());
  WriteLog("lost\r\n");
  EXPECT_TRUE(IsUpdateLogOn());
  EXPECT_FALSE(FileExists(bare / "logs"));
}

TEST_F(UpdateLogTest, OpenLogCanBeReadByOthers) {
  StartUpdateLog(m_folder.path().c_str());
  WriteLog("visible\r\n");
  HANDLE reader =
      CreateFileA(LogPath(m_folder.path()).c_str(), GENERIC_READ,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  EXPECT_NE(INVALID_HANDLE_VALUE, reader);
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);
}

struct FormatCase {
  size_t size;
  const char* input;
  const char* expected;
  bool cut;
};
// Names the case in test listings.
void PrintTo(const FormatCase& c, std::ostream* os) { *os << "size " << c.size << ": " << c.input; }

class FormatTextTest : public ::testing::TestWithParam<FormatCase> {};

TEST_P(FormatTextTest, NeverWritesPastTheBufferAndAlwaysTerminates) {
  const FormatCase& c = GetParam();
  std::vector<char> buffer(c.size + 8, '#');
  int n = FormatText(buffer.data(), c.size, "%s", c.input);
  EXPECT_STREQ(c.expected, buffer.data());
  EXPECT_EQ(c.cut, n < 0);
  for (size_t i = c.size; i < buffer.size(); ++i) EXPECT_EQ('#', buffer[i]) << i;
}

INSTANTIATE_TEST_SUITE_P(Cases, FormatTextTest,
                         ::testing::Values(FormatCase{8, "abc", "abc", false},
                                           FormatCase{8, "abcdefg", "abcdefg", false},
                                           FormatCase{8, "abcdefgh", "abcdefg", true},
                                           FormatCase{8, "abcdefghijklmnop", "abcdefg", true},
                                           FormatCase{1, "abc", "", true}));
