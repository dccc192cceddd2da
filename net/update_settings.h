// CZUpdateSettings: what the command line and the client update page tell a
// run (the page to read, the package folders, the File setting) and the
// install's locale that shapes the folder URLs.
#pragma once
#include <string>

#include "settings/install_records.h"

// Where a setting line comes from: the client update page arrives over plain
// HTTP and may not choose which program starts at exit.
enum class SettingSource { CommandLine, Page };

class CZUpdateSettings {
 public:
  // Cuts the command line at every semicolon (in place) and applies each piece.
  void ParseCommandLine(char* commandLine);
  // Applies one Key=Value setting line; false when it is refused. From the
  // page, ApplicationName must be a local absolute path; a refused one is
  // logged.
  bool ApplySettingLine(const char* line, SettingSource source = SettingSource::CommandLine);
  // Re-reads the install's locale, cobrand and ligans; true when a locale was read.
  bool ReadLocaleSettings() { return ::ReadLocaleSettings(&m_locale); }

  const std::string& ServerPage() const { return m_serverPage; }
  const std::string& FileSetting() const { return m_fileSetting; }
  const std::string& PackageBaseUrl() const { return m_packageBaseUrl; }
  const std::string& UpdaterPackageUrl() const { return m_updaterPackageUrl; }
  const CZLocaleSettings& Locale() const { return m_locale; }

  // The URL path of the package folder, known once the manifest is asked for.
  const std::string& PackageBasePath() const { return m_packageBasePath; }
  void SetPackageBasePath(const std::string& path) { m_packageBasePath = path; }

  void Clear();

 private:
  std::string m_serverPage;
  std::string m_fileSetting;
  std::string m_packageBaseUrl;
  std::string m_updaterPackageUrl;
  std::string m_packageBasePath;
  CZLocaleSettings m_locale;
};
