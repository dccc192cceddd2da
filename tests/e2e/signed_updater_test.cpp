// The updater as a vendor ships it, signed with an Authenticode certificate
// (the ctest fixture "signed_updater": tests/e2e/sign_updater.sh signs a copy
// in signed\ beside the test programs): the signature leaves the manifest and
// the version resource as built, and the signed program runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "package/file_version.h"
#include "reg_values.h"
#include "test_support.h"

namespace {
constexpr DWORD kRunTimeoutMs = 60000;
const char kMurvoKey[] = "SOFTWARE\\Zindo\\Murvo";

std::string SignedUpdaterPath() { return TestProgramFolder() + "signed\\zupdater.exe"; }

std::string ManifestOf(const std::string& path) {
  HMODULE image = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  if (image == nullptr) return "<not loaded>";
  std::string manifest = "<no manifest>";
  if (HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24))) {
    const char* bytes = static_cast<const char*>(LockResource(LoadResource(image, found)));
    if (bytes != nullptr) manifest.assign(bytes, SizeofResource(image, found));
  }
  FreeLibrary(image);
  return manifest;
}

TEST(SignedUpdaterTest, KeepsItsManifestAndVersion) {
  const std::string built = ReadFileText(UpdaterExePath());
  const std::string signedFile = ReadFileText(SignedUpdaterPath());
  ASSERT_FALSE(signedFile.empty()) << "the signed_updater fixture made no " << SignedUpdaterPath();
  // The signature is appended: the program's own bytes come first, unchanged
  // but for the header's checksum and certificate table entry.
  EXPECT_GT(signedFile.size(), built.size());
  const std::string manifest = ManifestOf(SignedUpdaterPath());
  EXPECT_EQ(ManifestOf(UpdaterExePath()), manifest);
  EXPECT_NE(std::string::npos,
            manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"))
      << manifest;
  DWORD builtHigh = 0, builtLow = 0, high = 0, low = 0;
  ASSERT_TRUE(GetFileVersion(UpdaterExePath().c_str(), &builtHigh, &builtLow));
  ASSERT_TRUE(GetFileVersion(SignedUpdaterPath().c_str(), &high, &low));
  EXPECT_EQ(builtHigh, high);
  EXPECT_EQ(builtLow, low);
}

TEST(SignedUpdaterTest, Runs) {
  CZScopedRegTree cleanup(HKEY_CURRENT_USER, "SOFTWARE\\Zindo");
  ASSERT_TRUE(SetRegDword(HKEY_CURRENT_USER, kMurvoKey, "LogUpdate", 0));
  CZTempFolder app("signed");
  CreateDirectoryA((app / "logs").c_str(), nullptr);
  ASSERT_TRUE(CopyFileA(SignedUpdaterPath().c_str(), (app / "zupdater.exe").c_str(), FALSE));
  // Nothing listens there: the run reads its settings, logs the page it
  // asks for, fails to reach it and ends.
  const std::string page = "http://127.0.0.1:9/corvcli.html";
  EXPECT_EQ(0u, RunProgram("\"" + (app / "zupdater.exe") + "\" ServerPage=" + page, app.path(),
                           kRunTimeoutMs));
  const std::string log = ReadFileText(app / "logs\\updater.log");
  EXPECT_NE(std::string::npos, log.find("ClientUpdatePage=" + page + "\r\n")) << log;
}
}  // namespace
