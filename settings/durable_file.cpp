#include "settings/durable_file.h"

#include <windows.h>

#include <vector>

#include "common/handles.h"
#include "common/test_hooks.h"

namespace {
constexpr DWORD kCopyChunk = 64 * 1024;
}  // namespace

bool CopyFileFlushed(const char* from, const char* to) {
  bool copied = false;
  ZU_CRASH_POINT("copy", to);
  {
    CZUniqueFile source(CreateFileA(from, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
    CZUniqueFile target(
        CreateFileA(to, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (source.valid() && target.valid()) {
      std::vector<char> chunk(kCopyChunk);
      for (bool first = true;; first = false) {
        DWORD got = 0, written = 0;
        if (!ReadFile(source.get(), chunk.data(), kCopyChunk, &got, nullptr)) break;
        if (got == 0) {
          copied = FlushFileBuffers(target.get()) != FALSE;
          break;
        }
        if (!WriteFile(target.get(), chunk.data(), got, &written, nullptr) || written != got) break;
        if (first) ZU_CRASH_POINT("copy part", to);
      }
    }
  }
  if (!copied) DeleteFileA(to);
  return copied;
}

bool ReplaceFileByRename(const char* from, const char* to) {
  ZU_CRASH_POINT("rename over", to);
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
}
