#include "package/file_version.h"

#include <vector>

bool GetFileVersion(const char* path, DWORD* high, DWORD* low) {
  DWORD unused = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &unused);
  if (size == 0) return false;
  std::vector<BYTE> block(size);
  if (!GetFileVersionInfoA(path, 0, size, block.data())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  if (!VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize) ||
      fixed == nullptr || fixedSize < sizeof(VS_FIXEDFILEINFO)) {
    return false;
  }
  *high = fixed->dwFileVersionMS;
  *low = fixed->dwFileVersionLS;
  return true;
}
