// GET requests checked for status and length before any byte is read, and
// HEAD requests for the server's Last-Modified date.
#include "common/handles.h"
#include "common/update_log.h"
#include "net/http_session.h"
#include "net/proxy.h"

namespace {
const char kHttpVersion[] = "HTTP/1.0";
const char* kAcceptTypes[] = {"*/*", nullptr};
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
// A server date within 60 s of the local file still counts as current.
constexpr ULONGLONG kFreshnessSlack = 600000000ULL;

// Opens and sends a GET or HEAD on the connection. Through the host
// client's proxy, its credentials go with the first request of the process
// (even when it could not be opened); without it, nobody gets them.
HINTERNET SendRequest(CZWinInet& winInet, HINTERNET connection, bool throughClientProxy,
                      const char* verb, const char* urlPath) {
  HINTERNET request = winInet.HttpOpenRequestA(connection, verb, urlPath, kHttpVersion, nullptr,
                                               kAcceptTypes, kRequestFlags, 0);
  if (throughClientProxy) ApplyProxyCredentials(winInet, request);
  if (request == nullptr) return nullptr;
  if (!winInet.HttpSendRequestA(request, nullptr, 0, nullptr, 0)) {
    winInet.InternetCloseHandle(request);
    return nullptr;
  }
  return request;
}

ULONGLONG ToULongLong(const FILETIME& time) {
  return static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}
}  // namespace

HINTERNET CZHttpSession::OpenGetRequest(const char* urlPath, DWORD* contentLength) {
  HINTERNET request = SendRequest(*m_winInet, m_hConnection, m_throughClientProxy, "GET", urlPath);
  if (request == nullptr) return nullptr;
  DWORD status = 0, size = sizeof(status);
  if (!m_winInet->HttpQueryInfoA(request, HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_STATUS_CODE, &status,
                                 &size, nullptr) ||
      status != HTTP_STATUS_OK) {
    WriteLog("CZHttpQueryInfo page status failed for %s, %ld, status: %ld \r\n", urlPath,
             static_cast<long>(GetLastError()), static_cast<long>(status));
    m_winInet->InternetCloseHandle(request);
    return nullptr;
  }
  DWORD length = 0;
  size = sizeof(length);
  if (!m_winInet->HttpQueryInfoA(request, HTTP_QUERY_FLAG_NUMBER | HTTP_QUERY_CONTENT_LENGTH,
                                 &length, &size, nullptr)) {
    WriteLog("CZHttpQueryInfo Length failed for %s, %ld\r\n", urlPath,
             static_cast<long>(GetLastError()));
    m_winInet->InternetCloseHandle(request);
    return nullptr;
  }
  if (contentLength != nullptr) *contentLength = length;
  WriteLog("Length of file %s: %ld bytes\r\n", urlPath, static_cast<long>(length));
  return request;
}

bool CZHttpSession::QueryServerFileTime(const char* urlPath, ULONGLONG* fileTime) {
  if (m_hConnection == nullptr) return false;
  HINTERNET request = SendRequest(*m_winInet, m_hConnection, m_throughClientProxy, "HEAD", urlPath);
  if (request == nullptr) return false;
  SYSTEMTIME date = {};
  DWORD size = sizeof(date);
  BOOL ok = m_winInet->HttpQueryInfoA(
      request, HTTP_QUERY_FLAG_SYSTEMTIME | HTTP_QUERY_LAST_MODIFIED, &date, &size, nullptr);
  DWORD error = GetLastError();
  m_winInet->InternetCloseHandle(request);
  FILETIME time;
  if (ok && SystemTimeToFileTime(&date, &time)) {
    *fileTime = ToULongLong(time);
    WriteLog("Success CZHttpQueryInfo Date/Time for %s\r\n", urlPath);
    return true;
  }
  WriteLog("CZHttpQueryInfo Date/Time failed for %s, %ld\r\n", urlPath, static_cast<long>(error));
  return false;
}

int CZHttpSession::IsServerFileNewer(const char* localPath, const char* urlPath) {
  ULONGLONG localTime = 0;
  {
    CZUniqueFile file(CreateFileA(localPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    if (!file.valid()) return 1;
    FILETIME written;
    if (!GetFileTime(file.get(), nullptr, nullptr, &written)) return 1;
    localTime = ToULongLong(written) + kFreshnessSlack;
  }
  if (!QueryServerFileTime(urlPath, &m_serverFileTime)) return 0;
  return m_serverFileTime > localTime ? 1 : 0;
}

void CZHttpSession::CloseRequest(HINTERNET request) {
  if (request != nullptr) m_winInet->InternetCloseHandle(request);
}
