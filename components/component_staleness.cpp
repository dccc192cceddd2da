// Whether a component's installed file is out of date: by the version the
// manifest requires, or else by the server's date for its package.
#include <windows.h>
#include <wininet.h>

#include "common/bounded_text.h"
#include "common/handles.h"
#include "common/update_log.h"
#include "components/component.h"
#include "net/http_session.h"
#include "package/file_version.h"

namespace {
// A server date within 60 s of the local file still counts as current.
constexpr ULONGLONG kFreshnessSlack = 600000000ULL;

ULONGLONG ToULongLong(const FILETIME& time) {
  return static_cast<ULONGLONG>(time.dwHighDateTime) << 32 | time.dwLowDateTime;
}
FILETIME ToFileTime(ULONGLONG time) {
  return FILETIME{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
}
uint32_t HighHalf(const CZVersion& v) { return static_cast<uint32_t>(v.major) << 16 | v.minor; }
uint32_t LowHalf(const CZVersion& v) { return static_cast<uint32_t>(v.build) << 16 | v.revision; }
}  // namespace

void CZComponent::CheckNeedsUpdate(CZHttpSession& net) {
  DWORD high = 0, low = 0;
  if (m_requiredVersion.major == kNoRequiredVersion ||
      !GetFileVersion(m_installPath.c_str(), &high, &low)) {
    IsComponentFileNewer(net);
    return;
  }
  const uint32_t requiredHigh = HighHalf(m_requiredVersion);
  const uint32_t requiredLow = LowHalf(m_requiredVersion);
  // An equal or higher version leaves the flag as it was.
  if (high < requiredHigh || (high == requiredHigh && low < requiredLow)) m_needsUpdate = 1;
}

void CZComponent::IsComponentFileNewer(CZHttpSession& net) {
  ULONGLONG shiftedLocal = 0;
  {
    CZUniqueFile file(CreateFileA(m_installPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    FILETIME written;
    // A file that is missing or cannot be read is fetched without asking.
    if (!file.valid() || !GetFileTime(file.get(), nullptr, nullptr, &written)) {
      m_needsUpdate = 1;
      return;
    }
    shiftedLocal = ToULongLong(written) + kFreshnessSlack;
  }
  ULONGLONG server = 0;
  bool ahead = false;
  // A date far ahead never makes the file newer: fetched for it, the file
  // would be stamped with the current time and look older again next run.
  if (!QueryComponentFileTime(net, &server, &ahead) || ahead) {
    m_needsUpdate = 0;
    return;
  }
  const FILETIME serverTime = ToFileTime(server);
  const FILETIME localTime = ToFileTime(shiftedLocal);
  m_needsUpdate = CompareFileTime(&serverTime, &localTime) > 0 ? 1 : 0;
}

bool CZComponent::QueryComponentFileTime(CZHttpSession& net, ULONGLONG* fileTime,
                                         bool* ahead) const {
  char urlPath[kUrlPathSize];
  if (!net.GetUrlPath(m_url.c_str(), urlPath, sizeof(urlPath))) return false;
  CZWinInet& winInet = net.WinInet();
  // The session's own HEAD: over TLS when the component's server is https.
  HINTERNET request = net.SendHeadRequest(urlPath);
  if (request == nullptr) return false;
  SYSTEMTIME date = {};
  DWORD size = sizeof(date);
  BOOL ok = winInet.HttpQueryInfoA(request, HTTP_QUERY_FLAG_SYSTEMTIME | HTTP_QUERY_LAST_MODIFIED,
                                   &date, &size, nullptr);
  const DWORD error = GetLastError();
  // The line has no line end of its own: the next log line follows on it.
  if (!ok)
    WriteLog("CZHttpQueryInfo Date/Time fails %s, %ld", m_url.c_str(), static_cast<long>(error));
  winInet.InternetCloseHandle(request);
  FILETIME time;
  if (!ok || !SystemTimeToFileTime(&date, &time)) return false;
  *fileTime = net.BoundServerDate(ToULongLong(time), m_url.c_str(), ahead);
  return true;
}
