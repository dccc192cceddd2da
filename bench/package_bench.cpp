// Opens, verifies and extracts one package image the way the acceptance gate
// does, and, beside it, extracts the same image bare through the system's
// cabinet library (no staging, no name or structure checks), so the cost of
// the gate's own work shows on its own, and times the structure check alone.
// Prints the seconds each step took.
//   package_bench.exe <image> <folder> <bare folder>
#include <fcntl.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "common/bounded_text.h"
#include "common/update_log.h"
#include "package/cabinet.h"
#include "package/cabinet_layout.h"
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

// The structure check alone, through the same kind of C-runtime reads the
// gate uses.
class CZCrtSource : public CZByteSource {
 public:
  explicit CZCrtSource(int handle) : m_handle(handle) {}
  bool Seek(uint32_t offset) override {
    return _lseek(m_handle, static_cast<long>(offset), SEEK_SET) == static_cast<long>(offset);
  }
  size_t Read(void* buffer, size_t size) override {
    int got = _read(m_handle, buffer, static_cast<unsigned>(size));
    return got > 0 ? static_cast<size_t>(got) : 0;
  }

 private:
  int m_handle;
};

bool CheckLayout(const char* image) {
  CZCrtFile file(_open(image, _O_BINARY | _O_RDONLY));
  if (!file.valid()) return false;
  CZCrtSource source(static_cast<int>(file.get()));
  std::string fault;
  return CheckCabinetLayout(source, &fault);
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
  LARGE_INTEGER start, verified, extracted, bare, layout;
  QueryPerformanceCounter(&start);
  CZCabinet cabinet;
  bool ok = cabinet.OpenImage(argv[1]) && cabinet.VerifySignature(PackageKey());
  QueryPerformanceCounter(&verified);
  // The bare extraction first: the verify has already brought the image
  // into the cache for both.
  ok = ok && ExtractBare(argv[1], argv[3]);
  QueryPerformanceCounter(&bare);
  ok = ok && cabinet.ExtractTo(argv[2]);
  QueryPerformanceCounter(&extracted);
  ok = ok && CheckLayout(argv[1]);
  QueryPerformanceCounter(&layout);
  printf("%s verify %.3f extract %.3f bare %.3f layout %.3f\n", ok ? "ok" : "failed",
         Seconds(start, verified), Seconds(bare, extracted), Seconds(verified, bare),
         Seconds(extracted, layout));
  return ok ? 0 : 1;
}
