// Editions of an update site: the updater appends the client's locale,
// partner edition (cobrand) and ligans switch to the folders the page names,
// so each combination a vendor serves reads its own package folder
// (m/<locale>/<cobrand>/ligans/) and updater folder (p/<locale>/). The
// folder rules here are the updater's own (net/setting_line.cpp).
#pragma once
#include <string>
#include <vector>

struct CZClientEdition {
  std::string name;  // the description's name for it ("default", "de-acme")
  std::string locale;
  std::string cobrand;
  bool ligans = false;
};

// The folders of an update site made by zpkg site, relative to its root.
constexpr char kSitePackageFolder[] = "m/";
constexpr char kSiteUpdaterFolder[] = "p/";
// The file that lists a site's editions for zpkg check-site; clients never read it.
constexpr char kEditionsFile[] = "editions.ini";

// True for the edition of clients with no locale, cobrand or ligans set.
bool IsDefaultEdition(const CZClientEdition& edition);
// "Locale=de Cobrand=acme", or "no locale, cobrand or ligans" for the default.
std::string DescribeEdition(const CZClientEdition& edition);

// The edition's folders under the page's two folders: "de/acme/ligans/" and
// "de/", as the updater builds them when nothing is cut.
std::string PackageSuffixOf(const CZClientEdition& edition);
std::string UpdaterSuffixOf(const CZClientEdition& edition);

// Why a site cannot serve the edition, or "" when it can: a locale or
// cobrand that is no plain folder name, or a locale the updater would cut
// from the package folder (it keeps room for the cobrand and 15 more
// characters: the locale, the slashes and ligans/).
std::string EditionFault(const CZClientEdition& edition);

// editions.ini: one section per edition.
std::string FormatEditions(const std::vector<CZClientEdition>& editions);
// False with the reason when the text is not such a list.
bool ParseEditions(const std::string& text, std::vector<CZClientEdition>* editions,
                   std::string* reason);
