// Opens, verifies and extracts one package image the way the acceptance gate
// does, and prints the seconds each step took.
//   package_bench.exe <image> <folder>
#include <windows.h>

#include <cstdio>

#include "package/cabinet.h"
#include "package/package_key.h"

namespace {
double Seconds(const LARGE_INTEGER& from, const LARGE_INTEGER& to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return double(to.QuadPart - from.QuadPart) / double(frequency.QuadPart);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: package_bench <image> <folder>\n");
    return 2;
  }
  LoadPackageKey();
  LARGE_INTEGER start, verified, extracted;
  QueryPerformanceCounter(&start);
  CZCabinet cabinet;
  bool ok = cabinet.OpenImage(argv[1]) && cabinet.VerifySignature(PackageKey());
  QueryPerformanceCounter(&verified);
  ok = ok && cabinet.ExtractTo(argv[2]);
  QueryPerformanceCounter(&extracted);
  printf("%s verify %.3f extract %.3f\n", ok ? "ok" : "failed", Seconds(start, verified),
         Seconds(verified, extracted));
  return ok ? 0 : 1;
}
