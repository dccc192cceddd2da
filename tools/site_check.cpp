#include "tools/site_check.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "components/manifest_rules.h"
#include "net/page_lines.h"
#include "net/setting_line.h"
#include "package/checksum_rules.h"
#include "tools/cab_extract.h"
#include "tools/cab_image.h"
#include "tools/ini_text.h"
#include "tools/package_sizes.h"
#include "tools/pe_version.h"
#include "tools/verify_image.h"
#include "ui/prompt_text.h"

namespace {
const char kManifestName[] = "components.html";
const char kUpdaterTarget[] = "ZUDPTEMP.EXE";
const char kRegistryPackage[] = "update_reg.qpk";
const char kRegistryTarget[] = "update.reg";

std::string VersionString(const CZVersion& v) {
  return std::to_string(v.major) + "." + std::to_string(v.minor) + "." + std::to_string(v.build) +
         "." + std::to_string(v.revision);
}

class CZSiteChecker {
 public:
  CZSiteChecker(EVP_PKEY* key, const std::string& site, const CZSiteCheckOptions& options)
      : m_key(key), m_site(site), m_options(options) {
    if (!m_site.empty() && m_site.back() != '/') m_site += '/';
    m_basePath = PathOf(options.baseUrl.empty() ? "http://site/" : options.baseUrl);
  }

  CZSiteReport Run() {
    CheckPage();
    return m_report;
  }

 private:
  void Problem(const std::string& file, const std::string& reason) {
    m_report.problems.push_back({file, reason});
  }
  void Sound(const std::string& line) { m_report.checked.push_back(line); }
  void Warn(const std::string& file, const std::string& reason) {
    m_report.warnings.push_back({file, reason});
  }

  static std::string UtcText(time_t when) {
    char text[32] = "";
    struct tm parts = {};
    gmtime_r(&when, &parts);
    strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &parts);
    return text;
  }

  // Installed files take the server's date, and a file dated after the
  // package is never replaced by it: where the package is older than the
  // file it holds, clients that have that build never fetch it.
  void WarnOlderThanContents(const std::string& file, const std::string& target,
                             const std::string& consequence) {
    struct stat info;
    CZCabImage image;
    std::string reason;
    if (stat((m_site + file).c_str(), &info) != 0 || !LoadCabImage(m_site + file, &image, &reason))
      return;
    for (const CZCabFile& stored : image.files) {
      if (!EqualsNoCase(stored.name, target)) continue;
      struct tm parts = {};
      parts.tm_year = 80 + (stored.date >> 9);
      parts.tm_mon = ((stored.date >> 5) & 15) - 1;
      parts.tm_mday = stored.date & 31;
      parts.tm_hour = stored.time >> 11;
      parts.tm_min = (stored.time >> 5) & 63;
      parts.tm_sec = (stored.time & 31) * 2;
      parts.tm_isdst = -1;
      const time_t made = mktime(&parts);
      // The stored date is the packing machine's local time: a day covers
      // any time zone.
      constexpr time_t kDay = 24 * 60 * 60;
      if (made != static_cast<time_t>(-1) && info.st_mtime + kDay < made)
        Warn(file, "dated " + UtcText(info.st_mtime) + " UTC, before the " + target +
                       " it holds (made " + UtcText(made) + " UTC): " + consequence);
    }
  }

  // The path of a URL ("/m/c/" of "http://host:80/m/c/"), empty when it is
  // not an http or https URL.
  static std::string PathOf(const std::string& url) {
    size_t scheme = url.find("://");
    if (scheme == std::string::npos) return "";
    const std::string name = url.substr(0, scheme);
    if (!EqualsNoCase(name, "http") && !EqualsNoCase(name, "https")) return "";
    size_t path = url.find('/', scheme + 3);
    return path == std::string::npos ? "/" : url.substr(path);
  }

