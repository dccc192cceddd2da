#include "tools/release_description.h"

#include <cstdio>
#include <cstdlib>

#include "components/manifest_rules.h"
#include "net/setting_line.h"
#include "tools/cab_image.h"
#include "tools/ini_text.h"

namespace {
const char* const kPageSettings[] = {"HttpServers", "SocketServers", "IPAddrLookup"};

class CZFaults {
 public:
  explicit CZFaults(std::string name) : m_name(std::move(name)) {}
  void Add(int line, const std::string& text) {
    m_text += m_name + (line > 0 ? " line " + std::to_string(line) : "") + ": " + text + "\n";
  }
  bool Empty() const { return m_text.empty(); }
  const std::string& Text() const { return m_text; }

 private:
  std::string m_name;
  std::string m_text;
};

bool StartsWithNoCase(const std::string& text, const std::string& prefix) {
  return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// Reads the keys of one section: each key must be one of allowed.
class CZSectionReader {
 public:
  CZSectionReader(const CZIniSection& section, const std::string& folder, CZFaults* faults)
      : m_section(section), m_folder(folder), m_faults(faults) {}

  void Only(std::initializer_list<const char*> allowed) {
    for (const CZIniEntry& entry : m_section.entries) {
      bool known = false;
      for (const char* name : allowed) known = known || EqualsNoCase(entry.key, name);
      if (!known)
        m_faults->Add(entry.line, "[" + m_section.name + "] has no key \"" + entry.key + "\"");
    }
  }
  const CZIniEntry* Find(const char* key) const {
    for (const CZIniEntry& entry : m_section.entries)
      if (EqualsNoCase(entry.key, key)) return &entry;
    return nullptr;
  }
  std::string Text(const char* key, const std::string& fallback = "") const {
    const CZIniEntry* entry = Find(key);
    return entry != nullptr ? entry->value : fallback;
  }
  int Line(const char* key) const {
    const CZIniEntry* entry = Find(key);
    return entry != nullptr ? entry->line : m_section.line;
  }
  // A file of the release, named relative to the description.
  std::string File(const char* key, bool required) {
    std::string value = Text(key);
    if (value.empty()) {
      if (required) m_faults->Add(m_section.line, "[" + m_section.name + "] names no " + key);
      return "";
    }
    std::string path = value[0] == '/' ? value : m_folder + value;
    if (!IsRegularFile(path))
      m_faults->Add(Line(key), key + std::string(" ") + value + " is not a file");
    return path;
  }
  int Number(const char* key, int fallback, int low, int high) {
    const CZIniEntry* entry = Find(key);
    if (entry == nullptr) return fallback;
    const std::string& text = entry->value;
    char* end = nullptr;
    long value = strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < low || value > high) {
      m_faults->Add(entry->line, key + std::string("=") + text + " is not a number from " +
                                     std::to_string(low) + " to " + std::to_string(high));
      return fallback;
    }
    return static_cast<int>(value);
  }
  CZVersion Version(const char* key) {
    CZVersion version;
    const CZIniEntry* entry = Find(key);
    if (entry == nullptr) {
      m_faults->Add(m_section.line, "[" + m_section.name + "] names no " + key);
    } else if (!ParseExactVersionText(entry->value.c_str(), &version)) {
      m_faults->Add(entry->line, key + std::string("=") + entry->value +
                                     " is not a version: write four numbers up to 65535, "
                                     "separated by commas (5,1,0,0)");
    }
    return version;
  }

 private:
  const CZIniSection& m_section;
  const std::string& m_folder;
  CZFaults* m_faults;
};

void ReadSite(CZSectionReader& in, CZReleaseDescription* release, CZFaults* faults) {
  in.Only({"BaseUrl", "Page", "Date", "HttpServers", "SocketServers", "IPAddrLookup"});
  release->baseUrl = in.Text("BaseUrl");
  const std::string& url = release->baseUrl;
  const bool web = StartsWithNoCase(url, "http://") || StartsWithNoCase(url, "https://");
  const size_t host = url.find("//");
  if (!web || url.back() != '/' || url.find('/', host + 2) == std::string::npos ||
      url.find_first_of(" \t\"?#") != std::string::npos) {
    faults->Add(in.Line("BaseUrl"),
                "BaseUrl=" + url + " is not an http or https URL of a folder (ending with /)");
  }
  release->page = in.Text("Page", release->page);
  if (!IsSafeComponentName(release->page.c_str()))
    faults->Add(in.Line("Page"), "Page=" + release->page + " is not a plain file name");
  const std::string date = in.Text("Date");
  if (!date.empty()) {
    release->hasDate = ParseUtcDate(date, &release->date);
    if (!release->hasDate)
      faults->Add(in.Line("Date"), "Date=" + date + " is not a date such as 2024-01-01 00:00:00");
  }
  for (const char* key : kPageSettings) {
    const std::string value = in.Text(key);
    if (value.empty()) continue;
    if (value.find_first_of("\r\n") != std::string::npos || value.size() > 1000)
      faults->Add(in.Line(key), std::string(key) + " does not fit one page line");
    release->pageSettings.emplace_back(key, value);
  }
}

void ReadComponent(CZSectionReader& in, const CZIniSection& section, const std::string& name,
                   CZReleaseDescription* release, CZFaults* faults) {
  in.Only({"File", "Requirement", "RegisterServer", "DestDir", "clsid"});
  CZReleaseComponent component;
  component.name = name;
  if (!IsSafeComponentName(name.c_str()))
    faults->Add(section.line, "component name \"" + name +
                                  "\" is refused by the updater: one plain file name, not a "
                                  "device, not ending in _");
  // Each package is served as the name with its last character made "_".
  for (const CZReleaseComponent& other : release->components) {
    if (EqualsNoCase(other.name, name))
      faults->Add(section.line, "component " + name + " is described twice");
    else if (EqualsNoCase(ServedPackageName(other.name), ServedPackageName(name)))
      faults->Add(section.line, "components " + other.name + " and " + name +
                                    " would be served under one package name");
  }
  component.file = in.File("File", true);
  component.requirement = in.Number("Requirement", 2, 1, 5);
  component.registerServer = in.Number("RegisterServer", 0, 0, 1) != 0;
  component.destDir = in.Text("DestDir");
  if (!component.destDir.empty()) {
    const std::string& value = component.destDir;
    const size_t comma = value.find(',');
    const std::string kind = value.substr(0, comma);
    const CZDestination destination = SplitDestDir(value.c_str());
    const bool numeric = !kind.empty() && kind.find_first_not_of("0123456789") == std::string::npos;
    const std::string& sub = destination.subfolder;
    if (!numeric || !IsSafeSubfolder(sub.c_str()) || (!sub.empty() && sub.back() != '\\'))
      faults->Add(in.Line("DestDir"),
                  "DestDir=" + value +
                      " is not a kind (1: the client's folder, 2: the system folder) with an "
                      "optional relative subfolder ending in \\ (1,plugins\\)");
  }
  component.clsid = in.Text("clsid");
  if (!IsSafeClsid(component.clsid.c_str()) ||
      (!component.clsid.empty() &&
       (component.clsid.front() != '{' || component.clsid.back() != '}')))
    faults->Add(in.Line("clsid"),
                "clsid=" + component.clsid + " is not a class identifier in braces");
  release->components.push_back(component);
}

void ReadRelease(CZSectionReader& in, CZReleaseDescription* release, CZFaults* faults) {
  in.Only({"File", "Installer", "Version", "Silent", "Requirement", "CmpFileName"});
  CZClientRelease& r = release->release;
  release->hasRelease = true;
  r.file = in.File("File", true);
  const size_t slash = r.file.rfind('/');
  r.installer =
      in.Text("Installer", slash == std::string::npos ? r.file : r.file.substr(slash + 1));
  // The package is named after the installer, and the updater derives the
  // installer's name back from the package's.
  const size_t dot = r.installer.rfind('.');
  if (dot == std::string::npos || !EqualsNoCase(r.installer.substr(dot), ".exe") ||
      ReleasePackageName(("/" + r.installer.substr(0, dot) + ".qpk").c_str()) !=
          r.installer.substr(0, dot) + ".qpk")
    faults->Add(in.Line("Installer"),
                "installer name \"" + r.installer + "\" is not a plain file name ending in .exe");
  r.version = in.Version("Version");
  r.silent = in.Number("Silent", 1, 0, 1) != 0;
  r.requirement = in.Number("Requirement", 1, 1, 3);
  r.compareFile = in.Text("CmpFileName");
  if (!r.compareFile.empty() && !IsSafeRelativePath(r.compareFile.c_str()))
    faults->Add(in.Line("CmpFileName"), "CmpFileName=" + r.compareFile +
                                            " is refused by the updater: name a file relative "
                                            "to the client's folder");
}
struct CZEditionSection {
  const CZIniSection* section;
  std::string name;
};

std::vector<std::string> SplitList(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(',', start);
    const std::string item =
        Trimmed(text.substr(start, comma == std::string::npos ? comma : comma - start));
    if (!item.empty()) items.push_back(item);
    if (comma == std::string::npos) return items;
    start = comma + 1;
  }
}

