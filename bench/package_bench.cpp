// Opens, verifies and extracts one package image the way the acceptance gate
// does, and, beside it, extracts the same image bare through the system's
// cabinet library (no staging, no name or structure checks), so the cost of
// the gate's own work shows on its own, and times the structure check alone.
// The bare extraction runs twice: as it is, and with each file flushed before
// it is closed, the least a durable install must do; the gate is measured
// against the second. Prints the seconds each step took.
//   package_bench.exe <image> <folder> <bare folder> <flushed bare folder>
#include <fcntl.h>
#include <io.h>
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

struct CZBareTarget {
  const char* folder;
  bool flush;
};

// Every file straight to <folder>\<stored name>. With flush, each file is
// flushed where the gate flushes its staged files: the same call on the
// handle that wrote it, just before it is closed. A second pass that opened
// each file again to flush it would add an open per file that the gate never
// pays, and so flatter the gate.
INT_PTR DIAMONDAPI BareNotify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification) {
  const CZBareTarget* target = static_cast<const CZBareTarget*>(notification->pv);
  switch (type) {
    case fdintCOPY_FILE: {
      char path[kPathSize];
      FormatText(path, sizeof(path), "%s\\%s", target->folder, notification->psz1);
      return OpenWithFolderRetry(path, _O_BINARY | _O_RDWR | _O_CREAT | _O_TRUNC, _S_IWRITE);
    }
    case fdintCLOSE_FILE_INFO: {
      const bool flushed = !target->flush || _commit(static_cast<int>(notification->hf)) == 0;
      return FdiClose(notification->hf) == 0 && flushed ? TRUE : FALSE;
    }
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

bool ExtractBare(const char* image, const char* folder, bool flush) {
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
  CZBareTarget target = {folder, flush};
  BOOL copied = FDICopy(context, name, path, 0, BareNotify, nullptr, &target);
  FDIDestroy(context);
  return copied != FALSE;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: package_bench <image> <folder> <bare folder> <flushed bare folder>\n");
    return 2;
  }
  LoadPackageKey();
  LARGE_INTEGER start, verified, extracted, bare, flushed, layout;
  QueryPerformanceCounter(&start);
  CZCabinet cabinet;
  bool ok = cabinet.OpenImage(argv[1]) && cabinet.VerifySignature(PackageKey());
  QueryPerformanceCounter(&verified);
  // The bare extractions first: the verify has already brought the image
  // into the cache for all three. The flushed one runs right before the
  // gate's, so that both meet the same unwritten data of the ones before.
  ok = ok && ExtractBare(argv[1], argv[3], false);
  QueryPerformanceCounter(&bare);
  ok = ok && ExtractBare(argv[1], argv[4], true);
  QueryPerformanceCounter(&flushed);
  ok = ok && cabinet.ExtractTo(argv[2]);
  QueryPerformanceCounter(&extracted);
  ok = ok && CheckLayout(argv[1]);
  QueryPerformanceCounter(&layout);
  printf("%s verify %.3f extract %.3f bare %.3f layout %.3f flushed %.3f\n", ok ? "ok" : "failed",
         Seconds(start, verified), Seconds(flushed, extracted), Seconds(verified, bare),
         Seconds(extracted, layout), Seconds(bare, flushed));
  return ok ? 0 : 1;
}
