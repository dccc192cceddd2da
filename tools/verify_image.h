// The updater's acceptance rules applied to an image in memory: the
// signature, then the cabinet layout, then the stored names, by the
// updater's own code.
#pragma once
#include <openssl/evp.h>

#include <string>
#include <vector>

// True when the updater would extract the image: its signature is valid for
// key, its cabinet is laid out as signed and every stored name stays below
// the destination. Otherwise false with the reason.
bool VerifyImage(const std::vector<unsigned char>& bytes, EVP_PKEY* publicKey, std::string* reason);
