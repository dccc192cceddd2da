#include "tools/package_sizes.h"

#include "package/checksum_rules.h"
#include "tools/cab_image.h"

bool ComputePackageSizes(const std::string& path, CZPackageSizes* sizes, std::string* reason) {
  CZBytes bytes;
  if (!ReadWholeFile(path, &bytes)) {
    *reason = "cannot read " + path;
    return false;
  }
  if (bytes.empty()) {
    *reason = path + " is empty: the updater cannot checksum an empty file";
    return false;
  }
  sizes->size1 = ComputeChecksum(bytes.data(), bytes.size()).total;
  sizes->size2 = UpdateCrc32(kCrc32Initial, bytes.data(), bytes.size()) ^ kCrc32Final;
  return true;
}
