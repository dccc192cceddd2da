#include "tools/verify_image.h"

#include <cstring>

#include "package/cabinet_layout.h"
#include "package/signature_check.h"
#include "tools/memory_source.h"

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
  return true;
}
