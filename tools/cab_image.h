// A cabinet image held in memory, split where signing needs it: the header
// (with its reserved area and set names), the folder entries, the rest of the
// cabinet, and whatever follows its declared size.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

using CZBytes = std::vector<unsigned char>;

struct CZCabFolder {
  uint32_t dataOffset = 0;
  uint16_t blockCount = 0;
  uint16_t compression = 0;
};

struct CZCabFile {
  uint32_t size = 0;
  uint32_t folderOffset = 0;
  uint16_t folder = 0;
  uint16_t date = 0;
  uint16_t time = 0;
  uint16_t attributes = 0;
  std::string name;
};

struct CZCabImage {
  CZBytes bytes;  // the whole file
  uint32_t cabinetSize = 0;
  uint32_t firstFile = 0;
  uint16_t flags = 0;
  uint16_t setId = 0;
  uint16_t cabinetIndex = 0;
  bool hasReserve = false;
  uint16_t headerReserve = 0;
  uint8_t folderReserve = 0;
  uint8_t dataReserve = 0;
  size_t headerEnd = 0;  // where the first folder entry starts
  std::vector<CZCabFolder> folders;
  std::vector<CZCabFile> files;
};

// Reads path and parses it as a cabinet of format version 1.3. False with a
// reason when it is not one.
bool LoadCabImage(const std::string& path, CZCabImage* image, std::string* reason);
// The same for an image already in memory.
bool ParseCabImage(CZBytes bytes, CZCabImage* image, std::string* reason);
bool ReadWholeFile(const std::string& path, CZBytes* bytes);
bool ReadWholeText(const std::string& path, std::string* text);
// True for a file (not a folder) that exists.
bool IsRegularFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const CZBytes& bytes);
void PutLittle16(unsigned char* at, uint16_t value);
void PutLittle32(unsigned char* at, uint32_t value);