void ReadEdition(CZSectionReader& in, const CZEditionSection& declared,
                 CZReleaseDescription* release, CZFaults* faults) {
  in.Only({"Locale", "Cobrand", "Ligans", "Components", "Updater"});
  CZReleaseEdition edition;
  edition.client.name = declared.name;
  edition.client.locale = in.Text("Locale");
  edition.client.cobrand = in.Text("Cobrand");
  edition.client.ligans = in.Number("Ligans", 0, 0, 1) != 0;
  const int line = declared.section->line;
  if (edition.client.name.empty() || edition.client.name.find_first_of("[]") != std::string::npos)
    faults->Add(line, "edition name \"" + edition.client.name + "\" is empty or holds a bracket");
  const std::string fault = EditionFault(edition.client);
  if (!fault.empty()) faults->Add(line, "[" + declared.section->name + "] " + fault);
  if (in.Find("Components") == nullptr) {
    for (const CZReleaseComponent& component : release->components)
      edition.components.push_back(component.name);
  }
  for (const std::string& name : SplitList(in.Text("Components"))) {
    bool known = false;
    for (const CZReleaseComponent& component : release->components) {
      if (EqualsNoCase(component.name, name)) {
        known = true;
        edition.components.push_back(component.name);
      }
    }
    if (!known)
      faults->Add(in.Line("Components"),
                  "Components names " + name + ", which no [component " + name + "] describes");
  }
  // Updater= with no value: this edition's clients get none.
  edition.updaterFile =
      in.Find("Updater") == nullptr ? release->updaterFile : in.File("Updater", false);
  release->editions.push_back(edition);
}

