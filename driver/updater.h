// CZUpdater: the one object that owns a run of the updater.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

#include "net/wininet_binding.h"

class CZUpdater {
 public:
  // Takes the command line as received; it is cut into setting lines in place.
  CZUpdater(HWND mainWindow, char* commandLine);
  CZUpdater(const CZUpdater&) = delete;
  CZUpdater& operator=(const CZUpdater&) = delete;
  virtual ~CZUpdater();

  // False when the working folder could not be resolved: no run is possible.
  bool IsReady() const { return m_ready; }

  // Cuts the command line at every semicolon and applies each piece.
  bool ParseCommandLine(char* commandLine);
  // Applies one Key=Value setting line; false when it is refused.
  bool ApplySettingLine(const char* line);

  // Opens the Internet handle; 1 on success.
  int OpenInternet();
  // Runs the update steps; nonzero when the exit hook must start something.
  int RunUpdate();

  // The steps of a run, in their order.
  // Decides the page URL (buffer of kPathSize bytes) and records it.
  void ChooseClientUpdatePage(char* pageUrl);
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
  bool UpdateAllComponents();
  void ShutdownHostClient();
  void UpdateRegFile();
  const std::string& PackageBasePath() const { return m_packageBasePath; }

  // The gate through which every downloaded package image reaches the disk:
  // verified, extracted next to itself, target required and stamped with the
  // run's server file time; the image is deleted in every case.
  bool ExtractSignedImage(const char* imagePath, const char* targetPath);

  // The date of the file being fetched, as the server reports it (100 ns
  // units since 1601, UTC); every accepted file is stamped with it.
  ULONGLONG ServerFileTime() const { return m_serverFileTime; }
  void SetServerFileTime(ULONGLONG time) { m_serverFileTime = time; }

  // Read access for the steps and the tests.
  const std::string& ServerPage() const { return m_serverPage; }
  const std::string& FileSetting() const { return m_fileSetting; }
  const std::string& PackageBaseUrl() const { return m_packageBaseUrl; }
  const std::string& UpdaterPackageUrl() const { return m_updaterPackageUrl; }
  HINTERNET InternetHandle() const { return m_hInternet; }

  // Network: the current server, requests and downloads. The current host
  // keeps an explicit URL port as "host:port"; that is part of what "the same
  // server" means.
  int OpenHttpSession();
  int SetServerFromUrl(const char* url, char* previousHost = nullptr, size_t size = 0);
  void RestoreConnection(HINTERNET connection, const char* hostName);
  // Hands the connection over to a caller that switches servers for a while.
  HINTERNET DetachConnection();
  HINTERNET ConnectionHandle() const { return m_hConnection; }
  const std::string& CurrentHost() const { return m_currentHost; }
  bool GetUrlHostName(const char* url, char* buffer, DWORD size);
  bool GetUrlPath(const char* url, char* buffer, DWORD size);
  HINTERNET OpenGetRequest(const char* urlPath, DWORD* contentLength);
  bool QueryServerFileTime(const char* urlPath, ULONGLONG* fileTime);
  int IsServerFileNewer(const char* localPath, const char* urlPath);
  // Reads the body of request (always closed) into filePath, or into buffer
  // (bufferSize bytes) when no file path is given; never past the buffer.
  bool DownloadRequest(HINTERNET request, const char* location, char* buffer, DWORD bufferSize,
                       const char* filePath, DWORD length, bool showProgress, long fileNumber);
  void SetFileCount(long count) { m_fileCount = count; }

  // Fills m_cobrand, m_locale and m_ligans from the host client's settings.
  bool ReadLocaleSettings();

  // Install-state records that shape the folder URLs.
  std::string m_cobrand;
  std::string m_locale;
  DWORD m_ligans = 0;

 private:
  void StoreLookupServer(const char* value);
  void StoreHttpServers(const char* value);
  void StoreSocketServers(const char* value);

  HWND m_hMainWindow;
  ULONGLONG m_serverFileTime = 0;
  std::string m_fileSetting;
  std::string m_serverPage;
  std::string m_currentHost;
  std::string m_packageBasePath;
  std::string m_packageBaseUrl;
  std::string m_updaterPackageUrl;
  HINTERNET m_hInternet = nullptr;
  HINTERNET m_hConnection = nullptr;
  std::unique_ptr<CZWinInet> m_winInet;
  int m_lowestRequirement = 0;
  long m_fileCount = 0;
  bool m_ready = false;
};
