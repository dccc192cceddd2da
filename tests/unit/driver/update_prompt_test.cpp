#include <gtest/gtest.h>
#include <ole2.h>

#include <vector>

#include "../ui/ui_fixture.h"
#include "browser_double.h"
#include "common/update_log.h"
#include "driver/updater.h"
#include "http_test_server.h"
#include "test_support.h"

namespace {
std::vector<char> Writable(const std::string& text) {
  std::vector<char> line(text.begin(), text.end());
  line.push_back('\0');
  return line;
}
}  // namespace

// The run's prompt asks the package folder of the command line, over the
// run's own connection.
TEST(UpdaterPromptTest, AsksWithTheRunsPackageFolderAndConnection) {
  CZHttpTestServer server;
  ASSERT_TRUE(server.IsRunning());
  const std::string prefix = TestPathPrefix();
  server.Clear(prefix);
  ASSERT_TRUE(WriteFileText(server.ServedPath(prefix + "update.txt"), "From the run"));
  ASSERT_TRUE(SUCCEEDED(OleInitialize(nullptr)));
  ASSERT_EQ(S_OK, BrowserDoubleRegister());
  {
    auto line = Writable("MURVO-FOLDER=" + server.Url(prefix));
    CZUpdater updater(nullptr, line.data());
    ASSERT_TRUE(updater.IsReady());
    ASSERT_EQ(1, updater.OpenInternet());
    ASSERT_EQ(1, updater.Net().SetServerFromUrl(server.Url(prefix).c_str()));
    ASSERT_EQ(1, updater.Net().OpenHttpSession());
    std::string shown;
    CZPromptScript script([&](HWND dialog) {
      shown = ViewOf(dialog).text;
      ClickButton(dialog, IDOK);
      return true;
    });
    EXPECT_TRUE(updater.PromptForUpdate());
    EXPECT_FALSE(script.TimedOut());
    EXPECT_EQ("From the run", shown);
  }
  EXPECT_NE(std::string::npos,
            server.Requests(prefix).find("GET " + prefix + "update.txt HTTP/1.0\r\n"));
  BrowserDoubleRevoke();
  OleUninitialize();
}
