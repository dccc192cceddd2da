// CZUpdater: the one object that owns a run of the updater.
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "net/http_session.h"
#include "net/update_settings.h"

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
  // 0 nothing to do, 1 a new updater is ready to take over, 2 failed.
  int CheckSelfUpdate();
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
  // Asks the user, with the server's prompt text and update page, whether
  // the update found may be installed; true for yes.
  bool PromptForUpdate();
  bool UpdateAllComponents();
  void ShutdownHostClient();
  void UpdateRegFile();

 private:
  HWND m_hMainWindow;
  std::unique_ptr<CZHttpSession> m_net;
  CZUpdateSettings m_settings;
  int m_lowestRequirement = 0;
  bool m_ready = false;
};
