// A new release of the host client offered by the manifest's New Install
// entries: which entry applies, where its package and installer go, how the
// installer is started, and what a refusal or a bad package leaves. {temp}
// in a case stands for the run's own folder in the temporary folder.
#include <gtest/gtest.h>

#include "reg_values.h"
#include "whole_run.h"

namespace {
enum class Temp { Folder, FolderWithoutBackslash, IsAFile };

struct Release {
  const char* label;
  const char* entries;  // the New Install<n> sections
  const char* package;  // served as h/setup.qpk and h/zcorv.qpk
  Temp temp;
  int answer;
  std::vector<std::string> requests;  // after the manifest
  std::vector<std::string> events;
  std::string appArgs;   // app\args.txt: the host program's and an installer's record
  std::string tempArgs;  // the same in the run's folder in the temporary folder
  std::vector<std::string> logHas;
  const char* refusedVersion;  // LastUpdateVersion afterwards
};
void PrintTo(const Release& c, std::ostream* os) { *os << c.label; }

const char kOffer[] = "[New Install]\r\nVersionNew=6,0,0,0\r\n";
const char kProgress[] = "progress Downloading File";
const char kUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\Update";
const std::vector<std::string> kComponent = {"GET c/za.dl_", "HEAD c/za.dl_"};

class HostReleaseTest : public ::testing::TestWithParam<Release> {
 protected:
  CZWholeRun m_run;
  CZTempFolder m_temp{"tmp"};
};
}  // namespace

TEST_P(HostReleaseTest, OfferEndsAsItsEntrySays) {
  const Release& c = GetParam();
  // An outdated level-4 component shows whether the run went on.
  CZRunCase run = CaseOf(
      c.label, std::string(kOffer) + c.entries + ComponentList({"za"}) + ComponentSection("za", 4),
      {"za"});
  run.rules = {{"h/setup.qpk", "chunk_delay=0.05"},
               {"h/", "chunk_delay=0.05&file=" + m_run.Prefix() + "h/zcorv.qpk"},
               {"h/com1.qpk", "chunk_delay=0.05&file=" + m_run.Prefix() + "h/zcorv.qpk"}};
  run.hostRunning = true;
  run.answer = c.answer;
  ASSERT_TRUE(m_run.ServeFile("h/setup.qpk", PassPackage(c.package)));
  ASSERT_TRUE(m_run.ServeFile("h/zcorv.qpk", PassPackage(c.package)));
  std::string temp = m_temp.path();
  if (c.temp == Temp::FolderWithoutBackslash) temp.pop_back();
  if (c.temp == Temp::IsAFile) {
    temp += "afile";
    ASSERT_TRUE(WriteFileText(temp, "not a folder"));
  }
  ASSERT_NO_FATAL_FAILURE(RunCase(m_run, run, temp, m_temp.path()));

  const std::string log = m_run.Log();
  std::vector<std::string> expected = {"GET corvcli.html", "HEAD p/zupdater.qpk",
                                       "GET m/components.html"};
  expected.insert(expected.end(), c.requests.begin(), c.requests.end());
  EXPECT_EQ(RequestLinesOf(m_run, expected), m_run.MainRequests()) << log;
  EXPECT_EQ(c.events, m_run.Events()) << log;
  // The run's own folder in the temporary folder holds the release.
  std::string release = ReleaseFolderIn(m_temp.path());
  if (release.empty()) release = m_temp.path();
  auto fill = [&](std::string text) {
    for (size_t at = text.find("{temp}"); at != std::string::npos; at = text.find("{temp}"))
      text.replace(at, 6, release);
    return m_run.Fill(text);
  };
  EXPECT_EQ(fill(c.appArgs), m_run.HostArgs());
  EXPECT_EQ(fill(c.tempArgs), ReadFileText(release + "args.txt"));
  EXPECT_FALSE(FileExists(m_temp / "args.txt"));
  for (const std::string& line : c.logHas)
    EXPECT_NE(std::string::npos, log.find(fill(line))) << "log lacks: " << line << "\n" << log;
  // Packages never stay; the component was fetched only when the run went on.
  EXPECT_FALSE(FileExists(release + "setup.qpk"));
  EXPECT_FALSE(FileExists(release + "zcorv.qpk"));
  EXPECT_FALSE(FileExists(m_run.App() + "setup.qpk"));
  const bool wentOn =
      std::find(c.requests.begin(), c.requests.end(), kComponent[0]) != c.requests.end();
  EXPECT_EQ(wentOn, ReadFileText(m_run.App() + "za.dll") == FixtureBytes("zcom510.dll"));
  EXPECT_EQ(c.refusedVersion, ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "LastUpdateVersion"));
}

