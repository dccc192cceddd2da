// Reading the body of an open GET request into a file or a memory buffer,
// optionally under the progress dialog.
#include "net/download.h"

#include <commctrl.h>

#include <cstring>

#include "common/handles.h"
#include "common/process_state.h"
#include "common/test_hooks.h"
#include "common/ui_helpers.h"
#include "common/update_log.h"
#include "net/http_session.h"
#include "net/progress_dialog.h"
#include "net/request_limits.h"
#include "net/request_worker.h"
#include "resources/resource.h"
#include "settings/install_records.h"

namespace {
// The dialog's texts and bar are refreshed at most this often (and after the
// first and the last chunk): repainting after every 2 KB chunk would cost
// more than the download itself.
constexpr DWORD kProgressIntervalMs = 100;
// The thread's queue is looked at no more often than this: each look is a
// round trip to the window system, far dearer than a 2 KB read, while input
// is still answered within about 20 ms.
constexpr DWORD kMessagePumpIntervalMs = 16;
constexpr size_t kCaptionSize = 256;
constexpr size_t kStatusSize = 128;

void ShowReceived(HWND dialog, DWORD total, DWORD length) {
  char status[kStatusSize];
  FormatText(status, sizeof(status), LoadText(IDS_RECEIVED_K_OF_K), total / 1000, length / 1000);
  SetDlgItemTextA(dialog, IDC_DOWNLOAD_STATUS, status);
}

// Keeps the dialog painted and its Cancel button live between chunks without
// waiting for the tick counter, which would cap the throughput.
void DispatchPendingMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Whether the disk of path has room for a download of length bytes, its
// extracted copy beside it and some slack. A disk whose free space cannot
// be read is not refused here: creating the file says what is wrong.
bool HasRoomFor(const char* path, DWORD length) {
  char folder[MAX_PATH];
  CopyBounded(folder, path);
  char* slash = strrchr(folder, '\\');
  if (slash == nullptr) return true;
  slash[1] = '\0';
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(folder, &available, nullptr, nullptr)) return true;
  return available.QuadPart >= 2ULL * length + kMiB;
}

// Fills the dialog for a new download; returns its progress bar or null.
HWND PrepareProgress(HWND dialog, const char* location, DWORD length, long fileNumber,
                     long fileCount) {
  SetDlgItemTextA(dialog, IDC_DOWNLOAD_LOCATION, location);
  ShowReceived(dialog, 0, length);
  char caption[kCaptionSize];
  if (fileNumber != 0)
    FormatText(caption, sizeof(caption), LoadText(IDS_DOWNLOADING_FILE_N_OF_M), fileNumber,
               fileCount);
  else
    FormatText(caption, sizeof(caption), "%s", LoadText(IDS_DOWNLOADING_FILE));
  SetWindowTextA(dialog, caption);
  HWND bar = GetDlgItem(dialog, IDC_DOWNLOAD_PROGRESS);
  if (bar != nullptr) {
    SendMessageA(bar, PBM_SETPOS, 0, 0);
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, static_cast<WORD>(length / kReadChunk)));
    SendMessageA(bar, PBM_SETSTEP, 1, 0);
  }
  ShowReceived(dialog, 0, length);
  SetWindowPos(dialog, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
  return bar;
}
}  // namespace

bool CZHttpSession::DownloadRequest(HINTERNET request, const char* location, char* buffer,
                                    DWORD bufferSize, const char* filePath, DWORD length,
                                    DWORD maxLength, bool showProgress, long fileNumber) {
  if (filePath == nullptr)
    return ReadBody(request, location, buffer, bufferSize, nullptr, length, maxLength, showProgress,
                    fileNumber);
  AddPendingPackage(filePath);
  if (ReadBody(request, location, buffer, bufferSize, filePath, length, maxLength, showProgress,
               fileNumber))
    return true;
  // No partial file stays behind, nor an older one of that name.
  DiscardDownload(filePath);
  return false;
}

