#include "package/file_checksum.h"

#include <cstdio>
#include <memory>

#include "common/handles.h"
#include "package/checksum_rules.h"

namespace {
constexpr DWORD kCrcBlockSize = 32768;
constexpr DWORD kExpectedValueSize = 40;

unsigned LastError() { return static_cast<unsigned>(GetLastError()); }

// Owners for the failure paths: a close that fails there is reported and
// the path goes on. The success path closes by hand and reports the error.
void ReportedClose(HANDLE handle) {
  if (!CloseHandle(handle)) fputs("CloseHandle failed\n", stderr);
}
struct CZReportedFileTraits : CZFileHandleTraits {
  static void Close(HANDLE handle) { ReportedClose(handle); }
};
struct CZReportedMappingTraits : CZKernelHandleTraits {
  static void Close(HANDLE handle) { ReportedClose(handle); }
};
using CZReportedFile = CZUniqueHandle<CZReportedFileTraits>;
using CZReportedMapping = CZUniqueHandle<CZReportedMappingTraits>;

// Reads the expected value of key; 0 means no check.
DWORD ReadExpectedValue(const char* section, const char* key, const char* manifestPath) {
  char text[kExpectedValueSize];
  GetPrivateProfileStringA(section, key, "", text, sizeof(text), manifestPath);
  return ParseExpectedValue(text);
}
}  // namespace

bool FileChecksum(const char* path, DWORD* value) {
  CZReportedFile file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    fprintf(stderr, "CreateFile failed for %s\n", path);
    return false;
  }
  // Only the low 32 bits: a package never comes near 4 GB.
  SetLastError(NO_ERROR);
  DWORD size = GetFileSize(file.get(), nullptr);
  if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
    fprintf(stderr, "GetFileSize failed %u\n", LastError());
    return false;
  }
  CZReportedMapping mapping(
      CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, size, nullptr));
  if (!mapping.valid()) {
    fprintf(stderr, "CreateFileMapping failed %u\n", LastError());
    return false;
  }
  const void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, size);
  if (view == nullptr) {
    fprintf(stderr, "MapViewOfFile failed %u\n", LastError());
    return false;
  }
  CZChecksumParts parts = ComputeChecksum(static_cast<const uint8_t*>(view), size);
  fprintf(stderr, "base checksum (%u DWORDS): %u\n", parts.words, parts.baseSum);
  fprintf(stderr, "num straggler bytes: %u\n", parts.stragglers);
  fprintf(stderr, "added %u to base sum: total %u\n", parts.tail, parts.total);
  if (!UnmapViewOfFile(view)) {
    fprintf(stderr, "UnmapViewOfFile failed %u\n", LastError());
    return false;
  }
  if (!CloseHandle(mapping.release())) {
    fprintf(stderr, "CloseHandle failed %u\n", LastError());
    return false;
  }
  if (!CloseHandle(file.release())) {
    fprintf(stderr, "CloseHandle failed %u\n", LastError());
    return false;
  }
  *value = parts.total;
  return true;
}

bool FileCRC(const char* path, DWORD* value) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    fprintf(stderr, "CreateFile failed %u\n", LastError());
    return false;
  }
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[kCrcBlockSize]);
  uint32_t crc = kCrc32Initial;
  bool complete = false;
  if (block == nullptr) {
    fputs("FileCRC failed\n", stderr);
  } else {
    for (;;) {
      DWORD read = 0;
      if (!ReadFile(file, block.get(), kCrcBlockSize, &read, nullptr)) {
        fputs("ReadFile failed\n", stderr);
        fputs("FileCRC failed\n", stderr);
        break;
      }
      crc = UpdateCrc32(crc, block.get(), read);
      // A short read (0 included) is the end of the file.
      if (read < kCrcBlockSize) {
        complete = true;
        break;
      }
    }
  }
  block.reset();
  // One close for both endings: its failure is reported with the error.
  if (!CloseHandle(file)) {
    fprintf(stderr, "CloseHandle failed %u\n", LastError());
    return false;
  }
  if (!complete) return false;
  *value = crc ^ kCrc32Final;
  return true;
}

bool CheckFileSizes(const char* imagePath, const char* section, const char* manifestPath) {
  DWORD expected = ReadExpectedValue(section, "Size1", manifestPath);
  DWORD actual = 0;
  if (expected != 0 && (!FileChecksum(imagePath, &actual) || actual != expected)) return false;
  expected = ReadExpectedValue(section, "Size2", manifestPath);
  if (expected != 0 && (!FileCRC(imagePath, &actual) || actual != expected)) return false;
  return true;
}