  // The site file a URL names, relative to the site; false with a problem
  // reported against from when it cannot name one.
  bool MapUrl(const std::string& from, const std::string& what, const std::string& url,
              std::string* relative) {
    std::string path = PathOf(url);
    if (path.empty()) {
      Problem(from, what + " " + url + " is not an http or https URL");
      return false;
    }
    path = path.substr(0, path.find_first_of("?#"));
    if (path.compare(0, m_basePath.size(), m_basePath) != 0) {
      Problem(from, what + " " + url + " lies outside the site (served at " +
                        (m_options.baseUrl.empty() ? std::string("/") : m_options.baseUrl) + ")");
      return false;
    }
    *relative = path.substr(m_basePath.size());
    if (relative->find("..") != std::string::npos || relative->find('\\') != std::string::npos) {
      Problem(from, what + " " + url + " climbs out of the site folder");
      return false;
    }
    return true;
  }

  // A text the updater reads into a buffer of size bytes.
  void CheckFits(const std::string& file, const std::string& what, const std::string& value,
                 size_t size) {
    if (value.size() + 1 > size)
      Problem(file, what + " is " + std::to_string(value.size()) +
                        " characters; the updater reads at most " + std::to_string(size - 1) +
                        " and would cut it");
  }

  void CheckExactVersion(const std::string& file, const std::string& what,
                         const std::string& value) {
    CZVersion version;
    if (ParseExactVersionText(value.c_str(), &version)) return;
    ParseVersionText(value.c_str(), &version);
    Problem(file, what + "=" + value +
                      " is not four numbers separated by commas: the updater "
                      "reads it as " +
                      VersionString(version));
  }

  // A signed package that must hold target; the target's bytes when asked.
  bool CheckPackage(const std::string& file, const std::string& target, CZBytes* contents) {
    const std::string path = m_site + file;
    CZBytes bytes;
    if (!IsRegularFile(path) || !ReadWholeFile(path, &bytes)) {
      Problem(file, "missing: the updater's download of it fails");
      return false;
    }
    std::string reason;
    if (!VerifyImage(bytes, m_key, &reason)) {
      Problem(file, "refused by the updater: " + reason);
      return false;
    }
    CZCabImage image;
    if (!ParseCabImage(bytes, &image, &reason)) {
      Problem(file, reason);
      return false;
    }
    bool holds = false;
    for (const CZCabFile& stored : image.files) holds = holds || EqualsNoCase(stored.name, target);
    if (!holds) {
      std::string names;
      for (const CZCabFile& stored : image.files)
        names += (names.empty() ? "" : ", ") + stored.name;
      Problem(file, "does not hold " + target + " (it holds " + names +
                        "): the updater installs nothing from it");
      return false;
    }
    if (contents != nullptr && !ExtractCabFile(image, target, contents, &reason)) {
      Problem(file, reason);
      return false;
    }
    Sound(file + ": verified, holds " + target);
    return true;
  }

  void CheckSizes(const std::string& file, const std::string& manifest, const std::string& section,
                  const CZIniText& ini) {
    CZPackageSizes sizes;
    std::string reason;
    if (!ComputePackageSizes(m_site + file, &sizes, &reason)) return;
    const struct {
      const char* key;
      uint32_t actual;
    } values[] = {{"Size1", sizes.size1}, {"Size2", sizes.size2}};
    for (const auto& value : values) {
      const std::string text = ini.GetOr(section, value.key, "");
      const uint32_t expected = ParseExpectedValue(text.c_str());
      if (expected != 0 && expected != value.actual)
        Problem(manifest, "[" + section + "] " + value.key + "=" + text + " but " + file +
                              " gives " + std::to_string(value.actual) +
                              ": the updater refuses the download");
    }
  }