bool CZHttpSession::ReadBody(HINTERNET request, const char* location, char* buffer,
                             DWORD bufferSize, const char* filePath, DWORD length, DWORD maxLength,
                             bool showProgress, long fileNumber) {
  if (request == nullptr) return false;
  if (filePath == nullptr && buffer == nullptr) bufferSize = 0;
  const DWORD ceiling = filePath != nullptr || maxLength < bufferSize ? maxLength : bufferSize;
  if (length > ceiling) {
    WriteLog("%s announces %lu bytes, more than the %lu allowed, refused\r\n", location,
             static_cast<unsigned long>(length), static_cast<unsigned long>(ceiling));
    m_winInet->InternetCloseHandle(request);
    return false;
  }
  CZUniqueFile file;
  if (filePath != nullptr) {
    if (!HasRoomFor(filePath, length)) {
      WriteLog("Not enough free disk space for %s (%lu bytes) at %s, refused\r\n", location,
               static_cast<unsigned long>(length), filePath);
      m_winInet->InternetCloseHandle(request);
      return false;
    }
    ZU_CRASH_POINT("download", filePath);
    file.reset(CreateFileA(filePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      // Reading a body that cannot be kept would only end in a false success.
      m_winInet->InternetCloseHandle(request);
      WriteLog("%s could not be written to file %s\r\n", location, filePath);
      return false;
    }
  }

  HWND dialog = showProgress ? EnsureProgressDialog() : nullptr;
  HWND bar = dialog != nullptr ? PrepareProgress(dialog, location, length, fileNumber, m_fileCount)
                               : nullptr;

  // Every read runs on the request's worker, into the worker's own chunk:
  // the deadlines and Cancel act while a read is blocked.
  CZRequestWorker worker(m_winInet, request);
  const ULONGLONG bodyLimitMs = BodyDeadlineMs(length);
  const ULONGLONG deadline = GetTickCount64() + bodyLimitMs;
  DWORD total = 0;
  bool failed = false, writeFailed = false;
  DWORD steps = 0;  // one progress step per chunk read
  DWORD shownAt = GetTickCount();
  DWORD pumpedAt = shownAt;
  bool unshown = false;
  auto refresh = [&] {
    ShowReceived(dialog, total, length);
    SendMessageA(bar, PBM_SETPOS, steps, 0);
    shownAt = GetTickCount();
    unshown = false;
  };
  // Never more than the announced length is asked for, so never more is kept.
  while (!IsDownloadCancelled() && total < length) {
    const DWORD ask = length - total < kReadChunk ? length - total : kReadChunk;
    BOOL ok = FALSE;
    DWORD got = 0, error = 0;
    const CZCallEnd end = worker.ReadChunk(length, deadline, &ok, &got, &error);
    if (end == CZCallEnd::kCancelled) break;
    if (end == CZCallEnd::kDeadline) {
      WriteLog("Request for %s cut: body not received within %lu s\r\n", location,
               static_cast<unsigned long>(bodyLimitMs / 1000));
      failed = true;
      break;
    }
    if (!ok) {
      if (IsTimeoutError(error))
        WriteLog("Request for %s cut: no data for %lu s\r\n", location,
                 static_cast<unsigned long>(ScaledLimitMs(kIdleLimitMs) / 1000));
      failed = true;
      break;
    }
    if (got == 0) break;
    if (file.valid()) {
      // A full disk must not leave a cut file that counts as downloaded.
      DWORD written = 0;
      if (!WriteFile(file.get(), worker.Data(), got, &written, nullptr) || written != got) {
        writeFailed = true;
        break;
      }
      if (total == 0) ZU_CRASH_POINT("download part", filePath);
    } else {
      memcpy(buffer + total, worker.Data(), got);
    }
    total += got;
    if (bar != nullptr && ProgressDialog() == dialog) {
      ++steps;
      unshown = true;
      const DWORD now = GetTickCount();
      if (total == got || got != kReadChunk || now - shownAt >= kProgressIntervalMs) refresh();
      if (now - pumpedAt >= kMessagePumpIntervalMs) {
        DispatchPendingMessages();
        pumpedAt = GetTickCount();
      }
    }
    // A short read is the end of the body.
    if (got < ask) break;
  }
  if (unshown && !failed && !writeFailed && ProgressDialog() == dialog) refresh();
  worker.CloseRequest();
  if (failed) return false;
  if (writeFailed) {
    WriteLog("%s could not be written to file %s\r\n", location, filePath);
    return false;
  }
  const bool cancelled = IsDownloadCancelled();
  if (!cancelled && total < length) {
    // A body cut short (a reset, a closed connection) is not the file.
    WriteLog("%s download incomplete: %lu of %lu bytes\r\n", location,
             static_cast<unsigned long>(total), static_cast<unsigned long>(length));
    return false;
  }

  if (filePath == nullptr) {
    WriteLog("%s downloaded successfully \r\n", location);
  } else {
    FILETIME stamp;
    stamp.dwLowDateTime = static_cast<DWORD>(m_serverFileTime);
    stamp.dwHighDateTime = static_cast<DWORD>(m_serverFileTime >> 32);
    bool stamped = SetFileTime(file.get(), &stamp, nullptr, &stamp) != FALSE;
    WriteLog("%s downloaded successfully to file %s, SetFileTime %s\r\n", location, filePath,
             stamped ? "succeeded" : "failed");
  }
  return !cancelled;
}
