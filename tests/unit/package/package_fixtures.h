// The packages the vendor's tool made for these tests, and small byte-level
// helpers to change them.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

using CZBytes = std::vector<unsigned char>;

// packages\<name> beside the test programs.
std::string PackageFixture(const std::string& name);
// The files packed into the test packages, by stored name.
struct CZPackedFile {
  std::string storedName;
  std::string content;
};
const std::vector<CZPackedFile>& PackedFiles();

CZBytes ReadBytes(const std::string& path);
bool WriteBytes(const std::string& path, const CZBytes& bytes);

// Where things sit in an image.
struct CZImageLayout {
  uint32_t cabinetSize = 0;
  uint32_t firstFile = 0;
  bool hasReserve = false;
  uint16_t headerReserve = 0;
  uint32_t foldersStart = 0;  // first folder entry
};
CZImageLayout ReadLayout(const CZBytes& bytes);

// Every file and folder below folder (ending with a backslash), by relative
// name, sorted; folders end with a backslash.
std::vector<std::string> ListFiles(const std::string& folder);
