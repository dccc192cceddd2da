#include "tools/site_editions.h"

#include "net/setting_line.h"
#include "tools/ini_text.h"

namespace {
const char kEditionPrefix[] = "edition ";

bool IsFolderName(const std::string& name) {
  if (name.empty() || name.find_first_not_of(".") == std::string::npos) return false;
  for (char c : name) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '_' || c == '.';
    if (!plain) return false;
  }
  return true;
}
}  // namespace

bool IsDefaultEdition(const CZClientEdition& edition) {
  return edition.locale.empty() && edition.cobrand.empty() && !edition.ligans;
}

std::string DescribeEdition(const CZClientEdition& edition) {
  if (IsDefaultEdition(edition)) return "no locale, cobrand or ligans";
  std::string text;
  if (!edition.locale.empty()) text += "Locale=" + edition.locale;
  if (!edition.cobrand.empty()) text += (text.empty() ? "" : " ") + ("Cobrand=" + edition.cobrand);
  if (edition.ligans) text += (text.empty() ? "" : " ") + std::string("ligans=1");
  return text;
}

std::string PackageSuffixOf(const CZClientEdition& edition) {
  std::string suffix;
  if (!edition.locale.empty()) suffix += edition.locale + "/";
  if (!edition.cobrand.empty()) suffix += edition.cobrand + "/";
  if (edition.ligans) suffix += "ligans/";
  return suffix;
}

std::string UpdaterSuffixOf(const CZClientEdition& edition) {
  return edition.locale.empty() ? "" : edition.locale + "/";
}

std::string EditionFault(const CZClientEdition& edition) {
  for (const std::string* value : {&edition.locale, &edition.cobrand}) {
    if (!value->empty() && !IsFolderName(*value))
      return (value == &edition.locale ? "Locale=" : "Cobrand=") + *value +
             " is not a folder name a site can serve (letters, digits, - _ . only)";
  }
  // The updater's own rule, on any folder: what it keeps must be all of it.
  const std::string folder = "http://site/m/";
  const std::string built =
      BuildPackageBaseUrl(folder, edition.locale, edition.cobrand, edition.ligans);
  if (built != folder + PackageSuffixOf(edition))
    return DescribeEdition(edition) + ": the updater cuts its package folder to " +
           built.substr(folder.size()) + " (it keeps 15 characters for the locale, the slashes" +
           " and ligans/): use a shorter locale";
  return "";
}

std::string FormatEditions(const std::vector<CZClientEdition>& editions) {
  std::string text =
      "; The editions this site serves, written by zpkg site for zpkg check-site.\r\n"
      "; Clients never read this file.\r\n";
  for (const CZClientEdition& edition : editions) {
    text += "\r\n[" + std::string(kEditionPrefix) + edition.name + "]\r\n";
    if (!edition.locale.empty()) text += "Locale=" + edition.locale + "\r\n";
    if (!edition.cobrand.empty()) text += "Cobrand=" + edition.cobrand + "\r\n";
    if (edition.ligans) text += "Ligans=1\r\n";
  }
  return text;
}

bool ParseEditions(const std::string& text, std::vector<CZClientEdition>* editions,
                   std::string* reason) {
  CZIniText ini;
  ini.Parse(text);
  std::vector<CZClientEdition> found;
  for (const CZIniSection& section : ini.Sections()) {
    const std::string prefix = kEditionPrefix;
    if (section.name.size() <= prefix.size() ||
        !EqualsNoCase(section.name.substr(0, prefix.size()), prefix)) {
      *reason =
          "line " + std::to_string(section.line) + ": [" + section.name + "] is not an edition";
      return false;
    }
    CZClientEdition edition;
    edition.name = Trimmed(section.name.substr(prefix.size()));
    for (const CZIniEntry& entry : section.entries) {
      if (EqualsNoCase(entry.key, "Locale")) edition.locale = entry.value;
      if (EqualsNoCase(entry.key, "Cobrand")) edition.cobrand = entry.value;
      if (EqualsNoCase(entry.key, "Ligans")) edition.ligans = entry.value != "0";
    }
    found.push_back(edition);
  }
  if (found.empty()) {
    *reason = "names no edition";
    return false;
  }
  *editions = found;
  return true;
}