INSTANTIATE_TEST_SUITE_P(
    Releases, HostReleaseTest,
    ::testing::Values(
        // Entry 1 asks for less than the installed 5.0.1.0; entry 2 applies.
        Release{"SecondEntryApplies",
                "[New Install1]\r\nVersion=5,0,0,0\r\nLink={site}h/first.qpk\r\n"
                "[New Install2]\r\nVersion=6,0,0,0\r\nLink={site}h/setup.qpk\r\n",
                "setup.qpk",
                Temp::Folder,
                IDOK,
                {"GET m/update.txt", "GET h/setup.qpk", "HEAD h/setup.qpk"},
                {kDefaultPrompt, kProgress},
                kKillLine,
                "\"{temp}setup.exe\" /s\n",
                {"Image file extracted to: {temp}setup.exe\r\n"},
                "<absent>"},
        Release{"NotSilentTempWithoutBackslash",
                "[New Install1]\r\nVersion=6,0,0,0\r\nLink={site}h/setup.qpk\r\nSilent=0\r\n",
                "setup.qpk",
                Temp::FolderWithoutBackslash,
                IDOK,
                {"GET m/update.txt", "GET h/setup.qpk", "HEAD h/setup.qpk"},
                {kDefaultPrompt, kProgress},
                kKillLine,
                "\"{temp}setup.exe\"\n",
                {"Image file extracted to: {temp}setup.exe\r\n"},
                "<absent>"},
        // A link with no name after its last slash: the default name.
        Release{"LinkWithoutName",
                "[New Install1]\r\nVersion=6,0,0,0\r\nLink={site}h/\r\n",
                "zcorv.qpk",
                Temp::Folder,
                IDOK,
                {"GET m/update.txt", "GET h/", "HEAD h/"},
                {kDefaultPrompt, kProgress},
                kKillLine,
                "\"{temp}zcorv.exe\" /s\n",
                {"Image file extracted to: {temp}zcorv.exe\r\n"},
                "<absent>"},
        // A name Windows opens as a device (a serial port): the default name.
        Release{"LinkNamesADevice",
                "[New Install1]\r\nVersion=6,0,0,0\r\nLink={site}h/com1.qpk\r\n",
                "zcorv.qpk",
                Temp::Folder,
                IDOK,
                {"GET m/update.txt", "GET h/com1.qpk", "HEAD h/com1.qpk"},
                {kDefaultPrompt, kProgress},
                kKillLine,
                "\"{temp}zcorv.exe\" /s\n",
                {"Image file extracted to: {temp}zcorv.exe\r\n"},
                "<absent>"},
        // No slash at all: nothing can be fetched; the run ends quietly.
        Release{"LinkWithoutSlash",
                "[New Install1]\r\nVersion=6,0,0,0\r\nLink=zcorv.qpk\r\n",
                "zcorv.qpk",
                Temp::Folder,
                IDOK,
                {"GET m/update.txt"},
                {kDefaultPrompt},
                "",
                "",
                {"User said YES to the upgrade\r\n"},
                "<absent>"},
        Release{"TempIsAFile",
                "[New Install1]\r\nVersion=6,0,0,0\r\nLink={site}h/setup.qpk\r\n",
                "setup.qpk",
                Temp::IsAFile,
                IDOK,
                {"GET m/update.txt", "GET h/setup.qpk", "HEAD h/setup.qpk"},
                {kDefaultPrompt, kProgress},
                std::string(kKillLine) + "\"{app}setup.exe\" /s\n",
                "",
                {"Image file extracted to: {app}setup.exe\r\n"},
                "<absent>"},
        // A package that does not verify: the box, then the components.
        Release{"PackageDoesNotVerify",
                "[New Install1]\r\nVersion=6,0,0,0\r\nLink={site}h/setup.qpk\r\n",
                "setup_otherkey.qpk",
                Temp::Folder,
                IDOK,
                {"GET m/update.txt", "GET h/setup.qpk", "HEAD h/setup.qpk", "GET c/za.dl_",
                 "HEAD c/za.dl_"},
                {kDefaultPrompt, kProgress, "box Zindo Patch Keeper: Update Failed !"},
                "",
                "",
                {"Invalid download file from {site}h/setup.qpk\r\n",
                 "File NOT signed correctly {temp}setup.qpk\r\n"},
                "<absent>"},
        Release{"Refused",
                "[New Install1]\r\nVersion=6,0,0,0\r\nLink={site}h/setup.qpk\r\n",
                "setup.qpk",
                Temp::Folder,
                IDCANCEL,
                {"GET m/update.txt"},
                {kDefaultPrompt},
                "",
                "",
                {"User said NO to the upgrade\r\n"},
                "6,0,0,0"},
        // The installed host client is as new as every entry asks.
        Release{"NoEntryApplies",
                "[New Install1]\r\nVersion=5,0,1,0\r\nLink={site}h/setup.qpk\r\n",
                "setup.qpk",
                Temp::Folder,
                IDOK,
                kComponent,
                {},
                "",
                "",
                {},
                "<absent>"}),
    [](const ::testing::TestParamInfo<Release>& info) { return std::string(info.param.label); });

