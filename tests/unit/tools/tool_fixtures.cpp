#include "tool_fixtures.h"

#include <openssl/rsa.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "tools/cab_image.h"

namespace fs = std::filesystem;

CZScratchFolder::CZScratchFolder() {
  std::string pattern = (fs::temp_directory_path() / "zpkg_test_XXXXXX").string();
  m_path = mkdtemp(pattern.data()) ? pattern : "";
}

CZScratchFolder::~CZScratchFolder() {
  std::error_code error;
  if (!m_path.empty()) fs::remove_all(m_path, error);
}

EVP_PKEY* TestKey() {
  static EVP_PKEY* key = EVP_RSA_gen(2048);
  return key;
}

void WriteFiles(const std::string& folder, const std::vector<CZBuiltFile>& files) {
  for (const CZBuiltFile& file : files) {
    std::string relative = file.name;
    for (char& c : relative) {
      if (c == '\\') c = '/';
    }
    fs::path path = fs::path(folder) / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << file.content;
  }
}

CZBytes PackFiles(const std::vector<CZBuiltFile>& files, const CZPackOptions& options) {
  CZScratchFolder scratch;
  WriteFiles(scratch.path(), files);
  std::vector<CZPackEntry> entries;
  std::string reason;
  CZBytes cabinet;
  if (!CollectPackEntries({scratch.path()}, &entries, &reason) ||
      !PackCabinet(entries, options, &cabinet, &reason)) {
    return CZBytes();
  }
  return cabinet;
}

CZBytes SignBytes(const CZBytes& cabinet, const CZSignOptions& options, std::string* reason) {
  CZScratchFolder scratch;
  const std::string path = scratch.path() + "/image.cab";
  CZCabImage image;
  CZBytes signedImage;
  if (!WriteWholeFile(path, cabinet) || !LoadCabImage(path, &image, reason) ||
      !SignImage(image, TestKey(), options, &signedImage, reason)) {
    return CZBytes();
  }
  return signedImage;
}
