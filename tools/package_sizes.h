// The two values a vendor writes into a component's manifest section for
// its signed package: Size1 (the updater's additive checksum) and Size2
// (its CRC-32), computed by the updater's own rules.
#pragma once
#include <cstdint>
#include <string>

struct CZPackageSizes {
  uint32_t size1 = 0;
  uint32_t size2 = 0;
};

// False, with a reason, when the file cannot be read or is empty (the
// updater cannot checksum an empty file, so no Size1 would ever match).
bool ComputePackageSizes(const std::string& path, CZPackageSizes* sizes, std::string* reason);
