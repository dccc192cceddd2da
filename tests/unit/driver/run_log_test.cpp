// The run object switches the update log on while it is built.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/update_log.h"
#include "driver/updater.h"
#include "reg_values.h"
#include "test_support.h"

namespace {
const char kHostSettingsKey[] = "SOFTWARE\\Zindo\\Murvo";

std::string LogPath(const std::string& folder) { return folder + "logs\\updater.log"; }

std::vector<char> Writable(const char* text) {
  return std::vector<char>(text, text + strlen(text) + 1);
}

// The LogUpdate switch as the run object reads it while it is built.
struct SwitchCase {
  const char* name;
  DWORD type;  // 0: value absent
  std::vector<BYTE> data;
  bool on;
};
// Names the case in test listings.
void PrintTo(const SwitchCase& c, std::ostream* os) { *os << c.name; }

class LogSwitchTest : public ::testing::TestWithParam<SwitchCase> {
 protected:
  void SetUp() override {
    CreateDirectoryA((TestProgramFolder() + "logs").c_str(), nullptr);
    WriteFileText(LogPath(TestProgramFolder()), "an earlier run\r\n");
  }
  void TearDown() override { RemoveTree(TestProgramFolder() + "logs"); }
  CZScopedRegTree m_settings{HKEY_CURRENT_USER, kHostSettingsKey};
};
}  // namespace

TEST_P(LogSwitchTest, OnlyA32BitReadableValueSwitchesLoggingOn) {
  const SwitchCase& c = GetParam();
  if (c.type != 0) {
    ASSERT_TRUE(SetRegValue(HKEY_CURRENT_USER, kHostSettingsKey, "LogUpdate", c.type, c.data.data(),
                            static_cast<DWORD>(c.data.size())));
  }
  {
    auto line = Writable("");
    CZUpdater updater(nullptr, line.data());
    EXPECT_EQ(c.on, IsUpdateLogOn());
    WriteLog("this run\r\n");
  }
  EXPECT_FALSE(IsUpdateLogOn());
  std::string text = ReadFileText(LogPath(TestProgramFolder()));
  if (c.on) {
    EXPECT_EQ("this run\r\n", text.substr(18));
  } else {
    EXPECT_EQ("an earlier run\r\n", text);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, LogSwitchTest,
    ::testing::Values(SwitchCase{"Absent", 0, {}, false},
                      SwitchCase{"DwordZero", REG_DWORD, {0, 0, 0, 0}, true},
                      SwitchCase{"DwordOne", REG_DWORD, {1, 0, 0, 0}, true},
                      SwitchCase{"FourBinaryBytes", REG_BINARY, {9, 9, 9, 9}, true},
                      SwitchCase{"QwordIsTooLong", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0}, false},
                      SwitchCase{
                          "LongStringIsTooLong", REG_SZ, {'1', '2', '3', '4', '5', 0}, false}),
    [](const ::testing::TestParamInfo<SwitchCase>& info) { return std::string(info.param.name); });

TEST(LogRunsTest, SecondRunLeavesOnlyItsOwnLines) {
  CZScopedRegTree settings(HKEY_CURRENT_USER, kHostSettingsKey);
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kHostSettingsKey, "LogUpdate", 0));
  CreateDirectoryA((TestProgramFolder() + "logs").c_str(), nullptr);
  for (const char* run : {"first run\r\n", "second run\r\n"}) {
    auto line = Writable("");
    CZUpdater updater(nullptr, line.data());
    WriteLog("%s", run);
  }
  std::string text = ReadFileText(LogPath(TestProgramFolder()));
  RemoveTree(TestProgramFolder() + "logs");
  EXPECT_EQ(std::string::npos, text.find("first run"));
  EXPECT_EQ("second run\r\n", text.substr(18));
}
