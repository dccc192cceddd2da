// A vendor's release description: the INI file `zpkg site` makes an update
// site from (its format is in tools/README.md). Reading it checks every
// name, number and version text; files are named relative to the
// description's own folder.
#pragma once
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "common/version_text.h"
#include "tools/site_editions.h"

struct CZReleaseComponent {
  std::string name;  // the installed file's name, and its manifest section
  std::string file;  // the file to ship
  int requirement = 2;
  bool registerServer = false;
  std::string destDir;  // empty: the default
  std::string clsid;
};

struct CZClientRelease {
  std::string file;       // the installer to ship
  std::string installer;  // its name in the package (ends in .exe)
  CZVersion version;      // clients below it are offered the installer
  bool silent = true;
  int requirement = 1;
  std::string compareFile;  // CmpFileName; empty: the host client's executable
};

struct CZReleaseFeature {
  std::string name;
  std::vector<std::pair<std::string, std::string>> values;
};

// One edition the site serves: the clients whose locale, cobrand and ligans
// switch match, what their package folder holds and which updater they get.
struct CZReleaseEdition {
  CZClientEdition client;
  std::vector<std::string> components;  // names of the release's components
  std::string updaterFile;              // empty: none in this edition's updater folder
};

struct CZReleaseDescription {
  std::string folder;                 // where the description lies, ending with "/"
  std::string baseUrl;                // the site's URL, ending with "/"
  std::string page = "corvcli.html";  // the client update page's name
  bool hasDate = false;
  time_t date = 0;                                                // every file's date when hasDate
  std::vector<std::pair<std::string, std::string>> pageSettings;  // HttpServers and the like
  std::string updaterFile;             // empty: the site ships no updater
  std::string promptText, promptPage;  // update.txt and update.html sources
  std::string registryFile;
  CZVersion registryVersion;
  std::vector<CZReleaseComponent> components;
  bool hasRelease = false;
  CZClientRelease release;
  std::vector<CZReleaseFeature> features;
  // Never empty once read: without [edition] sections, one default edition
  // with every component and the [updater] file.
  std::vector<CZReleaseEdition> editions;
};

// The name a component's package is served under: its name with the last
// character made "_", as the updater downloads it.
std::string ServedPackageName(const std::string& componentName);

// Reads and checks the description at path. False with every fault found,
// one per line ("release.ini line 12: ...").
bool ReadReleaseDescription(const std::string& path, CZReleaseDescription* release,
                            std::string* faults);

// "2024-01-01 00:00:00" (UTC) as a time; false for anything else.
bool ParseUtcDate(const std::string& text, time_t* when);
