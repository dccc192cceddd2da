// Signing and verifying package images, by the rules the updater applies.
#pragma once
#include <openssl/evp.h>

#include <cstdint>
#include <string>

#include "tools/cab_image.h"

struct CZSignOptions {
  uint8_t placement = 0;    // 0: reserved area; non-zero: appended after the cabinet
  bool digestInfo = false;  // wrap the digest as DigestInfo (a form the updater refuses)
  bool unchecked = false;   // sign even a cabinet whose layout the updater refuses
};

// Signs a cabinet. Placement 0 makes a reserved area (or reuses one large
// enough), shifting the offsets behind it; placement 1 appends the record.
// Any earlier signature is dropped. Unless options.unchecked, a signed image
// that the updater would refuse for its layout is not made.
bool SignImage(const CZCabImage& image, EVP_PKEY* privateKey, const CZSignOptions& options,
               CZBytes* signedImage, std::string* reason);
