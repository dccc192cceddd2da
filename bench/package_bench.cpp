// Opens, verifies and extracts one package image the way the acceptance gate
// does, and, beside it, extracts the same image bare through the system's
// cabinet library (no staging, no name or structure checks), so the cost of
// the gate's own work shows on its own. Prints the seconds each step took.
//   package_bench.exe <image> <folder> <bare folder>
#include <fcntl.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "common/bounded_text.h"
#include "common/update_log.h"
#include "package/cabinet.h"
#include "package/fdi_callbacks.h"
#include "package/package_key.h"

namespace {
double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}

// Every file straight to <folder>\<stored name>.
INT_PTR DIAMONDAPI BareNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification) {
  const char* folder = static_cast<const char*>(notification->pv);
  switch (type) {
    case fdintCOPY_FILE: {
      char target[kPathSize];
      FormatText(target, sizeof(target), "%s\\%s", folder, notification->psz1);
      return OpenWithFolderRetry(target, _O_BINARY | _O_RDWR | _O_CREAT | _O_TRUNC, _S_IWRITE);
    }
    case fdintCLOSE_FILE_INFO:
      FdiClose(notification->hf);
      return TRUE;
    default:
      return 0;
  }
}

bool ExtractBare(const char* image, const char* folder) {
  char path[kPathSize];
  CopyBounded(path, image);
  char* slash = strrchr(path, '\\');
  if (slash == nullptr) return false;
  char name[kPathSize];
  CopyBounded(name, slash + 1);
  slash[1] = 0;
  ERF error = {};
  HFDI context = FDICreate(FdiAllocate, FdiFree, FdiOpen, FdiRead, FdiWrite, FdiClose, FdiSeek,
                           cpuUNKNOWN, &error);
  if (context == nullptr) return false;
  BOOL copied = FDICopy(context, name, path, 0, BareNotify, nullptr, const_cast<char*>(folder));
  FDIDestroy(context);
  return copied != FALSE;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: package_bench <image> <folder> <bare folder>\n");
    return 2;
  }
  LoadPackageKey();
  LARGE_INTEGER start, verified, extracted, bare;
  QueryPerformanceCounter(&start);
  CZCabinet cabinet;
  bool ok = cabinet.OpenImage(argv[1]) && cabinet.VerifySignature(PackageKey());
  QueryPerformanceCounter(&verified);
  ok = ok && cabinet.ExtractTo(argv[2]);
  QueryPerformanceCounter(&extracted);
  ok = ok && ExtractBare(argv[1], argv[3]);
  QueryPerformanceCounter(&bare);
  printf("%s verify %.3f extract %.3f bare %.3f\n", ok ? "ok" : "failed", Seconds(start, verified),
         Seconds(verified, extracted), Seconds(extracted, bare));
  return ok ? 0 : 1;
}