  void CheckPage() {
    const std::string& page = m_options.page;
    std::string text;
    if (!ReadWholeText(m_site + page, &text)) {
      Problem(page, "missing: the updater finds no client update page");
      return;
    }
    if (text.size() >= kPageBufferSize) {
      Problem(page, "is " + std::to_string(text.size()) + " bytes; the updater refuses a page of " +
                        std::to_string(kPageBufferSize) + " bytes or more");
      return;
    }
    std::string murvo, patchkeeper;
    int number = 0;
    std::vector<char> lines(text.begin(), text.end());
    lines.push_back('\0');
    SplitPageLines(lines.data(), [&](const char* line) {
      ++number;
      SettingLine setting;
      if (!ParseSettingLine(line, &setting)) {
        if (!Trimmed(line).empty())
          Problem(page, "line " + std::to_string(number) + " (" + Trimmed(line) +
                            ") is not a setting the updater knows; it is ignored");
        return;
      }
      if (strlen(line) > 1023)
        Problem(page,
                "line " + std::to_string(number) + " is longer than the 1023 characters read");
      if (setting.key == SettingKey::MurvoFolder) murvo = setting.value;
      if (setting.key == SettingKey::PatchkeeperFolder) patchkeeper = setting.value;
    });
    // The run goes on only when the page names both folders.
    if (patchkeeper.empty())
      Problem(page, "names no PATCHKEEPER-FOLDER: the updater stops after reading the page");
    if (murvo.empty())
      Problem(page, "names no MURVO-FOLDER: the updater stops after reading the page");
    std::string ignored;
    const bool updaterFolder =
        !patchkeeper.empty() && FolderUrl(page, "PATCHKEEPER-FOLDER", patchkeeper, &ignored);
    const bool packageFolder = !murvo.empty() && FolderUrl(page, "MURVO-FOLDER", murvo, &ignored);
    for (const CZClientEdition& edition : Editions()) {
      Sound("edition " + edition.name + " (" + DescribeEdition(edition) + ")");
      const std::string fault = EditionFault(edition);
      if (!fault.empty()) Problem(page, "edition " + edition.name + ": " + fault);
      if (updaterFolder)
        CheckUpdaterFolder(page, BuildUpdaterPackageUrl(patchkeeper, edition.locale));
      if (packageFolder)
        CheckPackageFolder(
            page, BuildPackageBaseUrl(murvo, edition.locale, edition.cobrand, edition.ligans));
    }
  }

  // The clients to check the site for: the one asked for, or every edition
  // the site lists, or (a site without the list) those with no locale set.
  std::vector<CZClientEdition> Editions() {
    if (m_options.hasClient) return {m_options.client};
    std::string text, reason;
    std::vector<CZClientEdition> editions;
    if (!ReadWholeText(m_site + kEditionsFile, &text)) {
      CZClientEdition plain;
      plain.name = "default";
      return {plain};
    }
    if (!ParseEditions(text, &editions, &reason)) Problem(kEditionsFile, reason);
    return editions;
  }

  bool FolderUrl(const std::string& page, const char* key, const std::string& url,
                 std::string* folder) {
    if (url.back() != '/') {
      Problem(page, std::string(key) + "=" + url +
                        " does not end with /: the updater appends "
                        "file names to it directly");
      return false;
    }
    if (url.size() + 1 > kUrlSize) {
      CheckFits(page, key, url, kUrlSize);
      return false;
    }
    return MapUrl(page, key, url, folder);
  }

  // The updater's package as one edition's clients fetch it (each folder once).
  void CheckUpdaterFolder(const std::string& page, const std::string& url) {
    std::string file;
    if (std::find(m_updaterUrls.begin(), m_updaterUrls.end(), url) != m_updaterUrls.end()) return;
    m_updaterUrls.push_back(url);
    if (url.size() + 1 > kUrlSize) {
      CheckFits(page, "the updater's package URL " + url, url, kUrlSize);
      return;
    }
    if (!MapUrl(page, "the updater's package URL", url, &file)) return;
    // No updater package is no update of the updater: clients go on.
    if (!IsRegularFile(m_site + file)) {
      Sound(file + ": none, the updater stays as it is");
      return;
    }
    CZBytes updater;
    if (!CheckPackage(file, kUpdaterTarget, &updater)) return;
    CZVersion version;
    std::string reason;
    if (!ReadPeFileVersion(updater, &version, &reason)) {
      Problem(file, std::string(kUpdaterTarget) + ": " + reason +
                        "; the updater refuses a new copy whose version it cannot read");
      return;
    }
    if (m_options.hasInstalled && CompareVersions(version, m_options.installed) <= 0) {
      Problem(file, std::string(kUpdaterTarget) + " is " + VersionString(version) +
                        ", not newer than the installed " + VersionString(m_options.installed) +
                        (CompareVersions(version, m_options.installed) < 0
                             ? ": the updater refuses it as a rollback"
                             : ": clients gain nothing from it"));
      return;
    }
    Sound(file + ": updater " + VersionString(version) +
          ", the version clients compare with their own");
    WarnOlderThanContents(file, kUpdaterTarget,
                          "clients whose zupdater.exe is dated later never fetch it (the "
                          "package must be more than 60 s newer)");
  }

