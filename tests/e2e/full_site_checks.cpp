// What a whole run of the full update site must leave behind, whichever
// server served it.
#include <gtest/gtest.h>

#include "full_site.h"
#include "reg_values.h"

namespace {
const char kComServerKey[] = "Software\\ZupdaterTests\\ComServer";
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";
const char kSettingsKey[] = "Software\\Zindo\\Murvo\\Settings";
const char kFeatureKey[] = "SOFTWARE\\Zindo\\Murvo\\ComponentUpdate\\";

std::string Fixture(const char* name) { return ReadFileText(TestProgramFolder() + name); }

void ExpectCommon(const CZClientUnderTest& client, const std::string& site, bool accepted,
                  const std::vector<std::string>& requests, const std::string& transmitted) {
  const std::string log = client.Log();
  const std::string& app = client.App();
  EXPECT_EQ(1, client.PromptsSeen());
  EXPECT_EQ("", client.BoxesSeen());
  EXPECT_NE(std::string::npos, log.find("ZUpdater does not need update\r\n"));
  EXPECT_NE(std::string::npos,
            log.find(site + "m/components.html downloaded successfully to file " + app +
                     "components.ini"));
  EXPECT_NE(std::string::npos, log.find(accepted ? "User said YES to the upgrade\r\n"
                                                 : "User said NO to the upgrade\r\n"));
  // The feature settings reached the registry and the host client's window.
  EXPECT_EQ("1 0\n", transmitted);
  EXPECT_EQ("1", ReadRegString(HKEY_CURRENT_USER, (kFeatureKey + std::string("chat")).c_str(),
                               "Emoticons"));
  EXPECT_EQ("blue",
            ReadRegString(HKEY_CURRENT_USER, (kFeatureKey + std::string("chat")).c_str(), "Theme"));
  EXPECT_EQ("8192", ReadRegString(HKEY_CURRENT_USER, (kFeatureKey + std::string("files")).c_str(),
                                  "MaxTransferKB"));
  EXPECT_TRUE(Fixture("..\\zupdater.exe") == ReadFileText(app + "zupdater.exe"));
  EXPECT_TRUE(Fixture("zcom510.dll") == ReadFileText(app + kCurrentFile));
  for (const char* leftover : {"components.ini", "update.reg", "update_reg.qpk", "zsilent.dl_",
                               "zclose.dl_", "plugins\\zoffer.dl_", "ZUDPTEMP.EXE"})
    EXPECT_FALSE(FileExists(app + leftover)) << leftover;
  // The page, the updater's package asked only for its date, the manifest.
  const std::vector<std::string> start = {"GET corvcli.html", "HEAD p/zupdater.qpk",
                                          "GET m/components.html"};
  ASSERT_GE(requests.size(), start.size());
  EXPECT_EQ(start, std::vector<std::string>(requests.begin(), requests.begin() + 3));
}

void ExpectRelease(const CZClientUnderTest& client, bool installed,
                   const std::vector<std::string>& rest) {
  const std::string log = client.Log();
  const std::string& app = client.App();
  const std::string args = ReadFileText(app + "args.txt");
  // New Install1 asks for 5.0.0.0, which 4.2.0.7 is below. No component is
  // looked at and no script fetched.
  for (const char* name : kUpdatedFiles) {
    EXPECT_TRUE(Fixture("zcom500.dll") == ReadFileText(app + name)) << name;
    EXPECT_EQ("5.0.0.0", FileVersionText(app + name)) << name;
  }
  EXPECT_EQ("<absent>", ReadRegString(HKEY_CURRENT_USER, kSettingsKey, "ChatHistory"));
  EXPECT_EQ("<absent>", ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "RegFileVersion"));
  const std::string installer = client.ReleaseFolder() + "zsetup.exe";
  if (installed) {
    EXPECT_EQ((std::vector<std::string>{"GET m/update.txt", "GET m/setup/zsetup.qpk",
                                        "HEAD m/setup/zsetup.qpk"}),
              rest);
    EXPECT_NE(std::string::npos, log.find("Image file extracted to: " + installer + "\r\n"));
    // The host client was closed and not started again: the installer,
    // started silently, takes over.
    EXPECT_EQ("\"" + app + "murvo.exe\" -kill\n", args);
    EXPECT_EQ("\"" + installer + "\" /s\n", ReadFileText(client.ReleaseFolder() + "args.txt"));
    EXPECT_FALSE(FileExists(client.ReleaseFolder() + "zsetup.qpk"));
    EXPECT_EQ("<absent>", ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "LastUpdateVersion"));
  } else {
    EXPECT_EQ((std::vector<std::string>{"GET m/update.txt"}), rest);
    EXPECT_EQ("5,0,0,0", ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "LastUpdateVersion"));
    EXPECT_EQ("", args);
    EXPECT_FALSE(FileExists(client.ReleaseFolder() + "args.txt"));
  }
}