// Two editions must not share a package folder (nor nest one in the other's
// c/ or setup/), and editions that share an updater folder ship one updater.
void CheckEditionFolders(const CZReleaseDescription& release, CZFaults* faults) {
  const auto& editions = release.editions;
  for (size_t i = 0; i < editions.size(); ++i) {
    const CZClientEdition& a = editions[i].client;
    for (size_t j = 0; j < editions.size(); ++j) {
      const CZClientEdition& b = editions[j].client;
      const std::string pa = PackageSuffixOf(a), pb = PackageSuffixOf(b);
      if (j > i && EqualsNoCase(pa, pb)) {
        faults->Add(0, "editions " + a.name + " and " + b.name + " are both served from " +
                           kSitePackageFolder + pa);
      } else if (j != i && (EqualsNoCase(pb, pa + "c/") || EqualsNoCase(pb, pa + "setup/"))) {
        faults->Add(0, "edition " + b.name + " would be served from " + kSitePackageFolder + pb +
                           ", where edition " + a.name + " keeps its packages");
      } else if (j > i && EqualsNoCase(UpdaterSuffixOf(a), UpdaterSuffixOf(b)) &&
                 editions[i].updaterFile != editions[j].updaterFile) {
        faults->Add(0, "editions " + a.name + " and " + b.name + " share the updater folder " +
                           kSiteUpdaterFolder + UpdaterSuffixOf(a) +
                           " (the updater adds only the locale to it) but name different updaters");
      }
    }
  }
}
}  // namespace

