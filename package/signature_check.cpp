#include "package/signature_check.h"

#include <openssl/err.h>
#include <openssl/rsa.h>

#include <cstring>
#include <vector>

#include "package/base64.h"
#include "package/openssl_owners.h"

namespace {
constexpr size_t kDecodedSize = 516;
constexpr size_t kModulusBytes = 256;

CZSignatureCheck RecoverAndCompare(EVP_PKEY* key, const unsigned char* block, size_t blockSize,
                                   const unsigned char* digest) {
  CZEvpPkeyCtx context(EVP_PKEY_CTX_new(key, nullptr));
  if (!context || EVP_PKEY_verify_recover_init(context.get()) <= 0 ||
      EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) <= 0) {
    return CZSignatureCheck::kBadPadding;
  }
  size_t outSize = EVP_PKEY_get_size(key);
  if (outSize < kModulusBytes) outSize = kModulusBytes;
  std::vector<unsigned char> content(outSize);
  if (EVP_PKEY_verify_recover(context.get(), content.data(), &outSize, block, blockSize) <= 0) {
    return CZSignatureCheck::kBadPadding;
  }
  // Only the bare digest is accepted; a DigestInfo wrapping is 35 bytes.
  if (outSize != kDigestSize) return CZSignatureCheck::kNotBareDigest;
  return memcmp(content.data(), digest, kDigestSize) == 0 ? CZSignatureCheck::kValid
                                                          : CZSignatureCheck::kDigestMismatch;
}
}  // namespace

const char* DescribeSignatureCheck(CZSignatureCheck result) {
  switch (result) {
    case CZSignatureCheck::kValid:
      return "signature valid";
    case CZSignatureCheck::kBadLength:
      return "signature text empty or longer than 513 characters";
    case CZSignatureCheck::kBadBase64:
      return "signature text is not decodable base64";
    case CZSignatureCheck::kBadPadding:
      return "signature block is not a type 1 block under this key";
    case CZSignatureCheck::kNotBareDigest:
      return "signed content is not a bare 20-byte digest";
    case CZSignatureCheck::kDigestMismatch:
      return "digest of the signed region differs";
  }
  return "unknown";
}

bool DigestSignedRegion(CZByteSource& image, unsigned char digest[kDigestSize]) {
  unsigned char header[kHeaderWithReserveSizes];
  if (!image.Seek(0) || image.Read(header, sizeof(header)) != sizeof(header)) return false;
  const uint32_t cabinetSize = ReadLittle32(header + kCabinetSizeOffset);
  const uint32_t firstFile = ReadLittle32(header + kFirstFileOffset);
  CZEvpMdCtx context(EVP_MD_CTX_new());
  if (!context || EVP_DigestInit_ex(context.get(), EVP_sha1(), nullptr) <= 0) return false;
  // A first-file offset past the cabinet size leaves nothing to digest.
  uint32_t left = cabinetSize > firstFile ? cabinetSize - firstFile : 0;
  if (left > 0 && image.Seek(firstFile)) {
    std::vector<unsigned char> block(kRegionBlock);
    while (left > 0) {
      size_t got = image.Read(block.data(), block.size());
      if (got == 0) break;
      if (got > left) got = left;
      EVP_DigestUpdate(context.get(), block.data(), got);
      left -= static_cast<uint32_t>(got);
    }
  }
  unsigned int size = 0;
  return EVP_DigestFinal_ex(context.get(), digest, &size) > 0 && size == kDigestSize;
}

CZSignatureCheck CheckSignatureText(EVP_PKEY* key, const std::string& text,
                                    const unsigned char digest[kDigestSize]) {
  if (text.empty() || text.size() > kMaxSignatureText) return CZSignatureCheck::kBadLength;
  unsigned char block[kDecodedSize];
  size_t blockSize = 0;
  if (!DecodeBase64(text.data(), text.size(), block, sizeof(block), &blockSize)) {
    return CZSignatureCheck::kBadBase64;
  }
  CZSignatureCheck result = CZSignatureCheck::kBadPadding;
  if (key != nullptr) result = RecoverAndCompare(key, block, blockSize, digest);
  ERR_clear_error();
  return result;
}
