// CZUpdater: the one object that owns a run of the updater.
#pragma once
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "components/component.h"
#include "net/http_session.h"
#include "net/update_settings.h"

// What CheckSelfUpdate found.
enum SelfUpdateResult : int {
  kSelfUpdateCurrent = 0,  // the updater is up to date
  kSelfUpdateReady = 1,    // the new updater waits as ZUDPTEMP.EXE
  kSelfUpdateFailed = 2    // the check or the download failed
};

// UpdateHostImage's result when the run ends with the host client started.
constexpr int kRunEndsRestartingHost = 2;

class CZUpdater {
 public:
  // Takes the command line as received; it is cut into setting lines in place.
  CZUpdater(HWND mainWindow, char* commandLine);
  CZUpdater(const CZUpdater&) = delete;
  CZUpdater& operator=(const CZUpdater&) = delete;
  virtual ~CZUpdater();

  // False when the working folder could not be resolved: no run is possible.
  bool IsReady() const { return m_ready; }

  // The network state of the run and what the command line and the client
  // update page told it.
  CZHttpSession& Net() { return *m_net; }
  CZUpdateSettings& Settings() { return m_settings; }
  // The manifest's components, in its order; passes remove what they are done with.
  std::vector<CZComponent>& Components() { return m_components; }
  // components.ini in the working folder.
  std::string ManifestPath() const;

  // Opens the Internet handle; 1 on success.
  int OpenInternet();
  // Runs the update steps; nonzero when the exit hook must start something.
  int RunUpdate();

  // The steps of a run, in their order.
  // Fetches the client update page and applies its lines; true when both
  // package folder URLs are then known.
  bool ReadClientUpdatePage();
  // A SelfUpdateResult: compares zupdater.exe with the server's updater
  // package and fetches the package when it is newer.
  int CheckSelfUpdate();
  // Fetches the updater package at packagePath on the current connection and
  // accepts it as ZUDPTEMP.EXE in the working folder; true when accepted.
  bool DownloadSelfUpdate(const char* packagePath);
  // Stores the manifest as components.ini of the working folder.
  bool DownloadManifest();
  // False when a host client older than 5 has no usable web browser control.
  bool IfBrowserQualified();
  // Copies the manifest's feature sections into the host client's settings
  // and tells its window.
  void PublishFeatureSettings();
  // Nonzero when the run must end here (installer started, offer refused,
  // installer package not fetched); kRunEndsRestartingHost when the host
  // client, closed for an installer that could not start, must be started
  // again.
  int UpdateHostImage();
  // Fills the component list from the manifest; false when its
  // [components] section is missing or empty.
  bool LoadComponentManifest();
  // Sets every component's needs-update flag.
  void CheckComponentVersions();
  // Level 4, no dialog, host client left running; false when none was pending.
  bool UpdateSilentComponents();
  // Level 5, host client closed first; false when none was pending.
  bool UpdateClosingComponents();
  // The lowest level among the pending components; 6 when none is pending.
  void FindLowestRequirement();
  // True when the user accepted the offer of what is still pending.
  bool OfferComponentUpdate();
  // Every pending component; false at the first fetch that fails.
  bool UpdateAllComponents();
  // Fetches, checks and installs one component's file; fileNumber counts
  // from 1 in the progress window's title.
  bool UpdateComponent(CZComponent& component, long fileNumber, bool showProgress);
  // Asks the user whether the update found may be installed.
  bool PromptForUpdate();
  // Asks a running host client to close and waits until its main window
  // has gone (an hour at most); returns at once when it is not running.
  void ShutdownHostClient();
  // Starts the host client's own executable with -kill, hidden.
  void SendKillCommand();
  // True when the registry script was imported.
  bool UpdateRegFile();

  // One numbered host client offer of the manifest, compared with the host
  // client's file in the working folder: 1 when it ends the search (link
  // filled, or left empty for an offer refused before), 0 to go on;
  // *endOfList is set when the section does not exist.
  int CheckNewInstallEntry(int number, char* link, size_t linkSize, int* endOfList, int* silent);
  // The manifest's Size1 and Size2 of section against a downloaded image.
  bool CheckFileSizes(const char* imagePath, const char* section, const char* manifestPath);

 private:
  // The silent and closing passes: the pending components of one level, then
  // every record of that level leaves the list.
  bool UpdateComponentsOfLevel(int32_t level, bool closing);
  // Downloads the host client's package named by link into the installer
  // folder; package and installer (kPathSize bytes) name the files.
  bool FetchHostImage(const char* link, char* package, char* installer);
  // A GET of name in the package folder on the current connection; null
  // unless it answers 200 with a length above 0.
  HINTERNET OpenPackageRequest(const char* name, DWORD* length);

  HWND m_hMainWindow;
  std::unique_ptr<CZHttpSession> m_net;
  CZUpdateSettings m_settings;
  std::vector<CZComponent> m_components;
  int m_lowestRequirement = 0;
  bool m_ready = false;
};
