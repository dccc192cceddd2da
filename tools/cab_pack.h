// Packs files into a one-folder cabinet (format version 1.3), stored or MSZIP.
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
};

// Expands the command line's entries: NAME=PATH stores PATH as NAME, a folder
// adds every file below it under its relative name, a file is stored by its
// own name.
bool CollectPackEntries(const std::vector<std::string>& arguments,
                        std::vector<CZPackEntry>* entries, std::string* reason);
bool PackCabinet(const std::vector<CZPackEntry>& entries, const CZPackOptions& options,
                 CZBytes* cabinet, std::string* reason);