namespace {
struct Remembered {
  const char* label;
  int requirement;
  bool askedAgain;
};
void PrintTo(const Remembered& c, std::ostream* os) { *os << c.label; }
class HostReleaseRefusalTest : public ::testing::TestWithParam<Remembered> {
 protected:
  CZWholeRun m_run;
};
}  // namespace

// A refused offer of Requirement 3 is not made again while the manifest
// offers the same version; other offers are made at every run.
TEST_P(HostReleaseRefusalTest, SecondRunAsksOnlyWhenNotRemembered) {
  const Remembered& c = GetParam();
  CZRunCase run =
      CaseOf(c.label,
             std::string(kOffer) +
                 "[New Install1]\r\nVersion=6,0,0,0\r\nLink={site}h/setup.qpk\r\nRequirement=" +
                 std::to_string(c.requirement) + "\r\n" + ComponentList({"za"}) +
                 ComponentSection("za", 4),
             {"za"});
  run.answer = IDCANCEL;
  ASSERT_TRUE(m_run.ServeFile("h/setup.qpk", PassPackage("setup.qpk")));
  ASSERT_NO_FATAL_FAILURE(RunCase(m_run, run));
  EXPECT_EQ(std::vector<std::string>{kDefaultPrompt}, m_run.Events());
  EXPECT_EQ("6,0,0,0", ReadRegString(HKEY_CURRENT_USER, kUpdateKey, "LastUpdateVersion"));
  const size_t first = m_run.MainRequests().size();

  m_run.Run(IDCANCEL);
  std::vector<std::string> second = m_run.MainRequests();
  second.erase(second.begin(), second.begin() + static_cast<std::ptrdiff_t>(first));
  std::vector<std::string> expected = {m_run.Get("corvcli.html"), m_run.Head("p/zupdater.qpk"),
                                       m_run.Get("m/components.html")};
  if (c.askedAgain) expected.push_back(m_run.Get("m/update.txt"));
  // Either way the run ends at the offer: nothing fetched, nothing started.
  EXPECT_EQ(expected, second);
  EXPECT_EQ(c.askedAgain ? std::vector<std::string>{kDefaultPrompt} : std::vector<std::string>{},
            m_run.Events());
  EXPECT_TRUE(ReadFileText(m_run.App() + "za.dll") == FixtureBytes("zcom500.dll"));
  EXPECT_EQ("", m_run.HostArgs());
}

INSTANTIATE_TEST_SUITE_P(Runs, HostReleaseRefusalTest,
                         ::testing::Values(Remembered{"Requirement3", 3, false},
                                           Remembered{"Requirement1", 1, true}),
                         [](const ::testing::TestParamInfo<Remembered>& info) {
                           return std::string(info.param.label);
                         });
