// The RSA public key that every package image must be signed with.
#pragma once

typedef struct evp_pkey_st EVP_PKEY;

// Builds the compiled-in package key once per process; later calls change
// nothing. False when the key could not be built.
bool LoadPackageKey();

// The key built by LoadPackageKey; null before it ran or when it failed.
// Held for the life of the process.
EVP_PKEY* PackageKey();
