// CZUpdater: the one object that owns a run of the updater.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "net/http_session.h"
#include "net/update_settings.h"

// What CheckSelfUpdate found.
enum SelfUpdateResult : int {
  kSelfUpdateCurrent = 0,  // the updater is up to date
  kSelfUpdateReady = 1,    // the new updater waits as ZUDPTEMP.EXE
  kSelfUpdateFailed = 2    // the check or the download failed
};

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
  void PublishFeatureSettings();
  // Nonzero when the run must end here (installer started, offer refused,
  // installer package not fetched).
  int UpdateHostImage();
  bool LoadComponentManifest();
  void CheckComponentVersions();
  void UpdateSilentComponents();
  // 1 when components that need the host client closed were pending.
  int UpdateClosingComponents();
  // Nonzero when the user accepted the offer.
  int OfferComponentUpdate();
  bool UpdateAllComponents();
  // Asks a running host client to close and waits until its main window
  // has gone (an hour at most); returns at once when it is not running.
  void ShutdownHostClient();
  // Starts the host client's own executable with -kill, hidden.
  void SendKillCommand();
  // True when the registry script was imported.
  bool UpdateRegFile();

 private:
  HWND m_hMainWindow;
  std::unique_ptr<CZHttpSession> m_net;
  CZUpdateSettings m_settings;
  int m_lowestRequirement = 0;
  bool m_ready = false;
};
