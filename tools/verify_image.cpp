#include "tools/verify_image.h"

#include <cstring>

#include "package/cabinet_layout.h"
#include "package/signature_check.h"
#include "package/stored_name.h"
#include "tools/memory_source.h"

namespace {
constexpr size_t kFileCountOffset = 28;
constexpr size_t kFileEntrySize = 16;

// The first stored name that the updater refuses to extract; empty when
// every one is safe. The layout is known to be sound: each name ends within
// the cabinet.
std::string FindUnsafeName(const std::vector<unsigned char>& bytes) {
  size_t at = ReadLittle32(&bytes[kFirstFileOffset]);
  for (uint16_t i = 0; i < ReadLittle16(&bytes[kFileCountOffset]); ++i) {
    const char* name = reinterpret_cast<const char*>(&bytes[at + kFileEntrySize]);
    if (!IsSafeStoredName(name)) return name;
    at += kFileEntrySize + strlen(name) + 1;
  }
  return "";
}
}  // namespace

bool VerifyImage(const std::vector<unsigned char>& bytes, EVP_PKEY* key, std::string* reason) {
  if (bytes.size() < kHeaderWithReserveSizes || memcmp(bytes.data(), "MSCF", 4) != 0) {
    *reason = "not a cabinet";
    return false;
  }
  CZMemorySource source(bytes);
  const bool reserve = (ReadLittle16(&bytes[kCabinetFlagsOffset]) & kCabinetReservePresent) != 0;
  std::string text;
  if (!ReadSignatureText(source, reserve, ReadLittle32(&bytes[kCabinetSizeOffset]), &text)) {
    *reason = "no signature record (or its text is cut short or too long)";
    return false;
  }
  unsigned char digest[kDigestSize];
  if (!DigestSignedRegion(source, digest)) {
    *reason = "cannot digest the signed region";
    return false;
  }
  CZSignatureCheck result = CheckSignatureText(key, text, digest);
  *reason = DescribeSignatureCheck(result);
  if (result != CZSignatureCheck::kValid) return false;
  // The signature only counts when the decompressor reads what it covers.
  std::string fault;
  if (!CheckCabinetLayout(source, &fault)) {
    *reason = "signature valid, but the cabinet is not laid out as signed: " + fault;
    return false;
  }
  const std::string unsafe = FindUnsafeName(bytes);
  if (!unsafe.empty()) {
    *reason = "signature valid, but the stored name \"" + unsafe +
              "\" would leave the destination folder or names a device";
    return false;
  }
  return true;
}
