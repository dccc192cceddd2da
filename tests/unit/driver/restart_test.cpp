#include "driver/restart.h"

#include <gtest/gtest.h>

#include "common/process_state.h"
#include "settings/folders.h"

struct RestartCase {
  const char* label;
  int selector;
  const char* hostExeName;
  const char* applicationFolder;
  const char* expected;
};
// Names the case in test listings.
void PrintTo(const RestartCase& c, std::ostream* os) { *os << c.label; }

class RestartCommandTest : public ::testing::TestWithParam<RestartCase> {};

TEST_P(RestartCommandTest, IsExactlyTheCommandTheSelectorNames) {
  const RestartCase& c = GetParam();
  g_hostExeName = c.hostExeName;
  g_applicationFolder = c.applicationFolder;
  EXPECT_EQ(std::string(c.expected),
            BuildRestartCommand(c.selector, "ServerPage=http://h/p.html;File=X"));
}

INSTANTIATE_TEST_SUITE_P(
    Selectors, RestartCommandTest,
    ::testing::Values(RestartCase{"TempCopy", 0, "host.exe", "C:\\App\\",
                                  "\"ZUDPTEMP.EXE\" ServerPage=http://h/p.html;File=X"},
                      RestartCase{"Updater", 1, "host.exe", "C:\\App\\",
                                  "\"zupdater.exe\" ServerPage=http://h/p.html;File=X"},
                      RestartCase{"HostInAppFolder", 2, "host.exe", "C:\\Program Files\\Zindo\\",
                                  "\"C:\\Program Files\\Zindo\\host.exe\""},
                      RestartCase{"HostOtherSelector", -7, "host.exe", "C:\\App\\",
                                  "\"C:\\App\\host.exe\""},
                      RestartCase{"HostBareName", 2, "host.exe", "", "\"host.exe\""},
                      RestartCase{"HostUnknown", 2, "", "C:\\App\\", ""}),
    [](const ::testing::TestParamInfo<RestartCase>& info) { return info.param.label; });