std::string ServedPackageName(const std::string& componentName) {
  std::string served = componentName;
  if (!served.empty()) served.back() = '_';
  return served;
}

bool ParseUtcDate(const std::string& text, time_t* when) {
  struct tm parts = {};
  char rest = 0;
  if (sscanf(text.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &parts.tm_year, &parts.tm_mon,
             &parts.tm_mday, &parts.tm_hour, &parts.tm_min, &parts.tm_sec, &rest) != 6)
    return false;
  if (parts.tm_year < 1980 || parts.tm_year > 2107 || parts.tm_mon < 1 || parts.tm_mon > 12 ||
      parts.tm_mday < 1 || parts.tm_mday > 31 || parts.tm_hour > 23 || parts.tm_min > 59 ||
      parts.tm_sec > 59)
    return false;
  const int day = parts.tm_mday;
  parts.tm_year -= 1900;
  parts.tm_mon -= 1;
  *when = timegm(&parts);
  struct tm back = {};
  gmtime_r(when, &back);
  return back.tm_mday == day;  // no 31 February
}

bool ReadReleaseDescription(const std::string& path, CZReleaseDescription* release,
                            std::string* faultText) {
  const size_t slash = path.rfind('/');
  release->folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  CZFaults faults(slash == std::string::npos ? path : path.substr(slash + 1));
  std::string text;
  if (!ReadWholeText(path, &text)) {
    *faultText = "cannot read " + path + "\n";
    return false;
  }
  CZIniText ini;
  ini.Parse(text);
  bool site = false;
  // Editions name components and the updater: read once everything else is.
  std::vector<CZEditionSection> editions;
  for (const CZIniSection& section : ini.Sections()) {
    CZSectionReader in(section, release->folder, &faults);
    const std::string& name = section.name;
    if (EqualsNoCase(name, "site")) {
      site = true;
      ReadSite(in, release, &faults);
    } else if (EqualsNoCase(name, "updater")) {
      in.Only({"File"});
      release->updaterFile = in.File("File", true);
    } else if (EqualsNoCase(name, "prompt")) {
      in.Only({"Text", "Page"});
      release->promptText = in.File("Text", false);
      release->promptPage = in.File("Page", false);
    } else if (EqualsNoCase(name, "registry")) {
      in.Only({"File", "Version"});
      release->registryFile = in.File("File", true);
      release->registryVersion = in.Version("Version");
    } else if (StartsWithNoCase(name, "component ")) {
      ReadComponent(in, section, Trimmed(name.substr(10)), release, &faults);
    } else if (EqualsNoCase(name, "client release")) {
      ReadRelease(in, release, &faults);
    } else if (StartsWithNoCase(name, "edition ")) {
      editions.push_back({&section, Trimmed(name.substr(8))});
    } else if (StartsWithNoCase(name, "feature ")) {
      CZReleaseFeature feature;
      feature.name = Trimmed(name.substr(8));
      if (feature.name.empty() || !IsSafeClsid(feature.name.c_str()))
        faults.Add(section.line,
                   "feature name \"" + feature.name + "\" holds a backslash or is empty");
      for (const CZIniEntry& entry : section.entries)
        feature.values.emplace_back(entry.key, entry.value);
      release->features.push_back(feature);
    } else {
      faults.Add(section.line, "unknown section [" + name + "]");
    }
  }
  if (!site) faults.Add(0, "no [site] section (it names the site's BaseUrl)");
  for (const CZEditionSection& edition : editions) {
    CZSectionReader in(*edition.section, release->folder, &faults);
    for (const CZReleaseEdition& other : release->editions)
      if (EqualsNoCase(other.client.name, edition.name))
        faults.Add(edition.section->line, "edition " + edition.name + " is described twice");
    ReadEdition(in, edition, release, &faults);
  }
  if (editions.empty()) {
    CZReleaseEdition everything;
    everything.client.name = "default";
    for (const CZReleaseComponent& component : release->components)
      everything.components.push_back(component.name);
    everything.updaterFile = release->updaterFile;
    release->editions.push_back(everything);
  }
  CheckEditionFolders(*release, &faults);
  *faultText = faults.Text();
  return faults.Empty();
}
