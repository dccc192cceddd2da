// Downloads one URL into a file the way a component download does, with or
// without the progress dialog, and prints the bytes, the seconds it took and
// the process's peak working set (a file download never holds the body).
//   download_bench.exe <url> <file> progress|plain
// Output: ok|failed <bytes> <seconds> <peak working set in KB>
// psapi.h needs windows.h first.
// clang-format off
#include <windows.h>
#include <psapi.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <vector>

#include "common/bounded_text.h"
#include "net/http_session.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: download_bench <url> <file> progress|plain\n");
    return 2;
  }
  const bool progress = strcmp(argv[3], "progress") == 0;
  CZHttpSession net;
  char path[kUrlPathSize];
  if (!net.OpenInternet() || !net.SetServerFromUrl(argv[1]) || !net.OpenHttpSession() ||
      !net.GetUrlPath(argv[1], path, sizeof(path))) {
    fprintf(stderr, "download_bench: cannot reach %s\n", argv[1]);
    return 1;
  }
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  DWORD length = 0;
  HINTERNET request = net.OpenGetRequest(path, &length);
  bool ok = net.DownloadRequest(request, argv[1], nullptr, 0, argv[2], length, progress, 0);
  QueryPerformanceCounter(&end);
  double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  printf("%s %lu %.3f %lu\n", ok ? "ok" : "failed", static_cast<unsigned long>(length), seconds,
         static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024));
  return ok ? 0 : 1;
}
