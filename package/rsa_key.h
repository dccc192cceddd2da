// An RSA public key from big-endian modulus and exponent bytes.
#pragma once
#include <cstddef>

#include "package/openssl_owners.h"

CZEvpPkey BuildRsaPublicKey(const unsigned char* modulus, size_t modulusSize,
                            const unsigned char* exponent, size_t exponentSize);
