// Downloads one URL into a file the way a component download does, with or
// without the progress dialog, or as a bare loop of 2048-byte WinINet reads
// written to the file (the limit this chunk size sets), and prints the bytes,
// the seconds it took and the process's peak working set (a file download
// never holds the body).
//   download_bench.exe <url> <file> progress|plain|bare
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
#include "common/handles.h"
#include "net/download.h"
#include "net/http_session.h"

namespace {
// The same request read with nothing around the reads but the file writes.
bool ReadBare(CZHttpSession& net, HINTERNET request, const char* path) {
  if (request == nullptr) return false;
  CZUniqueFile file(CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  bool ok = file.valid();
  char chunk[kReadChunk];
  for (DWORD got = 0; ok;) {
    ok = net.WinInet().InternetReadFile(request, chunk, kReadChunk, &got) != FALSE;
    if (!ok || got == 0) break;
    DWORD written = 0;
    ok = WriteFile(file.get(), chunk, got, &written, nullptr) && written == got;
  }
  net.CloseRequest(request);
  return ok;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    fprintf(stderr, "usage: download_bench <url> <file> progress|plain|bare\n");
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
  bool ok = strcmp(argv[3], "bare") == 0
                ? ReadBare(net, request, argv[2])
                : net.DownloadRequest(request, argv[1], nullptr, 0, argv[2], length,
                                      kMaxInstallerPackageSize, progress, 0);
  QueryPerformanceCounter(&end);
  double seconds = double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart);
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof(memory);
  K32GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
  printf("%s %lu %.3f %lu\n", ok ? "ok" : "failed", static_cast<unsigned long>(length), seconds,
         static_cast<unsigned long>(memory.PeakWorkingSetSize / 1024));
  return ok ? 0 : 1;
}
