#include "package/package_key.h"

#include "package/rsa_key.h"
// Generated at build time from the public key file the build was given.
#include "package_key_data.h"

namespace {
EVP_PKEY* g_packageKey = nullptr;
}

bool LoadPackageKey() {
  if (g_packageKey != nullptr) return true;
  g_packageKey = BuildRsaPublicKey(kPackageKeyModulus, sizeof(kPackageKeyModulus),
                                   kPackageKeyExponent, sizeof(kPackageKeyExponent))
                     .release();
  return g_packageKey != nullptr;
}

EVP_PKEY* PackageKey() { return g_packageKey; }
