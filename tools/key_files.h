// Key pair files of the package tool: PEM private keys, SubjectPublicKeyInfo
// public keys, and the C++ header that compiles a public key into the updater.
#pragma once
#include <string>

#include "package/openssl_owners.h"

constexpr int kPackageKeyBits = 2048;

bool GenerateKeyPair(const std::string& privatePath, const std::string& publicPath,
                     std::string* reason);
CZEvpPkey LoadPrivateKey(const std::string& path, std::string* reason);
CZEvpPkey LoadPublicKey(const std::string& path, std::string* reason);
// Writes the modulus and exponent of a 2048-bit public key as two 256-byte
// big-endian arrays.
bool WriteKeyHeader(const std::string& publicPath, const std::string& headerPath,
                    std::string* reason);
