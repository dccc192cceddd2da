// The version resource reader of check-site, over any bytes: it never reads
// outside them (the sanitizers watch), gives a reason whenever it fails, and
// reads the same version again from a copy with bytes added at the end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "tools/pe_version.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<unsigned char> bytes(data, data + size);
  CZVersion version;
  std::string reason;
  const bool read = ReadPeFileVersion(bytes, &version, &reason);
  FUZZ_CHECK(read == reason.empty());
  if (read) {
    bytes.resize(size + 64, 0xEE);
    CZVersion again;
    std::string ignored;
    FUZZ_CHECK(ReadPeFileVersion(bytes, &again, &ignored));
    FUZZ_CHECK(CompareVersions(version, again) == 0);
  }
  return 0;
}