  // One edition's package folder, as the updater built its URL.
  void CheckPackageFolder(const std::string& page, const std::string& url) {
    std::string folder;
    const std::string longest = url + kManifestName;
    if (longest.size() + 1 > kUrlSize) {
      CheckFits(page, "the manifest's URL " + longest, longest, kUrlSize);
      return;
    }
    if (!MapUrl(page, "the package folder", url, &folder)) return;
    CheckPromptTexts(folder);
    const std::string manifest = folder + kManifestName;
    std::string text;
    if (!ReadWholeText(m_site + manifest, &text)) {
      Problem(manifest, "missing: the updater has no component list");
      return;
    }
    if (text.size() > kMaxManifestSize) {
      Problem(manifest, "is " + std::to_string(text.size()) +
                            " bytes; the updater refuses a "
                            "manifest over " +
                            std::to_string(kMaxManifestSize) + " bytes whole");
      return;
    }
    CZIniText ini;
    ini.Parse(text);
    CheckComponents(manifest, ini);
    CheckFeatures(manifest, ini);
    CheckRegistryScript(manifest, folder, ini);
    CheckReleases(manifest, ini);
  }

  void CheckPromptTexts(const std::string& folder) {
    std::string text;
    const std::string txt = folder + "update.txt";
    if (ReadWholeText(m_site + txt, &text) && text.size() + 1 > kPromptTextSize)
      Problem(txt, "is " + std::to_string(text.size()) + " bytes; the prompt shows at most " +
                       std::to_string(kPromptTextSize - 1));
    const std::string html = folder + "update.html";
    if (ReadWholeText(m_site + html, &text) && !HasPageMarker(ToLowerAscii(text)))
      Problem(html, "has no <zupdater> marker: the prompt never shows it (it shows update.txt)");
  }

  // A key list as the updater cuts it to its buffer.
  std::vector<std::string> KeyNames(const std::string& manifest, const CZIniText& ini,
                                    const std::string& section, size_t limit) {
    const std::string list = ini.KeyList(section);
    bool cut = false;
    std::vector<std::string> names = TakeKeyNames(list.data(), list.size(), limit, &cut);
    if (cut)
      Problem(manifest,
              "the [" + section + "] list takes " + std::to_string(list.size()) +
                  " bytes, over the " + std::to_string(limit) + " the updater reads: names after " +
                  (names.empty() ? std::string("the first") : names.back()) + " are never read");
    return names;
  }

  void CheckComponents(const std::string& manifest, const CZIniText& ini) {
    if (ini.Section("components") == nullptr) {
      Problem(manifest, "has no [components] section");
      return;
    }
    for (const std::string& name : KeyNames(manifest, ini, "components", kComponentListSize)) {
      if (!IsSafeComponentName(name.c_str())) {
        Problem(manifest, "component name \"" + name + "\" is refused by the updater");
        continue;
      }
      if (ini.Section(name) == nullptr) {
        Problem(manifest, "component " + name + " has no section of its own");
        continue;
      }
      CheckComponent(manifest, ini, name);
    }
  }

