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

bool IsNewerUpdater(const char* candidatePath, const char* installedPath) {
  DWORD newHigh = 0, newLow = 0, oldHigh = 0, oldLow = 0;
  if (!GetFileVersion(candidatePath, &newHigh, &newLow)) return false;
  if (!GetFileVersion(installedPath, &oldHigh, &oldLow)) return true;
  return newHigh > oldHigh || (newHigh == oldHigh && newLow > oldLow);
}
