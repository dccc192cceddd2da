// Packs files into a cabinet (format version 1.3) of one or more folders,
// stored or MSZIP.
#pragma once
#include <string>
#include <vector>

#include "tools/cab_image.h"

struct CZPackEntry {
  std::string storedName;  // backslash-separated, as the cabinet records it
  std::string localPath;
};

struct CZPackOptions {
  bool compress = true;        // MSZIP; stored when false
  uint16_t headerReserve = 0;  // a reserved area of this many bytes when non-zero
  uint8_t folderReserve = 0;   // reserved bytes after each folder entry
  uint8_t blockReserve = 0;    // reserved bytes after each data block's header
  size_t filesPerFolder = 0;   // a new folder after this many files; 0: one folder
};

// Expands the command line's entries: NAME=PATH stores PATH as NAME, a folder
// adds every file below it under its relative name, a file is stored by its
// own name.
bool CollectPackEntries(const std::vector<std::string>& arguments,
                        std::vector<CZPackEntry>* entries, std::string* reason);
bool PackCabinet(const std::vector<CZPackEntry>& entries, const CZPackOptions& options,
                 CZBytes* cabinet, std::string* reason);
