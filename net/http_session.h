// CZHttpSession: the network state of a run (WinINet binding, Internet
// handle, the current server and its connection, the date of the file being
// fetched) and the operations that use it: connecting, requests, header
// queries and downloads.
#pragma once
#include <windows.h>
#include <wininet.h>

#include <memory>
#include <string>

#include "net/wininet_binding.h"

class CZHttpSession {
 public:
  CZHttpSession();
  CZHttpSession(const CZHttpSession&) = delete;
  CZHttpSession& operator=(const CZHttpSession&) = delete;
  ~CZHttpSession();

  // Loads WinINet and opens the Internet handle, through the host client's
  // proxy when it has one; 1 on success.
  int OpenInternet();
  HINTERNET InternetHandle() const { return m_hInternet; }
  // Closes the connection, then the Internet handle; the binding stays loaded
  // until the object goes.
  void CloseHandles();
  CZWinInet& WinInet() { return *m_winInet; }

  // The current server, as the text GetUrlServer gives: its host keeps an
  // explicit URL port as "host:port", and an https server's text starts with
  // "https://"; both are part of what "the same server" means. An https
  // server is connected on its port or 443 and every request to it goes over
  // TLS with the certificate checked in full.
  int OpenHttpSession();
  int SetServerFromUrl(const char* url, char* previousHost = nullptr, size_t size = 0);
  void RestoreConnection(HINTERNET connection, const char* hostName);
  // Hands the connection over to a caller that switches servers for a while.
  HINTERNET DetachConnection();
  HINTERNET ConnectionHandle() const { return m_hConnection; }
  const std::string& CurrentHost() const { return m_currentHost; }
  // The URL's host, with an explicit port other than its scheme's default.
  bool GetUrlHostName(const char* url, char* buffer, DWORD size);
  // The URL's server text: its host name as above, after "https://" when
  // the URL's scheme is https. False when it does not fit the buffer.
  bool GetUrlServer(const char* url, char* buffer, DWORD size);
  // Whether the current server is spoken to over TLS.
  bool IsSecureServer() const;
  bool GetUrlPath(const char* url, char* buffer, DWORD size);

  // Requests on the current connection.
  HINTERNET OpenGetRequest(const char* urlPath, DWORD* contentLength);
  // The server's date of urlPath as BoundServerDate gives it; *ahead (when
  // given) tells whether the server's own date was more than a day ahead.
  bool QueryServerFileTime(const char* urlPath, ULONGLONG* fileTime, bool* ahead = nullptr);
  // 1 when the server's copy is more than 60 s newer than the local file or
  // the local file is missing; records the server date on the way. A date
  // more than a day ahead is never newer.
  int IsServerFileNewer(const char* localPath, const char* urlPath);
  // Opens and sends a HEAD to the current server (over TLS to an https one,
  // a refused certificate logged); null on failure. For date checks of
  // their own; carries no proxy credentials.
  HINTERNET SendHeadRequest(const char* urlPath);
  // Closes a request without reading it.
  void CloseRequest(HINTERNET request);

  // Reads the body of request (always closed) into filePath, or into buffer
  // (bufferSize bytes) when no file path is given; never past the buffer nor
  // past length. A file is stamped with the server file time. Refused before
  // a file is created: a length above maxLength (the kind's ceiling) or
  // above the buffer, and a disk without room for the file and its extracted
  // copy. False on a read error, a cut (net/request_limits.h), a cancel, a
  // file that cannot be created or written in full, and a body shorter than
  // length. The file is recorded as pending (settings/install_records.h)
  // before it is made, so that a run cut off leaves it to the next run to
  // remove; on failure it is deleted and forgotten.
  bool DownloadRequest(HINTERNET request, const char* location, char* buffer, DWORD bufferSize,
                       const char* filePath, DWORD length, DWORD maxLength, bool showProgress,
                       long fileNumber);
  // The file count shown in the progress window's title ("file n of m").
  void SetFileCount(long count) { m_fileCount = count; }

  // The date of the file being fetched, as the server reports it (100 ns
  // units since 1601, UTC); every accepted file is stamped with it.
  ULONGLONG ServerFileTime() const { return m_serverFileTime; }
  void SetServerFileTime(ULONGLONG time) { m_serverFileTime = time; }
  // A server date as the run may use it: one more than a day ahead of this
  // machine's clock (a wrong server clock, or a client clock far behind)
  // becomes the current time, so that no file is ever stamped with a date
  // every later update looks older than, and *ahead is set. It is logged each
  // time: such a date never makes a file newer, or every run would fetch it
  // again (the stamp is always older than the next run's "now").
  ULONGLONG BoundServerDate(ULONGLONG serverTime, const char* location, bool* ahead = nullptr);

 private:
  // DownloadRequest without the file's record and removal.
  bool ReadBody(HINTERNET request, const char* location, char* buffer, DWORD bufferSize,
                const char* filePath, DWORD length, DWORD maxLength, bool showProgress,
                long fileNumber);
  bool GetUrlHostName(const char* url, char* buffer, DWORD size, URL_COMPONENTSA* parts);
  // Sets the send and receive time-outs on an Internet or request handle.
  void SetTransferTimeouts(HINTERNET handle);
  // Opens and sends a GET or HEAD to the current server; null on failure.
  HINTERNET SendRequest(const char* verb, const char* urlPath, bool withCredentials);

  // Shared with the worker threads of requests, which may outlive a cut
  // request and the session itself.
  std::shared_ptr<CZWinInet> m_winInet;
  HINTERNET m_hInternet = nullptr;
  HINTERNET m_hConnection = nullptr;
  std::string m_currentHost;
  ULONGLONG m_serverFileTime = 0;
  long m_fileCount = 0;
  // The Internet handle goes through the host client's proxy, which alone
  // may see the proxy credentials.
  bool m_throughClientProxy = false;
};
