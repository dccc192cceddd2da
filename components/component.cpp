#include "components/component.h"

#include "components/manifest_rules.h"
#include "components/manifest_sections.h"

namespace {
constexpr size_t kValueSize = kComponentValueSize;
constexpr int kDefaultRequirement = 2;
constexpr int kDefaultRegisterServer = 0;
const char kDefaultDestDir[] = "1";
}  // namespace

CZComponent::CZComponent(const std::string& manifestPath, const std::string& name)
    : m_manifestPath(manifestPath), m_name(name) {}

bool CZComponent::LoadFromManifest() {
  const char* file = m_manifestPath.c_str();
  const char* section = m_name.c_str();
  m_clsid = ReadManifestText(file, section, "clsid", "", kValueSize);
  std::string version = ReadManifestText(file, section, "FileVersion", "", kValueSize);
  if (!version.empty()) {
    ParseVersionText(version.c_str(), &m_requiredVersion);
  } else {
    m_requiredVersion.major = kNoRequiredVersion;
  }
  m_url = ReadManifestText(file, section, "Url", "", kValueSize);
  m_requirement = static_cast<int32_t>(
      GetPrivateProfileIntA(section, "Requirement", kDefaultRequirement, file));
  m_registerServer = static_cast<int32_t>(
      GetPrivateProfileIntA(section, "RegisterServer", kDefaultRegisterServer, file));
  CZDestination destination =
      SplitDestDir(ReadManifestText(file, section, "DestDir", kDefaultDestDir, kValueSize).c_str());
  m_destinationKind = destination.kind;
  m_subfolder = destination.subfolder;

  if (!IsSafeComponentName(section) || !IsSafeSubfolder(m_subfolder.c_str()) ||
      !IsSafeClsid(m_clsid.c_str()))
    return false;
  if (!ResolveInstallPath()) return false;
  ReadShowViewFlag();
  return true;
}
