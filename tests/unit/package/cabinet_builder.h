// Small cabinets made byte by byte, for tests of the layout rules: stored
// folders hold their files' bytes, "MSZIP" folders the "CK" marker and the
// same bytes (enough for a layout check, which never inflates). Portable.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

using CZBytes = std::vector<unsigned char>;

struct CZBuiltFile {
  std::string name;
  std::string content;
};

struct CZCabinetShape {
  std::vector<CZBuiltFile> files;
  uint16_t compression = 0;   // each folder's type; 1 gives the "CK" blocks
  size_t filesPerFolder = 0;  // 0: one folder
  size_t blockSize = 32768;   // uncompressed bytes per block
  bool reserve = false;       // the reserved-area fields, even when all sizes are 0
  uint16_t headerReserve = 0;
  uint8_t folderReserve = 0;
  uint8_t blockReserve = 0;
};

// Where the parts of a cabinet stand.
struct CZCabinetMap {
  size_t foldersStart = 0;  // first folder entry
  size_t folderEntrySize = 8;
  std::vector<size_t> fileEntries;          // start of each file entry
  std::vector<std::vector<size_t>> blocks;  // start of each block, per folder
};

CZBytes BuildCabinet(const CZCabinetShape& shape, CZCabinetMap* map = nullptr);

// Reads the map of a cabinet that follows the layout rules (a genuine one).
// False when the bytes cannot be walked as one.
bool MapCabinet(const CZBytes& bytes, CZCabinetMap* map);

uint32_t Get32(const CZBytes& bytes, size_t at);
uint16_t Get16(const CZBytes& bytes, size_t at);
void Put32(CZBytes* bytes, size_t at, uint32_t value);
void Put16(CZBytes* bytes, size_t at, uint16_t value);
