// Shared by the component tests: a manifest in a folder of its own, the
// update log captured there, and the fixture libraries beside the tests.
#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/update_log.h"
#include "components/component.h"
#include "http_test_server.h"
#include "test_support.h"

class CZManifestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CreateDirectoryA((m_folder / "logs").c_str(), nullptr);
    StartUpdateLog(m_folder.path().c_str());
  }
  void TearDown() override { StopUpdateLog(); }

  // Writes the manifest; INI lines are given with "\n" and stored with CRLF.
  void WriteManifest(const std::string& text) {
    std::string crlf;
    for (char c : text) {
      if (c == '\n') crlf += '\r';
      crlf += c;
    }
    ASSERT_TRUE(WriteFileText(m_manifest, crlf));
  }
  std::string LogText() const { return ReadFileText(m_folder / "logs\\updater.log"); }

  CZTempFolder m_folder{"manifest"};
  std::string m_manifest = m_folder / "components.ini";
};

// A fixture program or library built beside the tests.
inline std::string FixturePath(const std::string& name) { return TestProgramFolder() + name; }

// The system folder as the updater joins it.
inline std::string SystemFolder() {
  char path[MAX_PATH];
  GetSystemDirectoryA(path, sizeof(path));
  return path;
}
