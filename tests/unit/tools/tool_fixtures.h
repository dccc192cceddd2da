// What the native tests of the package tool share: a scratch folder, one
// signing key per test program, and packing and signing in memory.
#pragma once
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "cabinet_builder.h"
#include "tools/cab_pack.h"
#include "tools/signing.h"

// A fresh folder that is removed with everything in it when the object goes.
class CZScratchFolder {
 public:
  CZScratchFolder();
  ~CZScratchFolder();
  const std::string& path() const { return m_path; }

 private:
  std::string m_path;
};

// A 2048-bit key pair made once per test program.
EVP_PKEY* TestKey();

// Writes files below folder (stored names' backslashes become folders).
void WriteFiles(const std::string& folder, const std::vector<CZBuiltFile>& files);

// Packs the files as zpkg pack does from a folder. Empty on failure.
CZBytes PackFiles(const std::vector<CZBuiltFile>& files, const CZPackOptions& options);

// Signs cabinet bytes as zpkg sign does. Empty with the reason on failure.
CZBytes SignBytes(const CZBytes& cabinet, const CZSignOptions& options, std::string* reason);
