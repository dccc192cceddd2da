#include "components/feature_settings.h"

#include <string>

#include "common/process_state.h"
#include "component_fixture.h"
#include "reg_values.h"
#include "running_host.h"

namespace {
const char kComponentUpdateKey[] = "SOFTWARE\\Zindo\\Murvo\\ComponentUpdate";

std::string Feature(const std::string& feature) {
  return std::string(kComponentUpdateKey) + "\\" + feature;
}
bool KeyExists(const std::string& path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}
DWORD ValueCount(const std::string& path) {
  HKEY key;
  DWORD count = ~0u;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
    return count;
  RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr,
                   nullptr, nullptr, nullptr);
  RegCloseKey(key);
  return count;
}

class FeatureSettingsTest : public CZManifestTest {
 protected:
  unsigned Message() const { return RegisterWindowMessageA(kTransmitMessageName); }
  CZScopedRegTree m_settings{HKEY_CURRENT_USER, "SOFTWARE\\Zindo\\Murvo"};
};
}  // namespace

TEST_F(FeatureSettingsTest, FeatureSectionsAreCopiedAsText) {
  const std::string longValue(1500, 'v');
  WriteManifest(
      "[components]\na.dll=\n[Features]\nchat=ignored\nvoice=\nghost=\n"
      "[chat]\na=1\nb=\nc=some text with = sign\nlong=" +
      longValue + "\n[VOICE]\nMode=0x10\n");
  PublishFeatureSettings(m_manifest.c_str(), Message());
  EXPECT_EQ("1", ReadRegString(HKEY_CURRENT_USER, Feature("chat").c_str(), "a"));
  EXPECT_EQ("", ReadRegString(HKEY_CURRENT_USER, Feature("chat").c_str(), "b"));
  EXPECT_EQ("some text with = sign",
            ReadRegString(HKEY_CURRENT_USER, Feature("chat").c_str(), "c"));
  // Values are read into 1024 bytes.
  EXPECT_EQ(longValue.substr(0, 1023),
            ReadRegString(HKEY_CURRENT_USER, Feature("chat").c_str(), "long"));
  EXPECT_EQ(4u, ValueCount(Feature("chat")));
  EXPECT_EQ("0x10", ReadRegString(HKEY_CURRENT_USER, Feature("voice").c_str(), "Mode"));
  // A listed feature without a section still gets its (empty) key.
  EXPECT_TRUE(KeyExists(Feature("ghost")));
  EXPECT_EQ(0u, ValueCount(Feature("ghost")));
  // Only listed features.
  EXPECT_FALSE(KeyExists(Feature("components")));
  EXPECT_FALSE(KeyExists(Feature("a.dll")));
}

TEST_F(FeatureSettingsTest, ExistingValuesAreOverwrittenAndOthersKept) {
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, Feature("chat").c_str(), "a", "old"));
  ASSERT_TRUE(SetRegString(HKEY_CURRENT_USER, Feature("chat").c_str(), "kept", "yes"));
  WriteManifest("[Features]\nchat=\n[chat]\na=new\n");
  PublishFeatureSettings(m_manifest.c_str(), Message());
  EXPECT_EQ("new", ReadRegString(HKEY_CURRENT_USER, Feature("chat").c_str(), "a"));
  EXPECT_EQ("yes", ReadRegString(HKEY_CURRENT_USER, Feature("chat").c_str(), "kept"));
}

TEST_F(FeatureSettingsTest, NoFeaturesWritesNothing) {
  WriteManifest("[components]\na.dll=\n[a.dll]\nUrl=x\n");
  PublishFeatureSettings(m_manifest.c_str(), Message());
  EXPECT_FALSE(KeyExists(kComponentUpdateKey));
}

TEST_F(FeatureSettingsTest, RunningHostClientIsTold) {
  CZRunningHostClient host;
  ASSERT_TRUE(host.IsUp());
  WriteManifest("[Features]\nchat=\n[chat]\na=1\n");
  PublishFeatureSettings(m_manifest.c_str(), Message());
  EXPECT_EQ("1 0\n", host.WaitForMessages(1));
  EXPECT_EQ("1", ReadRegString(HKEY_CURRENT_USER, Feature("chat").c_str(), "a"));
}

TEST_F(FeatureSettingsTest, HostClientIsToldEvenWithoutFeatures) {
  CZRunningHostClient host;
  ASSERT_TRUE(host.IsUp());
  WriteManifest("[components]\na.dll=\n");
  PublishFeatureSettings(m_manifest.c_str(), Message());
  // And without any manifest at all.
  PublishFeatureSettings((m_folder / "absent.ini").c_str(), Message());
  EXPECT_EQ("1 0\n1 0\n", host.WaitForMessages(2));
}

// The 512-value cap holds for one run; across runs the registry keeps at most
// 1024 feature keys and values. Runs with new names each time stop adding at
// the budget, but values already there are still written again.
TEST_F(FeatureSettingsTest, RunsTogetherKeepAtMostTheBudget) {
  auto manifestOfRun = [](int run) {
    std::string text = "[Features]\nkept=\nf" + std::to_string(run) +
                       "=\n[kept]\nv=" + std::to_string(run) + "\n[f" + std::to_string(run) + "]\n";
    for (int v = 0; v < 300; ++v) text += "v" + std::to_string(v) + "=x\n";
    return text;
  };
  for (int run = 0; run < 5; ++run) {
    WriteManifest(manifestOfRun(run));
    PublishFeatureSettings(m_manifest.c_str(), Message());
  }
  size_t stored = 0;
  DWORD keys = ValueCount(kComponentUpdateKey);  // values directly under it: none
  EXPECT_EQ(0u, keys);
  for (const char* feature : {"kept", "f0", "f1", "f2", "f3", "f4"}) {
    if (!KeyExists(Feature(feature))) continue;
    stored += 1 + ValueCount(Feature(feature));
  }
  EXPECT_EQ(1024u, stored);
  // Run 4 found no room for anything new, yet its value of an existing name
  // is written.
  EXPECT_FALSE(KeyExists(Feature("f4")));
  EXPECT_EQ("4", ReadRegString(HKEY_CURRENT_USER, Feature("kept").c_str(), "v"));
  EXPECT_NE(std::string::npos, LogText().find("Feature settings add nothing new from "))
      << LogText();
}
