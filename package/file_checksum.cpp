#include "package/file_checksum.h"

#include <algorithm>
#include <cstdio>
#include <memory>

#include "common/handles.h"
#include "common/update_log.h"
#include "package/checksum_rules.h"

namespace {
constexpr DWORD kCrcBlockSize = 32768;
constexpr DWORD kChecksumBlockSize = 256 * 1024;
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
using CZReportedFile = CZUniqueHandle<CZReportedFileTraits>;

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
  // An empty file has no checksum: the vendor's rule maps the file, and an
  // empty one cannot be mapped. The diagnostic stays the one that says so.
  if (size == 0) {
    fprintf(stderr, "CreateFileMapping failed %u\n", static_cast<unsigned>(ERROR_FILE_INVALID));
    return false;
  }
  // Read a block at a time, not mapped whole: a 32-bit process has no room
  // for a view of a package of a gigabyte or more.
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[kChecksumBlockSize]);
  if (block == nullptr) {
    fputs("FileChecksum failed\n", stderr);
    return false;
  }
  const uint64_t summed = ChecksumSummedBytes(size);
  uint32_t base = 0;
  for (uint64_t done = 0; done < summed;) {
    const DWORD ask = static_cast<DWORD>(std::min<uint64_t>(kChecksumBlockSize, summed - done));
    DWORD read = 0;
    if (!ReadFile(file.get(), block.get(), ask, &read, nullptr) || read != ask) {
      fprintf(stderr, "ReadFile failed %u\n", LastError());
      return false;
    }
    base = SumWords(base, block.get(), read);
    done += read;
  }
  uint8_t stragglers[4] = {};
  const DWORD stragglerCount = size % 4;
  if (stragglerCount != 0) {
    LARGE_INTEGER at;
    at.QuadPart = size - stragglerCount;
    DWORD read = 0;
    if (!SetFilePointerEx(file.get(), at, nullptr, FILE_BEGIN) ||
        !ReadFile(file.get(), stragglers, stragglerCount, &read, nullptr) ||
        read != stragglerCount) {
      fprintf(stderr, "ReadFile failed %u\n", LastError());
      return false;
    }
  }
  CZChecksumParts parts = FinishChecksum(size, base, stragglers);
  fprintf(stderr, "base checksum (%u DWORDS): %u\n", parts.words, parts.baseSum);
  fprintf(stderr, "num straggler bytes: %u\n", parts.stragglers);
  fprintf(stderr, "added %u to base sum: total %u\n", parts.tail, parts.total);
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
  // A package that fails is deleted by the caller: the log must say why.
  auto refuse = [&](const char* key, DWORD expected, DWORD actual) {
    WriteLog("Downloaded file %s does not match %s of [%s]: %lu expected, %lu found\r\n", imagePath,
             key, section, static_cast<unsigned long>(expected),
             static_cast<unsigned long>(actual));
    return false;
  };
  DWORD expected = ReadExpectedValue(section, "Size1", manifestPath);
  DWORD actual = 0;
  if (expected != 0 && (!FileChecksum(imagePath, &actual) || actual != expected))
    return refuse("Size1", expected, actual);
  expected = ReadExpectedValue(section, "Size2", manifestPath);
  if (expected != 0 && (!FileCRC(imagePath, &actual) || actual != expected))
    return refuse("Size2", expected, actual);
  return true;
}