  void CheckComponent(const std::string& manifest, const CZIniText& ini, const std::string& name) {
    const std::string where = "[" + name + "] ";
    for (const char* key : {"clsid", "FileVersion", "Url", "DestDir"})
      CheckFits(manifest, where + key, ini.GetOr(name, key, ""), kComponentValueSize);
    if (!IsSafeClsid(ini.GetOr(name, "clsid", "").c_str()))
      Problem(manifest, where + "clsid holds a backslash: the updater refuses the component");
    const CZDestination destination = SplitDestDir(ini.GetOr(name, "DestDir", "1").c_str());
    if (!IsSafeSubfolder(destination.subfolder.c_str()))
      Problem(manifest, where + "DestDir subfolder " + destination.subfolder +
                            " leaves the client's folder: the updater refuses the component");
    const int32_t requirement = ReadDecimal(ini.GetOr(name, "Requirement", "2").c_str());
    if (requirement < 1 || requirement > 5)
      Problem(manifest,
              where + "Requirement=" + std::to_string(requirement) + " is not a level from 1 to 5");
    const std::string url = ini.GetOr(name, "Url", "");
    std::string file;
    if (url.empty()) {
      Problem(manifest, where + "has no Url");
      return;
    }
    if (!MapUrl(manifest, where + "Url", url, &file)) return;
    CZBytes contents;
    if (!CheckPackage(file, name, &contents)) return;
    CheckSizes(file, manifest, name, ini);
    std::string versionText;
    if (!ini.Get(name, "FileVersion", &versionText) || versionText.empty()) {
      WarnOlderThanContents(file, name,
                            "without FileVersion the date decides, and clients whose " + name +
                                " is dated later never fetch it");
      return;
    }
    CheckExactVersion(manifest, where + "FileVersion", versionText);
    CZVersion wanted, inside;
    ParseVersionText(versionText.c_str(), &wanted);
    std::string reason;
    if (!ReadPeFileVersion(contents, &inside, &reason)) {
      Problem(file, name + ": " + reason + ", but the manifest gives FileVersion=" + versionText +
                        ": clients would fetch it on every run");
    } else if (CompareVersions(inside, wanted) != 0) {
      Problem(manifest, where + "FileVersion=" + versionText + " but " + name + " in " + file +
                            " is " + VersionString(inside) +
                            (CompareVersions(inside, wanted) < 0
                                 ? ": clients would fetch it on every run"
                                 : ": clients at the package's version would not be updated"));
    }
  }

  void CheckFeatures(const std::string& manifest, const CZIniText& ini) {
    size_t values = 0;
    for (const std::string& feature : KeyNames(manifest, ini, "Features", kFeatureListSize)) {
      for (const std::string& key : KeyNames(manifest, ini, feature, kFeatureKeyListSize)) {
        CheckFits(manifest, "[" + feature + "] " + key, ini.GetOr(feature, key, ""),
                  kFeatureValueSize);
        ++values;
      }
    }
    if (values > kMaxFeatureValuesPerRun)
      Problem(manifest, "the feature sections hold " + std::to_string(values) +
                            " values; the updater writes at most " +
                            std::to_string(kMaxFeatureValuesPerRun) + " in a run");
  }

  void CheckRegistryScript(const std::string& manifest, const std::string& folder,
                           const CZIniText& ini) {
    std::string version;
    if (!ini.Get("update.reg", "Version", &version) || version.empty()) return;
    CheckExactVersion(manifest, "[update.reg] Version", version);
    CheckPackage(folder + kRegistryPackage, kRegistryTarget, nullptr);
  }

  void CheckReleases(const std::string& manifest, const CZIniText& ini) {
    std::string offered;
    if (ini.Get("New Install", "VersionNew", &offered) && !offered.empty())
      CheckExactVersion(manifest, "[New Install] VersionNew", offered);
    for (int n = 1;; ++n) {
      const std::string section = "New Install" + std::to_string(n);
      std::string version;
      if (!ini.Get(section, "Version", &version) || version.empty()) break;
      const std::string where = "[" + section + "] ";
      for (const char* key : {"Version", "CmpFileName", "Link"})
        CheckFits(manifest, where + key, ini.GetOr(section, key, ""), kReleaseValueSize);
      CheckExactVersion(manifest, where + "Version", version);
      std::string compare;
      if (ini.Get(section, "CmpFileName", &compare) && !compare.empty() &&
          !IsSafeRelativePath(compare.c_str()))
        Problem(manifest, where + "CmpFileName=" + compare + " is refused by the updater");
      const std::string link = ini.GetOr(section, "Link", "");
      std::string file;
      if (link.empty()) {
        Problem(manifest, where + "has no Link");
        continue;
      }
      if (!MapUrl(manifest, where + "Link", link, &file)) continue;
      CheckPackage(file, ReleaseInstallerName(ReleasePackageName(link.c_str())), nullptr);
    }
  }

  static constexpr size_t kUrlSize = 260;
  EVP_PKEY* m_key;
  std::string m_site;
  CZSiteCheckOptions m_options;
  std::string m_basePath;
  CZSiteReport m_report;
  std::vector<std::string> m_updaterUrls;
};
}  // namespace

CZSiteReport CheckSite(EVP_PKEY* publicKey, const std::string& site,
                       const CZSiteCheckOptions& options) {
  return CZSiteChecker(publicKey, site, options).Run();
}
