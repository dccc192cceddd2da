// GET requests checked for status and length before any byte is read, and
// HEAD requests for the server's Last-Modified date.
#include "common/handles.h"
#include "common/process_state.h"
#include "common/update_log.h"
#include "net/http_session.h"
#include "net/proxy.h"
#include "net/request_limits.h"
#include "net/request_worker.h"

namespace {
const char kHttpVersion[] = "HTTP/1.0";
const char* kAcceptTypes[] = {"*/*", nullptr};
constexpr DWORD kRequestFlags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
// A server date within 60 s of the local file still counts as current.
constexpr ULONGLONG kFreshnessSlack = 600000000ULL;
// How far a server's clock may run ahead of ours before its dates are not
// believed.
constexpr ULONGLONG kFutureDateSlack = 24ULL * 3600 * 10000000;

// Errors with which WinINet refuses a server's certificate.
bool IsCertificateError(DWORD error) {
  switch (error) {
    case ERROR_INTERNET_SEC_CERT_DATE_INVALID:
    case ERROR_INTERNET_SEC_CERT_CN_INVALID:
    case ERROR_INTERNET_INVALID_CA:
    case ERROR_INTERNET_SEC_CERT_ERRORS:
    case ERROR_INTERNET_SEC_CERT_REV_FAILED:
    case ERROR_INTERNET_SEC_INVALID_CERT:
    case ERROR_INTERNET_SEC_CERT_REVOKED:
      return true;
    default:
      return false;
  }
}

ULONGLONG ToULongLong(const FILETIME& time) {
  return static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}
}  // namespace

// Through the host client's proxy, its credentials go with the first request
// of the process (even when it could not be opened); without it, nobody gets
// them. An https server's requests carry the secure flag and nothing that
// relaxes the certificate check.
HINTERNET CZHttpSession::SendRequest(const char* verb, const char* urlPath, bool withCredentials) {
  const bool secure = IsSecureServer();
  const DWORD flags = kRequestFlags | (secure ? INTERNET_FLAG_SECURE : 0);
  HINTERNET request = m_winInet->HttpOpenRequestA(m_hConnection, verb, urlPath, kHttpVersion,
                                                  nullptr, kAcceptTypes, flags, 0);
  if (withCredentials && m_throughClientProxy) ApplyProxyCredentials(*m_winInet, request);
  if (request == nullptr) return nullptr;
  SetTransferTimeouts(request);
  // Connecting, TLS, the request and the response headers, under one
  // deadline. A cancel from before this request is the business of the
  // downloads that follow, as it always was.
  const DWORD limitMs = ScaledLimitMs(kResponseDeadlineMs);
  const bool cancelEnds = !IsDownloadCancelled();
  CZRequestWorker worker(m_winInet, request);
  BOOL sent = FALSE;
  DWORD error = 0;
  const CZCallEnd end = worker.SendRequest(GetTickCount64() + limitMs, cancelEnds, &sent, &error);
  if (end == CZCallEnd::kDeadline)
    WriteLog("Request for %s%s cut: no response within %lu s\r\n", m_currentHost.c_str(), urlPath,
             static_cast<unsigned long>(limitMs / 1000));
  if (end != CZCallEnd::kDone) return nullptr;
  if (!sent) {
    m_winInet->InternetCloseHandle(request);
    if (IsTimeoutError(error)) {
      WriteLog("Request for %s%s cut: no data for %lu s\r\n", m_currentHost.c_str(), urlPath,
               static_cast<unsigned long>(ScaledLimitMs(kIdleLimitMs) / 1000));
      return nullptr;
    }
    // Plain http failures stay silent as they always were; a refused
    // certificate must leave a trace that names the server.
    if (secure)
      WriteLog(IsCertificateError(error) ? "Certificate of %s refused, %ld\r\n"
                                         : "Secure request to %s failed, %ld\r\n",
               m_currentHost.c_str(), static_cast<long>(error));
    return nullptr;
  }
  return request;
}

HINTERNET CZHttpSession::OpenGetRequest(const char* urlPath, DWORD* contentLength) {
  HINTERNET request = SendRequest("GET", urlPath, true);
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

bool CZHttpSession::QueryServerFileTime(const char* urlPath, ULONGLONG* fileTime, bool* ahead) {
  if (m_hConnection == nullptr) return false;
  HINTERNET request = SendRequest("HEAD", urlPath, true);
  if (request == nullptr) return false;
  SYSTEMTIME date = {};
  DWORD size = sizeof(date);
  BOOL ok = m_winInet->HttpQueryInfoA(
      request, HTTP_QUERY_FLAG_SYSTEMTIME | HTTP_QUERY_LAST_MODIFIED, &date, &size, nullptr);
  DWORD error = GetLastError();
  m_winInet->InternetCloseHandle(request);
  FILETIME time;
  if (ok && SystemTimeToFileTime(&date, &time)) {
    *fileTime = BoundServerDate(ToULongLong(time), urlPath, ahead);
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
  bool ahead = false;
  if (!QueryServerFileTime(urlPath, &m_serverFileTime, &ahead) || ahead) return 0;
  return m_serverFileTime > localTime ? 1 : 0;
}

ULONGLONG CZHttpSession::BoundServerDate(ULONGLONG serverTime, const char* location, bool* ahead) {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const ULONGLONG current = ToULongLong(now);
  const bool tooFar = serverTime > current + kFutureDateSlack;
  if (ahead != nullptr) *ahead = tooFar;
  if (!tooFar) return serverTime;
  WriteLog(
      "Server date of %s is more than a day ahead: it does not count as newer, "
      "the current time is used\r\n",
      location);
  return current;
}

HINTERNET CZHttpSession::SendHeadRequest(const char* urlPath) {
  return SendRequest("HEAD", urlPath, false);
}

void CZHttpSession::CloseRequest(HINTERNET request) {
  if (request != nullptr) m_winInet->InternetCloseHandle(request);
}
