#include "tools/site_make.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

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
const char kPackageFolder[] = "m/";
const char kComponentFolder[] = "m/c/";
const char kReleaseFolder[] = "m/setup/";
const char kUpdaterFolder[] = "p/";

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
    if (m_reasons.empty()) {
      MakeFolders();
      WritePackages();
      WriteTexts();
    }
    if (m_reasons.empty()) CheckWrittenSite();
    *reasons = m_reasons;
    *notes = m_notes;
    return m_reasons.empty();
  }

 private:
  void Refuse(const std::string& reason) { m_reasons += reason + "\n"; }

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
      Refuse(m_release.promptPage +
             " has no <zupdater> marker: the prompt would never show it");
    CZVersion version;
    std::string reason;
    if (!m_release.updaterFile.empty() &&
        (!ReadWholeFile(m_release.updaterFile, &text) ||
         !ReadPeFileVersion(text, &version, &reason)))
      Refuse(m_release.updaterFile + ": " + reason +
             "; clients refuse a new updater whose version they cannot read");
  }

  void MakeFolders() {
    std::vector<std::string> folders = {"", kPackageFolder, kComponentFolder};
    if (m_release.hasRelease) folders.push_back(kReleaseFolder);
    if (!m_release.updaterFile.empty()) folders.push_back(kUpdaterFolder);
    for (const std::string& folder : folders) {
      const std::string path = m_out + folder;
      if (mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) Refuse("cannot make " + path);
    }
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

  void WritePackages() {
    for (const CZReleaseComponent& component : m_release.components)
      Package(component.file, component.name,
              kComponentFolder + ServedPackageName(component.name));
    if (!m_release.updaterFile.empty())
      Package(m_release.updaterFile, "ZUDPTEMP.EXE", std::string(kUpdaterFolder) + "zupdater.qpk");
    if (!m_release.registryFile.empty())
      Package(m_release.registryFile, "update.reg", std::string(kPackageFolder) + "update_reg.qpk");
    if (m_release.hasRelease)
      Package(m_release.release.file, m_release.release.installer, ReleaseLinkPath());
  }

  std::string ReleaseLinkPath() const {
    const std::string& installer = m_release.release.installer;
    return kReleaseFolder + installer.substr(0, installer.rfind('.')) + ".qpk";
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

  std::string ComponentSection(const CZReleaseComponent& component) {
    const std::string served = ServedPackageName(component.name);
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
    text += "Url=" + m_release.baseUrl + kComponentFolder + served + "\r\n";
    text += "Requirement=" + std::to_string(component.requirement) + "\r\n";
    if (component.registerServer) text += "RegisterServer=1\r\n";
    if (!component.destDir.empty()) text += "DestDir=" + component.destDir + "\r\n";
    CZPackageSizes sizes;
    if (ComputePackageSizes(m_out + kComponentFolder + served, &sizes, &reason)) {
      text += "Size1=" + std::to_string(sizes.size1) + "\r\nSize2=" + std::to_string(sizes.size2) +
              "\r\n";
    }
    return text + "\r\n";
  }

  std::string Manifest() {
    std::string text = "[components]\r\n";
    for (const CZReleaseComponent& component : m_release.components)
      text += component.name + "=\r\n";
    text += "\r\n";
    for (const CZReleaseComponent& component : m_release.components)
      text += ComponentSection(component);
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
      text += "Link=" + m_release.baseUrl + ReleaseLinkPath() + "\r\n";
      text += "Silent=" + std::string(r.silent ? "1" : "0") + "\r\n";
    }
    return text;
  }

  std::string Page() const {
    // The updater goes on only when the page names both folders, even when
    // the site ships no updater.
    std::string text = "MURVO-FOLDER=" + m_release.baseUrl + kPackageFolder + "\r\n";
    text += "PATCHKEEPER-FOLDER=" + m_release.baseUrl + kUpdaterFolder + "\r\n";
    for (const auto& setting : m_release.pageSettings)
      text += setting.first + "=" + setting.second + "\r\n";
    return text;
  }

  void WriteTexts() {
    const time_t now = m_release.hasDate ? m_release.date : time(nullptr);
    WriteFile(std::string(kPackageFolder) + "components.html", Manifest(), now);
    WriteFile(m_release.page, Page(), now);
    if (!m_release.promptText.empty())
      Copy(m_release.promptText, std::string(kPackageFolder) + "update.txt");
    if (!m_release.promptPage.empty())
      Copy(m_release.promptPage, std::string(kPackageFolder) + "update.html");
    // Folders are dated too: some uploaders copy a folder's date with it.
    Dated(kComponentFolder, now);
    if (m_release.hasRelease) Dated(kReleaseFolder, now);
    if (!m_release.updaterFile.empty()) Dated(kUpdaterFolder, now);
    Dated(kPackageFolder, now);
  }

  // The site as the updater will read it, by the checks `zpkg check-site`
  // runs: whatever it finds, the release is refused.
  void CheckWrittenSite() {
    CZSiteCheckOptions options;
    options.page = m_release.page;
    options.baseUrl = m_release.baseUrl;
    const CZSiteReport report = CheckSite(m_key, m_out, options);
    for (const CZSiteProblem& problem : report.problems) Refuse(problem.file + ": " + problem.reason);
  }

  const CZReleaseDescription& m_release;
  EVP_PKEY* m_key;
  std::string m_out;
  std::string m_reasons, m_notes;
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
