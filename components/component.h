// CZComponent: one component of the manifest (a library or control of the
// host client): where its package comes from, where its file lives, how
// urgent its update is and whether it needs one.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "common/version_text.h"

class CZHttpSession;

// The required major that means "no FileVersion given": dates decide.
constexpr uint16_t kNoRequiredVersion = 0xFFFF;
// Destination kind of the system folder; every other kind is the default.
constexpr uint8_t kSystemFolderKind = 2;

class CZComponent {
 public:
  CZComponent(const std::string& manifestPath, const std::string& name);

  // Reads the component's section, then places it and reads its view
  // setting. False when the manifest would place its file outside the host
  // client's folders (a name with \, / or :, a climbing or absolute
  // subfolder, a clsid with \): such a component is refused.
  bool LoadFromManifest();

  // Placement (the install path) and the host client's view switch; both
  // run at the end of LoadFromManifest. ResolveInstallPath is false when the
  // path would not fit a path buffer: cutting it would name another file.
  bool ResolveInstallPath();
  void ReadShowViewFlag();
  // Pending: the view is enabled and the file needs an update.
  bool IsEligible() const { return m_viewEnabled != 0 && m_needsUpdate != 0; }

  // Sets the needs-update flag when the installed file is older than the
  // required version; without a version on either side, dates decide.
  void CheckNeedsUpdate(CZHttpSession& net);
  // The date rule: stale when the local file is missing (no request made)
  // or when the server's date is more than 60 s after the file's.
  void IsComponentFileNewer(CZHttpSession& net);
  // The Last-Modified date of the package URL, asked with HEAD on the
  // session's current connection (the caller connects to the URL's host).
  // False, with *fileTime untouched, when the date cannot be had; *ahead
  // (when given) tells whether the server's date was more than a day ahead.
  bool QueryComponentFileTime(CZHttpSession& net, ULONGLONG* fileTime, bool* ahead = nullptr) const;

  const std::string& ManifestPath() const { return m_manifestPath; }
  // The section name, also the installed file's name.
  const std::string& Name() const { return m_name; }
  const std::string& InstallPath() const { return m_installPath; }
  const std::string& Clsid() const { return m_clsid; }
  const CZVersion& RequiredVersion() const { return m_requiredVersion; }
  const std::string& Url() const { return m_url; }
  int32_t RegisterServer() const { return m_registerServer; }
  int32_t Requirement() const { return m_requirement; }
  uint8_t DestinationKind() const { return m_destinationKind; }
  int32_t NeedsUpdate() const { return m_needsUpdate; }
  int32_t ViewEnabled() const { return m_viewEnabled; }
  // Empty or ending with a backslash; joined to a folder and the name.
  const std::string& Subfolder() const { return m_subfolder; }

 private:
  std::string m_manifestPath;
  std::string m_name;
  std::string m_installPath;
  std::string m_clsid;
  CZVersion m_requiredVersion;
  std::string m_url;
  int32_t m_registerServer = 0;
  int32_t m_requirement = 0;
  uint8_t m_destinationKind = 0;
  int32_t m_needsUpdate = 0;
  int32_t m_viewEnabled = 1;
  std::string m_subfolder;
};
