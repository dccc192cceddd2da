#include "tools/site_make.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

#include "components/manifest_rules.h"
#include "net/setting_line.h"
#include "tools/cab_pack.h"
#include "tools/ini_text.h"
#include "tools/package_sizes.h"
#include "tools/pe_version.h"
#include "tools/signing.h"
#include "tools/site_check.h"
#include "ui/prompt_text.h"

namespace {
const char kComponentFolder[] = "c/";
const char kReleaseFolder[] = "setup/";
const char kUpdaterPackage[] = "zupdater.qpk";

bool IsEmptyOrMissing(const std::string& folder) {
  DIR* dir = opendir(folder.c_str());
  if (dir == nullptr) return true;
  bool empty = true;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") empty = false;
  }
  closedir(dir);
  return empty;
}

void RemoveTree(const std::string& path) {
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") RemoveTree(path + "/" + name);
    }
    closedir(dir);
    rmdir(path.c_str());
  } else {
    remove(path.c_str());
  }
}

time_t ModifiedAt(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_mtime : time(nullptr);
}

class CZSiteWriter {
 public:
  CZSiteWriter(const CZReleaseDescription& release, EVP_PKEY* key, const std::string& out)
      : m_release(release), m_key(key), m_out(out.back() == '/' ? out : out + "/") {}

  bool Write(std::string* reasons, std::string* notes) {
    CheckTexts();
    if (m_reasons.empty() && mkdir(m_out.c_str(), 0755) != 0 && errno != EEXIST)
      Refuse("cannot make " + m_out);
    if (m_reasons.empty()) {
      bool servesDefault = false;
      for (const CZReleaseEdition& edition : m_release.editions) {
        MakeFolders(edition);
        WritePackages(edition);
        WriteTexts(edition);
        servesDefault = servesDefault || IsDefaultEdition(edition.client);
      }
      WriteFile(m_release.page, Page(), Now());
      WriteFile(kEditionsFile, FormatEditions(Clients()), Now());
      DateFolders();
      if (!servesDefault)
        m_notes +=
            "no edition serves clients without a locale, cobrand or ligans: they find "
            "no manifest\n";
    }
    if (m_reasons.empty()) CheckWrittenSite();
    *reasons = m_reasons;
    *notes = m_notes;
    return m_reasons.empty();
  }

 private:
  void Refuse(const std::string& reason) { m_reasons += reason + "\n"; }

  time_t Now() const { return m_release.hasDate ? m_release.date : time(nullptr); }

  std::vector<CZClientEdition> Clients() const {
    std::vector<CZClientEdition> clients;
    for (const CZReleaseEdition& edition : m_release.editions) clients.push_back(edition.client);
    return clients;
  }

  static std::string PackageFolder(const CZReleaseEdition& edition) {
    return kSitePackageFolder + PackageSuffixOf(edition.client);
  }
  static std::string UpdaterFolder(const CZReleaseEdition& edition) {
    return kSiteUpdaterFolder + UpdaterSuffixOf(edition.client);
  }

  // What the site's files are dated: the release's date, else the source's.
  time_t DateOf(const std::string& source) const {
    return m_release.hasDate ? m_release.date : ModifiedAt(source);
  }

  void Dated(const std::string& relative, time_t when) {
    struct utimbuf times = {when, when};
    if (utime((m_out + relative).c_str(), &times) != 0) Refuse("cannot date " + relative);
  }

  void CheckTexts() {
    CZBytes text;
    if (!m_release.promptText.empty() && ReadWholeFile(m_release.promptText, &text) &&
        text.size() + 1 > kPromptTextSize)
      Refuse(m_release.promptText + " is " + std::to_string(text.size()) +
             " bytes; the prompt shows at most " + std::to_string(kPromptTextSize - 1));
    if (!m_release.promptPage.empty() && ReadWholeFile(m_release.promptPage, &text) &&
        !HasPageMarker(ToLowerAscii(std::string(text.begin(), text.end()))))
      Refuse(m_release.promptPage + " has no <zupdater> marker: the prompt would never show it");
    std::vector<std::string> updaters;
    for (const CZReleaseEdition& edition : m_release.editions) {
      const std::string& file = edition.updaterFile;
      if (file.empty() || std::find(updaters.begin(), updaters.end(), file) != updaters.end())
        continue;
      updaters.push_back(file);
      CZVersion version;
      std::string reason = "cannot read it";
      if (!ReadWholeFile(file, &text) || !ReadPeFileVersion(text, &version, &reason))
        Refuse(file + ": " + reason +
               "; clients refuse a new updater whose version they cannot read");
    }
  }

