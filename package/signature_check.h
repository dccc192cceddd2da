// The package signature check: a SHA-1 digest over the signed region of a
// cabinet (first file entry up to the declared cabinet size), compared with
// what the RSA public-key operation recovers from the signature text.
#pragma once
#include <openssl/evp.h>

#include <cstddef>
#include <string>

#include "package/signature_record.h"

constexpr size_t kDigestSize = 20;
constexpr size_t kRegionBlock = 32768;

enum class CZSignatureCheck {
  kValid,
  kBadLength,      // empty, or longer than any valid text
  kBadBase64,      // not a multiple of 4, or "=" in a group's second place
  kBadPadding,     // not a type 1 block under this key
  kNotBareDigest,  // the recovered content is not 20 bytes (DigestInfo-wrapped)
  kDigestMismatch,
};

const char* DescribeSignatureCheck(CZSignatureCheck result);

// Digests the signed region of image, reading 32768 bytes at a time. An image
// shorter than its declared size is digested up to its end. False only when
// the header cannot be read or the digest cannot be made.
bool DigestSignedRegion(CZByteSource& image, unsigned char digest[kDigestSize]);

// Checks a signature text against a digest. Leaves libcrypto's error queue
// empty whatever the outcome.
CZSignatureCheck CheckSignatureText(EVP_PKEY* key, const std::string& text,
                                    const unsigned char digest[kDigestSize]);