void ExpectComponents(const CZClientUnderTest& client, const std::string& site, bool accepted,
                      const std::vector<std::string>& rest) {
  const std::string log = client.Log();
  const std::string& app = client.App();
  // Level 4 silently, level 5 after the host client was closed, the offer
  // for level 2, then the registry script.
  std::vector<std::string> expected = {"GET m/c/zsilent.dl_", "HEAD m/c/zsilent.dl_",
                                       "GET m/c/zclose.dl_", "HEAD m/c/zclose.dl_",
                                       "GET m/update.txt"};
  if (accepted) {
    expected.push_back("GET m/c/zoffer.dl_");
    expected.push_back("HEAD m/c/zoffer.dl_");
  }
  expected.push_back("GET m/update_reg.qpk");
  EXPECT_EQ(expected, rest);

  auto at = [&](const std::string& line) { return log.find(line); };
  const size_t silent =
      at(site + "m/c/zsilent.dl_ downloaded successfully to file " + app + "zsilent.dl_");
  const size_t shutdown = at("Attempting to shutdown Corvane Application\r\n");
  const size_t closing =
      at(site + "m/c/zclose.dl_ downloaded successfully to file " + app + "zclose.dl_");
  const size_t answer = at("User said");
  const size_t script =
      at(site + "m/update_reg.qpk downloaded successfully to file " + app + "update_reg.qpk");
  const size_t offered =
      at(site + "m/c/zoffer.dl_ downloaded successfully to file " + app + "plugins\\zoffer.dl_");
  EXPECT_NE(std::string::npos, silent);
  EXPECT_LT(silent, shutdown);
  EXPECT_LT(shutdown, closing);
  EXPECT_LT(closing, answer);
  EXPECT_LT(answer, script);
  EXPECT_NE(std::string::npos, script);
  if (accepted) {
    EXPECT_LT(answer, offered);
    EXPECT_LT(offered, script);
  } else {
    EXPECT_EQ(std::string::npos, offered);
  }

  // Replaced files carry the new release byte for byte and the server's
  // date; the refused one is untouched.
  for (const char* name : kUpdatedFiles) {
    const bool replaced = accepted || std::string(name) != "plugins\\zoffer.dll";
    EXPECT_TRUE(Fixture(replaced ? "zcom510.dll" : "zcom500.dll") == ReadFileText(app + name))
        << name;
    EXPECT_EQ(replaced ? "5.1.0.0" : "5.0.0.0", FileVersionText(app + name)) << name;
    if (replaced) {
      EXPECT_EQ(kSiteEpoch, LastWriteEpoch(app + name)) << name;
    }
  }
  // Only the level-5 record asks to be registered.
  EXPECT_EQ(app + "zclose.dll", ReadRegString(HKEY_CURRENT_USER, kComServerKey, "Registered"));
  EXPECT_EQ(1u, ReadRegDword(HKEY_CURRENT_USER, kComServerKey, "Count"));

  // The script's values arrived, and its version was recorded.
  EXPECT_EQ("keep", ReadRegString(HKEY_CURRENT_USER, kSettingsKey, "ChatHistory"));
  EXPECT_EQ(0x2000u, ReadRegDword(HKEY_CURRENT_USER, kSettingsKey, "MaxTransferKB"));
  EXPECT_EQ("5,0,2,0", ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "RegFileVersion"));
  // An acceptance is remembered as 0, a refusal with its time.
  const DWORD refusedAt = ReadRegDword(HKEY_CURRENT_USER, kUpdateKey, "LastUpdateTime");
  if (accepted)
    EXPECT_EQ(0u, refusedAt);
  else
    EXPECT_TRUE(refusedAt != 0 && refusedAt != 0xDEAD) << refusedAt;

  // Closed once by the closing pass, started again at the end.
  const std::string host = "\"" + app + "murvo.exe\"";
  EXPECT_EQ(host + " -kill\n" + host + "\n", ReadFileText(app + "args.txt"));
  EXPECT_FALSE(FileExists(client.ReleaseFolder() + "args.txt"));
}
}  // namespace

void ExpectOutcome(Outcome outcome, const CZClientUnderTest& client, const std::string& site,
                   const std::vector<std::string>& requests, const std::string& transmitted) {
  SCOPED_TRACE(client.Log());
  const bool accepted = outcome == Outcome::kAllInstalled || outcome == Outcome::kReleaseInstalled;
  ExpectCommon(client, site, accepted, requests, transmitted);
  if (requests.size() < 3) return;
  const std::vector<std::string> rest(requests.begin() + 3, requests.end());
  if (outcome == Outcome::kReleaseInstalled || outcome == Outcome::kReleaseRefused)
    ExpectRelease(client, accepted, rest);
  else
    ExpectComponents(client, site, accepted, rest);
}