  // Makes the folder and every folder above it, up to the site's.
  void MakeFolder(const std::string& relative) {
    for (size_t slash = 0;; ++slash) {
      slash = relative.find('/', slash);
      const std::string folder = relative.substr(0, slash);
      const std::string path = m_out + folder;
      if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) {
        Refuse("cannot make " + path);
        return;
      }
      if (std::find(m_folders.begin(), m_folders.end(), folder) == m_folders.end())
        m_folders.push_back(folder);
      if (slash == std::string::npos || slash + 1 == relative.size()) return;
    }
  }

  void MakeFolders(const CZReleaseEdition& edition) {
    MakeFolder(PackageFolder(edition) + kComponentFolder);
    if (m_release.hasRelease) MakeFolder(PackageFolder(edition) + kReleaseFolder);
    if (!edition.updaterFile.empty()) MakeFolder(UpdaterFolder(edition));
  }

  // Packs one file under storedName, signs it and dates it.
  void Package(const std::string& source, const std::string& storedName,
               const std::string& relative) {
    CZBytes cabinet, signedImage;
    CZCabImage image;
    std::string reason;
    CZSignOptions options;
    if (!PackCabinet({{storedName, source}}, CZPackOptions(), &cabinet, &reason) ||
        !ParseCabImage(cabinet, &image, &reason) ||
        !SignImage(image, m_key, options, &signedImage, &reason)) {
      Refuse(relative + ": " + reason);
      return;
    }
    if (!WriteWholeFile(m_out + relative, signedImage)) {
      Refuse("cannot write " + relative);
      return;
    }
    Dated(relative, DateOf(source));
  }

  const CZReleaseComponent* FindComponent(const std::string& name) const {
    for (const CZReleaseComponent& component : m_release.components)
      if (component.name == name) return &component;
    return nullptr;
  }

  // Each edition's folder holds every file its clients fetch, even those
  // that other editions ship too.
  void WritePackages(const CZReleaseEdition& edition) {
    const std::string folder = PackageFolder(edition);
    for (const std::string& name : edition.components) {
      const CZReleaseComponent* component = FindComponent(name);
      if (component != nullptr)
        Package(component->file, component->name,
                folder + kComponentFolder + ServedPackageName(component->name));
    }
    // Editions of one locale share their updater folder.
    const std::string updater = UpdaterFolder(edition) + kUpdaterPackage;
    if (!edition.updaterFile.empty() && !IsRegularFile(m_out + updater))
      Package(edition.updaterFile, "ZUDPTEMP.EXE", updater);
    if (!m_release.registryFile.empty())
      Package(m_release.registryFile, "update.reg", folder + "update_reg.qpk");
    if (m_release.hasRelease)
      Package(m_release.release.file, m_release.release.installer, ReleaseLinkPath(edition));
  }

  std::string ReleaseLinkPath(const CZReleaseEdition& edition) const {
    const std::string& installer = m_release.release.installer;
    return PackageFolder(edition) + kReleaseFolder + installer.substr(0, installer.rfind('.')) +
           ".qpk";
  }

  void WriteFile(const std::string& relative, const std::string& text, time_t when) {
    if (!WriteWholeFile(m_out + relative, CZBytes(text.begin(), text.end()))) {
      Refuse("cannot write " + relative);
      return;
    }
    Dated(relative, when);
  }

  void Copy(const std::string& source, const std::string& relative) {
    CZBytes bytes;
    if (!ReadWholeFile(source, &bytes) || !WriteWholeFile(m_out + relative, bytes)) {
      Refuse("cannot copy " + source + " to " + relative);
      return;
    }
    Dated(relative, DateOf(source));
  }

  static std::string Version(const CZVersion& version) {
    char text[32];
    FormatVersionText(version, text, sizeof(text));
    return text;
  }

  std::string ComponentSection(const CZReleaseEdition& edition,
                               const CZReleaseComponent& component) {
    const std::string served =
        PackageFolder(edition) + kComponentFolder + ServedPackageName(component.name);
    std::string text = "[" + component.name + "]\r\n";
    if (!component.clsid.empty()) text += "clsid=" + component.clsid + "\r\n";
    CZBytes bytes;
    CZVersion version;
    std::string reason;
    if (ReadWholeFile(component.file, &bytes) && ReadPeFileVersion(bytes, &version, &reason)) {
      text += "FileVersion=" + Version(version) + "\r\n";
    } else {
      m_notes += component.name + ": " + reason +
                 "; no FileVersion is written, so clients compare its date\n";
    }
    text += "Url=" + m_release.baseUrl + served + "\r\n";
    text += "Requirement=" + std::to_string(component.requirement) + "\r\n";
    if (component.registerServer) text += "RegisterServer=1\r\n";
    if (!component.destDir.empty()) text += "DestDir=" + component.destDir + "\r\n";
    CZPackageSizes sizes;
    if (ComputePackageSizes(m_out + served, &sizes, &reason)) {
      text += "Size1=" + std::to_string(sizes.size1) + "\r\nSize2=" + std::to_string(sizes.size2) +
              "\r\n";
    }
    return text + "\r\n";
  }

  std::string Manifest(const CZReleaseEdition& edition) {
    std::string text = "[components]\r\n";
    for (const std::string& name : edition.components) text += name + "=\r\n";
    text += "\r\n";
    for (const std::string& name : edition.components) {
      const CZReleaseComponent* component = FindComponent(name);
      if (component != nullptr) text += ComponentSection(edition, *component);
    }
    if (!m_release.features.empty()) {
      text += "[Features]\r\n";
      for (const CZReleaseFeature& feature : m_release.features) text += feature.name + "=\r\n";
      text += "\r\n";
      for (const CZReleaseFeature& feature : m_release.features) {
        text += "[" + feature.name + "]\r\n";
        for (const auto& value : feature.values) text += value.first + "=" + value.second + "\r\n";
        text += "\r\n";
      }
    }
    if (!m_release.registryFile.empty())
      text += "[update.reg]\r\nVersion=" + Version(m_release.registryVersion) + "\r\n\r\n";
    if (m_release.hasRelease) {
      const CZClientRelease& r = m_release.release;
      text += "[New Install]\r\nVersionNew=" + Version(r.version) + "\r\n\r\n";
      text += "[New Install1]\r\nVersion=" + Version(r.version) + "\r\n";
      if (!r.compareFile.empty()) text += "CmpFileName=" + r.compareFile + "\r\n";
      text += "Requirement=" + std::to_string(r.requirement) + "\r\n";
      text += "Link=" + m_release.baseUrl + ReleaseLinkPath(edition) + "\r\n";
      text += "Silent=" + std::string(r.silent ? "1" : "0") + "\r\n";
    }
    return text;
  }

  std::string Page() const {
    // The updater goes on only when the page names both folders, even when
    // the site ships no updater.
    std::string text = "MURVO-FOLDER=" + m_release.baseUrl + kSitePackageFolder + "\r\n";
    text += "PATCHKEEPER-FOLDER=" + m_release.baseUrl + kSiteUpdaterFolder + "\r\n";
    for (const auto& setting : m_release.pageSettings)
      text += setting.first + "=" + setting.second + "\r\n";
    return text;
  }

  void WriteTexts(const CZReleaseEdition& edition) {
    const time_t now = Now();
    const std::string folder = PackageFolder(edition);
    WriteFile(folder + "components.html", Manifest(edition), now);
    if (!m_release.promptText.empty()) Copy(m_release.promptText, folder + "update.txt");
    if (!m_release.promptPage.empty()) Copy(m_release.promptPage, folder + "update.html");
  }

  // Folders are dated too, once all is written: some uploaders copy a
  // folder's date with it.
  void DateFolders() {
    for (const std::string& folder : m_folders) Dated(folder, Now());
  }

  // The site as the updater will read it, by the checks `zpkg check-site`
  // runs: whatever it finds, the release is refused.
  void CheckWrittenSite() {
    CZSiteCheckOptions options;
    options.page = m_release.page;
    options.baseUrl = m_release.baseUrl;
    const CZSiteReport report = CheckSite(m_key, m_out, options);
    for (const CZSiteProblem& problem : report.problems)
      Refuse(problem.file + ": " + problem.reason);
    for (const CZSiteProblem& warning : report.warnings)
      m_notes += "warning: " + warning.file + ": " + warning.reason + "\n";
  }

  const CZReleaseDescription& m_release;
  EVP_PKEY* m_key;
  std::string m_out;
  std::string m_reasons, m_notes;
  std::vector<std::string> m_folders;  // made here, relative to the site
};
}  // namespace

bool MakeSite(const CZReleaseDescription& release, EVP_PKEY* privateKey, const std::string& out,
              std::string* reasons, std::string* notes) {
  if (!IsEmptyOrMissing(out)) {
    *reasons = out + " is not empty: give a new folder, so that no old file mixes into the site\n";
    return false;
  }
  if (CZSiteWriter(release, privateKey, out).Write(reasons, notes)) return true;
  RemoveTree(out);
  return false;
}
